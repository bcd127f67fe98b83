#pragma once
// The mapping between the scan tool's commands and an ELM327 adapter's requests, both ways: what
// to ask the adapter for one six-character command (or one on-board monitoring packet), and the
// reply the scan tool itself would send for what the ECU answered, byte for byte in the tool's
// layout: "R", the header 48 6B and the ECU's address, the message padded or cut to the
// command's length, the checksum. Pure functions: the caller keeps the Bus and sends the lines.
#include "elm/ElmFrames.h"
#include "link/Commands.h"

#include <optional>

namespace quenta::elm {

// What the port knows of the vehicle's bus.
struct Bus {
    Protocol protocol = Protocol::Unknown;
    // The ECUs that answered the connection's first 0100, ascending: CAN response ids (7E8, 7E9,
    // 18DAF110) or legacy source bytes. The tool talks to one of them at a time, `current`.
    QList<quint32> ecus;
    int current = 0;
    // On CAN: the current ECU is addressed by its own ids (ATSH/ATCRA), so only it answers.
    bool physical = false;
    // The ECU refused the freeze-frame request with the frame number ("02PP00"): ask "02PP".
    bool freezeWithoutFrame = false;

    std::optional<quint32> currentId() const
    {
        return current >= 0 && current < ecus.size() ? std::optional<quint32>(ecus[current]) : std::nullopt;
    }
    // One ECU answers a request, so the adapter may stop listening after the first response.
    bool oneAnswers() const { return isCan(protocol) ? physical : ecus.size() == 1; }
};

// The firmware identity the port gives the program: the version of the scan tool it plays,
// which has the O2 and on-board monitoring tests. The adapter's own version (ATI) is shown apart.
inline constexpr char PortFirmware[] = "3.40";

// The six characters as a command; nothing for text that is not three hexadecimal pairs.
std::optional<ToolCommand> toolCommand(const QByteArray &text);

// What the port does for one command.
struct Plan {
    QList<QByteArray> lines; // adapter lines, in order, without the CR; the last one's answer is read
    QByteArray reply;        // with no lines: the tool's reply at once
    // Once the lines are answered: the ECU the tool talks to now (the caller sets bus.current, and
    // on CAN bus.physical, since the lines address it alone).
    std::optional<int> selectEcu;
};
Plan plan(const ToolCommand &command, const Bus &bus);

// The adapter lines that address ECU `index` of the bus alone (CAN: ATSH and ATCRA; legacy: none,
// the port keeps to that ECU's source byte).
QList<QByteArray> addressLines(const Bus &bus, int index);

// The tool's reply to `command`, from the adapter's answer to `line` (the plan's last line).
struct Result {
    // The reply. Codes: one reply of three codes each, in the order the ECU sent them, so a car
    // with five codes gives two replies; the first is the one the tool would send.
    QList<QByteArray> replies;
    // Not empty: the ECU refused this form of the request; ask this line instead and read its
    // answer again. The caller then keeps bus.freezeWithoutFrame set.
    QByteArray retry;
};
Result toolReply(const ToolCommand &command, const QByteArray &line, const Answer &answer, const Bus &bus);

// The tool's fixed replies: the ECU did not answer; the tool asks for the request again ("S" at
// position 3, which the link's bounded repeat reads); the PASS command's acknowledgement, whose
// header digit '0' announces the packet header 68 6A F1.
QByteArray silentReply(int length);
QByteArray askAgainReply(int length);
QByteArray passAcknowledgement(bool vehicle);
// "S" while the vehicle answers, "P" when it does not.
char statusCharacter(bool vehicle);

// The on-board monitoring packet (14 bytes after an acknowledged PASS command): the adapter line
// it becomes (none when the packet is not one the tool would put on the bus), and the tool's
// 13-byte binary reply from the adapter's answer. On CAN the packet's test ID is the MID and its
// component ID the manufacturer test ID within it (80 + component).
std::optional<QByteArray> packetLine(const QByteArray &packet, const Bus &bus);
// A CAN test with both limits shows one; `other`, when given, gets the same reply with the limit
// not shown (empty when there is none), for the window to name it.
QByteArray packetReply(const QByteArray &packet, const Answer &answer, const Bus &bus, QByteArray *other = nullptr);

// One CAN on-board monitoring result: a test of a MID with its unit-and-scaling ID and both limits.
struct MidTest {
    quint8 tid = 0;
    quint8 uasid = 0;
    quint16 value = 0, minimum = 0, maximum = 0;
};
QList<MidTest> midTests(const QByteArray &message); // "46 MID (TID UASID value min max)..."

// A CAN result holds a minimum and a maximum, the tool's reply one limit. The limit shown is the
// one the value breaks, else the maximum unless that is no limit at all (all ones); `hidden` is
// the other when it is a real limit too, for the window to say it was not shown.
struct LimitChoice {
    bool minimumShown = false;
    std::optional<quint16> hidden;
};
LimitChoice chooseLimit(const MidTest &test);

// A unit-and-scaling ID: physical = raw (signed when `isSigned`) × factor + offset, in `unit`.
struct Scaling {
    double factor = 1;
    double offset = 0;
    bool isSigned = false;
    const char *unit = "";
};
std::optional<Scaling> scaling(quint8 uasid);
double physical(const Scaling &s, quint16 raw);

// O2 sensors: the tool names one by its bit in the sensor mask (B1S1 01, B1S2 02, ... B2S4 80);
// J1979 numbers them 1 to 8 in the same order, as service 05's sensor byte and as CAN MIDs 01 to 08.
std::optional<int> o2SensorNumber(int mask);

} // namespace quenta::elm
