#include "services/CurrentData.h"

#include "core/Program.h"
#include "link/Commands.h"
#include "link/Reply.h"
#include "pids/PidWalker.h"

namespace quenta {

namespace {
// Entries copied into each new logger parameter box.
constexpr int LoggerBoxEntries = 77;
}

void requestCurrentData(Program &p)
{
    ScanToolLink::Bound bound(p.link, p.waitBoundMs);
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
    const Reply bitmap(link.ask(commands::SupportedPids01To20, 18, how));
    if (p.replyToDecode()) {
        const bool ecuTimeout = bitmap.ecuSilent();
        if (ecuTimeout)
            p.indicator.set(QStringLiteral("ECU Timeout"), colors::Red);
        else
            p.indicator.set(QStringLiteral("ECU Connected"), colors::Green);
        p.linkInfo.setEcuNumber(bitmap.ecuAddress());
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
            p.controls.setEnabled(names::mnuDataLog, true);
        }
    }
    // The car stopped talking during the walk: what was listed stays, the rest is not a reading.
    if (link.noVehicle())
        p.replyToDecode();
    emit p.showMainWindow();
    if (p.settings.WBO2_PID != QLatin1String("0")) {
        p.controls.setEnabled(names::mnuWBO2, true);
        p.status.append(QStringLiteral("# of WBO2 Sensors -------- 1\r\n"));
    }
    if (p.pids.has_STFTB1)
        p.controls.setEnabled(names::mnuFTM, true);
    p.status.requestColouring();
    p.controls.setPressed(names::Mode1, false);
    p.controls.setEnabled(names::Mode5, true);
}

} // namespace quenta
