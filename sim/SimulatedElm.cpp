#include "sim/SimulatedElm.h"

#include <algorithm>
#include <cctype>

namespace quenta::sim {

namespace {
constexpr qint64 Ms = 1000;
constexpr quint8 CanPadding = 0x55; // what ECUs put after a short message in an eight-byte frame

QByteArray hex(quint32 n, int digits)
{
    return QByteArray::number(n, 16).toUpper().rightJustified(digits, '0');
}

bool isHex(const QByteArray &text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(quint8(c)) != 0; });
}

QByteArray protocolName(int n)
{
    switch (n) {
    case 1: return "SAE J1850 PWM";
    case 2: return "SAE J1850 VPW";
    case 3: return "ISO 9141-2";
    case 4: return "ISO 14230-4 (KWP 5BAUD)";
    case 5: return "ISO 14230-4 (KWP FAST)";
    case 6: return "ISO 15765-4 (CAN 11/500)";
    case 7: return "ISO 15765-4 (CAN 29/500)";
    case 8: return "ISO 15765-4 (CAN 11/250)";
    case 9: return "ISO 15765-4 (CAN 29/250)";
    default: return "AUTO";
    }
}

// The J1850 frame check: CRC-8, polynomial 1D, start FF, inverted.
quint8 crc8(const QByteArray &bytes)
{
    quint8 crc = 0xFF;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int i = 0; i < 8; ++i)
            crc = quint8(crc & 0x80 ? (crc << 1) ^ 0x1D : crc << 1);
    }
    return quint8(~crc);
}
} // namespace

SimulatedElm::SimulatedElm(VehicleProfile profile, Clock *clock, QObject *parent)
    : QObject(parent), m_profile(std::move(profile)), m_clock(clock ? *clock : m_ownClock), m_startUs(m_clock.tickUs())
{
    m_ownClock.setParent(this);
    m_baud = m_profile.baud.value_or(0);
    m_lineTimer.setSingleShot(true);
    connect(&m_lineTimer, &ClockTimer::timeout, this, &SimulatedElm::releaseDue);
    defaults();
}

void SimulatedElm::defaults()
{
    m_echo = true;
    m_cloneEcho = false;
    m_linefeeds = m_profile.adapter.linefeeds;
    m_spaces = true;
    m_headers = false;
    m_formatting = true;
    m_adaptive = 1;
    m_timeoutCounts = 0x32;
    m_header.clear();
    m_receiveFilter.clear();
    m_learnedUs = -1;
}

void SimulatedElm::hang()
{
    m_hung = true;
    dropPending();
}

void SimulatedElm::stop()
{
    dropPending();
    m_busy = m_resetting = m_stoppable = false;
    m_input.clear();
}

void SimulatedElm::dropPending()
{
    m_line.clear();
    m_lineFreeUs = nowUs();
    m_lineTimer.stop();
}

void SimulatedElm::receive(const QByteArray &data)
{
    if (m_hung)
        return;
    for (char c : data) {
        // A character is in when its last bit is.
        const qint64 arrived = qMax(nowUs(), m_inputFreeUs) + charUs();
        m_inputFreeUs = arrived;
        if (m_resetting)
            continue;
        if (m_busy && m_stoppable) {
            // The adapter drops what it was doing; the character itself is not kept.
            dropPending();
            m_stoppable = false;
            finish(arrived, "STOPPED" + eol());
            continue;
        }
        if (m_echo || m_cloneEcho)
            schedule(arrived, c == '\r' ? eol() : QByteArray(1, c));
        if (c == '\r') {
            const QByteArray line = std::exchange(m_input, QByteArray());
            if (!m_echo)
                m_cloneEcho = false;
            handleLine(line, arrived);
        } else if (quint8(c) > 0x20) {
            m_input.append(char(std::toupper(quint8(c))));
        }
    }
}

void SimulatedElm::handleLine(const QByteArray &typed, qint64 atUs)
{
    m_lines << typed;
    const QByteArray line = typed.isEmpty() ? m_lastLine : typed;
    m_busy = true;
    if (line.isEmpty()) {
        finish(atUs, QByteArray());
        return;
    }
    m_lastLine = line;
    if (line.startsWith("AT")) {
        const std::optional<QByteArray> answer = atCommand(line.mid(2), atUs);
        if (answer)
            finish(atUs, *answer + eol());
        return;
    }
    obdRequest(line, atUs);
}

std::optional<QByteArray> SimulatedElm::atCommand(const QByteArray &command, qint64 atUs)
{
    static const QByteArray Ok = "OK";
    auto flag = [&](const char *name, bool *setting) {
        const QByteArray n(name);
        if (command == n + '0' || command == n + '1') {
            *setting = command.endsWith('1');
            return true;
        }
        return false;
    };
    if (command == "Z" || command == "WS") {
        // A reset: the settings go back, the bus is closed, and the banner comes when it is up again.
        defaults();
        m_activeProtocol = 0;
        m_resetting = true;
        const qint64 at = atUs + (command == "Z" ? m_profile.adapter.resetMs * Ms : 10 * Ms);
        schedule(at, eol() + eol() + m_profile.adapter.version.toLatin1() + eol() + eol() + '>', true);
        return std::nullopt;
    }
    if (command == "I")
        return m_profile.adapter.version.toLatin1();
    if (command == "@1")
        return QByteArray("OBDII to RS232 Interpreter");
    if (command == "RV")
        return m_profile.adapter.voltage.toLatin1();
    if (command == "D") {
        defaults();
        return Ok;
    }
    if (command == "E0" || command == "E1") {
        m_echo = command == "E1";
        // A clone still echoes the next command once.
        m_cloneEcho = !m_echo && m_profile.adapter.clone;
        return Ok;
    }
    if (flag("L", &m_linefeeds) || flag("S", &m_spaces) || flag("H", &m_headers) || flag("CAF", &m_formatting))
        return Ok;
    if (command == "AT0" || command == "AT1" || command == "AT2") {
        m_adaptive = command.back() - '0';
        return Ok;
    }
    if (command == "M0" || command == "M1" || command == "CFC0" || command == "CFC1" || command == "AR")
        return Ok;
    if (command == "PC") {
        m_activeProtocol = 0;
        return Ok;
    }
    if (command.startsWith("SP") || command.startsWith("TP")) {
        QByteArray arg = command.mid(2);
        const bool tryFirst = arg.startsWith('A');
        if (tryFirst)
            arg.remove(0, 1);
        bool ok = false;
        const int n = arg.toInt(&ok, 16);
        if (arg.size() != 1 || !ok || n > 9)
            return QByteArray("?");
        m_protocolSetting = n;
        m_autoFallback = tryFirst || n == 0;
        m_activeProtocol = 0;
        return Ok;
    }
    if (command == "DP") {
        const int shown = m_activeProtocol ? m_activeProtocol : m_protocolSetting;
        if (!m_autoFallback)
            return protocolName(shown);
        return shown ? QByteArray("AUTO, ") + protocolName(shown) : QByteArray("AUTO");
    }
    if (command == "DPN")
        return QByteArray(m_autoFallback ? "A" : "") + hex(m_activeProtocol ? m_activeProtocol : m_protocolSetting, 1);
    if (command.startsWith("SH")) {
        const QByteArray h = command.mid(2);
        if ((h.size() != 3 && h.size() != 6 && h.size() != 8) || !isHex(h))
            return QByteArray("?");
        m_header = h;
        return Ok;
    }
    if (command.startsWith("CRA") || command.startsWith("SR")) {
        const QByteArray f = command.mid(command.startsWith("CRA") ? 3 : 2);
        if (!isHex(f) || (!f.isEmpty() && f.size() != 2 && f.size() != 3 && f.size() != 8))
            return QByteArray("?");
        m_receiveFilter = command.startsWith("CRA") ? f : QByteArray();
        return Ok;
    }
    if (command.startsWith("ST") || command.startsWith("CP")) {
        const QByteArray v = command.mid(2);
        if (v.size() != 2 || !isHex(v))
            return QByteArray("?");
        if (command.startsWith("ST"))
            m_timeoutCounts = v.toInt(nullptr, 16);
        return Ok;
    }
    return QByteArray("?");
}

qint64 SimulatedElm::timeoutUs() const
{
    return (m_timeoutCounts ? m_timeoutCounts : 0x32) * 4 * Ms;
}

qint64 SimulatedElm::afterLastUs() const
{
    const qint64 limit = timeoutUs();
    const qint64 learned = m_learnedUs >= 0 ? m_learnedUs : limit;
    if (m_adaptive == 1)
        return qMin(limit, qMax(100 * Ms, 2 * learned + 20 * Ms));
    if (m_adaptive == 2)
        return qMin(limit, qMax(20 * Ms, learned + 10 * Ms));
    return limit;
}

void SimulatedElm::obdRequest(const QByteArray &text, qint64 atUs)
{
    // Hex pairs, and perhaps one more digit: how many responses to wait for.
    QByteArray digits = text;
    int expected = 0;
    if (digits.size() % 2 == 1) {
        expected = digits.right(1).toInt(nullptr, 16);
        digits.chop(1);
    }
    if (!isHex(text) || digits.isEmpty() || digits.size() > 14 || (text.size() % 2 == 1 && expected == 0)) {
        finish(atUs, "?" + eol());
        return;
    }
    const QByteArray request = QByteArray::fromHex(digits);
    m_stoppable = true;
    if (!m_faults.nextErrors.isEmpty()) {
        finish(atUs + m_profile.ecuResponseMs * Ms, m_faults.nextErrors.takeFirst().toLatin1() + eol());
        return;
    }

    const int vehicleProtocol = int(m_profile.protocol);
    auto matches = [&](int n) {
        return n == vehicleProtocol || (n == 4 && vehicleProtocol == int(Protocol::Kwp));
    };
    QByteArray shown;
    qint64 t = atUs;
    if (m_activeProtocol && !m_profile.vehicle && m_autoFallback)
        m_activeProtocol = 0; // the bus went quiet: search again
    if (!m_activeProtocol) {
        if (m_autoFallback && !(m_protocolSetting && matches(m_protocolSetting) && m_profile.vehicle)) {
            shown += "SEARCHING..." + eol();
            schedule(atUs, shown);
            t += m_profile.adapter.searchMs * Ms;
            if (!m_profile.vehicle) {
                finish(t, "UNABLE TO CONNECT" + eol());
                return;
            }
            m_activeProtocol = vehicleProtocol;
            shown.clear();
        } else {
            const int n = m_protocolSetting;
            if (!m_profile.vehicle || !matches(n)) {
                const QByteArray error = isCan(n) ? "CAN ERROR" : n >= 3 ? "BUS INIT: ...ERROR" : "NO DATA";
                finish(t + timeoutUs(), error + eol());
                return;
            }
            if (n >= 3 && n <= 5) {
                t += (n == 5 ? 300 : 2600) * Ms; // fast init, or the five-baud address
                shown += "BUS INIT: ...OK" + eol();
            }
            m_activeProtocol = n;
        }
    } else if (!m_profile.vehicle) {
        finish(t + timeoutUs(), (isCan(m_activeProtocol) ? "CAN ERROR" : "NO DATA") + eol());
        return;
    }
    if (!shown.isEmpty())
        schedule(t, shown);

    m_requests << request;
    const int target = targetEcu();
    const QList<EcuMessage> messages = target < SimulatedVehicle::AllEcus
        ? QList<EcuMessage>{}
        : m_vehicle.respond(request, isCan(m_activeProtocol) ? Bus::Can : Bus::Legacy, target, nowUs() / Ms);
    const QList<Frame> frames = busFrames(messages, t);
    if (frames.isEmpty()) {
        finish(t + timeoutUs(), "NO DATA" + eol());
        return;
    }
    const qint64 measured = frames.first().atUs - t;
    m_learnedUs = m_learnedUs < 0 ? measured : (3 * m_learnedUs + measured) / 4;
    int counted = 0;
    qint64 endUs = -1;
    for (const Frame &f : frames) {
        schedule(f.atUs, f.line + eol());
        if (f.counted && ++counted == expected) {
            endUs = f.atUs;
            break;
        }
    }
    if (endUs < 0)
        endUs = frames.last().atUs + afterLastUs();
    finish(endUs, QByteArray());
}

int SimulatedElm::targetEcu() const
{
    if (m_header.isEmpty())
        return SimulatedVehicle::AllEcus;
    constexpr int Nobody = SimulatedVehicle::AllEcus - 1;
    const quint32 h = m_header.toUInt(nullptr, 16);
    const QList<EcuProfile> &ecus = m_profile.ecus;
    auto byAddress = [&](int address) {
        for (int i = 0; i < ecus.size(); ++i)
            if (ecus[i].address == address)
                return i;
        return Nobody;
    };
    if (m_activeProtocol == 6 || m_activeProtocol == 8) {
        if (m_header.size() != 3)
            return Nobody;
        if (h == 0x7DF)
            return SimulatedVehicle::AllEcus;
        for (int i = 0; i < ecus.size(); ++i)
            if (ecus[i].canId.value_or(0x7E8 + i) == h + 8)
                return i;
        return Nobody;
    }
    // Three header bytes (29-bit: the priority 18 in front): type, target, source.
    const quint32 three = h & 0xFFFFFF;
    const int type = int(three >> 16), target = int((three >> 8) & 0xFF);
    if (m_header.size() == 3)
        return Nobody;
    if (isCan(m_activeProtocol))
        return type == 0xDB && target == 0x33 ? SimulatedVehicle::AllEcus : type == 0xDA ? byAddress(target) : Nobody;
    if (target == 0x6A)
        return SimulatedVehicle::AllEcus;
    return byAddress(target);
}

bool SimulatedElm::shownEcu(int ecu) const
{
    if (m_receiveFilter.isEmpty() || !isCan(m_activeProtocol))
        return true;
    const quint32 f = m_receiveFilter.toUInt(nullptr, 16);
    const EcuProfile &e = m_profile.ecus[ecu];
    if (m_activeProtocol == 6 || m_activeProtocol == 8)
        return e.canId.value_or(0x7E8 + ecu) == f;
    return (0x18DAF100u | e.address) == f;
}

QByteArray SimulatedElm::bytesText(const QByteArray &bytes) const
{
    QByteArray out;
    for (int i = 0; i < bytes.size(); ++i) {
        if (m_spaces && i > 0)
            out += ' ';
        out += hex(quint8(bytes[i]), 2);
    }
    if (m_spaces && m_profile.adapter.clone)
        out += ' ';
    return out;
}

QList<SimulatedElm::Frame> SimulatedElm::busFrames(const QList<EcuMessage> &messages, qint64 atUs)
{
    const bool can = isCan(m_activeProtocol);
    const qint64 gapUs = (can ? 1 : 15) * Ms;
    const qint64 ecuStaggerUs = can ? Ms / 2 : 20 * Ms;
    QList<Frame> frames;
    QHash<int, qint64> nextAt; // per ECU: when its next frame goes
    const QByteArray sep = m_spaces ? " " : "";
    for (const EcuMessage &m : messages) {
        if (!shownEcu(m.ecu))
            continue;
        const EcuProfile &ecu = m_profile.ecus[m.ecu];
        qint64 &at = nextAt[m.ecu];
        if (at == 0)
            at = atUs + m_profile.ecuResponseMs * Ms + m.ecu * ecuStaggerUs;
        const QByteArray &b = m.bytes;
        if (!can) {
            QByteArray header(3, '\0');
            const bool pwm = m_activeProtocol == 1;
            header[0] = char(m_activeProtocol >= 4 ? 0x80 | b.size() : pwm ? 0x41 : 0x48);
            header[1] = char(m_activeProtocol >= 4 ? 0xF1 : 0x6B);
            header[2] = char(ecu.address);
            QByteArray all = header + b;
            quint8 check = 0;
            if (m_activeProtocol <= 2) {
                check = crc8(all);
            } else {
                for (char c : all)
                    check = quint8(check + quint8(c));
            }
            all.append(char(check));
            frames << Frame{at, bytesText(m_headers ? all : b), true};
            at += gapUs;
            continue;
        }
        const QByteArray id = m_activeProtocol == 6 || m_activeProtocol == 8
            ? hex(ecu.canId.value_or(0x7E8 + m.ecu), 3)
            : bytesText(QByteArray::fromHex("18DAF1") + char(ecu.address));
        auto padded = [](QByteArray data) { return data.leftJustified(8, char(CanPadding), true); };
        auto line = [&](const QByteArray &data, const QByteArray &formatted) {
            return m_headers ? id + sep + bytesText(data) : m_formatting ? formatted : bytesText(data);
        };
        if (b.size() <= 7) {
            const QByteArray data = padded(QByteArray(1, char(b.size())) + b);
            frames << Frame{at, line(data, bytesText(b)), true};
            at += gapUs;
            continue;
        }
        // ISO-TP: a first frame with the length, then (after the adapter's flow control)
        // consecutive frames numbered 1, 2, ... F, 0, 1 ...
        if (!m_headers && m_formatting)
            frames << Frame{at, hex(quint32(b.size()), 3), false};
        QByteArray first = QByteArray(1, char(0x10 | ((b.size() >> 8) & 0x0F))) + char(b.size() & 0xFF) + b.left(6);
        frames << Frame{at, line(first, "0:" + sep + bytesText(b.left(6))), true};
        at += gapUs;
        for (int offset = 6, seq = 1; offset < b.size(); offset += 7, ++seq) {
            const QByteArray data = padded(QByteArray(1, char(0x20 | (seq & 0x0F))) + b.mid(offset, 7));
            frames << Frame{at, line(data, hex(seq & 0x0F, 1) + ":" + sep + bytesText(data.mid(1))), true};
            at += gapUs;
        }
    }
    std::stable_sort(frames.begin(), frames.end(), [](const Frame &a, const Frame &b) { return a.atUs < b.atUs; });
    return frames;
}

void SimulatedElm::finish(qint64 atUs, const QByteArray &lines)
{
    schedule(atUs, lines + eol() + '>', true);
}

void SimulatedElm::schedule(qint64 atUs, const QByteArray &bytes, bool prompt)
{
    const qint64 now = nowUs();
    for (int i = 0; i < bytes.size(); ++i) {
        // A clone sends its answers in pieces a few milliseconds apart.
        const qint64 pieceUs = m_profile.adapter.clone ? (i / 5) * 3 * Ms : 0;
        const qint64 start = qMax(qMax(now, atUs + pieceUs), m_lineFreeUs);
        m_lineFreeUs = start + charUs();
        m_line.push_back({m_lineFreeUs, bytes[i], prompt && i == bytes.size() - 1});
    }
    releaseDue();
}

void SimulatedElm::releaseDue()
{
    const qint64 now = nowUs();
    QByteArray chunk;
    while (!m_line.empty() && m_line.front().dueUs <= now) {
        const Pending p = m_line.front();
        m_line.pop_front();
        chunk.append(p.byte);
        if (p.prompt) {
            m_busy = m_resetting = m_stoppable = false;
            // What waits from before the prompt would be typed-ahead input: none is kept.
        }
    }
    if (!chunk.isEmpty())
        emit transmit(chunk);
    if (!m_line.empty()) {
        const qint64 waitUs = m_line.front().dueUs - nowUs();
        m_lineTimer.start(int(qMax<qint64>(0, (waitUs + 999) / 1000)));
    }
}

} // namespace quenta::sim
