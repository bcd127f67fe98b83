// The O2 sensor tests and the on-board monitoring (mode 6) tests against the in-process tool on
// the manual clock, including a tool that refuses, answers nothing or answers short.
#include "LineRig.h"
#include "ScriptedRig.h"

#include "core/ControlNames.h"
#include "services/Mode6Monitor.h"
#include "services/O2Monitor.h"

#include <QtTest>
#include <numeric>

using namespace quenta;

namespace {

namespace m5 = names::mode5;

// One ECU at 10 with the given JSON fields.
sim::VehicleProfile car(const QString &fields)
{
    const QByteArray json = QStringLiteral(R"({"latency_ms":0,"status_period_ms":2,
        "ecus":[{"address":"10","pids":{"01":"8207E504","13":"11"},%1}]})").arg(fields).toUtf8();
    QString error;
    auto p = sim::VehicleProfile::fromJson(json, QStringLiteral("monitor car"), &error);
    if (!p)
        qFatal("monitor car: %s", qPrintable(error));
    return *p;
}
// Sensors B1S1 and B2S1 with the given tests (sensor -> test -> bytes).
sim::VehicleProfile o2Car(const QString &tests, const QString &services = QStringLiteral("[\"05\"]"))
{
    return car(QStringLiteral(R"("o2_services":%1,"o2_tests":%2)").arg(services, tests));
}
sim::VehicleProfile mode6Car(const QString &tests)
{
    return car(QStringLiteral(R"("mode6":%1)").arg(tests));
}

// Support bytes S1 = F0, S2 = 80: tests 01 to 04 and 09.
const QString FourAndNine = QStringLiteral(R"({"B1S1":{"01":"2D","02":"50","03":"3C","04":"78","09":"19FFFF"}})");

QString test(const char *tid, const char *cid, const char *value, const char *limit, const char *kind)
{
    return QStringLiteral(R"({"test":"%1","component":"%2","value":"%3","limit":"%4","kind":"%5"})")
        .arg(QLatin1String(tid), QLatin1String(cid), QLatin1String(value), QLatin1String(limit), QLatin1String(kind));
}
// The examples of the tool's documentation: value 01F4, limit 03E8, a maximum and a minimum.
const QString Examples = QStringLiteral("[%1,%2]").arg(test("01", "01", "01F4", "03E8", "max"), test("02", "01", "01F4", "03E8", "min"));

// COM1 open on the tool, without the connection sequence.
struct MonitorRig : LineRig {
    explicit MonitorRig(sim::VehicleProfile profile) : LineRig(Line::InProcess, std::move(profile))
    {
        program->link.operationBoundMs = 400;
        program->connection.setPort(program->connection.ports.create(1));
        program->connection.port()->open(nullptr);
    }
    ScanToolPort *port() const { return program->connection.port(); }
};

struct O2Rig : MonitorRig {
    O2Monitor tests{program->pidContext, program->prompts};
    explicit O2Rig(sim::VehicleProfile profile) : MonitorRig(std::move(profile))
    {
        // What a current-data request leaves: the sensors present and the monitor complete.
        program->pids.o2_present[0] = 1;
        program->pids.o2_present[4] = 16;
        program->pids.O2_monitor_complete = true;
    }
    QString text(const QString &box) const { return tests.box(box).text; }
};

void getResults(Mode6Monitor &m, const QString &testId, const QString &componentId,
                const QString &scale = QStringLiteral("0.01"), const QString &units = QStringLiteral("V"))
{
    m.fields.testId = testId;
    m.fields.componentId = componentId;
    m.fields.scale = scale;
    m.fields.units = units;
    m.getTestResults();
}

struct Rig : MonitorRig {
    Mode6Monitor tests{program->link, program->mode6, program->prompts};
    using MonitorRig::MonitorRig;
    Mode6Monitor::Fields &f() { return tests.fields; }
};

} // namespace

class tst_monitors : public QObject {
    Q_OBJECT
private slots:
    // Test 02 always goes out with service 06, whatever the others use; without service 05 the
    // run falls back to 06; without either it is not supported.
    void commandsInOrder()
    {
        for (const auto &[services, sent, message] :
             {std::tuple{QStringLiteral(R"(["05","06"])"), QByteArrayList{"050001", "050101", "060201", "050301", "050401", "050901"}, QString()},
              {QStringLiteral(R"(["06"])"), QByteArrayList{"050001", "060001", "060101", "060201", "060301", "060401", "060901"}, QString()},
              {QStringLiteral("[]"), QByteArrayList{"050001", "060001"}, O2Monitor::NotSupportedText}}) {
            O2Rig r(o2Car(FourAndNine, services));
            r.tests.o2_test_request(1);
            QCOMPARE(r.tool->commands(), sent);
            QCOMPARE(r.prompts.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        }
    }

    // Results stay until overwritten: by a sensor with fewer tests, or a run that ends in "ECU Timeout"
    // (a tool that keeps asking again with its "S" at position 3, or a first test request unanswered).
    void resultsStay()
    {
        O2Rig r(o2Car(QStringLiteral(R"({"B1S1":{"01":"2D","05":"190064"},"B2S1":{"01":"3C"}})")));
        r.tests.o2_test_request(1);
        r.tests.o2_test_request(16);
        QCOMPARE(r.text(m5::result(1)) + r.text(m5::result(5)), QStringLiteral(" .3 V .1 S"));
        bool silentAfterSupport = false;
        QObject::connect(r.tool.get(), &sim::SimulatedScanTool::transmit, r.tool.get(), [&] {
            if (silentAfterSupport && r.tool->commands().size() == 1)
                r.tool->faults().unansweredService = 5;
        });
        r.tool->faults().sAtThird = 1000;
        for (const QByteArrayList &sent : {QByteArrayList(ScanToolLink::MaxAttempts, "050001"), QByteArrayList{"050001", "050101"}}) {
            r.tool->clearCommands();
            r.prompts.shown.clear();
            r.tests.o2_test_request(1);
            QCOMPARE(r.tool->commands(), sent);
            QCOMPARE(r.prompts.texts(), QStringList{O2Monitor::TimeoutText});
            QCOMPARE(r.text(m5::result(1)), QStringLiteral(" .3 V"));
            r.tool->faults().sAtThird = 0;
            silentAfterSupport = true;
        }
    }

    void debugLines()
    {
        O2Rig r(o2Car(FourAndNine, QStringLiteral(R"(["06"])")));
        r.program->settings.debug_mode = true;
        r.tests.o2_test_request(1);
        const QString s = r.program->status.text();
        QCOMPARE(s.count(QStringLiteral("\r\nMode 5, PID 0 = ")), 2);
        QVERIFY(s.contains(QStringLiteral("\r\nMode 5, PID 0 = R486B107F0512")));
        QVERIFY(s.contains(QStringLiteral("\r\nMode 5, PID 0 = R486B10460001F0800000")));
    }

    // An entry, its text after the "$" rewrite and the ID read (-1: none): hexadecimal digits in
    // either case up to the first other character, decimal leading digits, halves to even, and the
    // range checked after the rounding.
    void entryReading()
    {
        for (const auto &[entry, shown, id] : {std::tuple{"$fG", "&HfG", 15}, {"1A", "1A", 1}, {"-1", "-1", -1},
                                               {"2.5", "2.5", 2}, {"-0.4", "-0.4", 0}, {"1E400", "1E400", -1}}) {
            QCOMPARE(Mode6Monitor::rewriteDollar(QLatin1String(entry)), QLatin1String(shown));
            QCOMPARE(Mode6Monitor::entryId(QLatin1String(shown)).value_or(-1), id);
        }
    }

    // PASS and FAIL at and around the limit, for a maximum and a minimum; equality passes. Only
    // the box of the limit's kind is written.
    void passFail()
    {
        for (const auto &[kind, value, shown, result] : {std::tuple{"max", "03E8", "10V", "PASS"}, {"max", "03E9", "10.01V", "FAIL"},
                                                         {"min", "03E7", "9.99V", "FAIL"}, {"min", "03E8", "10V", "PASS"}}) {
            Rig r(mode6Car(QStringLiteral("[%1]").arg(test("05", "11", value, "03E8", kind))));
            r.f().min = QStringLiteral("earlier min");
            r.f().max = QStringLiteral("earlier max");
            getResults(r.tests, QStringLiteral("5"), QStringLiteral("$11"));
            const bool max = kind == QLatin1String("max");
            QCOMPARE(r.f().value, QLatin1String(shown));
            QCOMPARE(r.f().max, max ? QStringLiteral("10V") : QStringLiteral("earlier max"));
            QCOMPARE(r.f().min, !max ? QStringLiteral("10V") : QStringLiteral("earlier min"));
            QCOMPARE(r.f().passFail, QLatin1String(result));
            QCOMPARE(r.f().passFailBack, result == QLatin1String("FAIL") ? colors::Red : Mode6Monitor::PassWhite);
            QCOMPARE(r.f().returned, QString());
        }
    }

    // Nothing is sent for an entry that is not an ID, and the boxes keep their texts. The scale is
    // read after the reply: an overflow of the single-precision value.
    void badEntries()
    {
        for (const auto &[testId, componentId, scale, packets] :
             {std::tuple{"$100", "$1", "1", 0}, {"1", "300", "1", 0}, {"1", "1", "1E300", 1}}) {
            Rig r(mode6Car(Examples));
            r.f().value = QStringLiteral("earlier");
            getResults(r.tests, QLatin1String(testId), QLatin1String(componentId), QLatin1String(scale));
            QCOMPARE(r.prompts.texts(), QStringList{Mode6Monitor::InputErrorText});
            QCOMPARE(r.tool->packets().size(), packets);
            // A bad test ID ends the reading before the component ID is rewritten.
            if (testId[0] == '$')
                QCOMPARE(r.f().componentId, QLatin1String(componentId));
            QCOMPARE(r.f().value, QStringLiteral("earlier"));
            QCOMPARE(r.port()->inputMode(), ScanToolPort::InputMode::Text);
        }
    }

    // A tool that answers within microseconds: its acknowledgement is there when the write returns,
    // and is taken with what follows, status characters in front taken off; only the low four bits
    // of its code after the "A" pick the packet's header bytes.
    void acknowledgementAnsweredAtOnce_data()
    {
        QTest::addColumn<QList<QByteArray>>("ack"); // there at once, then the parts that follow
        QTest::addColumn<QByteArray>("header");     // the packet's bytes 2 to 4
        QTest::newRow("a status character in front, code D") << QList<QByteArray>{"SSAD"} << QByteArray::fromHex("616AF1");
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
        reply += char(std::accumulate(reply.begin(), reply.end(), 0, [](int s, char c) { return s + quint8(c); }));
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
        getResults(tests, QStringLiteral("1"), QStringLiteral("1"));
        QCOMPARE(rig.prompts.texts(), QStringList());
        QCOMPARE(port->written.size(), 2);
        QCOMPARE(port->written.first(), QByteArray("F00504"));
        QCOMPARE(port->written.last().mid(2, 3), header);
        QCOMPARE(tests.fields.value, QStringLiteral("5V")); // the reply read after it
    }

    // The ECU's refusal (byte 3 is 7F), or a reply cut short, where the wait ends at its bound: no
    // number shown, the boxes keep their texts, and the program goes on.
    void noResponse()
    {
        for (const bool refused : {true, false}) {
            Rig r(mode6Car(Examples));
            r.tool->faults().mode6NoResponse = refused;
            r.tool->faults().mode6ReplyBytes = refused ? 0 : 8;
            QObject::connect(r.tool.get(), &sim::SimulatedScanTool::transmit, r.tool.get(), [&](const QByteArray &d) {
                if (!refused && d.size() > 1 && !r.tool->packets().isEmpty())
                    r.tool->faults().quiet = true;
            });
            r.f().value = QStringLiteral("earlier");
            const std::int64_t start = r.clock.now;
            getResults(r.tests, QStringLiteral("1"), QStringLiteral("1"));
            QCOMPARE(r.clock.now - start >= r.program->link.operationBoundMs, !refused);
            QCOMPARE(r.f().returned, Mode6Monitor::NoResponseText);
            QCOMPARE(r.f().value, QStringLiteral("earlier"));
            QCOMPARE(r.port()->inputMode(), ScanToolPort::InputMode::Text);
            QVERIFY(!r.program->link.lost());
        }
    }
};

QTEST_GUILESS_MAIN(tst_monitors)
#include "tst_monitors.moc"
