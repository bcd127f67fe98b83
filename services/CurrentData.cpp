#include "services/CurrentData.h"

#include "core/Program.h"
#include "pids/Hex.h"
#include "pids/PidWalker.h"

namespace quenta {

namespace {
// Entries copied into each new logger parameter box.
constexpr int LoggerBoxEntries = 77;
}

void requestCurrentData(Program &p)
{
    ScanToolLink &link = p.link;
    link.setOBD_stop(false);
    p.pids.PID_count = 0;
    p.status.setText(QStringLiteral("\r\n"));
    p.data.clear();
    p.settings.PID_mode = QStringLiteral("01");
    p.settings.frame_flag = 0;
    p.data.setColor(colors::Black);
    p.pids.no_freeze_frame = false;
    p.pids.has_STFTB1 = p.pids.has_STFTB2 = p.pids.has_LTFTB1 = p.pids.has_LTFTB2 = false;

    link.wait_OBD_ready();
    if (!link.OBD_stop()) {
        QString reply;
        for (;;) {
            link.OBDinput();
            link.OBDoutput(QStringLiteral("010009"));
            reply = link.waitReply(18);
            if (p.settings.debug_mode)
                p.status.append(QStringLiteral("\r\nMode 1, PID 0 = ") + reply);
            if (charAt(reply, 3) != QLatin1Char('S'))
                break;
        }
        if (reply.startsWith(QLatin1Char('S')))
            reply = reply.mid(1, 19);
        const bool ecuTimeout = charAt(reply, 2) == QLatin1Char('S');
        if (ecuTimeout)
            p.indicator.set(QStringLiteral("ECU Timeout"), colors::Red);
        else
            p.indicator.set(QStringLiteral("ECU Connected"), colors::Green);
        p.linkInfo.setEcuNumber(cut(reply, 6, 2));
        if (!ecuTimeout) {
            if (cut(reply, 6, 2) == QLatin1String("D0")) {
                p.status.setText(NoObdDataMessage);
            } else {
                int a = conv_hex(cut(reply, 12, 2));
                int b = conv_hex(cut(reply, 14, 2));
                int c = conv_hex(cut(reply, 16, 2));
                int d = conv_hex(cut(reply, 18, 2));
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
