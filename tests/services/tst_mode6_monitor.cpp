// The on-board monitoring (mode 6) tests against the in-process simulated tool: the entry
// readings, the header bytes, the packet, PASS and FAIL at and around the limit, the scan, and a
// tool that refuses, answers nothing or answers short.
#include "ScriptedRig.h"
#include "SimRig.h"

#include "services/Mode6Monitor.h"

#include <QtTest>

using namespace quenta;

namespace {

sim::VehicleProfile mode6Car(const QString &tests, char passHeader = '0')
{
    const QByteArray json = QStringLiteral(R"({"latency_ms":0,"status_period_ms":2,"pass_header":"%1",
        "ecus":[{"address":"10","pids":{"01":"8207E504"},"mode6":%2}]})")
                                .arg(QLatin1Char(passHeader))
                                .arg(tests)
                                .toUtf8();
    QString error;
    auto p = sim::VehicleProfile::fromJson(json, QStringLiteral("mode 6 car"), &error);
    if (!p)
        qFatal("mode 6 car: %s", qPrintable(error));
    return *p;
}

QString test(const char *tid, const char *cid, const char *value, const char *limit, const char *kind)
{
    return QStringLiteral(R"({"test":"%1","component":"%2","value":"%3","limit":"%4","kind":"%5"})")
        .arg(QLatin1String(tid), QLatin1String(cid), QLatin1String(value), QLatin1String(limit), QLatin1String(kind));
}

// The examples of the tool's documentation: value 01F4, limit 03E8, a maximum and a minimum.
const QString Examples = QStringLiteral("[%1,%2]").arg(test("01", "01", "01F4", "03E8", "max"),
                                                       test("02", "01", "01F4", "03E8", "min"));

struct Rig : SimRig {
    Mode6Monitor tests{program->link, program->mode6, program->prompts};
    explicit Rig(sim::VehicleProfile profile) : SimRig(std::move(profile))
    {
        program->link.operationBoundMs = 400;
        openPort();
    }
    Mode6Monitor::Fields &f() { return tests.fields; }
    void get(const QString &testId, const QString &componentId, const QString &scale = QStringLiteral("0.01"),
             const QString &units = QStringLiteral("V"))
    {
        f().testId = testId;
        f().componentId = componentId;
        f().scale = scale;
        f().units = units;
        tests.getTestResults();
    }
};

} // namespace

class tst_mode6_monitor : public QObject {
    Q_OBJECT
private slots:
    void entryReading_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("id"); // -1: not an ID
        QTest::newRow("$1A") << "$1A" << "&H1A" << 26;
        QTest::newRow("26") << "26" << "26" << 26;
        QTest::newRow("1A: the leading digits") << "1A" << "1A" << 1;
        QTest::newRow("abc: no number") << "abc" << "abc" << 0;
        QTest::newRow("empty") << "" << "" << 0;
        QTest::newRow("$FF") << "$FF" << "&HFF" << 255;
        QTest::newRow("$ff") << "$ff" << "&Hff" << 255;
        QTest::newRow("$1G: digits up to the G") << "$1G" << "&H1G" << 1;
        QTest::newRow("$100") << "$100" << "&H100" << -1;
        QTest::newRow("256") << "256" << "256" << -1;
        QTest::newRow("-1") << "-1" << "-1" << -1;
        QTest::newRow("2.5 halves to even") << "2.5" << "2.5" << 2;
        QTest::newRow("3.5 halves to even") << "3.5" << "3.5" << 4;
        QTest::newRow("255.5 rounds to 256") << "255.5" << "255.5" << -1;
        QTest::newRow("-0.4 rounds to 0") << "-0.4" << "-0.4" << 0;
        QTest::newRow("leading blanks") << "  12x" << "  12x" << 12;
        QTest::newRow("1E400 overflows") << "1E400" << "1E400" << -1;
        QTest::newRow("&H2 typed as such") << "&H2" << "&H2" << 2;
    }
    void entryReading()
    {
        QFETCH(QString, entry);
        QFETCH(QString, shown);
        QFETCH(int, id);
        QCOMPARE(Mode6Monitor::rewriteDollar(entry), shown);
        const std::optional<int> read = Mode6Monitor::entryId(shown);
        QCOMPARE(read.value_or(-1), id);
    }

    // The acknowledgement's character 3 picks the header bytes; the packet carries them.
    void headerAndPacket_data()
    {
        QTest::addColumn<char>("digit");
        QTest::addColumn<QByteArray>("testPacket");
        QTest::addColumn<QByteArray>("scanPacket");
        QTest::newRow("4") << '4' << QByteArray("0106616AF1061A01000000000000") << QByteArray("0105616AF1060000000000000000");
        QTest::newRow("8") << '8' << QByteArray("0106C333F1061A01000000000000") << QByteArray("0105C333F1060000000000000000");
        QTest::newRow("0") << '0' << QByteArray("0106686AF1061A01000000000000") << QByteArray("0105686AF1060000000000000000");
        // Only the low four bits of the character code count: "D" is 44 hex.
        QTest::newRow("D") << 'D' << QByteArray("0106616AF1061A01000000000000") << QByteArray("0105616AF1060000000000000000");
    }
    void headerAndPacket()
    {
        QFETCH(char, digit);
        QFETCH(QByteArray, testPacket);
        QFETCH(QByteArray, scanPacket);
        Rig r(mode6Car(QStringLiteral("[%1]").arg(test("1A", "01", "0001", "0002", "max")), digit));
        r.get(QStringLiteral("$1A"), QStringLiteral("1"));
        QCOMPARE(r.f().testId, QStringLiteral("&H1A"));
        r.tests.scan();
        QCOMPARE(r.tool.packets().size(), 2);
        QCOMPARE(r.tool.packets()[0].toHex().toUpper(), testPacket);
        QCOMPARE(r.tool.packets()[1].toHex().toUpper(), scanPacket);
        QCOMPARE(r.tool.commands().count(QByteArray("F00504")), 2);
        QCOMPARE(r.f().passFail, QStringLiteral("PASS"));
        QCOMPARE(r.port()->inputMode(), ScanToolPort::InputMode::Text);
    }

    // PASS and FAIL at and around the limit, for a maximum and a minimum; equality passes.
    void passFail_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("result");
        QTest::newRow("max, below") << "max" << "03E7" << "9.99V" << "PASS";
        QTest::newRow("max, equal") << "max" << "03E8" << "10V" << "PASS";
        QTest::newRow("max, above") << "max" << "03E9" << "10.01V" << "FAIL";
        QTest::newRow("min, below") << "min" << "03E7" << "9.99V" << "FAIL";
        QTest::newRow("min, equal") << "min" << "03E8" << "10V" << "PASS";
        QTest::newRow("min, above") << "min" << "03E9" << "10.01V" << "PASS";
    }
    void passFail()
    {
        QFETCH(QString, kind);
        QFETCH(QString, value);
        QFETCH(QString, shown);
        QFETCH(QString, result);
        const QByteArray v = value.toLatin1(), k = kind.toLatin1();
        Rig r(mode6Car(QStringLiteral("[%1]").arg(test("05", "11", v.constData(), "03E8", k.constData()))));
        r.f().min = QStringLiteral("earlier min");
        r.f().max = QStringLiteral("earlier max");
        r.get(QStringLiteral("5"), QStringLiteral("$11"));
        QCOMPARE(r.f().value, shown);
        // Only the box of the limit's kind is written.
        QCOMPARE(r.f().max, kind == QLatin1String("max") ? QStringLiteral("10V") : QStringLiteral("earlier max"));
        QCOMPARE(r.f().min, kind == QLatin1String("min") ? QStringLiteral("10V") : QStringLiteral("earlier min"));
        QCOMPARE(r.f().passFail, result);
        QCOMPARE(r.f().passFailBack, result == QLatin1String("FAIL") ? colors::Red : Mode6Monitor::PassWhite);
        QCOMPARE(r.f().returned, QString());
    }

    // The documented examples: 00 01F4 03E8 and 80 01F4 03E8 at scale 0.01 in V.
    void examples()
    {
        Rig r(mode6Car(Examples));
        r.get(QStringLiteral("1"), QStringLiteral("1"));
        QCOMPARE(r.f().value, QStringLiteral("5V"));
        QCOMPARE(r.f().max, QStringLiteral("10V"));
        QCOMPARE(r.f().passFail, QStringLiteral("PASS"));
        r.get(QStringLiteral("2"), QStringLiteral("1"));
        QCOMPARE(r.f().min, QStringLiteral("10V"));
        QCOMPARE(r.f().passFail, QStringLiteral("FAIL"));
        QCOMPARE(r.f().passFailBack, colors::Red);
        // The plain number text: a 0 before the point, up to seven digits, no blank.
        r.get(QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("0.001"), QStringLiteral(" A"));
        QCOMPARE(r.f().value, QStringLiteral("0.5 A"));
        r.get(QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("1.23456789"), QString());
        QCOMPARE(r.f().value, QStringLiteral("617.2839"));
        // The scale is read like the IDs: "&H" hexadecimal too.
        r.get(QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("&HA"), QString());
        QCOMPARE(r.f().value, QStringLiteral("5000"));
    }

    // Nothing is sent for an entry that is not an ID, and the boxes keep their texts.
    void badEntries_data()
    {
        QTest::addColumn<QString>("testId");
        QTest::addColumn<QString>("componentId");
        QTest::addColumn<QString>("scale");
        QTest::addColumn<int>("packets");
        QTest::newRow("$100") << "$100" << "$1" << "1" << 0;
        QTest::newRow("256") << "256" << "1" << "1" << 0;
        QTest::newRow("-1") << "-1" << "1" << "1" << 0;
        QTest::newRow("component 300") << "1" << "300" << "1" << 0;
        // The scale is read after the reply: an overflow of the single-precision value.
        QTest::newRow("scale 1E300") << "1" << "1" << "1E300" << 1;
    }
    void badEntries()
    {
        QFETCH(QString, testId);
        QFETCH(QString, componentId);
        QFETCH(QString, scale);
        QFETCH(int, packets);
        Rig r(mode6Car(Examples));
        r.f().value = QStringLiteral("earlier");
        r.get(testId, componentId, scale);
        QCOMPARE(r.prompts.texts(), QStringList{Mode6Monitor::InputErrorText});
        QCOMPARE(r.tool.packets().size(), packets);
        // A bad test ID ends the reading before the component ID is rewritten.
        if (testId.startsWith(QLatin1Char('$')))
            QCOMPARE(r.f().componentId, componentId);
        QCOMPARE(r.f().value, QStringLiteral("earlier"));
        QCOMPARE(r.port()->inputMode(), ScanToolPort::InputMode::Text);
    }

    // A tool that answers within microseconds: its acknowledgement is already waiting when the
    // write of the command returns. It is taken, with what follows it; status characters in front
    // of it are taken off.
    void acknowledgementAnsweredAtOnce_data()
    {
        QTest::addColumn<QList<QByteArray>>("ack"); // there at once, then the parts that follow
        QTest::addColumn<QByteArray>("header");     // the packet's bytes 2 to 4
        QTest::newRow("SA0") << QList<QByteArray>{"SA0"} << QByteArray::fromHex("686AF1");
        QTest::newRow("SA4") << QList<QByteArray>{"SA4"} << QByteArray::fromHex("616AF1");
        QTest::newRow("SA8") << QList<QByteArray>{"SA8"} << QByteArray::fromHex("C333F1");
        QTest::newRow("a status character in front") << QList<QByteArray>{"SSA4"} << QByteArray::fromHex("616AF1");
        QTest::newRow("the rest after it") << QList<QByteArray>{"S", "A8"} << QByteArray::fromHex("C333F1");
    }
    void acknowledgementAnsweredAtOnce()
    {
        QFETCH(QList<QByteArray>, ack);
        QFETCH(QByteArray, header);
        ScriptedRig rig;
        rig.program.link.operationBoundMs = 2000;
        ScriptedPort *port = rig.port;
        // Test 01, component 01: value 01F4 against a maximum of 03E8.
        QByteArray reply = QByteArray::fromHex("486B104601 01F4 03E8 01 0000");
        quint8 sum = 0;
        for (char c : reply)
            sum = quint8(sum + quint8(c));
        reply += char(sum);
        port->onWrite = [&](const QByteArray &data) {
            // Still inside the write: the answer is there before the program could look.
            if (data == "F00504") {
                port->buffer += ack.first();
                for (const QByteArray &part : ack.mid(1))
                    QTimer::singleShot(5, port, [port, part] { port->feed(part); });
            } else if (data.size() == Mode6Monitor::PacketSize) {
                port->buffer += reply;
            }
        };
        QTimer::singleShot(5, port, [port] { port->feed("S"); }); // the tool is ready
        Mode6Monitor tests(rig.program.link, rig.program.mode6, rig.program.prompts);
        tests.fields.testId = QStringLiteral("1");
        tests.fields.componentId = QStringLiteral("1");
        tests.fields.scale = QStringLiteral("0.01");
        tests.fields.units = QStringLiteral("V");
        tests.getTestResults();
        QCOMPARE(rig.prompts.texts(), QStringList());
        QCOMPARE(port->written.size(), 2);
        QCOMPARE(port->written.first(), QByteArray("F00504"));
        QCOMPARE(port->written.last().mid(2, 3), header);
        QCOMPARE(tests.fields.value, QStringLiteral("5V"));
        QCOMPARE(tests.fields.max, QStringLiteral("10V"));
        QCOMPARE(tests.fields.passFail, QStringLiteral("PASS"));
    }

    // No valid reply: " No Response to this message", and the other boxes keep their texts.
    void noResponse_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<int>("packets");
        QTest::newRow("ECU refuses (byte 3 is 7F)") << "refuse" << QStringList() << 1;
        QTest::newRow("test the ECU does not have") << "unknown" << QStringList() << 1;
        QTest::newRow("ECU silent") << "silent" << QStringList() << 1;
        // The tool goes on with its status characters after a reply cut short: they fill the
        // reply's place, and byte 3 is one of them.
        QTest::newRow("binary reply cut to 3 bytes") << "short" << QStringList() << 1;
        QTest::newRow("PASS not acknowledged") << "pass" << QStringList{Mode6Monitor::NotAcknowledgedText} << 0;
        QTest::newRow("no vehicle") << "novehicle" << QStringList{Mode6Monitor::NotAcknowledgedText} << 0;
        QTest::newRow("tool dead") << "quiet" << QStringList{Mode6Monitor::NotAcknowledgedText} << 0;
    }
    void noResponse()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, messages);
        QFETCH(int, packets);
        Rig r(mode6Car(Examples));
        // A good result first: its texts must survive the failed request.
        r.get(QStringLiteral("1"), QStringLiteral("1"));
        QCOMPARE(r.f().passFail, QStringLiteral("PASS"));
        r.tool.clearCommands();
        const int before = int(r.tool.packets().size());
        sim::Faults &f = r.tool.faults();
        if (fault == QLatin1String("refuse"))
            f.mode6NoResponse = true;
        else if (fault == QLatin1String("silent"))
            r.tool.profile().ecus[0].silent = true;
        else if (fault == QLatin1String("short"))
            f.mode6ReplyBytes = 3;
        else if (fault == QLatin1String("pass"))
            f.passRefused = true;
        else if (fault == QLatin1String("novehicle"))
            r.tool.setVehicle(false);
        else if (fault == QLatin1String("quiet"))
            f.quiet = true;
        QElapsedTimer clock;
        clock.start();
        r.get(fault == QLatin1String("unknown") ? QStringLiteral("9") : QStringLiteral("1"), QStringLiteral("1"));
        QVERIFY2(clock.elapsed() < 5 * r.program->link.operationBoundMs, "the request is bounded");
        QCOMPARE(r.f().returned, Mode6Monitor::NoResponseText);
        QCOMPARE(r.prompts.texts(), messages);
        QCOMPARE(int(r.tool.packets().size()) - before, packets);
        QCOMPARE(r.f().value, QStringLiteral("5V"));
        QCOMPARE(r.f().max, QStringLiteral("10V"));
        QCOMPARE(r.f().passFail, QStringLiteral("PASS"));
        QCOMPARE(r.port() ? r.port()->inputMode() : ScanToolPort::InputMode::Text, ScanToolPort::InputMode::Text);
        // The scan meets the same and says the same.
        r.prompts.shown.clear();
        r.f().returned.clear();
        r.tests.scan();
        QCOMPARE(r.f().returned, fault == QLatin1String("unknown") ? QString() : Mode6Monitor::NoResponseText);
        QCOMPARE(r.f().supported.isEmpty(), fault != QLatin1String("unknown"));
        if (fault != QLatin1String("quiet") && fault != QLatin1String("novehicle")) {
            // Once the tool behaves again, so does the window: nothing stale is left on the line.
            f = sim::Faults{};
            r.tool.profile().ecus[0].silent = false;
            r.f().returned.clear();
            r.get(QStringLiteral("2"), QStringLiteral("1"));
            QCOMPARE(r.f().returned, QString());
            QCOMPARE(r.f().passFail, QStringLiteral("FAIL"));
        }
    }

    // A reply that stops short and nothing after it: the wait ends at its bound, no number is
    // shown, and the program goes on.
    void shortReplyThenSilence()
    {
        Rig r(mode6Car(Examples));
        r.tool.faults().mode6ReplyBytes = 8;
        QObject::connect(&r.tool, &sim::SimulatedScanTool::transmit, &r.tool, [&](const QByteArray &d) {
            if (d.size() > 1 && !r.tool.packets().isEmpty())
                r.tool.faults().quiet = true;
        });
        QElapsedTimer clock;
        clock.start();
        r.get(QStringLiteral("1"), QStringLiteral("1"));
        QVERIFY(clock.elapsed() >= r.program->link.operationBoundMs - 50);
        QCOMPARE(r.f().returned, Mode6Monitor::NoResponseText);
        QCOMPARE(r.f().value, QString());
        QCOMPARE(r.port()->inputMode(), ScanToolPort::InputMode::Text);
        QVERIFY(!r.program->link.lost());
    }

    // The scan lists each supported test once, in decimal after one blank; the last bit of a
    // range asks for the next range, which is not itself a test. It always ends.
    void scan_data()
    {
        QTest::addColumn<QString>("tests");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<int>("packets");
        QTest::newRow("one range") << QStringLiteral("[%1,%2,%3]").arg(test("01", "01", "0001", "0002", "max"),
                                                                      test("05", "11", "0001", "0002", "max"),
                                                                      test("1F", "01", "0001", "0002", "max"))
                                   << QStringList{" 1", " 5", " 31"} << 1;
        QTest::newRow("two ranges") << QStringLiteral("[%1,%2]").arg(test("0A", "21", "0001", "0002", "min"),
                                                                    test("21", "01", "0001", "0002", "max"))
                                    << QStringList{" 10", " 33"} << 2;
        QTest::newRow("every range up to FF") << QStringLiteral("[%1,%2]").arg(test("01", "01", "0001", "0002", "max"),
                                                                              test("FF", "01", "0001", "0002", "max"))
                                              << QStringList{" 1", " 255"} << 8;
    }
    void scan()
    {
        QFETCH(QString, tests);
        QFETCH(QStringList, listed);
        QFETCH(int, packets);
        Rig r(mode6Car(tests));
        r.tests.scan();
        QCOMPARE(r.f().supported, listed);
        QCOMPARE(int(r.tool.packets().size()), packets);
        QCOMPARE(r.f().returned, QString());
        // The list is not emptied by a second scan.
        r.tests.scan();
        QCOMPARE(r.f().supported, listed + listed);
    }
};

QTEST_GUILESS_MAIN(tst_mode6_monitor)
#include "tst_mode6_monitor.moc"
