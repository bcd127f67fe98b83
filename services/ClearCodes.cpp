#include "services/ClearCodes.h"

#include "core/Program.h"
#include "link/Commands.h"
#include "link/Reply.h"

namespace quenta {

void clearTroubleCodes(Program &p)
{
    ScanToolLink::Bound bound(p.link, p.waitBoundMs);
    p.link.setOBD_stop(false);
    p.status.setText(QStringLiteral("\r\n"));
    const Reply reply(p.link.ask(commands::ClearCodes, 9));
    if (!p.replyToDecode()) {
        // Nothing was cleared that the program knows of.
    } else if (reply.ecuSilent()) {
        p.indicator.set(QStringLiteral("ECU Timeout"), colors::Red);
    } else {
        p.indicator.set(QStringLiteral("ECU Connected"), colors::Green);
        // 44 is the positive response to service 04.
        p.status.setText(reply.service() == 0x44 ? QStringLiteral("Trouble Codes Cleared")
                                                            : QStringLiteral("Operation Failed"));
    }
    p.controls.setPressed(names::Mode4, false);
}

} // namespace quenta
