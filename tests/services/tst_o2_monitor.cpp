// The O2 sensor monitoring tests against the in-process simulated tool: which commands go out and
// in what order, the service 06 fall-back, the repeat, the failure messages, the number texts and
// colours in the boxes, and a tool that misbehaves.
#include "SimRig.h"

#include "core/ControlNames.h"
#include "services/CurrentData.h"
#include "services/O2Monitor.h"

#include <QJsonDocument>
#include <QtTest>

using namespace quenta;

namespace {

namespace m5 = names::mode5;

// One ECU with O2 sensors B1S1 and B2S1 and the given tests (sensor -> test -> bytes).
sim::VehicleProfile o2Car(const QString &tests, const QString &services = QStringLiteral("[\"05\"]"))
{
    const QByteArray json = QStringLiteral(R"({"latency_ms":0,"status_period_ms":2,
        "ecus":[{"address":"10","pids":{"01":"8207E504","13":"11"},"o2_services":%1,"o2_tests":%2}]})")
                                .arg(services, tests)
                                .toUtf8();
    QString error;
    auto p = sim::VehicleProfile::fromJson(json, QStringLiteral("o2 car"), &error);
    if (!p)
        qFatal("o2 car: %s", qPrintable(error));
    return *p;
}

const QString EveryTest = QStringLiteral(
    R"({"B1S1":{"01":"2D","02":"50","03":"3C","04":"78","05":"190064","06":"1E0064","07":"140028","08":"AA96FF","09":"190A32"}})");
// Support bytes S1 = F0, S2 = 80: tests 01 to 04 and 09.
const QString FourAndNine = QStringLiteral(R"({"B1S1":{"01":"2D","02":"50","03":"3C","04":"78","09":"19FFFF"}})");

struct Rig : SimRig {
    O2Monitor tests{program->pidContext, program->prompts};
    explicit Rig(sim::VehicleProfile profile) : SimRig(std::move(profile))
    {
        program->link.operationBoundMs = 400;
        openPort();
        // What a current-data request leaves: the sensors present and the monitor complete.
        program->pids.o2_present[0] = 1;
        program->pids.o2_present[4] = 16;
        program->pids.O2_monitor_complete = true;
        tool.clearCommands();
    }
    QStringList sent() const
    {
        QStringList out;
        for (const QByteArray &c : tool.commands())
            out << QString::fromLatin1(c);
        return out;
    }
    QString text(const QString &box) const { return tests.box(box).text; }
};

} // namespace

class tst_o2_monitor : public QObject {
    Q_OBJECT
private slots:
    void commandsInOrder_data()
    {
        QTest::addColumn<QString>("tests");
        QTest::addColumn<QString>("services");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QString>("message");
        // Test 02 always goes out with service 06, whatever the others use.
        QTest::newRow("S1 F0, S2 80: 01-04 then 09") << FourAndNine << QStringLiteral(R"(["05","06"])")
            << QStringList{"050001", "050101", "060201", "050301", "050401", "050901"} << QString();
        // A positive service 05 reply (45 00) is taken as it is: no fall-back.
        QTest::newRow("service 05 only: 05 is used") << FourAndNine << QStringLiteral(R"(["05"])")
            << QStringList{"050001", "050101", "060201", "050301", "050401", "050901"} << QString();
        QTest::newRow("service 06 only: fall-back") << FourAndNine << QStringLiteral(R"(["06"])")
            << QStringList{"050001", "060001", "060101", "060201", "060301", "060401", "060901"} << QString();
        QTest::newRow("neither: not supported") << FourAndNine << QStringLiteral("[]")
            << QStringList{"050001", "060001"} << O2Monitor::NotSupportedText;
        // The same ECU switched to refusing at run time.
        QTest::newRow("refusing: not supported") << FourAndNine << QStringLiteral("refuse")
            << QStringList{"050001", "060001"} << O2Monitor::NotSupportedText;
        QTest::newRow("every test") << EveryTest << QStringLiteral(R"(["05","06"])")
            << QStringList{"050001", "050101", "060201", "050301", "050401", "050501", "050601", "050701", "050801",
                           "050901"}
            << QString();
    }
    void commandsInOrder()
    {
        QFETCH(QString, tests);
        QFETCH(QString, services);
        QFETCH(QStringList, sent);
        QFETCH(QString, message);
        const bool refuse = services == QLatin1String("refuse");
        Rig r(o2Car(tests, refuse ? QStringLiteral(R"(["05","06"])") : services));
        r.tool.faults().o2Unsupported = refuse;
        r.tests.o2_test_request(1);
        QCOMPARE(r.sent(), sent);
        QCOMPARE(r.prompts.texts(), message.isEmpty() ? QStringList() : QStringList{message});
    }

    // The texts of the boxes: one leading blank, no 0 before the point, the unit; light green
    // behind tests 01 to 04 only.
    void boxTexts()
    {
        Rig r(o2Car(EveryTest, QStringLiteral(R"(["05","06"])")));
        r.tests.o2_test_request(1);
        const struct { QString box, text; bool green; } expected[] = {
            {m5::result(1), " .225 V", true},  {m5::result(2), " .4 V", true},   {m5::result(3), " .3 V", true},
            {m5::result(4), " .6 V", true},    {m5::result(5), " .1 S", false},  {m5::minimum(5), " 0 S", false},
            {m5::maximum(5), " .4 S", false},  {m5::result(6), " .12 S", false}, {m5::result(7), " .1 V", false},
            {m5::maximum(7), " .2 V", false},  {m5::result(8), " .85 V", false}, {m5::minimum(8), " .75 V", false},
            {m5::maximum(8), " 1.275 V", false}, {m5::result(9), " 1 S", false},
            // Test 09's limits are never filled.
            {m5::minimum(9), "N/A", false},   {m5::maximum(9), "N/A", false},
        };
        for (const auto &e : expected) {
            QCOMPARE(r.text(e.box), e.text);
            QCOMPARE(r.tests.box(e.box).back, e.green ? O2Monitor::ResultGreen : O2Monitor::BoxWhite);
        }
        QVERIFY(r.prompts.shown.isEmpty());
    }

    // Results stay until overwritten: a second sensor with fewer tests leaves the others' texts.
    void resultsStayAcrossSensors()
    {
        Rig r(o2Car(QStringLiteral(R"({"B1S1":{"01":"2D","05":"190064"},"B2S1":{"01":"3C"}})")));
        r.tests.o2_test_request(1);
        r.tests.o2_test_request(16);
        QCOMPARE(r.text(m5::result(1)), QStringLiteral(" .3 V"));
        QCOMPARE(r.text(m5::result(5)), QStringLiteral(" .1 S"));
        QCOMPARE(r.sent().last(), QStringLiteral("050110"));
    }

    // The tool's "S" at position 3 asks for the same request again; a tool that keeps asking is
    // given up on with "ECU Timeout".
    void repeatOnSAtThird_data()
    {
        QTest::addColumn<int>("repeats");
        QTest::addColumn<int>("supportRequests");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("once") << 1 << 2 << QStringLiteral(" .225 V") << QStringList();
        QTest::newRow("three times") << 3 << 4 << QStringLiteral(" .225 V") << QStringList();
        QTest::newRow("for ever") << 1000 << ScanToolLink::MaxAttempts << QStringLiteral("N/A")
                                  << QStringList{O2Monitor::TimeoutText};
    }
    void repeatOnSAtThird()
    {
        QFETCH(int, repeats);
        QFETCH(int, supportRequests);
        QFETCH(QString, result);
        QFETCH(QStringList, messages);
        Rig r(o2Car(QStringLiteral(R"({"B1S1":{"01":"2D"}})")));
        r.tool.faults().sAtThird = repeats;
        r.tests.o2_test_request(1);
        QCOMPARE(r.sent().count(QStringLiteral("050001")), supportRequests);
        QCOMPARE(r.text(m5::result(1)), result);
        QCOMPARE(r.prompts.texts(), messages);
        QVERIFY(!r.sent().contains(QStringLiteral("060001")));
    }

    // Whatever goes wrong, the run ends with a message and never shows a number it did not get.
    void toolMisbehaves_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("result");
        QTest::newRow("status S before every reply") << "status" << QStringList() << QStringLiteral(" .225 V");
        QTest::newRow("ECU silent") << "silent" << QStringList{O2Monitor::TimeoutText} << QStringLiteral("N/A");
        QTest::newRow("no vehicle") << "novehicle" << QStringList{O2Monitor::TimeoutText} << QStringLiteral("N/A");
        QTest::newRow("tool dead") << "quiet" << QStringList{O2Monitor::TimeoutText} << QStringLiteral("N/A");
        QTest::newRow("tool falls silent after the support reply")
            << "unanswered" << QStringList{O2Monitor::TimeoutText} << QStringLiteral("N/A");
    }
    void toolMisbehaves()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, messages);
        QFETCH(QString, result);
        Rig r(o2Car(QStringLiteral(R"({"B1S1":{"01":"2D","05":"190064"}})")));
        if (fault == QLatin1String("status"))
            r.tool.faults().statusBeforeReply = 100;
        else if (fault == QLatin1String("silent"))
            r.tool.profile().ecus[0].silent = true;
        else if (fault == QLatin1String("novehicle"))
            r.tool.setVehicle(false);
        else if (fault == QLatin1String("quiet"))
            r.tool.faults().quiet = true;
        QElapsedTimer clock;
        clock.start();
        if (fault == QLatin1String("unanswered")) {
            // The support request is answered, the first test request never is.
            QObject::connect(&r.tool, &sim::SimulatedScanTool::transmit, &r.tool, [&] {
                if (r.tool.commands().size() == 1)
                    r.tool.faults().unansweredService = 5;
            });
        }
        r.tests.o2_test_request(1);
        QVERIFY2(clock.elapsed() < 5 * r.program->link.operationBoundMs, "the run is bounded");
        QCOMPARE(r.prompts.texts(), messages);
        QCOMPARE(r.text(m5::result(1)), result);
        if (fault == QLatin1String("status"))
            QCOMPARE(r.text(m5::maximum(5)), QStringLiteral(" .4 S"));
    }

    // The window's load: the present sensors in presence-list order; without a completed O2
    // monitor the message (with its trailing blank) and no window.
    void load()
    {
        Rig r(o2Car(FourAndNine));
        r.program->pids.o2_present = {1, 2, 0, 0, 16, 0, 0, 128};
        QList<O2Monitor::Sensor> sensors;
        QVERIFY(r.tests.load(&sensors));
        QCOMPARE(sensors.size(), 4);
        const QStringList captions{"Bank1, Sensor1", "Bank1, Sensor2", "Bank2, Sensor1", "Bank2, Sensor4"};
        const QList<int> masks{1, 2, 16, 128};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(sensors[i].caption, captions[i]);
            QCOMPARE(sensors[i].mask, masks[i]);
        }
        QVERIFY(r.prompts.shown.isEmpty());
        r.program->pids.O2_monitor_complete = false;
        QVERIFY(!r.tests.load(&sensors));
        QCOMPARE(r.prompts.texts(),
                 QStringList{"The O2 test results are not available until the O2 Sensor test has completed. "});
    }

    // After a real current-data request on the shipped car the sensors come from PID 13.
    void afterCurrentData()
    {
        SimRig rig;
        rig.program->startUp();
        rig.connect();
        rig.program->currentData.request();
        O2Monitor tests(rig.program->pidContext, rig.program->prompts);
        QList<O2Monitor::Sensor> sensors;
        QVERIFY(tests.load(&sensors));
        QCOMPARE(sensors.size(), 4);
        QCOMPARE(sensors[2].caption, QStringLiteral("Bank2, Sensor1"));
        tests.o2_test_request(sensors[2].mask);
        QCOMPARE(tests.box(m5::result(1)).text, QStringLiteral(" .45 V"));
        QVERIFY(rig.prompts.shown.isEmpty());
    }

    void debugLines()
    {
        Rig r(o2Car(FourAndNine, QStringLiteral(R"(["06"])")));
        r.program->settings.debug_mode = true;
        r.tests.o2_test_request(1);
        const QString s = r.program->status.text();
        QCOMPARE(s.count(QStringLiteral("\r\nMode 5, PID 0 = ")), 2);
        QVERIFY(s.contains(QStringLiteral("\r\nMode 5, PID 0 = R486B107F0512")));
        QVERIFY(s.contains(QStringLiteral("\r\nMode 5, PID 0 = R486B10460001F0800000")));
    }
};

QTEST_GUILESS_MAIN(tst_o2_monitor)
#include "tst_o2_monitor.moc"
