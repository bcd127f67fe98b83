#include "live/FuelTrimMonitor.h"

#include "core/Program.h"
#include "pids/Decoders.h"
#include "link/Reply.h"

#include <QCoreApplication>

namespace quenta {

namespace {

struct TrimRow {
    bool PidState::*supported;
    const char *pid;
    const char *label;
};

const TrimRow TrimRows[FuelTrimMonitor::Rows] = {
    {&PidState::has_STFTB1, "06", "Short Term Fuel Trim B1---- "},
    {&PidState::has_LTFTB1, "07", "Long  Term Fuel Trim B1---- "},
    {&PidState::has_STFTB2, "08", "Short Term Fuel Trim B2---- "},
    {&PidState::has_LTFTB2, "09", "Long  Term Fuel Trim B2 ---- "},
};

// With no row to ask, a pass only lets events through; this keeps it from spinning a core.
constexpr int IdlePassMs = 50;

} // namespace

FuelTrimMonitor::FuelTrimMonitor(Program &program, QObject *parent) : QObject(parent), m_p(program) {}

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
    waker.listen(&m_p.link, &ScanToolLink::stopRaised);
    m_p.clock().wait(IdlePassMs, waker);
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
        if (m_p.link.abandoned() || m_p.link.portFailed())
            break;
        bool asked = false;
        for (int i = 0; i < Rows; ++i) {
            const TrimRow &row = TrimRows[i];
            if (!(m_p.pids.*row.supported))
                continue;
            asked = true;
            QString text = QString::fromLatin1(row.label);
            {
                ScanToolLink::Bound bound(m_p.link, m_p.waitBoundMs);
                const Reply reply(m_p.link.get_ecu_PID(QStringLiteral("01"), QString::fromLatin1(row.pid),
                                                       QStringLiteral("06")));
                // Without a good reply the row keeps its label and shows no number: a made-up -100%
                // would look like a real trim.
                if (m_p.valueAnswered())
                    text += QString::number(trimPercent(reply.byte(0))) + QStringLiteral("%");
            }
            m_labels[i] = text;
            emit labelsChanged();
        }
        if (asked)
            QCoreApplication::processEvents();
        else
            idlePass();
        if (afterPass)
            afterPass();
    }
    m_running = false;
    emit hideRequested();
}

} // namespace quenta
