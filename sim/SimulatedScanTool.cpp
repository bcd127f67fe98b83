#include "sim/SimulatedScanTool.h"

#include "link/Commands.h"

#include <cmath>

namespace quenta::sim {

namespace {
constexpr char Lead = 'R';        // the leading character of every data reply
constexpr quint8 Header1 = 0x48;  // response header: priority/type, target, then the ECU's address
constexpr quint8 Header2 = 0x6B;
constexpr int PartialCommandMs = 250; // a command cut short is forgotten after this long
constexpr int PacketWaitMs = 1000;    // a packet that does not follow the acknowledgement is given up
constexpr quint8 Refusal = 0x7F;      // a negative response: 7F, the service, the reason
constexpr quint8 NotSupported = 0x12;

bool isBitmapPid(int pid) { return pid == 0x00 || pid == 0x20 || pid == 0x40; }

// The support bitmap for PIDs base+1 .. base+0x20 of the keys present.
QByteArray bitmapOf(const QMap<int, PidValue> &map, int base)
{
    quint32 bits = 0;
    for (auto it = map.keyBegin(); it != map.keyEnd(); ++it) {
        const int pid = *it;
        if (pid > base && pid <= base + 0x20)
            bits |= 0x80000000u >> (pid - base - 1);
        else if (pid > base + 0x20 && base + 0x20 < 0x60)
            bits |= 1u; // the next bitmap has something to announce
    }
    QByteArray out(4, '\0');
    for (int i = 0; i < 4; ++i)
        out[i] = char((bits >> (24 - 8 * i)) & 0xFF);
    return out;
}
} // namespace

SimulatedScanTool::SimulatedScanTool(VehicleProfile profile, Clock *clock, QObject *parent)
    : QObject(parent), m_profile(std::move(profile)), m_clock(clock ? *clock : m_ownClock), m_startUs(m_clock.tickUs())
{
    m_ownClock.setParent(this);
    m_baud = m_profile.baud.value_or(0);
    connect(&m_statusTimer, &ClockTimer::timeout, this, &SimulatedScanTool::sendStatus);
    m_releaseTimer.setSingleShot(true);
    connect(&m_releaseTimer, &ClockTimer::timeout, this, &SimulatedScanTool::releaseDue);
    m_replyTimer.setSingleShot(true);
    connect(&m_replyTimer, &ClockTimer::timeout, this, [this] {
        const QByteArray reply = m_pendingReply;
        m_pendingReply.clear();
        if (reply.isEmpty()) {
            m_busy = false;
            return;
        }
        send(reply, false);
    });
    m_packetTimer.setSingleShot(true);
    connect(&m_packetTimer, &ClockTimer::timeout, this, [this] {
        m_awaitingPacket = false;
        m_packet.clear();
        if (!m_replyTimer.isActive() && m_line.empty())
            m_busy = false;
    });
    m_partialTimer.setSingleShot(true);
    connect(&m_partialTimer, &ClockTimer::timeout, this, [this] {
        m_command.clear();
        if (!m_replyTimer.isActive() && m_line.empty())
            m_busy = false;
    });
}

void SimulatedScanTool::start()
{
    m_statusTimer.start(m_profile.statusPeriodMs);
}

void SimulatedScanTool::stop()
{
    m_statusTimer.stop();
    m_releaseTimer.stop();
    m_replyTimer.stop();
    m_packetTimer.stop();
    m_line.clear();
    m_busy = false;
    m_awaitingPacket = false;
    m_packet.clear();
}

quint8 SimulatedScanTool::readyByte() const
{
    if (m_busy || m_awaitingPacket || !m_line.empty() || m_profile.faults.quiet || !m_statusTimer.isActive())
        return 0;
    return quint8(m_profile.vehicle ? commands::TalkingToVehicle : commands::NoVehicle);
}

void SimulatedScanTool::sendStatus()
{
    if (m_busy || m_awaitingPacket || !m_line.empty() || m_profile.faults.quiet || !m_statusOnLine)
        return;
    send(QByteArray(1, m_profile.vehicle ? commands::TalkingToVehicle : commands::NoVehicle), true);
}

void SimulatedScanTool::send(const QByteArray &data, bool isStatus)
{
    const qint64 now = nowUs();
    for (char c : data) {
        const qint64 start = qMax(now, m_lineFreeUs);
        m_lineFreeUs = start + charUs();
        m_line.push_back({m_lineFreeUs, c, isStatus});
    }
    releaseDue();
}

void SimulatedScanTool::releaseDue()
{
    const qint64 now = nowUs();
    QByteArray chunk;
    bool replyEnded = false;
    while (!m_line.empty() && m_line.front().dueUs <= now) {
        const Pending p = m_line.front();
        m_line.pop_front();
        chunk.append(p.byte);
        if (p.status) {
            // On the wire it ends when it is due, or when it is actually written if that is later.
            m_lastStatusEndUs = qMax(p.dueUs, now);
            if (m_lastReplyEndUs >= 0) {
                m_busyUs += p.dueUs - m_lastReplyEndUs;
                m_lastReplyEndUs = -1;
            }
        } else if (m_line.empty() && m_busy) {
            replyEnded = true;
            const qint64 endUs = qMax(p.dueUs, now);
            m_busyUs += endUs - m_commandStartUs;
            m_lastReplyEndUs = endUs;
        }
    }
    if (!chunk.isEmpty())
        emit transmit(chunk);
    if (replyEnded) {
        m_busy = false;
        // The next status follows one period after the reply.
        if (m_statusTimer.isActive())
            m_statusTimer.start(m_profile.statusPeriodMs);
    }
    if (!m_line.empty()) {
        const qint64 waitUs = m_line.front().dueUs - nowUs();
        m_releaseTimer.start(int(qMax<qint64>(0, (waitUs + 999) / 1000)));
    }
}

void SimulatedScanTool::receive(const QByteArray &data)
{
    for (char c : data) {
        if (m_awaitingPacket) {
            if (m_packet.isEmpty()) {
                m_busy = true;
                m_commandStartUs = nowUs();
            }
            m_packet.append(c);
            if (m_packet.size() == PacketSize)
                packetComplete();
            continue;
        }
        if (m_command.isEmpty()) {
            const qint64 now = nowUs();
            if (m_lastStatusEndUs >= 0 && !m_busy) {
                m_reactionUs << qMax<qint64>(0, now - m_lastStatusEndUs);
                m_lastStatusEndUs = -1;
            }
            if (!m_busy)
                m_commandStartUs = now;
            m_busy = true;
        }
        m_command.append(c);
        if (m_command.size() == 6) {
            commandComplete();
            m_command.clear();
        }
    }
    if (!m_command.isEmpty())
        m_partialTimer.start(PartialCommandMs);
}

void SimulatedScanTool::commandComplete()
{
    m_partialTimer.stop();
    m_commands << m_command;
    bool okService = false;
    if (m_command.left(2).toInt(&okService, 16) == m_profile.faults.unansweredService && okService) {
        // The tool waits for an ECU that never answers: no reply and no status until the next command.
        m_pendingReply.clear();
        return;
    }
    m_pendingReply = m_profile.faults.quiet ? QByteArray() : answer(m_command);
    m_replyTimer.start(m_pendingReply.isEmpty() ? 0 : m_profile.latencyMs);
}

QByteArray SimulatedScanTool::frame(const QByteArray &message, int length) const
{
    QByteArray bytes = message.left(length);
    bytes.append(QByteArray(qMax(0, length - bytes.size()), '\0'));
    quint8 sum = 0;
    for (char c : bytes)
        sum = quint8(sum + quint8(c));
    return Lead + bytes.toHex().toUpper() + QByteArray(1, char(sum)).toHex().toUpper();
}

QByteArray SimulatedScanTool::silentReply(int length) const
{
    return QByteArray(1, Lead) + 'S' + QByteArray(2 * length + 1, '0');
}

QByteArray SimulatedScanTool::answer(const QByteArray &command)
{
    bool okS = false, okP = false, okL = false;
    const int service = command.mid(0, 2).toInt(&okS, 16);
    const int pid = command.mid(2, 2).toInt(&okP, 16);
    const int length = command.mid(4, 2).toInt(&okL, 16);
    if (command.size() != 6 || !okS || !okP || !okL)
        return {};
    const char status = m_profile.vehicle ? commands::TalkingToVehicle : commands::NoVehicle;
    if (service == commands::FirmwareIdentity.service)
        return status + m_profile.firmware.toLatin1();
    if (command == commands::MonitorTestPass.text().toLatin1())
        return passAcknowledgement();
    if (service == commands::SwitchEcu.service) {
        m_ecu = m_profile.ecus.isEmpty() ? 0 : (m_ecu + 1) % m_profile.ecus.size();
        return QByteArray(1, Lead) + "00";
    }
    if (service >= 0x80)
        return QByteArray(1, status);

    Faults &f = m_profile.faults;
    QByteArray reply = m_profile.vehicle ? vehicleReply(service, pid, length) : silentReply(length);
    if (f.garbled && reply.size() > 11)
        for (int i = 11; i < reply.size(); i += 2)
            reply[i] = 'G';
    if (f.sAtThird > 0) {
        --f.sAtThird;
        // "S" at position 3: the tool's way of asking for the request again.
        reply = QByteArray(1, Lead) + "0S" + QByteArray(qMax(0, int(reply.size()) - 3), '0');
    }
    if (f.statusBeforeReply > 0) {
        --f.statusBeforeReply;
        reply.prepend('S');
    }
    if (f.cutRepliesTo > 0)
        reply = reply.left(f.cutRepliesTo);
    return reply;
}

QByteArray SimulatedScanTool::vehicleReply(int service, int pid, int length)
{
    if (m_profile.ecus.isEmpty())
        return silentReply(length);
    EcuProfile &ecu = m_profile.ecus[m_ecu];
    if (ecu.silent)
        return silentReply(length);
    QByteArray message;
    message.append(char(Header1)).append(char(Header2)).append(char(ecu.address)).append(char(service + 0x40));
    const qint64 elapsedMs = nowUs() / 1000;
    const Faults &f = m_profile.faults;

    auto dataOf = [&](const QMap<int, PidValue> &map, int which, QByteArray *out) {
        if (map.contains(which)) {
            *out = map[which].bytes(m_turns[service * 256 + which], elapsedMs);
            return true;
        }
        // A bitmap is there when it has something to announce (PID 00 always is).
        if (isBitmapPid(which) && (which == 0 || (!map.isEmpty() && map.lastKey() > which))) {
            *out = bitmapOf(map, which);
            return true;
        }
        return false;
    };
    auto freezeCode = [&] {
        int turn = 0;
        return ecu.freeze.contains(0x02) ? ecu.freeze[0x02].bytes(turn, elapsedMs) : QByteArray(2, '\0');
    };
    auto codes = [&](const QList<quint16> &list) {
        QByteArray out;
        for (int i = 0; i < 3; ++i) {
            quint16 code = i < list.size() ? list[i] : 0;
            if (f.cFirstCodes && i < list.size())
                code = quint16(0xC000 | (code & 0x0FFF));
            out.append(char(code >> 8)).append(char(code & 0xFF));
        }
        return out;
    };
    auto withBlank = [&](QByteArray reply) {
        if (f.blankAt10)
            reply.insert(9, ' ');
        return reply;
    };

    QByteArray data;
    switch (service) {
    case 0x01:
        if (pid == 0x02 && ecu.pids.contains(0x02))
            data = freezeCode(); // the code that stored the freeze frame, 0000 when there is none
        else if (!dataOf(ecu.pids, pid, &data))
            return silentReply(length);
        message.append(char(pid)).append(data);
        return frame(message, length);
    case 0x02:
        if (pid == 0x02 ? ecu.freeze.isEmpty() : !dataOf(ecu.freeze, pid, &data))
            return silentReply(length);
        if (pid == 0x02)
            data = freezeCode();
        message.append(char(pid)).append('\0').append(data);
        return frame(message, length);
    case 0x03:
        if (!ecu.codeData)
            return frame(QByteArray(1, char(0xFF)), length);
        return withBlank(frame(message + codes(ecu.stored), length));
    case 0x07:
        if (!ecu.codeData || f.pendingFE)
            return frame(QByteArray(1, char(ecu.codeData ? 0xFE : 0xFF)), length);
        return withBlank(frame(message + codes(ecu.pending), length));
    case 0x04:
        if (f.negativeClear) {
            message[3] = char(0x7F);
            message.append(char(0x04)).append(char(0x22));
            return frame(message, length);
        }
        ecu.stored.clear();
        ecu.pending.clear();
        ecu.freeze.clear();
        // The lamp goes out and the code count with it.
        if (ecu.pids.contains(0x01))
            for (QByteArray &v : ecu.pids[0x01].values)
                if (!v.isEmpty())
                    v[0] = '\0';
        return frame(message, length);
    case 0x05:
    case 0x06:
        // The last pair names the O2 sensor, not a length: the tool knows these replies' length.
        return o2Reply(ecu, service, pid, length);
    default:
        return silentReply(length);
    }
}

QByteArray SimulatedScanTool::o2Reply(EcuProfile &ecu, int service, int tid, int sensor)
{
    QByteArray message;
    message.append(char(Header1)).append(char(Header2)).append(char(ecu.address));
    const auto tests = ecu.o2Tests.constFind(sensor);
    const bool answers = ecu.o2Services.contains(service) && !m_profile.faults.o2Unsupported
        && tests != ecu.o2Tests.constEnd() && (tid == 0 || tests->contains(tid));
    if (!answers) {
        message.append(char(Refusal)).append(char(service)).append(char(NotSupported));
        return frame(message, int(message.size()));
    }
    message.append(char(service + 0x40)).append(char(tid));
    if (tid == 0) {
        // Which tests this sensor has: bit 7 of the first byte is test 01, bit 0 test 08, and
        // bit 7 of the second byte test 09.
        quint32 bits = 0;
        for (auto it = tests->keyBegin(); it != tests->keyEnd(); ++it)
            bits |= 0x80000000u >> (*it - 1);
        message.append(char(sensor));
        for (int i = 0; i < 4; ++i)
            message.append(char((bits >> (24 - 8 * i)) & 0xFF));
    } else {
        message.append(tests->value(tid));
    }
    return frame(message, int(message.size()));
}

QByteArray SimulatedScanTool::passAcknowledgement()
{
    if (m_profile.faults.passRefused)
        return {};
    m_awaitingPacket = true;
    m_packet.clear();
    m_packetTimer.start(PacketWaitMs);
    const char status = m_profile.vehicle ? commands::TalkingToVehicle : commands::NoVehicle;
    return QByteArray(1, status) + 'A' + m_profile.passHeader;
}

void SimulatedScanTool::packetComplete()
{
    m_packetTimer.stop();
    m_awaitingPacket = false;
    m_packets << m_packet;
    QByteArray reply = packetReply(m_packet);
    m_packet.clear();
    if (m_profile.faults.mode6ReplyBytes > 0)
        reply = reply.left(m_profile.faults.mode6ReplyBytes);
    m_pendingReply = m_profile.faults.quiet ? QByteArray() : reply;
    m_replyTimer.start(m_pendingReply.isEmpty() ? 0 : m_profile.latencyMs);
}

QByteArray SimulatedScanTool::packetReply(const QByteArray &packet)
{
    // The header bytes the acknowledgement announced: 61 6A for "4", C3 33 for "8", else 68 6A.
    const int digit = m_profile.passHeader & 0x0F;
    const quint8 h1 = digit == 4 ? 0x61 : digit == 8 ? 0xC3 : 0x68;
    const quint8 h2 = digit == 4 ? 0x6A : digit == 8 ? 0x33 : 0x6A;
    auto byteAt = [&](int i) { return quint8(packet.at(i)); };
    const int length = byteAt(1);
    const int service = byteAt(5), test = byteAt(6), component = byteAt(7);
    QByteArray block(PacketReplySize - 1, '\0');
    const bool onBus = byteAt(0) == 1 && (length == 5 || length == 6) && byteAt(2) == h1 && byteAt(3) == h2
        && byteAt(4) == 0xF1;
    EcuProfile *ecu = m_profile.ecus.isEmpty() ? nullptr : &m_profile.ecus[m_ecu];
    if (!m_profile.vehicle || !onBus || !ecu || ecu->silent) {
        // Nobody answered on the bus: the tool says so where the response would stand.
        block[1] = 'S';
    } else {
        block[0] = char(Header1);
        block[1] = char(Header2);
        block[2] = char(ecu->address);
        const Mode6Result *found = nullptr;
        for (const Mode6Result &r : ecu->mode6)
            if (r.test == test && r.component == component)
                found = &r;
        quint32 bits = 0;
        if (length == 5) {
            // Which tests of test + 1 .. test + 32 there are; the last bit announces the next range.
            for (const Mode6Result &r : ecu->mode6) {
                if (r.test > test && r.test <= test + 0x20)
                    bits |= 0x80000000u >> (r.test - test - 1);
                else if (r.test > test + 0x20)
                    bits |= 1u;
            }
        }
        // A support request (test 00, 20, 40 ...) is answered when the ECU has tests from there on.
        const bool supported = service == 0x06 && !ecu->mode6.isEmpty()
            && (length == 5 ? test % 0x20 == 0 && (test == 0 || bits != 0) : found != nullptr);
        if (m_profile.faults.mode6NoResponse || !supported) {
            block[3] = char(Refusal);
            block[4] = char(service);
            block[5] = char(NotSupported);
        } else if (length == 5) {
            block[3] = char(0x46);
            block[4] = char(test);
            for (int i = 0; i < 4; ++i)
                block[6 + i] = char((bits >> (24 - 8 * i)) & 0xFF);
        } else {
            block[3] = char(0x46);
            block[4] = char((found->minimum ? 0x80 : 0x00) | (found->component & 0x7F));
            block[5] = char(found->value >> 8);
            block[6] = char(found->value & 0xFF);
            block[7] = char(found->limit >> 8);
            block[8] = char(found->limit & 0xFF);
            block[9] = char(test);
        }
    }
    quint8 sum = 0;
    for (char c : block)
        sum = quint8(sum + quint8(c));
    return block + char(sum);
}

} // namespace quenta::sim
