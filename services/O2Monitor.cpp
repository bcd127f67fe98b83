#include "services/O2Monitor.h"

#include "core/ControlNames.h"
#include "core/Hex.h"
#include "pids/numtext.h"

namespace quenta {

namespace {

QString hexPair(int value)
{
    return QStringLiteral("%1").arg(value & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

const std::array<O2Monitor::Test, 9> &O2Monitor::tests()
{
    static const QString V = QStringLiteral(" V"), S = QStringLiteral(" S");
    static const std::array<Test, 9> table{{
        {1, QStringLiteral("Rich to Lean Sensor Threshold Voltage"), 12, false, 0.005, V, true},
        {2, QStringLiteral("Lean to Rich Sensor Threshold Voltage"), 12, false, 0.005, V, true},
        {3, QStringLiteral("Low Sensor Voltage for Sensor Switch time calculation"), 12, false, 0.005, V, true},
        {4, QStringLiteral("High Sensor Voltage for Sensor Switch time calculation"), 12, false, 0.005, V, true},
        {5, QStringLiteral("Rich to Lean Sensor Switch Time"), 16, true, 0.004, S, false},
        {6, QStringLiteral("Lean to Rich Sensor Switch Time"), 16, true, 0.004, S, false},
        {7, QStringLiteral("Minimum Sensor Voltage for Test Cycle"), 16, true, 0.005, V, false},
        {8, QStringLiteral("Maximun Sensor Voltage for Test Cycle"), 16, true, 0.005, V, false},
        {9, QStringLiteral("Time Between Sensor Transitions"), 16, false, 0.04, S, false},
    }};
    return table;
}

QStringList O2Monitor::boxNames()
{
    QStringList out;
    for (const Test &t : tests()) {
        out << names::mode5::result(t.id);
        // Test 09 has limit boxes too, never filled.
        if (t.limits || t.id == 9)
            out << names::mode5::minimum(t.id) << names::mode5::maximum(t.id);
    }
    return out;
}

O2Monitor::O2Monitor(PidContext &context, Prompts &prompts) : m_p(context), m_prompts(prompts)
{
    for (const QString &name : boxNames())
        m_boxes.insert(name, Box{});
}

QString O2Monitor::sensorCaption(int index)
{
    return QStringLiteral("Bank%1, Sensor%2").arg(index / 4 + 1).arg(index % 4 + 1);
}

bool O2Monitor::load(QList<Sensor> *sensors)
{
    sensors->clear();
    for (int k = 0; k < int(m_p.pids.o2_present.size()); ++k) {
        if (const int mask = m_p.pids.o2_present[size_t(k)])
            *sensors << Sensor{sensorCaption(k), mask};
    }
    if (!m_p.pids.O2_monitor_complete) {
        m_prompts.message(NotAvailableText);
        return false;
    }
    return true;
}

void O2Monitor::write(const QString &name, const QString &text)
{
    m_boxes[name].text = text;
    emit boxChanged(name);
}

ScanToolLink::Answer O2Monitor::o2_request(const ToolCommand &command, int threshold, bool logReplies)
{
    ScanToolLink::Ask how;
    // The third pair names the sensor, so the reply's length is told apart: the threshold's bytes.
    how.replyBytes = threshold / 2;
    how.checkReply = false;
    if (logReplies)
        how.onAttempt = [this](const QString &reply) {
            if (m_p.settings.debug_mode)
                m_p.status.append(QStringLiteral("\r\nMode 5, PID 0 = ") + reply);
        };
    // "S" at position 3 is the tool asking for the request again: the link asks again, a bounded
    // number of times.
    return m_p.link.ask(command, threshold, how);
}

void O2Monitor::o2_test_request(int mask)
{
    ScanToolLink::Bound bound(m_p.link);
    O2_mode = QStringLiteral("05");
    m_p.link.setOBD_stop(false);
    QString reply;
    for (;;) {
        const ScanToolLink::Answer answer = o2_request(ToolCommand{quint8(conv_hex(O2_mode)), 0x00, quint8(mask)}, 18, true);
        if (answer.outcome == ScanToolLink::Outcome::Garbled)
            return; // the line's trouble was said
        reply = answer.reply;
        if (reply.isEmpty() || charAt(reply, 2) == QLatin1Char('S')) {
            m_prompts.message(TimeoutText);
            return;
        }
        // The positive response of the service asked: 45 for service 05, 46 for service 06.
        const QString positive = hexPair(O2_mode.toInt(nullptr, 16) + 0x40) + QStringLiteral("00");
        if (cut(reply, 8, 4) == positive)
            break;
        if (O2_mode == QLatin1String("05")) {
            O2_mode = QStringLiteral("06");
            continue;
        }
        m_prompts.message(NotSupportedText);
        return;
    }
    const int s1 = hex_pair_value(cut(reply, 14, 2));
    const int s2 = hex_pair_value(cut(reply, 16, 2));
    for (int bit = 0x80, test = 1; bit >= 0x01; bit >>= 1, ++test) {
        if ((s1 & bit) && !o2_test_run(test, mask))
            return;
    }
    if (s2 & 0x80)
        o2_test_run(9, mask);
}

bool O2Monitor::o2_test_run(int test, int mask)
{
    const Test &t = tests()[size_t(test - 1)];
    // Test 02 is always asked with service 06.
    const int service = test == 2 ? 0x06 : conv_hex(O2_mode);
    const ScanToolLink::Answer answer = o2_request(ToolCommand{quint8(service), quint8(test), quint8(mask)}, t.threshold);
    if (answer.outcome == ScanToolLink::Outcome::Garbled)
        return false; // the line's trouble was said; nothing read from it stands as a result
    const QString &reply = answer.reply;
    if (reply.isEmpty()) {
        m_prompts.message(TimeoutText);
        return false;
    }
    // An ECU that did not answer, or refused the test (7F), gave no result: the boxes keep theirs.
    if (charAt(reply, 2) == QLatin1Char('S') || cut(reply, 8, 2) == QLatin1String("7F"))
        return true;
    auto number = [&](int position) {
        return numtext::leadingBlank(hex_pair_value(cut(reply, position, 2)) * t.scale) + t.unit;
    };
    write(names::mode5::result(test), number(12));
    if (t.limits) {
        write(names::mode5::minimum(test), number(14));
        write(names::mode5::maximum(test), number(16));
    }
    if (t.green) {
        m_boxes[names::mode5::result(test)].back = ResultGreen;
        emit boxChanged(names::mode5::result(test));
    }
    return true;
}

} // namespace quenta
