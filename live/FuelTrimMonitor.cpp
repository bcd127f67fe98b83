#include "live/FuelTrimMonitor.h"

#include "pids/Decoders.h"
#include "link/Reply.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace quenta {

namespace {

struct TrimRow {
    bool PidState::*supported;
    quint8 pid;
    const char *label;
};

const TrimRow TrimRows[FuelTrimMonitor::Rows] = {
    {&PidState::has_STFTB1, 0x06, "Short Term Fuel Trim B1---- "},
    {&PidState::has_LTFTB1, 0x07, "Long  Term Fuel Trim B1---- "},
    {&PidState::has_STFTB2, 0x08, "Short Term Fuel Trim B2---- "},
    {&PidState::has_LTFTB2, 0x09, "Long  Term Fuel Trim B2 ---- "},
};

// With no row to ask, a pass only lets events through; this keeps it from spinning a core.
constexpr int IdlePassMs = 50;

} // namespace

FuelTrimMonitor::FuelTrimMonitor(const LiveParts &parts, QObject *parent) : QObject(parent), m_p(parts)
{
    QList<SampleColumn> columns;
    for (const TrimRow &row : TrimRows)
        columns << SampleColumn{QString::fromLatin1(row.label), QStringLiteral("%")};
    m_samples.setColumns(columns);
}

int FuelTrimMonitor::trimPercent(int a)
{
    return int(Decoders::fuelTrimPercent(a));
}

void FuelTrimMonitor::Command1_Click()
{
    emit optionChosen();
    Option1_Click();
    m_stop = true;
}

void FuelTrimMonitor::idlePass()
{
    // Woken by EXIT or the end of the program, not by the tool's status characters.
    Waker waker;
    waker.listen(this, &FuelTrimMonitor::optionChosen);
    waker.listen(&m_p.context.link, &ScanToolLink::stopRaised);
    m_p.clock.wait(IdlePassMs, waker);
}

void FuelTrimMonitor::fuel_trim_monitor(int passes)
{
    m_stop = false;
    m_running = true;
    emit repaintRequested();
    for (int pass = 0; !m_stop; ++pass) {
        if (passes > 0 && pass >= passes)
            break;
        // Exit, or a tool that went away: nothing more can be asked.
        if (m_p.context.link.ended())
            break;
        bool asked = false;
        QList<std::optional<double>> values(Rows);
        for (int i = 0; i < Rows; ++i) {
            const TrimRow &row = TrimRows[i];
            if (!(m_p.context.pids.*row.supported))
                continue;
            asked = true;
            {
                ScanToolLink::Bound bound(m_p.context.link);
                const ScanToolLink::Answer answer = m_p.context.link.get_ecu_PID(ToolCommand{0x01, row.pid, 6});
                // Without a good reply the row keeps its label and shows no number: a made-up -100%
                // would look like a real trim.
                if (m_p.context.link.valueAnswered(answer.outcome, m_p.context.status))
                    values[i] = trimPercent(Reply(answer.reply).byte(0));
            }
            m_labels[i] = QString::fromLatin1(row.label)
                + (values[i] ? QString::number(int(*values[i])) + QStringLiteral("%") : QString());
            emit labelsChanged();
        }
        if (asked) {
            m_samples.append(m_p.timing.CurrentTime(), values);
            QCoreApplication::processEvents();
        }
        else
            idlePass();
        if (afterPass)
            afterPass();
    }
    m_running = false;
    emit hideRequested();
}

} // namespace quenta
