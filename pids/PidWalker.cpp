#include "pids/PidWalker.h"

#include "pids/PidContext.h"
#include "pids/Decoders.h"
#include "link/Commands.h"
#include "link/Reply.h"
#include "pids/numtext.h"

#include <array>

namespace quenta {

const QString NoObdDataMessage = QStringLiteral(
    "The ECU communicating does not support OBD-II data, you can read/clear it's trouble codes or Click 'Change ECU' ");

namespace {

// What the walk does for one supported bit.
enum class Does {
    Value,  // one line in the vehicle data window when the decoder table has the PID, else nothing
    Status, // a status decoder: it writes the status window itself
    Scan20, // the next bitmap, PIDs 21 to 40
    Scan40, // the next bitmap, PIDs 41 to 60
};

// Rules that follow a decoder within the same byte.
enum class Then {
    Go,
    EndByteWithoutFreezeFrame, // PID 02: without a stored frame nothing more of this byte is decoded
    MileageWhenAirFlows,       // PID 10: a fuel-economy line when the air flow is above 0
};

struct Bit {
    int pid;
    Does does = Does::Value;
    void (Decoders::*status)() = nullptr;
    bool PidState::*supports = nullptr; // a support flag raised when the bit is met
    Then then = Then::Go;
};

using ByteMap = std::array<Bit, 8>; // bit 7 first

constexpr Does Status = Does::Status;

// clang-format off
const ByteMap Pid00A = {{
    {0x01, Status, &Decoders::get_MIL},
    {0x02, Status, &Decoders::get_trouble_codes, nullptr, Then::EndByteWithoutFreezeFrame},
    {0x03, Status, &Decoders::get_fuel_status},
    {0x04},
    {0x05},
    {0x06, Status, &Decoders::get_STFTB1, &PidState::has_STFTB1},
    {0x07, Status, &Decoders::get_LTFTB1, &PidState::has_LTFTB1},
    {0x08, Status, &Decoders::get_STFTB2, &PidState::has_STFTB2},
}};
const ByteMap Pid00B = {{
    {0x09, Status, &Decoders::get_LTFTB2, &PidState::has_LTFTB2},
    {0x0A}, {0x0B}, {0x0C}, {0x0D}, {0x0E}, {0x0F},
    {0x10, Does::Value, nullptr, nullptr, Then::MileageWhenAirFlows},
}};
const ByteMap Pid00C = {{
    {0x11},
    {0x12, Status, &Decoders::get_cmd_sec_air_stat},
    {0x13, Status, &Decoders::get_O2_loc},
    {0x14}, {0x15}, {0x16}, {0x17}, {0x18},
}};
// PID 1F is listed like every other value: a user expects to see each supported parameter.
const ByteMap Pid00D = {{
    {0x19}, {0x1A}, {0x1B},
    {0x1C, Status, &Decoders::get_OBD},
    {0x1D, Status, &Decoders::get_O2_loc},
    {0x1E},
    {0x1F},
    {0x20, Does::Scan20},
}};
const ByteMap Pid20A = {{
    {0x21}, {0x22}, {0x23}, {0x24}, {0x25}, {0x26}, {0x27}, {0x28},
}};
const ByteMap Pid20B = {{
    {0x29}, {0x2A}, {0x2B}, {0x2C}, {0x2D}, {0x2E}, {0x2F}, {0x30},
}};
const ByteMap Pid20C = {{
    {0x31}, {0x32}, {0x33}, {0x34}, {0x35}, {0x36}, {0x37}, {0x38},
}};
const ByteMap Pid20D = {{
    {0x39}, {0x3A}, {0x3B}, {0x3C}, {0x3D}, {0x3E}, {0x3F},
    {0x40, Does::Scan40},
}};
const ByteMap Pid40A = {{
    {0x41}, {0x42}, {0x43}, {0x44}, {0x45}, {0x46}, {0x47}, {0x48},
}};
const ByteMap Pid40B = {{
    {0x49}, {0x4A}, {0x4B}, {0x4C}, {0x4D}, {0x4E}, {0x4F}, {0x50},
}};
// clang-format on

// The walk goes no further once the tool stopped talking to the car, the operation's bound
// passed or the tool is gone: nothing after that point would be a reading.
bool walkEnded(const PidContext &p)
{
    return p.link.noVehicle() || p.link.ended() || p.link.timedOut();
}

// One value line: the vehicle data window, the logger's parameter list and PID_list move together.
// A parameter whose replies were all garbled keeps its line, without a value: it is supported,
// but nothing read from the line may stand as its value.
void listValue(PidContext &p, Decoders &decoders, int pid, int &b)
{
    const Reading reading = decoders.read(pid);
    if (!reading.valid && reading.outcome != ScanToolLink::Outcome::Garbled)
        return;
    if (b >= 0 && b < PidState::ListSize)
        p.pids.PID_list[size_t(b)] = qint16(pid);
    p.data.append(reading.label + reading.text + reading.units);
    p.logger.appendToBox0(reading.label);
    ++b;
}

// The bit walk shared by all ten bitmap bytes: a is tested against 127, 63, ... 0 and loses each
// handled bit's value (bit 0 is not subtracted), so bits are met from 7 down to 0.
void walkByte(PidWalker &walker, PidContext &p, const ByteMap &map, int &a, int &b)
{
    Decoders decoders(p);
    for (int k = 7; k >= 0; --k) {
        if (walkEnded(p)) {
            a = 0;
            return;
        }
        const int weight = 1 << k;
        if (a <= weight - 1)
            continue;
        const Bit &bit = map[size_t(7 - k)];
        switch (bit.does) {
        case Does::Value:
            if (Decoders::hasValueDecoder(bit.pid))
                listValue(p, decoders, bit.pid, b);
            break;
        case Does::Status:
            (decoders.*bit.status)();
            if (bit.supports)
                p.pids.*bit.supports = true;
            break;
        case Does::Scan20:
            walker.scan_PIDs_21_40();
            break;
        case Does::Scan40:
            walker.scan_PIDs_41_60();
            break;
        }
        if (bit.then == Then::EndByteWithoutFreezeFrame && p.pids.no_freeze_frame) {
            a = 0;
            return;
        }
        if (bit.then == Then::MileageWhenAirFlows && numtext::leadingNumber(p.pids.record.PID_string) > 0)
            listValue(p, decoders, Decoders::MileagePid, b);
        if (k > 0)
            a -= weight;
    }
}

// Asks a higher support bitmap (always service 01, bytes at their service 01 places) and walks
// its bytes with the given walkers.
void scanBitmap(PidWalker &walker, PidContext &p, const ToolCommand &command,
                std::initializer_list<void (PidWalker::*)(int &, int &)> walkers)
{
    ScanToolLink &link = p.link;
    // What waits is discarded before the request, as for every other one: a tool that answers
    // quickly (on USB, within the command's own transfers) would otherwise lose the bitmap.
    const ScanToolLink::Answer answer = link.ask(command, 18);
    if (!answer.decodable())
        return;
    const Reply reply(answer.reply);
    if (reply.ecuSilent()) {
        p.link.indicator().set(QStringLiteral("ECU Timeout"), colors::Red);
        return;
    }
    p.link.indicator().set(QStringLiteral("ECU Connected"), colors::Green);
    if (reply.ecuAddress() == QLatin1String("D0")) {
        p.status.setText(NoObdDataMessage);
        return;
    }
    std::array<int, 4> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = reply.byte(int(i));
    size_t i = 0;
    for (auto find : walkers)
        (walker.*find)(bytes[i++], p.pids.PID_count);
}

} // namespace

QList<int> PidWalker::listedPids()
{
    QList<int> pids;
    for (const ByteMap *map : {&Pid00A, &Pid00B, &Pid00C, &Pid00D, &Pid20A, &Pid20B, &Pid20C, &Pid20D, &Pid40A, &Pid40B}) {
        for (const Bit &bit : *map) {
            if (bit.does == Does::Value && Decoders::hasValueDecoder(bit.pid))
                pids << bit.pid;
            if (bit.then == Then::MileageWhenAirFlows)
                pids << Decoders::MileagePid;
        }
    }
    return pids;
}

void beginWalk(PidContext &p, const QString &mode, int frameFlag)
{
    p.link.setOBD_stop(false);
    p.pids.PID_count = 0;
    p.data.clear();
    p.settings.PID_mode = mode;
    p.settings.frame_flag = frameFlag;
}

void PidWalker::findPID1(int &a, int &b) { walkByte(*this, m_p, Pid00A, a, b); }
void PidWalker::findPID2(int &a, int &b) { walkByte(*this, m_p, Pid00B, a, b); }
void PidWalker::findPID3(int &a, int &b) { walkByte(*this, m_p, Pid00C, a, b); }
void PidWalker::findPID4(int &a, int &b) { walkByte(*this, m_p, Pid00D, a, b); }
void PidWalker::findPID5(int &a, int &b) { walkByte(*this, m_p, Pid20A, a, b); }
void PidWalker::findPID6(int &a, int &b) { walkByte(*this, m_p, Pid20B, a, b); }
void PidWalker::findPID7(int &a, int &b) { walkByte(*this, m_p, Pid20C, a, b); }
void PidWalker::findPID8(int &a, int &b) { walkByte(*this, m_p, Pid20D, a, b); }
void PidWalker::findPID9(int &a, int &b) { walkByte(*this, m_p, Pid40A, a, b); }
void PidWalker::findPID10(int &a, int &b) { walkByte(*this, m_p, Pid40B, a, b); }

void PidWalker::scan_PIDs_21_40()
{
    scanBitmap(*this, m_p, commands::SupportedPids21To40,
               {&PidWalker::findPID5, &PidWalker::findPID6, &PidWalker::findPID7, &PidWalker::findPID8});
}

void PidWalker::scan_PIDs_41_60()
{
    scanBitmap(*this, m_p, commands::SupportedPids41To60, {&PidWalker::findPID9, &PidWalker::findPID10});
}

} // namespace quenta
