#include "live/RealTimeDisplay.h"

#include "pids/numtext.h"
#include "live/StripChart.h"

namespace quenta {

namespace {
constexpr quint32 Green = 0x00FF00;
}

RealTimeDisplay::RealTimeDisplay(const LiveParts &parts, StripChart &chart, QObject *parent)
    : QObject(parent), m_p(parts), m_chart(chart)
{
}

void RealTimeDisplay::setStopFlag(bool on)
{
    if (m_stop == on)
        return;
    m_stop = on;
    emit stopFlagChanged(on);
}

void RealTimeDisplay::start()
{
    m_chart.clearPoints();
    m_chart.restartX();
    setStopFlag(false);
    setup_chart();
}

void RealTimeDisplay::setup_chart()
{
    m_chart.addTrace(QStringLiteral("Channel 1"), Green);
    m_chart.setXMaximum(10.0);
    m_chart.setXMinimum(0.0);
    m_chart.setXTitle(QStringLiteral("Elapsed Time - Seconds"));
    m_chart.setYMaximum(255.0);
    m_chart.setYMinimum(0.0);
    m_chart.setYTitle(QStringLiteral("Voltage"));
    m_chart.restartX();
}

bool RealTimeDisplay::run(int pid)
{
    m_row = displayRowOf(pid);
    if (!m_row) {
        m_p.prompts.message(NoDataSelected);
        return false;
    }
    Decoders decoders(m_p.context);
    for (;;) {
        if (m_stop)
            break;
        // Exit, or a tool that went away: there is nothing more to ask.
        if (m_p.context.link.ended())
            break;
        {
            // A dead tool must not hold the display for ever: STOP acts at the latest after
            // this bound.
            ScanToolLink::Bound bound(m_p.context.link);
            m_reading = decoders.read(pid);
        }
        if (!valueAnswered(m_p, m_reading)) {
            m_reading.valid = false;
            m_reading.text.clear();
        }
        m_chart.setYMaximum(m_row->yMax);
        m_chart.setYMinimum(m_row->yMin);
        m_chart.setYTitle(m_reading.units);
        if (m_row->wideRange) {
            show_wide_range_lambda();
        } else {
            m_lblValText = m_reading.label;
            m_txbValue = displayValue(*m_row, m_reading);
        }
        emit textsChanged();
        plot_point();
        if (afterPass)
            afterPass(m_reading);
    }
    return true;
}

void RealTimeDisplay::show_wide_range_lambda()
{
    m_chart.setYMaximum(1.999);
    m_chart.setYMinimum(0);
    m_chart.setYTitle(m_reading.units);
    m_lblValText = WideRangeLabel;
    m_txbValue = displayValue(*m_row, m_reading);
}

void RealTimeDisplay::plot_point()
{
    m_chart.beginPoint();
    const int x = m_chart.runningX();
    m_lastX = x;
    // A pass without a good reply leaves a gap: no made-up value is drawn.
    m_lastPoint.reset();
    if (m_reading.valid) {
        const double y = m_reading.value;
        if (m_chart.addPoint(0, x, y))
            m_lastPoint = y;
    }
    m_chart.endPoint();
}

void RealTimeDisplay::Stop1_Click()
{
    setStopFlag(true);
    emit hideRequested();
}

void RealTimeDisplay::cmdShowHideToolbar_Click()
{
    m_chart.setToolbarVisible(!m_chart.toolbarVisible());
}

void RealTimeDisplay::cmdResetChart_Click()
{
    m_chart.clearPoints();
    m_chart.restartX();
}

void RealTimeDisplay::cmdClearData_Click()
{
    m_chart.clearPoints();
}

} // namespace quenta
