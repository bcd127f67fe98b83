// The simulated scan tool on the wire, on the manual clock: its replies, status stream, pacing,
// partial-command and packet timeouts and PASS packets; and the profiles it refuses.
#include "ManualClock.h"

#include "sim/SimulatedScanTool.h"
#include "sim/VehicleProfile.h"

#include <QtTest>
#include <numeric>

using namespace quenta::sim;

namespace {

QByteArray framed(const QByteArray &hex) // a data reply: the lead, the message, its byte sum
{
    const QByteArray b = QByteArray::fromHex(hex);
    return 'R' + hex + QByteArray(1, char(std::accumulate(b.begin(), b.end(), 0, [](int sum, char c) { return sum + quint8(c); }))).toHex().toUpper();
}

// Two ECUs; "TOP|ECU" adds keys to the profile and to the first ECU.
VehicleProfile profile(const QString &keys)
{
    const QString json = QStringLiteral(
        R"({%1 "ecus":[{"address":"10","pids":{"01":"8207E504","02":"0000","05":"7B","0C":"0CB4","0D":"21","21":"0000","42":"36B0",)"
        R"("0B":{"sweep":["00","64"],"period_ms":1000}},"freeze":{"02":"0133"},"stored":["0301","b0420"],"pending":["P0171","U0100"],)"
        R"("o2_tests":{"B1S1":{"01":"2D","02":"50","03":"3C","04":"78","09":"190A32"}},)"
        R"("mode6":[{"test":"01","component":"01","value":"01F4","limit":"03E8","kind":"min"}]%2}, {"address":"18","pids":{"0D":["22","23"]}}]})");
    QString error;
    const auto p = VehicleProfile::fromJson(json.arg(keys.section(QLatin1Char('|'), 0, 0), keys.section(QLatin1Char('|'), 1)).toUtf8(), QStringLiteral("t"), &error);
    if (!p)
        qFatal("%s", qPrintable(error));
    return *p;
}

} // namespace

class tst_simulator : public QObject {
    Q_OBJECT
private slots:
    // A script on the manual clock: "+N" waits N ms, "<TEXT" and "<#HEX" send, "?" reads the ready byte. The
    // timeline: the tool's writes (binary ones in hex) and ready bytes, each after the time when it moved.
    void wire_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("timeline");
        auto row = [](const char *name, const QString &keys, const QString &script, const char *timeline) {
            QTest::newRow(name) << keys << script << QString::fromLatin1(timeline);
        };
        auto reply = [](const char *name, const QString &keys, const QString &commands, const QByteArrayList &replies) {
            QTest::newRow(name) << R"("latency_ms":0,"status_period_ms":5000,)" + keys
                                << QLatin1Char('<') + QString(commands).replace(QLatin1Char(' '), QLatin1String(" <"))
                                << (replies.isEmpty() ? QString() : QLatin1String("0:") + QString::fromLatin1(replies.join(' ')));
        };
        reply("RPM", "", "010C07", {framed("486B10410C0CB4")});
        reply("length beyond the data pads 00", "", "010D09", {framed("486B10410D21000000")});
        reply("bitmap 00 from the PIDs", "", "010009", {framed("486B104100C8380001")});
        reply("bitmap 20 announces the next range", "", "012009", {framed("486B10412080000001")});
        reply("bitmap 40", "", "014009", {framed("486B10414040000000")});
        reply("a PID the ECU lacks", "", "011F07", {"RS" + QByteArray(15, '0')});
        // Service 01 has no frame byte: the code is data bytes A and B, as a real ECU sends it.
        reply("service 01 PID 02, code as A and B", "", "010208", {framed("486B104102013300")});
        reply("freeze frame code, frame byte 00", "", "020208", {framed("486B104202000133")});
        reply("freeze bitmap", "", "02000A", {framed("486B10420000" "40000000")});
        reply("stored codes, no PID byte", "", "030A0A", {framed("486B1043" "0301" "8420" "0000")});
        reply("firmware; another tool command gets the status", "", "900101 850000 01ZZ06", {"S3.40", "S"});
        reply("switch ECU, values in turn, and back", "", "800204 010D06 010D06 010D06 800204 010D06",
            {"R00", framed("486B18410D22"), framed("486B18410D23"), framed("486B18410D22"), "R00", framed("486B10410D21")});
        reply("clearing empties codes, freeze frame and lamp", "", "040404 030A0A 070A0A 02000A 010109",
            {framed("486B1044"), framed("486B1043" + QByteArray(12, '0')), framed("486B1047" + QByteArray(12, '0')),
             framed("486B10420000" "00000000"), framed("486B1041010007E504")});
        reply("clearing refused", R"("faults":{"negative_clear":true},)", "040404", {framed("486B107F")});
        reply("silent ECU", R"(|,"silent":true)", "010D06", {"RS" + QByteArray(13, '0')});
        reply("status before the reply, once", R"("faults":{"status_before_reply":1},)", "010D06 010D06",
            {"S" + framed("486B10410D21"), framed("486B10410D21")});
        reply("S at position 3, once", R"("faults":{"s_at_third":1},)", "010D06 010D06", {"R0S" + QByteArray(12, '0'), framed("486B10410D21")});
        reply("cut short", R"("faults":{"cut_replies_to":5},)", "010D06", {"R486B"});
        reply("garbled", R"("faults":{"garbled":true},)", "010C07", {"R486B10410CGCG4G0"});
        reply("codes with C first, padding kept", R"("faults":{"c_first_codes":true},)", "030A0A", {framed("486B1043C301C4200000")});
        reply("blank at position 10", R"("faults":{"blank_at_10":true},)", "070A0A", {framed("486B10470171C1000000").insert(9, ' ')});
        reply("no pending data", R"("faults":{"pending_fe":true},)", "070A0A", {framed("FE" + QByteArray(18, '0'))});
        reply("no code data", R"(|,"code_data":false)", "030A0A 070A0A",
            {framed("FF" + QByteArray(18, '0')), framed("FF" + QByteArray(18, '0'))});
        reply("O2 support: sensor byte kept", "", "050001", {framed("486B10450001F0800000")});
        reply("O2 test 09: value, min, max", "", "050901", {framed("486B104509190A32")});
        reply("O2 sensor or test not there, 06 not offered", "", "050002 050501 060001",
              {framed("486B107F0512"), framed("486B107F0512"), framed("486B107F0612")});
        reply("O2 over 06", R"(|,"o2_services":["05","06"])", "060001", {framed("486B10460001F0800000")});
        reply("O2 refused", R"("faults":{"o2_unsupported":true},)", "050101", {framed("486B107F0512")});
        // The tool's packet reply: twelve bytes and their sum; 'S' at byte 1 when no ECU answered on the bus.
        const QString packet = QStringLiteral("F00504 #0106C333F10601010000 #00000000");
        reply("support request", R"("pass_header":"4",)", "F00504 #0105616AF1060000000000000000", {"SA4", "#486B1046000080000000000089"});
        reply("packet not for the tool's header", "", packet, {"SA0", "#00530000000000000000000053"});
        reply("ECU refuses", R"("pass_header":"8","faults":{"mode6_no_response":true},)", packet, {"SA8", "#486B107F06120000000000005A"});
        reply("packet reply cut", R"("pass_header":"8","faults":{"mode6_reply_bytes":3},)", packet, {"SA8", "#486B10"});
        row("status each period, none while answering", R"("latency_ms":50,)", "+35 <010D06 +70", "10:S 20:S 30:S 85:R486B10410D2132 95:S 105:S");
        row("a command in pieces", "", "+5 <010 +249 <D06 +5", "256:R486B10410D2132");
        row("a piece forgotten after 250 ms", "", "+5 <010 +251 <010D06 +5", "258:R486B10410D2132");
        // 1200 baud: 8.334 ms a character, each written at the millisecond it is through.
        row("paced at the line speed", R"("baud":1200,"latency_ms":0,)", "+5 <900101 +50", "14:S 22:3 31:. 39:4 47:0");
        row("no vehicle", R"("vehicle":false,)", "+25 ? <010D06 +5 <900101 +5", "10:P 20:P 25:ready=P 27:RS0000000000000 32:P3.40");
        row("quiet tool", R"("faults":{"quiet":true},)", "+25 ? <010D06 +25", "25:ready=0");
        row("an ECU that never answers", R"("faults":{"unanswered_service":3},)", "+5 <030A0A +100 ? <010D06 +5", "105:ready=0 107:R486B10410D2132");
        row("sweep on the tool's time", R"("status_period_ms":5000,"latency_ms":0,)",
            "+250 <010B06 +250 <010B06 +1400 <010B06", "250:R486B10410B3241 500:R486B10410B6473 1900:R486B10410B1423");
        row("PASS, the packet in two pieces, its reply", R"("pass_header":"8","latency_ms":0,)",
            "+5 <F00504 +10 ? <#0106C333F10601010000 +30 ? <#00000000 +5 ?",
            "5:SA8 15:ready=0 45:ready=0 #486B10468101F403E80100006B 50:ready=S");
        row("PASS, no packet: given up after a second", R"("latency_ms":1,)", "+5 <F00504 +999 ? +2 ? <900101 +5", "6:SA0 1004:ready=0 1006:S ready=S 1007:S3.40");
        row("PASS ignored", R"("faults":{"pass_refused":true},)", "+5 <F00504 +10 ?", "10:S 15:ready=S");
    }
    void wire()
    {
        QFETCH(QString, keys);
        QFETCH(QString, script);
        QFETCH(QString, timeline);
        ManualClock clock;
        SimulatedScanTool tool(profile(keys), &clock);
        QStringList heard;
        std::int64_t at = -1;
        auto note = [&](const QString &what) { heard << (std::exchange(at, clock.now) == clock.now ? what : QStringLiteral("%1:%2").arg(clock.now).arg(what)); };
        connect(&tool, &SimulatedScanTool::transmit, this, [&](const QByteArray &d) {
            const bool text = std::all_of(d.begin(), d.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
            note(QLatin1String(text ? d : '#' + d.toHex().toUpper()));
        });
        tool.start();
        for (const QString &step : script.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            if (step == QLatin1String("?"))
                note(QStringLiteral("ready=%1").arg(QChar(tool.readyByte() ? tool.readyByte() : '0')));
            else if (step.startsWith(QLatin1Char('+')))
                clock.wait(step.mid(1).toInt());
            else
                tool.receive(step.startsWith(QLatin1String("<#")) ? QByteArray::fromHex(step.mid(2).toLatin1()) : step.mid(1).toLatin1());
            clock.wait(0);
        }
        QCOMPARE(heard.join(QLatin1Char(' ')), timeline);
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("problem");
        auto row = [](const char *name, const char *ecu, const char *problem, const char *top = "") {
            QTest::newRow(name) << QStringLiteral(R"({%1 "ecus":[{"address":"10"%2}]})").arg(QLatin1String(top), QLatin1String(ecu)).toUtf8()
                                << QString::fromLatin1(problem);
        };
        QTest::newRow("not JSON") << QByteArray("{\"ecus\": [") << "not valid JSON";
        QTest::newRow("not an object") << QByteArray("[]") << "must be a JSON object";
        QTest::newRow("no ECU") << QByteArray(R"({"ecus":[]})") << "at least one ECU";
        row("bad PID", R"(,"pids":{"7G":"00"})", "\"7G\" is not a PID");
        row("PID beyond 60", R"(,"pids":{"61":"00"})", "PID 61 cannot be announced");
        row("odd hex", R"(,"pids":{"0C":"0CB"})", "PID 0C must be hexadecimal bytes");
        row("empty list", R"(,"pids":{"0C":[]})", "PID 0C is an empty list");
        row("sweep of two lengths", R"(,"pids":{"0C":{"sweep":["00","0000"]}})", "a sweep needs two values");
        row("sweep period", R"(,"pids":{"0C":{"sweep":["00","01"],"period_ms":0}})", "period_ms must be positive");
        row("bad code", R"(,"stored":["X123"])", "\"X123\" is not a trouble code");
        row("bad address", R"(,"address":"1")", "address \"1\" is not two hexadecimal digits");
        row("sensor B3S1", R"(,"o2_tests":{"B3S1":{"01":"2D"}})", "is not a sensor");
        row("O2 test 0A", R"(,"o2_tests":{"B1S1":{"0A":"2D"}})", "test IDs are 01 to 09");
        row("test 05 with one byte", R"(,"o2_tests":{"B1S1":{"05":"2D"}})", "must be 3 byte(s)");
        row("service 07", R"(,"o2_services":["07"])", "is not 05 or 06");
        row("mode 6 test 20", R"(,"mode6":[{"test":"20","component":"01","value":"0001","limit":"0002"}])", "support requests");
        row("mode 6 kind", R"(,"mode6":[{"test":"01","component":"01","value":"0001","limit":"0002","kind":"avg"}])", "kind min or max");
        row("pass header", "", "one character", R"("pass_header":"44",)");
        row("negative latency", "", "latency_ms not negative", R"("latency_ms":-1,)");
        row("protocol", "", "protocol \"can\" is not", R"("protocol":"can",)");
    }
    void refused()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, problem);
        QString error;
        QVERIFY(!VehicleProfile::fromJson(json, QStringLiteral("car.json"), &error));
        QVERIFY2(error.startsWith(QStringLiteral("car.json: ")) && error.contains(problem), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(tst_simulator)
#include "tst_simulator.moc"
