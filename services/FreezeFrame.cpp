#include "services/FreezeFrame.h"

#include "link/Commands.h"
#include "link/Reply.h"
#include "pids/PidWalker.h"

namespace quenta {

namespace {

void readFreezeFrame(PidContext &p)
{
    beginWalk(p, QStringLiteral("02"), 1);
    const QString notSupported = QStringLiteral("ECU Timeout, Freeze Frame not Supported");
    const ScanToolLink::Answer answer = p.link.ask(commands::FreezeFrameSupport, 22);
    const Reply reply(answer.reply, p.settings.frame_flag);
    if (!p.link.replyToDecode(answer, p.status, notSupported))
        return;
    if (reply.ecuSilent()) {
        p.link.indicator().set(notSupported, colors::Red);
        return;
    }
    p.link.indicator().set(QStringLiteral("ECU Connected"), colors::Green);
    if (charAt(reply.text(), 6) == QLatin1Char('D')) {
        p.status.setText(NoObdDataMessage);
        return;
    }
    p.status.setText(QStringLiteral("\r\n"));
    p.status.append(QStringLiteral("ECU #=") + reply.ecuAddress() + QStringLiteral("\r\n"));
    int bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = reply.byte(i);
    if (bytes[0] == 0) {
        p.status.setText(QStringLiteral("\r\n"));
        p.status.append(QStringLiteral("\r\nNot Supported by this ECU"));
        p.status.append(QStringLiteral("\r\n"));
    }
    PidWalker walker(p);
    walker.findPID1(bytes[0], p.pids.PID_count);
    if (!p.pids.no_freeze_frame) {
        walker.findPID2(bytes[1], p.pids.PID_count);
        walker.findPID3(bytes[2], p.pids.PID_count);
        walker.findPID4(bytes[3], p.pids.PID_count);
    }
    p.pids.no_freeze_frame = false;
    // The car stopped talking during the walk: what was listed stays, the rest is not a reading.
    if (p.link.noVehicle())
        p.link.replyToDecode({ScanToolLink::Outcome::NoVehicle, QString()}, p.status);
}

} // namespace

void FreezeFrame::request()
{
    ScanToolLink::Bound bound(context.link);
    readFreezeFrame(context);
    controls.setPressed(names::Mode2, false);
}

} // namespace quenta
