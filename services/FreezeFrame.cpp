#include "services/FreezeFrame.h"

#include "core/Program.h"
#include "link/Commands.h"
#include "link/Reply.h"
#include "pids/PidWalker.h"

namespace quenta {

namespace {

void readFreezeFrame(Program &p)
{
    beginWalk(p, QStringLiteral("02"), 1);
    const QString notSupported = QStringLiteral("ECU Timeout, Freeze Frame not Supported");
    const Reply reply(p.link.ask(commands::FreezeFrameSupport, 22), p.settings.frame_flag);
    if (!p.replyToDecode(notSupported))
        return;
    if (reply.ecuSilent()) {
        p.indicator.set(notSupported, colors::Red);
        return;
    }
    p.indicator.set(QStringLiteral("ECU Connected"), colors::Green);
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
        p.replyToDecode();
}

} // namespace

void requestFreezeFrame(Program &p)
{
    ScanToolLink::Bound bound(p.link, p.waitBoundMs);
    readFreezeFrame(p);
    p.controls.setPressed(names::Mode2, false);
}

} // namespace quenta
