#include "services/Mode6Monitor.h"

#include "link/Commands.h"
#include "core/Hex.h"
#include "pids/numtext.h"

#include <cfloat>
#include <cmath>

namespace quenta {

namespace {

constexpr quint8 ServiceByte = 0x06;
constexpr quint8 PositiveResponse = 0x46;
constexpr int ScanLength = 5;
constexpr int TestLength = 6;
// Test IDs 20, 40, ... E0 ask for the next range of supported tests.
constexpr int RangeStep = 0x20;
constexpr int LastRange = 0xE0;

} // namespace

Mode6Monitor::Mode6Monitor(ScanToolLink &link, Mode6State &state, Prompts &prompts)
    : m_link(link), m_state(state), m_prompts(prompts)
{
}

QString Mode6Monitor::rewriteDollar(const QString &entry)
{
    return entry.startsWith(QLatin1Char('$')) ? QStringLiteral("&H") + entry.mid(1) : entry;
}

double Mode6Monitor::entryNumber(const QString &entry)
{
    if (!entry.startsWith(QLatin1String("&H"), Qt::CaseInsensitive))
        return numtext::leadingNumber(entry);
    // The hexadecimal digits up to the first other character; none reads as 0.
    double value = 0;
    for (qsizetype i = 2; i < entry.size(); ++i) {
        const int digit = QStringLiteral("0123456789ABCDEF").indexOf(entry.at(i).toUpper());
        if (digit < 0)
            break;
        value = value * 16 + digit;
    }
    return value;
}

std::optional<int> Mode6Monitor::entryId(const QString &entry)
{
    const double value = numtext::roundHalfEven(entryNumber(entry));
    if (!std::isfinite(value) || value < 0 || value > 255)
        return std::nullopt;
    return int(value);
}

QString Mode6Monitor::acknowledgement()
{
    ScanToolLink::Request pass(commands::MonitorTestPass, 2);
    pass.ownAnswerMark = 'A';
    return m_link.exchange(pass).reply;
}

bool Mode6Monitor::pass_command()
{
    m_link.setOBD_stop(false);
    m_link.wait_OBD_ready();
    // A tool that is not talking to the car, or not there at all, is not sent the command.
    const QString ack = m_link.OBD_stop() ? QString() : acknowledgement();
    if (charAt(ack, 2) != QLatin1Char('A')) {
        m_link.setOBD_stop(true);
        m_prompts.message(NotAcknowledgedText);
        return false;
    }
    switch (ack.at(2).unicode() & 0x0F) {
    case 4:
        m_state.H1 = 0x61;
        m_state.H2 = 0x6A;
        break;
    case 8:
        m_state.H1 = 0xC3;
        m_state.H2 = 0x33;
        break;
    default:
        m_state.H1 = 0x68;
        m_state.H2 = 0x6A;
        break;
    }
    return true;
}

bool Mode6Monitor::mode6_request(quint8 service, quint8 test, quint8 component, quint8 length)
{
    m_link.setOBD_stop(false);
    if (!pass_command() || m_link.OBD_stop()) {
        m_link.setInputMode(ScanToolPort::InputMode::Text);
        return false;
    }
    QByteArray packet(PacketSize, '\0');
    packet[0] = 1;
    packet[1] = char(length);
    packet[2] = char(m_state.H1);
    packet[3] = char(m_state.H2);
    packet[4] = char(Mode6State::H3);
    packet[5] = char(service);
    packet[6] = char(test);
    packet[7] = char(component);
    m_packets << packet;
    const ScanToolLink::Answer answer = m_link.exchange(ScanToolLink::Request::packet(packet, ReplySize));
    const QByteArray reply = answer.reply.toLatin1();
    m_otherLimit = answer.further.value(0).toLatin1();
    // A reply that did not come whole in time leaves the buffer as it was and counts as none.
    if (reply.size() < ReplySize)
        return false;
    for (int i = 0; i < ReplySize; ++i)
        m_state.reply[size_t(i)] = quint8(reply.at(i));
    return true;
}

void Mode6Monitor::getTestResults()
{
    ScanToolLink::Bound bound(m_link);
    m_packets.clear();
    fields.returned.clear();
    // Each entry is rewritten as it is read; a bad test ID leaves the component ID as typed.
    std::optional<int> ids[2];
    QString *entries[2] = {&fields.testId, &fields.componentId};
    for (int i = 0; i < 2; ++i) {
        *entries[i] = rewriteDollar(*entries[i]);
        ids[i] = entryId(*entries[i]);
        if (!ids[i]) {
            emit changed();
            m_prompts.message(InputErrorText);
            return;
        }
    }
    emit changed();
    const int test = *ids[0], component = *ids[1];
    const auto &r = m_state.reply;
    if (!mode6_request(ServiceByte, quint8(test), quint8(component), TestLength) || r[3] != PositiveResponse) {
        fields.returned = NoResponseText;
        emit changed();
        return;
    }
    const double scale = entryNumber(fields.scale);
    const double value = (r[5] * 256.0 + r[6]) * scale;
    const double limit = (r[7] * 256.0 + r[8]) * scale;
    // Held as single-precision numbers: beyond their range is an overflow.
    if (!std::isfinite(value) || !std::isfinite(limit) || std::fabs(value) > FLT_MAX || std::fabs(limit) > FLT_MAX) {
        m_prompts.message(InputErrorText);
        return;
    }
    const float v = float(value), l = float(limit);
    fields.value = numtext::textSingle(v) + fields.units;
    bool fail = false;
    if (r[4] <= 127) {
        fields.max = numtext::textSingle(l) + fields.units;
        fail = v > l;
    } else {
        fields.min = numtext::textSingle(l) + fields.units;
        fail = v < l;
    }
    if (m_otherLimit.size() >= ReplySize && quint8(m_otherLimit[3]) == PositiveResponse) {
        const double other = (quint8(m_otherLimit[7]) * 256.0 + quint8(m_otherLimit[8])) * scale;
        if (std::isfinite(other) && std::fabs(other) <= FLT_MAX)
            fields.returned = (r[4] <= 127 ? MinNotShownText : MaxNotShownText)
                                  .arg(numtext::textSingle(float(other)) + fields.units);
    }
    fields.passFail = fail ? QStringLiteral("FAIL") : QStringLiteral("PASS");
    fields.passFailBack = fail ? colors::Red : PassWhite;
    emit changed();
}

void Mode6Monitor::scan()
{
    ScanToolLink::Bound bound(m_link);
    m_packets.clear();
    const auto &r = m_state.reply;
    if (!mode6_request(ServiceByte, 0, 0, ScanLength) || r[3] != PositiveResponse) {
        fields.returned = NoResponseText;
        emit changed();
        return;
    }
    // Bit 7 of byte 6 is test base + 1, bit 0 of byte 9 test base + 32; that last one is the
    // request for the next range and is followed up rather than listed. The ranges end at E0.
    for (int base = 0;; base += RangeStep) {
        bool more = false;
        for (int i = 0; i < 32; ++i) {
            if (!(r[size_t(6 + i / 8)] & (0x80 >> (i % 8))))
                continue;
            if (i == 31)
                more = true;
            else
                fields.supported << numtext::leadingBlank(base + i + 1);
        }
        emit changed();
        if (!more || base + RangeStep > LastRange)
            break;
        if (!mode6_request(ServiceByte, quint8(base + RangeStep), 0, ScanLength) || r[3] != PositiveResponse)
            break;
    }
}

} // namespace quenta
