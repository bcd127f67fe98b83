#include "elm/ElmTranslate.h"

#include "elm/ToolFace.h"

#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace quenta::elm {

namespace {

constexpr char Lead = ToolFace::Lead;
constexpr quint8 Header1 = 0x48; // the tool's response header: 48 6B, then the ECU's address
constexpr quint8 Header2 = 0x6B;
constexpr quint8 Refusal = 0x7F;
constexpr quint8 NotSupported = 0x12;
// The packet header the acknowledgement's digit '0' announces.
constexpr quint8 PacketH1 = 0x68, PacketH2 = 0x6A, PacketH3 = 0xF1;
constexpr int PacketSize = ToolFace::PacketSize;
constexpr int PacketReplySize = ToolFace::PacketReplySize;
// The tool's O2 replies are as long as their message: the support reply ten bytes, a test at most eight.
constexpr int O2SupportBytes = 10;
constexpr int O2TestBytes = 8;

// Byte i of `b`, 0 beyond its end.
quint8 byteAt(const QByteArray &b, qsizetype i) { return i >= 0 && i < b.size() ? quint8(b[i]) : 0; }

QByteArray hex(quint32 value, int digits)
{
    return QByteArray::number(value, 16).rightJustified(digits, '0').toUpper();
}

QByteArray header(quint8 address)
{
    QByteArray h;
    h.append(char(Header1)).append(char(Header2)).append(char(address));
    return h;
}

QByteArray frame(const QByteArray &message, int length) { return ToolFace::frame(message, length); }

QByteArray refusal(quint8 address, int service)
{
    QByteArray m = header(address);
    m.append(char(Refusal)).append(char(service)).append(char(NotSupported));
    return frame(m, int(m.size()));
}

bool isO2(int service) { return service == 0x05 || service == 0x06; }

int replyLength(const ToolCommand &c)
{
    if (isO2(c.service))
        return c.parameter == 0 ? O2SupportBytes : O2TestBytes;
    return c.length;
}

// The current ECU's responses to `service`, positive or refusals; before any ECU is known, those
// of the lowest id that answered.
QList<EcuMessage> responses(const Answer &answer, const Bus &bus, int service)
{
    const QList<quint32> ids = answer.ecus();
    const std::optional<quint32> id = bus.currentId() ? bus.currentId() : ids.isEmpty() ? std::nullopt : std::optional(ids.first());
    QList<EcuMessage> out;
    if (!id)
        return out;
    for (const EcuMessage &m : answer.from(*id)) {
        const quint8 first = m.bytes.isEmpty() ? 0 : quint8(m.bytes[0]);
        if (first == service + 0x40 || (first == Refusal && m.bytes.size() >= 2 && quint8(m.bytes[1]) == service))
            out << m;
    }
    return out;
}

bool refused(const EcuMessage &m) { return byteAt(m.bytes, 0) == Refusal; }

quint16 word(const QByteArray &b, int at) { return quint16((byteAt(b, at) << 8) | byteAt(b, at + 1)); }

// Codes the ECU sent: on CAN after the count byte, on legacy buses three to a message with zeros
// filling the last one.
QList<quint16> codesOf(const QList<EcuMessage> &messages, bool can)
{
    QList<quint16> codes;
    for (const EcuMessage &m : messages) {
        int from = 1, count = int(m.bytes.size() - 1) / 2;
        if (can) {
            from = 2;
            count = qMin(int(byteAt(m.bytes, 1)), int(m.bytes.size() - 2) / 2);
        }
        for (int i = 0; i < count; ++i) {
            const quint16 code = word(m.bytes, from + 2 * i);
            if (code != 0)
                codes << code;
        }
    }
    return codes;
}

QList<QByteArray> codeReplies(const ToolCommand &c, quint8 address, const QList<quint16> &codes)
{
    QList<QByteArray> replies;
    for (int first = 0; first == 0 || first < codes.size(); first += 3) {
        QByteArray m = header(address);
        m.append(char(c.service + 0x40));
        for (int i = first; i < first + 3; ++i) {
            const quint16 code = i < codes.size() ? codes[i] : 0;
            m.append(char(code >> 8)).append(char(code & 0xFF));
        }
        replies << frame(m, c.length);
    }
    return replies;
}

// The tool's O2 test layout: the value alone for the threshold tests 01 to 04, value, minimum
// and maximum for the others, each in the counts the program scales (volts or seconds).
struct O2Unit {
    double scale;
    char unit;
};
O2Unit o2Unit(int tid)
{
    if (tid == 5 || tid == 6)
        return {0.004, 's'};
    if (tid == 9)
        return {0.04, 's'};
    return {0.005, 'V'};
}

QByteArray o2FromMids(const ToolCommand &c, quint8 address, const EcuMessage &m)
{
    const QList<MidTest> tests = midTests(m.bytes);
    QByteArray out = header(address);
    out.append(char(c.service + 0x40)).append(char(c.parameter));
    if (c.parameter == 0) {
        quint32 bits = 0;
        for (const MidTest &t : tests)
            if (t.tid >= 1 && t.tid <= 9)
                bits |= 0x80000000u >> (t.tid - 1);
        if (!bits)
            return refusal(address, c.service);
        out.append(char(c.length));
        for (int i = 0; i < 4; ++i)
            out.append(char((bits >> (24 - 8 * i)) & 0xFF));
        return frame(out, int(out.size()));
    }
    const auto found = std::find_if(tests.begin(), tests.end(), [&](const MidTest &t) { return t.tid == c.parameter; });
    const std::optional<Scaling> s = found == tests.end() ? std::nullopt : scaling(found->uasid);
    const O2Unit want = o2Unit(c.parameter);
    if (!s || s->unit[0] != want.unit || s->unit[1] != '\0')
        return refusal(address, c.service);
    auto counts = [&](quint16 raw) { return char(qBound(0L, std::lround(physical(*s, raw) / want.scale), 255L)); };
    out.append(counts(found->value));
    if (c.parameter >= 5)
        out.append(counts(found->minimum)).append(counts(found->maximum));
    return frame(out, int(out.size()));
}

QByteArray o2FromService(const ToolCommand &c, quint8 address, const EcuMessage &m)
{
    // 4S TID sensor data...: the tool keeps the sensor byte, as its mask, only in the support reply.
    QByteArray out = header(address);
    out.append(m.bytes.left(2));
    if (c.parameter == 0)
        out.append(char(c.length)).append(m.bytes.mid(3, 4));
    else
        out.append(m.bytes.mid(3));
    return frame(out, int(out.size()));
}

} // namespace

std::optional<ToolCommand> toolCommand(const QByteArray &text)
{
    if (text.size() != 6)
        return std::nullopt;
    bool ok[3] = {};
    const int s = text.mid(0, 2).toInt(&ok[0], 16), p = text.mid(2, 2).toInt(&ok[1], 16), l = text.mid(4, 2).toInt(&ok[2], 16);
    if (!ok[0] || !ok[1] || !ok[2] || text.contains('+') || text.contains('-') || text.contains(' '))
        return std::nullopt;
    return ToolCommand{quint8(s), quint8(p), quint8(l)};
}

std::optional<int> o2SensorNumber(int mask)
{
    for (int k = 0; k < 8; ++k)
        if (mask == 1 << k)
            return k + 1;
    return std::nullopt;
}

QList<QByteArray> addressLines(const Bus &bus, int index)
{
    if (index < 0 || index >= bus.ecus.size())
        return {};
    const quint32 id = bus.ecus[index];
    if (bus.protocol == Protocol::Can11)
        return {"ATSH" + hex(id - 8, 3), "ATCRA" + hex(id, 3)};
    if (bus.protocol == Protocol::Can29) {
        // Responses come from 18 DA F1 xx; requests go to 18 DA xx F1 (the adapter's priority byte is 18).
        const quint32 ecu = id & 0xFF;
        return {"ATSHDA" + hex(ecu, 2) + "F1", "ATCRA" + hex(id, 8)};
    }
    return {};
}

char statusCharacter(bool vehicle) { return vehicle ? commands::TalkingToVehicle : commands::NoVehicle; }

QByteArray silentReply(int length) { return ToolFace::silentReply(length); }

QByteArray askAgainReply(int length) { return QByteArray(1, Lead) + "0S" + QByteArray(2 * length, '0'); }

QByteArray passAcknowledgement(bool vehicle) { return QByteArray(1, statusCharacter(vehicle)) + "A0"; }

Plan plan(const ToolCommand &c, const Bus &bus)
{
    const bool vehicle = !bus.ecus.isEmpty();
    const QByteArray count = bus.oneAnswers() ? "1" : "";
    Plan p;
    switch (c.service) {
    case 0x01:
        p.lines << "01" + hex(c.parameter, 2) + count;
        return p;
    case 0x02:
        p.lines << "02" + hex(c.parameter, 2) + (bus.freezeWithoutFrame ? "" : "00") + count;
        return p;
    case 0x03:
    case 0x04:
    case 0x07:
        p.lines << hex(c.service, 2);
        return p;
    case 0x05:
    case 0x06: {
        const std::optional<int> sensor = o2SensorNumber(c.length);
        if (!sensor) {
            p.reply = bus.currentId() ? refusal(quint8(*bus.currentId()), c.service) : silentReply(replyLength(c));
            return p;
        }
        // On CAN the O2 sensor tests are the results of the sensor's monitor ID.
        if (isCan(bus.protocol))
            p.lines << "06" + hex(quint32(*sensor), 2);
        else
            p.lines << hex(c.service, 2) + hex(c.parameter, 2) + hex(quint32(*sensor), 2);
        return p;
    }
    default:
        break;
    }
    if (c.service == commands::SwitchEcu.service) {
        const int next = bus.ecus.isEmpty() ? 0 : (bus.current + 1) % int(bus.ecus.size());
        p.selectEcu = next;
        p.lines = isCan(bus.protocol) ? addressLines(bus, next) : QList<QByteArray>{};
        if (p.lines.isEmpty())
            p.reply = QByteArray(1, Lead) + "00";
        return p;
    }
    if (c.service == commands::FirmwareIdentity.service) {
        p.lines << "ATI";
        return p;
    }
    if (c.text() == commands::MonitorTestPass.text()) {
        p.reply = passAcknowledgement(vehicle);
        return p;
    }
    if (c.service >= 0x80) {
        p.reply = QByteArray(1, statusCharacter(vehicle));
        return p;
    }
    p.reply = silentReply(c.length);
    return p;
}

Result toolReply(const ToolCommand &c, const QByteArray &line, const Answer &answer, const Bus &bus)
{
    Result r;
    if (c.service == commands::SwitchEcu.service) {
        r.replies << QByteArray(1, Lead) + "00";
        return r;
    }
    if (c.service == commands::FirmwareIdentity.service) {
        r.replies << QByteArray(1, statusCharacter(!bus.ecus.isEmpty())) + PortFirmware;
        return r;
    }
    const bool can = isCan(bus.protocol);
    const int asked = isO2(c.service) && can ? 0x06 : c.service;
    const QList<EcuMessage> got = responses(answer, bus, asked);
    if (got.isEmpty()) {
        r.replies << (answer.transient() ? askAgainReply(replyLength(c)) : silentReply(replyLength(c)));
        return r;
    }
    const EcuMessage &m = got.first();
    const quint8 address = m.address();
    if (c.service == 0x02 && refused(m) && line.startsWith("02") && line.mid(4, 2) == "00") {
        r.retry = line.left(4) + line.mid(6);
        return r;
    }
    if (refused(m)) {
        r.replies << (isO2(c.service) ? refusal(address, c.service) : frame(header(address) + m.bytes, replyLength(c)));
        return r;
    }
    switch (c.service) {
    case 0x03:
    case 0x07:
        r.replies = codeReplies(c, address, codesOf(got, can));
        break;
    case 0x05:
    case 0x06:
        r.replies << (can ? o2FromMids(c, address, m) : o2FromService(c, address, m));
        break;
    default:
        r.replies << frame(header(address) + m.bytes, c.length);
        break;
    }
    return r;
}

std::optional<QByteArray> packetLine(const QByteArray &packet, const Bus &)
{
    auto at = [&](int i) { return byteAt(packet, i); };
    const bool onBus = packet.size() == PacketSize && at(0) == 1 && (at(1) == 5 || at(1) == 6) && at(2) == PacketH1
        && at(3) == PacketH2 && at(4) == PacketH3 && at(5) == 0x06;
    if (!onBus)
        return std::nullopt;
    // CAN: the test ID is the MID, whose answer holds all its tests; legacy: the test ID.
    return "06" + hex(at(6), 2);
}

QByteArray packetReply(const QByteArray &packet, const Answer &answer, const Bus &bus, QByteArray *other)
{
    if (other)
        other->clear();
    QByteArray block(PacketReplySize - 1, '\0');
    const quint8 test = byteAt(packet, 6), component = byteAt(packet, 7);
    const bool scan = byteAt(packet, 1) == 5;
    const QList<EcuMessage> got = packetLine(packet, bus) ? responses(answer, bus, 0x06) : QList<EcuMessage>{};
    auto refuse = [&] {
        block[3] = char(Refusal);
        block[4] = char(0x06);
        block[5] = char(NotSupported);
    };
    if (got.isEmpty()) {
        // Nobody answered on the bus: the tool says so where the response would stand.
        block[1] = 'S';
    } else {
        block.replace(0, 3, header(got.first().address()));
        const QByteArray &m = got.first().bytes;
        if (refused(got.first())) {
            block[3] = char(Refusal);
            block[4] = char(0x06);
            block[5] = char(byteAt(m, 2));
        } else if (scan) {
            block[3] = char(0x46);
            block[4] = char(test);
            // CAN: 46 MID bits; legacy: 46 TID CID bits.
            block.replace(6, 4, m.mid(isCan(bus.protocol) ? 2 : 3, 4).leftJustified(4, '\0'));
        } else if (isCan(bus.protocol)) {
            const QList<MidTest> tests = midTests(m);
            const auto t = std::find_if(tests.begin(), tests.end(), [&](const MidTest &x) {
                // The tool's components are the MID's manufacturer test IDs (80 and up); the test
                // IDs below 80 are the O2 sensor tests of MIDs 01 to 08.
                return x.tid == (0x80 | (component & 0x7F));
            });
            if (t == tests.end()) {
                refuse();
            } else {
                const LimitChoice choice = chooseLimit(*t);
                const quint16 limit = choice.minimumShown ? t->minimum : t->maximum;
                block[3] = char(0x46);
                block[4] = char((choice.minimumShown ? 0x80 : 0x00) | (component & 0x7F));
                block[5] = char(t->value >> 8);
                block[6] = char(t->value & 0xFF);
                block[7] = char(limit >> 8);
                block[8] = char(limit & 0xFF);
                block[9] = char(test);
                if (other && choice.hidden) {
                    QByteArray hidden = block;
                    hidden[4] = char((choice.minimumShown ? 0x00 : 0x80) | (component & 0x7F));
                    hidden[7] = char(*choice.hidden >> 8);
                    hidden[8] = char(*choice.hidden & 0xFF);
                    *other = ToolFace::sealPacketReply(hidden);
                }
            }
        } else {
            // 46 TID CID value limit, one message per component; bit 7 of the CID marks a minimum.
            const auto match = std::find_if(got.begin(), got.end(), [&](const EcuMessage &x) {
                return x.bytes.size() >= 7 && quint8(x.bytes[1]) == test && (quint8(x.bytes[2]) & 0x7F) == (component & 0x7F);
            });
            if (match == got.end()) {
                refuse();
            } else {
                block[3] = char(0x46);
                block.replace(4, 5, match->bytes.mid(2, 5));
                block[9] = char(test);
            }
        }
    }
    return ToolFace::sealPacketReply(block);
}

QList<MidTest> midTests(const QByteArray &m)
{
    QList<MidTest> out;
    if (byteAt(m, 0) != 0x46)
        return out;
    // Each result: MID, TID, UASID, value, minimum, maximum (nine bytes).
    for (int at = 1; at + 9 <= m.size(); at += 9)
        out << MidTest{quint8(m[at + 1]), quint8(m[at + 2]), word(m, at + 3), word(m, at + 5), word(m, at + 7)};
    return out;
}

LimitChoice chooseLimit(const MidTest &t)
{
    const std::optional<Scaling> s = scaling(t.uasid);
    const bool isSigned = s && s->isSigned;
    auto num = [&](quint16 raw) { return isSigned ? int(qint16(raw)) : int(raw); };
    // All ones (or the signed extremes) is no limit at all.
    const bool noMax = isSigned ? t.maximum == 0x7FFF : t.maximum == 0xFFFF;
    const bool noMin = isSigned ? t.minimum == 0x8000 : t.minimum == 0x0000;
    const int v = num(t.value);
    LimitChoice c;
    if (!noMin && v < num(t.minimum))
        c.minimumShown = true;
    else if (!noMax && v > num(t.maximum))
        c.minimumShown = false;
    else
        c.minimumShown = noMax && !noMin;
    if (!noMin && !noMax)
        c.hidden = c.minimumShown ? t.maximum : t.minimum;
    return c;
}

std::optional<Scaling> scaling(quint8 uasid)
{
    struct Row {
        quint8 id;
        Scaling s;
    };
    static constexpr Row Rows[] = {
        {0x01, {1, 0, false, ""}},          {0x02, {0.1, 0, false, ""}},
        {0x03, {0.01, 0, false, ""}},       {0x04, {0.001, 0, false, ""}},
        {0x05, {0.0000305, 0, false, ""}},  {0x06, {0.000305, 0, false, ""}},
        {0x07, {0.25, 0, false, "rpm"}},    {0x08, {0.01, 0, false, "km/h"}},
        {0x09, {1, 0, false, "km/h"}},      {0x0A, {0.000122, 0, false, "V"}},
        {0x0B, {0.001, 0, false, "V"}},     {0x0C, {0.01, 0, false, "V"}},
        {0x0D, {0.00390625, 0, false, "mA"}}, {0x0E, {0.001, 0, false, "A"}},
        {0x0F, {0.01, 0, false, "A"}},      {0x10, {0.001, 0, false, "s"}},
        {0x11, {0.1, 0, false, "s"}},       {0x12, {1, 0, false, "s"}},
        {0x13, {0.001, 0, false, "ohm"}},   {0x14, {1, 0, false, "ohm"}},
        {0x15, {1000, 0, false, "ohm"}},    {0x16, {0.1, -40, false, "C"}},
        {0x17, {0.01, 0, false, "kPa"}},    {0x1E, {0.0000305, 0, false, "lambda"}},
        {0x1F, {0.05, 0, false, "A/F"}},    {0x24, {1, 0, false, "counts"}},
        {0x27, {0.01, 0, false, "g/s"}},    {0x2F, {0.01, 0, false, "%"}},
        {0x30, {0.001526, 0, false, "%"}},  {0x35, {0.01, 0, false, "s"}},
        {0x81, {1, 0, true, ""}},           {0x82, {0.1, 0, true, ""}},
        {0x83, {0.01, 0, true, ""}},        {0x84, {0.001, 0, true, ""}},
        {0x8A, {0.000122, 0, true, "V"}},   {0x8B, {0.001, 0, true, "V"}},
        {0x8C, {0.01, 0, true, "V"}},       {0x90, {0.001, 0, true, "s"}},
        {0x96, {0.1, 0, true, "C"}},        {0xAF, {0.01, 0, true, "%"}},
        {0xB0, {0.003052, 0, true, "%"}},
    };
    const auto row = std::find_if(std::begin(Rows), std::end(Rows), [&](const Row &r) { return r.id == uasid; });
    return row == std::end(Rows) ? std::nullopt : std::optional<Scaling>(row->s);
}

double physical(const Scaling &s, quint16 raw)
{
    return (s.isSigned ? double(qint16(raw)) : double(raw)) * s.factor + s.offset;
}

} // namespace quenta::elm
