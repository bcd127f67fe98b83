// The ELM327 port's translation where operations through the adapter cannot show it: the lines each command
// becomes on each bus, silence and the adapter's troubles in the tool's words, the limit a CAN test shows.
#include "SimRig.h"

#include "elm/ElmTranslate.h"
#include "link/Reply.h"
#include "sim/SimulatedScanTool.h"
#include "sim/VehicleProfile.h"

#include <QtTest>

using namespace quenta;
using namespace quenta::elm;

namespace {

sim::VehicleProfile car() { return SimRig::fromJson(R"({"ecus":[{"address":"E8","pids":{"0C":"1AF8"}}]})"); }

// The single frame an ECU sends for a short message.
QByteArray canText(const QByteArray &message, const QByteArray &id = "7E8")
{
    return id + ' ' + (char(message.size()) + message).toHex(' ').toUpper() + '\r';
}

Bus canBus() { return Bus{Protocol::Can11, {0x7E8, 0x7E9}, 0, true, false}; }

} // namespace

Q_DECLARE_METATYPE(quenta::elm::Bus)
Q_DECLARE_METATYPE(quenta::elm::MidTest)

class tst_elm_translate : public QObject {
    Q_OBJECT
private slots:
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
        QTest::newRow("O2 on CAN: the sensor's MID") << QByteArray("050510") << two << QByteArrayList{"0605"} << -1;
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
    }

    // What the ECU did not answer, and the adapter's troubles, in the tool's words the link reads.
    void silenceAndTrouble_data()
    {
        QTest::addColumn<QByteArray>("adapter");
        QTest::addColumn<int>("kind");
        QTest::newRow("NO DATA") << QByteArray("NO DATA") << int(Reply::Kind::Silent);
        QTest::newRow("no vehicle") << QByteArray("SEARCHING...\rUNABLE TO CONNECT") << int(Reply::Kind::Silent);
        QTest::newRow("other ECU only") << canText(QByteArray::fromHex("410C0BB8"), "7E9") << int(Reply::Kind::Silent);
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
            QCOMPARE(r[0], sim::SimulatedScanTool(car()).answer("010F07")); // a PID the car lacks
    }

    // A CAN result with both limits shows the one the value breaks and names the other.
    void limitsOnCan_data()
    {
        QTest::addColumn<MidTest>("test");
        QTest::addColumn<bool>("minimumShown");
        QTest::addColumn<int>("hidden"); // -1: none
        QTest::newRow("maximum only") << MidTest{1, 0x0B, 500, 0, 1000} << false << -1;
        QTest::newRow("minimum only") << MidTest{1, 0x0B, 500, 100, 0xFFFF} << true << -1;
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
