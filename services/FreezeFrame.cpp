#include "services/FreezeFrame.h"

#include "core/Program.h"
#include "pids/Hex.h"
#include "pids/PidWalker.h"

namespace quenta {

namespace {

void readFreezeFrame(Program &p)
{
    ScanToolLink &link = p.link;
    link.setOBD_stop(false);
    p.pids.PID_count = 0;
    p.data.clear();
    p.settings.PID_mode = QStringLiteral("02");
    p.settings.frame_flag = 1;
    link.wait_OBD_ready();
    link.OBDinput();
    link.OBDoutput(QStringLiteral("02000A"));
    const QString reply = link.waitReply(22);
    if (link.timedOut() || charAt(reply, 2) == QLatin1Char('S')) {
        p.indicator.set(QStringLiteral("ECU Timeout, Freeze Frame not Supported"), colors::Red);
        return;
    }
    p.indicator.set(QStringLiteral("ECU Connected"), colors::Green);
    if (charAt(reply, 6) == QLatin1Char('D')) {
        p.status.setText(NoObdDataMessage);
        return;
    }
    p.status.setText(QStringLiteral("\r\n"));
    p.status.append(QStringLiteral("ECU #=") + cut(reply, 6, 2) + QStringLiteral("\r\n"));
    int bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = conv_hex(cut(reply, 14 + 2 * i, 2));
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
}

} // namespace

void requestFreezeFrame(Program &p)
{
    ScanToolLink::Bound bound(p.link, p.waitBoundMs);
    readFreezeFrame(p);
    p.controls.setPressed(names::Mode2, false);
}

} // namespace quenta
