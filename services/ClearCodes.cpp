#include "services/ClearCodes.h"

#include "link/Commands.h"
#include "link/Reply.h"

namespace quenta {

void ClearCodes::clear()
{
    ClearCodes &p = *this;
    ScanToolLink::Bound bound(p.link);
    p.link.setOBD_stop(false);
    p.status.setText(QStringLiteral("\r\n"));
    const ScanToolLink::Answer answer = p.link.ask(commands::ClearCodes, 9);
    const Reply reply(answer.reply);
    if (!p.link.replyToDecode(answer, p.status)) {
        // Nothing was cleared that the program knows of.
    } else if (reply.ecuSilent()) {
        p.link.indicator().set(QStringLiteral("ECU Timeout"), colors::Red);
    } else {
        p.link.indicator().set(QStringLiteral("ECU Connected"), colors::Green);
        // 44 is the positive response to service 04.
        p.status.setText(reply.service() == 0x44 ? QStringLiteral("Trouble Codes Cleared")
                                                            : QStringLiteral("Operation Failed"));
    }
    p.controls.setPressed(names::Mode4, false);
}

} // namespace quenta
