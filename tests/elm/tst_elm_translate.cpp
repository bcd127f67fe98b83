// The ELM327 port's replies against the simulated tool's own for the same vehicle: what an ECU
// sends over CAN (ISO-TP frames) or a legacy bus (header and checksum), read and translated, must
// be the tool's reply byte for byte. Also the adapter lines each command becomes.
#include "ManualClock.h"

#include "elm/ElmTranslate.h"
#include "link/Reply.h"
#include "sim/SimulatedScanTool.h"
#include "sim/VehicleProfile.h"

#include <QtTest>

using namespace quenta;
using namespace quenta::elm;

namespace {

const QByteArray Profile = R"({
  "ecus": [
    {"address": "E8",
     "pids": {"01": "8207E504", "05": "7B", "0C": "1AF8", "0D": "3C"},
     "freeze": {"02": "0301", "0C": "1AF8"},
     "stored": ["0301", "0420", "0171", "0300", "1234"],
     "pending": ["0171"],
     "o2_tests": {"B1S1": {"01": "5A", "05": "190064", "09": "190A32"}},
     "mode6": [{"test": "01", "component": "01", "value": "01F4", "limit": "03E8", "kind": "max"}]},
    {"address": "E9", "pids": {"01": "00040000", "0C": "0BB8"}}
  ]
})";

sim::VehicleProfile profile()
{
    QString error;
    auto p = sim::VehicleProfile::fromJson(Profile, QStringLiteral("test"), &error);
    if (!p)
        qFatal("%s", qPrintable(error));
    return *p;
}

QByteArray spaced(const QByteArray &bytes) { return bytes.toHex(' ').toUpper(); }

// The frames an ECU at 7E8 sends for one message: a single frame, or first and consecutive frames.
QByteArray canText(const QByteArray &message, const QByteArray &id = "7E8")
{
    if (message.size() <= 7)
        return id + ' ' + spaced(char(message.size()) + message) + '\r';
    QByteArray out = id + ' ' + spaced(QByteArray(1, char(0x10 | (message.size() >> 8))) + char(message.size() & 0xFF) + message.left(6)) + '\r';
    for (int at = 6, seq = 1; at < message.size(); at += 7, seq = (seq + 1) & 0x0F)
        out += id + ' ' + spaced(char(0x20 | seq) + message.mid(at, 7)) + '\r';
    return out;
}

// One legacy message from the ECU at source byte E8, with the ISO sum.
QByteArray legacyText(const QByteArray &message)
{
    const QByteArray bytes = QByteArray::fromHex("486BE8") + message;
    return spaced(bytes + char(byteSum(bytes))) + '\r';
}

Bus canBus() { return Bus{Protocol::Can11, {0x7E8, 0x7E9}, 0, true, false}; }
Bus legacyBus() { return Bus{Protocol::Iso, {0xE8}, 0, false, false}; }

QList<QByteArray> through(const QByteArray &command, const QByteArray &adapterText, const Bus &bus)
{
    const ToolCommand c = *toolCommand(command);
    const Plan p = plan(c, bus);
    if (p.lines.isEmpty())
        return {p.reply};
    return toolReply(c, p.lines.last(), parseAnswer(adapterText + "\r>", bus.protocol, p.lines.last()), bus).replies;
}

// The simulated tool's reply to a monitoring packet, after its PASS acknowledgement.
QByteArray simPacketReply(const QByteArray &packet)
{
    ManualClock clock;
    sim::SimulatedScanTool tool(profile(), &clock);
    QByteArray heard;
    QObject::connect(&tool, &sim::SimulatedScanTool::transmit, [&](const QByteArray &d) { heard += d; });
    tool.receive("F00504");
    clock.wait(100);
    heard.clear();
    tool.receive(packet);
    clock.wait(100);
    return heard;
}

QByteArray packet(int length, int test, int component)
{
    QByteArray p = QByteArray::fromHex("0100686AF106");
    p[1] = char(length);
    return p + char(test) + char(component) + QByteArray(6, '\0');
}

} // namespace

Q_DECLARE_METATYPE(quenta::elm::Bus)
Q_DECLARE_METATYPE(quenta::elm::MidTest)

class tst_elm_translate : public QObject {
    Q_OBJECT
private slots:
    void sameReplyAsTheTool_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("can");    // the ECU's messages on CAN (hex)
        QTest::addColumn<QByteArray>("legacy"); // and on a legacy bus, one message per space
        QTest::newRow("RPM") << QByteArray("010C07") << QByteArray("410C1AF8") << QByteArray("410C1AF8");
        QTest::newRow("speed padded") << QByteArray("010D09") << QByteArray("410D3C") << QByteArray("410D3C");
        QTest::newRow("monitor status") << QByteArray("010109") << QByteArray("41018207E504") << QByteArray("41018207E504");
        QTest::newRow("bitmap") << QByteArray("010009") << QByteArray("410088180000") << QByteArray("410088180000");
        QTest::newRow("freeze bitmap") << QByteArray("02000A") << QByteArray("42000040100000") << QByteArray("42000040100000");
        QTest::newRow("freeze RPM") << QByteArray("020C08") << QByteArray("420C001AF8") << QByteArray("420C001AF8");
        QTest::newRow("pending, count byte on CAN") << QByteArray("070A0A") << QByteArray("47010171")
                                                    << QByteArray("47017100000000");
        QTest::newRow("clear") << QByteArray("040404") << QByteArray("44") << QByteArray("44");
        QTest::newRow("O2 support") << QByteArray("050001")
                                    << QByteArray("4601010B01C201C201C2" "01051000640000019001091003E8019007D0")
                                    << QByteArray("45000188800000");
        QTest::newRow("O2 threshold, volts") << QByteArray("050101") << QByteArray("4601010B01C201C201C2")
                                             << QByteArray("4501015A");
        QTest::newRow("O2 switch time, limits") << QByteArray("050501") << QByteArray("4601051000640000" "0190")
                                                << QByteArray("450501190064");
        QTest::newRow("O2 transitions") << QByteArray("050901") << QByteArray("4601091003E8019007D0")
                                        << QByteArray("450901190A32");
        QTest::newRow("firmware") << QByteArray("900101") << QByteArray() << QByteArray();
        QTest::newRow("change ECU") << QByteArray("800204") << QByteArray() << QByteArray();
    }
    void sameReplyAsTheTool()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, can);
        QFETCH(QByteArray, legacy);
        sim::SimulatedScanTool tool(profile());
        const QByteArray expected = tool.answer(command);
        QByteArray legacyFrames;
        for (const QByteArray &m : legacy.split(' '))
            legacyFrames += legacyText(QByteArray::fromHex(m));
        QCOMPARE(through(command, canText(QByteArray::fromHex(can)), canBus()).value(0), expected);
        QCOMPARE(through(command, legacyFrames, legacyBus()).value(0), expected);
    }

    // Five stored codes: the first reply is the tool's (three codes), the next holds the other two.
    void everyCodeKept()
    {
        sim::SimulatedScanTool tool(profile());
        const QByteArray first = tool.answer("030A0A");
        const QByteArray rest = "R486BE843030012340000" + QByteArray::number((0x48 + 0x6B + 0xE8 + 0x43 + 0x03 + 0x12 + 0x34) & 0xFF, 16).toUpper();
        const QList<QByteArray> can = through("030A0A", canText(QByteArray::fromHex("430503010420017103001234")), canBus());
        const QList<QByteArray> legacy = through("030A0A", legacyText(QByteArray::fromHex("43030104200171"))
                                                 + legacyText(QByteArray::fromHex("43030012340000")), legacyBus());
        QCOMPARE(can, (QList<QByteArray>{first, rest}));
        QCOMPARE(legacy, can);
        // No code: one reply of zeros, as the tool's.
        sim::VehicleProfile none = profile();
        none.ecus[0].stored.clear();
        QCOMPARE(through("030A0A", canText(QByteArray::fromHex("4300")), canBus()),
                 QList<QByteArray>{sim::SimulatedScanTool(none).answer("030A0A")});
    }

    void packetsAsTheTool_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<QByteArray>("can");
        QTest::addColumn<QByteArray>("legacy");
        QTest::newRow("scan") << packet(5, 0, 0) << QByteArray("460080000000") << QByteArray("46000080000000");
        QTest::newRow("test, maximum") << packet(6, 1, 1) << QByteArray("460181" "0B01F4000003E8")
                                       << QByteArray("46010101F403E8");
        QTest::newRow("test not there") << packet(6, 1, 2) << QByteArray("460181" "0B01F4000003E8")
                                        << QByteArray("46010101F403E8");
    }
    void packetsAsTheTool()
    {
        QFETCH(QByteArray, packet);
        QFETCH(QByteArray, can);
        QFETCH(QByteArray, legacy);
        const QByteArray expected = simPacketReply(packet);
        QCOMPARE(packetLine(packet, canBus()), std::optional<QByteArray>("06" + packet.mid(6, 1).toHex().toUpper()));
        QCOMPARE(packetReply(packet, parseAnswer(canText(QByteArray::fromHex(can)), Protocol::Can11), canBus()), expected);
        QCOMPARE(packetReply(packet, parseAnswer(legacyText(QByteArray::fromHex(legacy)), Protocol::Iso), legacyBus()), expected);
    }

    // What the ECU did not answer, and the adapter's troubles, in the tool's words the link reads.
    void silenceAndTrouble_data()
    {
        QTest::addColumn<QByteArray>("adapter");
        QTest::addColumn<int>("kind");
        QTest::newRow("NO DATA") << QByteArray("NO DATA") << int(Reply::Kind::Silent);
        QTest::newRow("no vehicle") << QByteArray("SEARCHING...\rUNABLE TO CONNECT") << int(Reply::Kind::Silent);
        QTest::newRow("other ECU only") << canText(QByteArray::fromHex("410C0BB8"), "7E9") << int(Reply::Kind::Silent);
        QTest::newRow("bus busy") << QByteArray("BUS BUSY") << int(Reply::Kind::Repeat);
        QTest::newRow("stopped") << QByteArray("STOPPED") << int(Reply::Kind::Repeat);
        QTest::newRow("?") << QByteArray("?") << int(Reply::Kind::Repeat);
        QTest::newRow("cut ISO-TP") << QByteArray("7E8 10 0A 41 0C 1A F8 00 00") << int(Reply::Kind::Repeat);
        QTest::newRow("refusal is an answer") << canText(QByteArray::fromHex("7F0112")) << int(Reply::Kind::Answer);
    }
    void silenceAndTrouble()
    {
        QFETCH(QByteArray, adapter);
        QFETCH(int, kind);
        const ToolCommand rpm{0x01, 0x0C, 0x07};
        const QList<QByteArray> r = toolReply(rpm, "010C1", parseAnswer(adapter + ">", Protocol::Can11, "010C1"), canBus()).replies;
        QCOMPARE(r.size(), 1);
        QCOMPARE(int(Reply(QString::fromLatin1(r[0])).check(rpm)), kind);
        if (kind == int(Reply::Kind::Silent))
            QCOMPARE(r[0], sim::SimulatedScanTool(profile()).answer("010F07")); // a PID the car lacks
    }

    void adapterLines_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<Bus>("bus");
        QTest::addColumn<QByteArrayList>("lines");
        QTest::addColumn<int>("selects"); // -1: none
        const Bus two = canBus();
        Bus functional = two;
        functional.physical = false;
        Bus shortFreeze = two;
        shortFreeze.freezeWithoutFrame = true;
        Bus can29{Protocol::Can29, {0x18DAF110, 0x18DAF118}, 1, true, false};
        Bus legacyTwo{Protocol::J1850, {0x10, 0x18}, 0, false, false};
        QTest::newRow("one ECU addressed: count digit") << QByteArray("010C07") << two << QByteArrayList{"010C1"} << -1;
        QTest::newRow("all answer: no digit") << QByteArray("010C07") << functional << QByteArrayList{"010C"} << -1;
        QTest::newRow("legacy, two ECUs: no digit") << QByteArray("010C07") << legacyTwo << QByteArrayList{"010C"} << -1;
        QTest::newRow("freeze frame 0") << QByteArray("020C08") << two << QByteArrayList{"020C001"} << -1;
        QTest::newRow("freeze, short form") << QByteArray("020C08") << shortFreeze << QByteArrayList{"020C1"} << -1;
        QTest::newRow("codes") << QByteArray("030A0A") << two << QByteArrayList{"03"} << -1;
        QTest::newRow("O2 on CAN: the sensor's MID") << QByteArray("050510") << two << QByteArrayList{"0605"} << -1;
        QTest::newRow("O2 legacy: sensor number") << QByteArray("050110") << legacyTwo << QByteArrayList{"050105"} << -1;
        QTest::newRow("firmware") << QByteArray("900101") << two << QByteArrayList{"ATI"} << -1;
        QTest::newRow("change ECU 7E8 to 7E9") << QByteArray("800204") << two << QByteArrayList{"ATSH7E1", "ATCRA7E9"} << 1;
        QTest::newRow("change ECU 29-bit, back to the first")
            << QByteArray("800204") << can29 << QByteArrayList{"ATSHDA10F1", "ATCRA18DAF110"} << 0;
        QTest::newRow("change ECU legacy: no line") << QByteArray("800204") << legacyTwo << QByteArrayList{} << 1;
    }
    void adapterLines()
    {
        QFETCH(QByteArray, command);
        QFETCH(Bus, bus);
        QFETCH(QByteArrayList, lines);
        QFETCH(int, selects);
        const Plan p = plan(*toolCommand(command), bus);
        QCOMPARE(p.lines, lines);
        QCOMPARE(p.selectEcu.value_or(-1), selects);
        for (const QByteArray &l : lines)
            QVERIFY(!l.startsWith("ATSH7DF") && !l.startsWith("ATCAF0"));
    }

    // An ECU that refuses "02PP00" is asked "02PP"; its answer then gives the tool's reply.
    void freezeFallsBack()
    {
        const ToolCommand c = *toolCommand("020C08");
        const Bus bus = canBus();
        const Result refused = toolReply(c, "020C001", parseAnswer(canText(QByteArray::fromHex("7F0212")), bus.protocol), bus);
        QCOMPARE(refused.retry, QByteArray("020C1"));
        QVERIFY(refused.replies.isEmpty());
        const Result r = toolReply(c, "020C1", parseAnswer(canText(QByteArray::fromHex("420C001AF8")), bus.protocol), bus);
        QCOMPARE(r.replies, QList<QByteArray>{sim::SimulatedScanTool(profile()).answer("020C08")});
    }

    // A CAN result with both limits shows the one the value breaks and names the other.
    void limitsOnCan_data()
    {
        QTest::addColumn<MidTest>("test");
        QTest::addColumn<bool>("minimumShown");
        QTest::addColumn<int>("hidden"); // -1: none
        QTest::newRow("maximum only") << MidTest{1, 0x0B, 500, 0, 1000} << false << -1;
        QTest::newRow("minimum only") << MidTest{1, 0x0B, 500, 100, 0xFFFF} << true << -1;
        QTest::newRow("both, within") << MidTest{1, 0x0B, 500, 100, 1000} << false << 100;
        QTest::newRow("both, below the minimum") << MidTest{1, 0x0B, 50, 100, 1000} << true << 1000;
        QTest::newRow("signed, negative value below") << MidTest{1, 0x8B, 0xFF00, 0xFFF0, 0x0100} << true << 0x0100;
    }
    void limitsOnCan()
    {
        QFETCH(MidTest, test);
        QFETCH(bool, minimumShown);
        QFETCH(int, hidden);
        const LimitChoice c = chooseLimit(test);
        QCOMPARE(c.minimumShown, minimumShown);
        QCOMPARE(c.hidden ? int(*c.hidden) : -1, hidden);
    }
};

QTEST_GUILESS_MAIN(tst_elm_translate)
#include "tst_elm_translate.moc"
