#include "services/CurrentData.h"

#include "link/Commands.h"
#include "link/Reply.h"
#include "pids/PidWalker.h"

namespace quenta {

namespace {
// Entries copied into each new logger parameter box.
constexpr int LoggerBoxEntries = 77;
}

void CurrentData::request()
{
    PidContext &p = context;
    ScanToolLink::Bound bound(p.link);
    ScanToolLink &link = p.link;
    beginWalk(p, QStringLiteral("01"), 0);
    p.status.setText(QStringLiteral("\r\n"));
    p.data.setColor(colors::Black);
    p.pids.no_freeze_frame = false;
    p.pids.has_STFTB1 = p.pids.has_STFTB2 = p.pids.has_LTFTB1 = p.pids.has_LTFTB2 = false;

    ScanToolLink::Ask how;
    how.onAttempt = [&p](const QString &reply) {
        if (p.settings.debug_mode)
            p.status.append(QStringLiteral("\r\nMode 1, PID 0 = ") + reply);
    };
    const ScanToolLink::Answer answer = link.ask(commands::SupportedPids01To20, 18, how);
    const Reply bitmap(answer.reply);
    if (link.replyToDecode(answer, p.status)) {
        const bool ecuTimeout = bitmap.ecuSilent();
        if (ecuTimeout)
            link.indicator().set(QStringLiteral("ECU Timeout"), colors::Red);
        else
            link.indicator().set(QStringLiteral("ECU Connected"), colors::Green);
        linkInfo.setEcuNumber(bitmap.ecuAddress());
        if (!ecuTimeout) {
            if (bitmap.ecuAddress() == QLatin1String("D0")) {
                p.status.setText(NoObdDataMessage);
            } else {
                int a = bitmap.byte(0);
                int b = bitmap.byte(1);
                int c = bitmap.byte(2);
                int d = bitmap.byte(3);
                PidWalker walker(p);
                walker.findPID1(a, p.pids.PID_count);
                walker.findPID2(b, p.pids.PID_count);
                walker.findPID3(c, p.pids.PID_count);
                walker.findPID4(d, p.pids.PID_count);
                if (!p.settings.logger_slots) {
                    p.logger.createExtraBoxes(LoggerBoxEntries);
                    p.settings.logger_slots = true;
                }
            }
            controls.setEnabled(names::mnuDataLog, true);
        }
    }
    // The car stopped talking during the walk: what was listed stays, the rest is not a reading.
    if (link.noVehicle())
        link.replyToDecode({ScanToolLink::Outcome::NoVehicle, QString()}, p.status);
    if (listed)
        listed();
    if (p.settings.WBO2_PID != QLatin1String("0")) {
        controls.setEnabled(names::mnuWBO2, true);
        p.status.append(QStringLiteral("# of WBO2 Sensors -------- 1\r\n"));
    }
    if (p.pids.has_STFTB1)
        controls.setEnabled(names::mnuFTM, true);
    p.status.requestColouring();
    controls.setPressed(names::Mode1, false);
    controls.setEnabled(names::Mode5, true);
}

} // namespace quenta
