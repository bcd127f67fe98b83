#include "services/ClearCodes.h"

#include "core/Program.h"
#include "pids/Hex.h"

namespace quenta {

void clearTroubleCodes(Program &p)
{
    ScanToolLink::Bound bound(p.link, p.waitBoundMs);
    p.link.setOBD_stop(false);
    p.status.setText(QStringLiteral("\r\n"));
    p.link.wait_OBD_ready();
    p.link.OBDinput();
    p.link.OBDoutput(QStringLiteral("040404"));
    const QString reply = p.link.waitReply(9);
    if (p.link.timedOut() || charAt(reply, 2) == QLatin1Char('S')) {
        p.indicator.set(QStringLiteral("ECU Timeout"), colors::Red);
    } else {
        p.indicator.set(QStringLiteral("ECU Connected"), colors::Green);
        // 44 is the positive response to service 04.
        p.status.setText(conv_hex(cut(reply, 8, 2)) == 0x44 ? QStringLiteral("Trouble Codes Cleared")
                                                            : QStringLiteral("Operation Failed"));
    }
    p.controls.setPressed(names::Mode4, false);
}

} // namespace quenta
