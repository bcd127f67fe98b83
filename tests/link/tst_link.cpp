// The link's primitives: status synchronisation, one-parameter requests, failures and bounds.
#include "ManualClock.h"
#include "ScriptedPort.h"
#include "SimRig.h"

#include <QtTest>

using namespace quenta;

class tst_link : public QObject {
    Q_OBJECT

    struct Scripted {
        ScriptedPrompts prompts;
        Program program{prompts, PortDirectory()};
        ScriptedPort *port = nullptr;
        Scripted()
        {
            auto p = std::make_unique<ScriptedPort>();
            port = p.get();
            program.connection.setPort(std::move(p));
        }
        ScanToolLink &link() { return program.link; }
        // Feeds `data` once the program is waiting.
        void feedLater(const QByteArray &data, int ms = 5)
        {
            QTimer::singleShot(ms, port, [p = port, data] { p->feed(data); });
        }
    };

private slots:
    void statusSynchronisation_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<quint32>("color");
        QTest::addColumn<bool>("stop");
        QTest::newRow("S") << QList<QByteArray>{"S"} << colors::Green << false;
        QTest::newRow("P") << QList<QByteArray>{"P"} << colors::Yellow << true;
        QTest::newRow("P and S in one chunk counts as S") << QList<QByteArray>{"PPS"} << colors::Green << false;
        QTest::newRow("S before P in one chunk") << QList<QByteArray>{"SP"} << colors::Green << false;
        QTest::newRow("noise, then S") << QList<QByteArray>{"x1", "S"} << colors::Green << false;
        QTest::newRow("noise, then P") << QList<QByteArray>{"??", "P"} << colors::Yellow << true;
    }
    void statusSynchronisation()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(quint32, color);
        QFETCH(bool, stop);
        Scripted s;
        s.port->buffer = "stale S"; // discarded before the wait
        s.program.indicator.setColor(colors::Red);
        int ms = 5;
        for (const QByteArray &c : chunks)
            s.feedLater(c, ms += 5);
        s.link().wait_OBD_ready();
        QCOMPARE(s.program.indicator.color(), color);
        QCOMPARE(s.link().OBD_stop(), stop);
    }

    void stopRaisedElsewhereLeavesTheColour()
    {
        Scripted s;
        s.program.indicator.setColor(colors::Red);
        QTimer::singleShot(10, &s.program, [&] { s.link().setOBD_stop(true); });
        s.link().wait_OBD_ready();
        QCOMPARE(s.program.indicator.color(), colors::Red);
        QVERIFY(s.link().OBD_stop());
    }

    void requestWithStatusPrefixIsCut()
    {
        SimRig rig(SimRig::profileWith({{QStringLiteral("0C"), QStringLiteral("0CB4")}}));
        rig.openPort();
        rig.tool.faults().statusBeforeReply = 1;
        const QString reply = rig.program->link.get_ecu_PID(ToolCommand{0x01, 0x0C, 0x07}).reply;
        QCOMPARE(reply.size(), 15);
        QCOMPARE(reply.mid(11, 2), QStringLiteral("0C"));
        QCOMPARE(reply.mid(13, 2), QStringLiteral("B4"));
        QCOMPARE(rig.tool.commands(), QList<QByteArray>{"010C07"});
    }

    void requestWithoutVehicleSendsNothing()
    {
        SimRig rig;
        rig.tool.setVehicle(false);
        rig.openPort();
        const QString reply = rig.program->link.get_ecu_PID(ToolCommand{0x01, 0x0C, 0x07}).reply;
        QCOMPARE(reply, QStringLiteral("0000000000000000000000"));
        QVERIFY(rig.tool.commands().isEmpty());
        QCOMPARE(rig.program->indicator.color(), colors::Yellow);
    }

    void thirdCharacterSRepeatsTheRequest()
    {
        SimRig rig(SimRig::profileWith({{QStringLiteral("0D"), QStringLiteral("21")}}));
        rig.openPort();
        rig.tool.faults().sAtThird = 2;
        const QString reply = rig.program->link.get_ecu_PID(ToolCommand{0x01, 0x0D, 0x06}).reply;
        QCOMPARE(rig.tool.commands(), (QList<QByteArray>{"010D06", "010D06", "010D06"}));
        QCOMPARE(reply.mid(11, 2), QStringLiteral("21"));
        QCOMPARE(rig.program->indicator.color(), colors::Red);
    }

    // The wait ends once the characters the reply needs are in, with its checksum still on a
    // paced line: the repeat must not take that tail for the start of its own reply.
    void repeatOnAPacedLineIgnoresTheTail()
    {
        ManualClock clock;
        sim::VehicleProfile profile = SimRig::profileWith({{QStringLiteral("0D"), QStringLiteral("21")}});
        profile.baud = 9600;
        SimRig rig(profile, &clock);
        rig.openPort();
        rig.tool.start();
        rig.tool.faults().sAtThird = 1;
        const ScanToolLink::Answer answer = rig.program->link.get_ecu_PID(ToolCommand{0x01, 0x0D, 0x06});
        QCOMPARE(answer.outcome, ScanToolLink::Outcome::Answer);
        QCOMPARE(answer.reply.left(13), QStringLiteral("R486B10410D21"));
        QVERIFY(rig.prompts.texts().isEmpty());
    }

    void replyNotStartingWithSIsReturnedUnchanged()
    {
        Scripted s;
        const QByteArray answer = "R486B10410D21000000000000000000000000ZZ";
        s.port->onWrite = [&](const QByteArray &) { s.port->feed(answer); };
        s.feedLater("S");
        QCOMPARE(s.link().get_ecu_PID(ToolCommand{0x01, 0x0D, 0x06}).reply,
                 QString::fromLatin1(answer));
        QCOMPARE(s.port->written, QList<QByteArray>{"010D06"});
    }

    void waitThresholdFollowsTheCount_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("needed");
        QTest::newRow("06") << QStringLiteral("06") << 13;
        QTest::newRow("09") << QStringLiteral("09") << 19;
        QTest::newRow("0A (a freeze-frame length 10)") << QStringLiteral("0A") << 21;
    }
    void waitThresholdFollowsTheCount()
    {
        QFETCH(QString, count);
        QFETCH(int, needed);
        Scripted s;
        bool returned = false;
        s.port->onWrite = [&](const QByteArray &) {
            QByteArray reply = "R486B104104";
            s.port->feed(reply.append(QByteArray(needed - 1 - reply.size(), '0')));
            QTimer::singleShot(30, s.port, [&] {
                QVERIFY2(!returned, "returned before enough characters waited");
                s.port->feed("2");
            });
        };
        s.feedLater("S");
        const QString reply = s.link().get_ecu_PID(ToolCommand{0x01, 0x04, quint8(count.toInt(nullptr, 16))}).reply;
        returned = true;
        QCOMPARE(reply.size(), needed);
        QVERIFY(reply.endsWith(QLatin1Char('2')));
    }

    // A reply that is not the answer asked for is asked again, a bounded number of times, then
    // the line's trouble is said once and nothing is returned to decode.
    void garbledRepliesAreAskedAgainThenRefused_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("not hexadecimal") << QByteArray("R48XX10410D21000000000000ZZ");
        QTest::newRow("lowercase hexadecimal") << QByteArray("R486b10410d21000000000000");
        QTest::newRow("NUL characters") << QByteArray("R486B1041") + QByteArray(4, '\0') + QByteArray(12, '0');
        QTest::newRow("another service") << QByteArray("R486B10420D21000000000000");
        QTest::newRow("another PID") << QByteArray("R486B10410C21000000000000");
    }
    void garbledRepliesAreAskedAgainThenRefused()
    {
        QFETCH(QByteArray, reply);
        Scripted s;
        s.port->onWrite = [&](const QByteArray &) { s.port->feed(reply); };
        s.feedLater("S");
        for (int operation = 0; operation < 2; ++operation) {
            ScanToolLink::Bound bound(s.link(), 2000);
            const ScanToolLink::Answer answer = s.link().get_ecu_PID(ToolCommand{0x01, 0x0D, 0x06});
            QCOMPARE(answer.reply, QString());
            QCOMPARE(answer.outcome, ScanToolLink::Outcome::Garbled);
            // A second request of the same operation adds no second box.
            s.feedLater("S");
            s.link().get_ecu_PID(ToolCommand{0x01, 0x0D, 0x06});
            s.feedLater("S");
        }
        QCOMPARE(s.port->written.size(), 4 * ScanToolLink::MaxAttempts);
        QCOMPARE(s.prompts.texts(), QStringList(2, QStringLiteral("Communication Error Reading Scan Tool Data")));
    }

    void transportErrorsShowTheirMessages()
    {
        Scripted s;
        s.port->failWrites = true;
        s.link().OBDoutput(QStringLiteral("010009"));
        s.port->failReads = true;
        QCOMPARE(s.link().OBDinput(), QStringLiteral("FF"));
        QCOMPARE(s.prompts.texts(), (QStringList{QStringLiteral("Communication Error Writing Scan Tool Data"),
                                                QStringLiteral("Communication Error Reading Scan Tool Data")}));
    }

    void lostPortEndsTheWait()
    {
        SimRig rig;
        rig.openPort();
        rig.tool.faults().quiet = true;
        QSignalSpy lost(&rig.program->link, &ScanToolLink::stateChanged);
        QTimer::singleShot(20, rig.port(), [&] { rig.port()->simulateLoss(); });
        QElapsedTimer t;
        t.start();
        const QString reply = rig.program->link.waitReply(18);
        QVERIFY(reply.isEmpty());
        QCOMPARE(lost.count(), 1);
        QVERIFY(t.elapsed() < 2000);
        QCOMPARE(rig.program->indicator.color(), colors::Red);
        // Later requests end at once instead of waiting on a dead port, and say nothing more.
        rig.program->link.get_ecu_PID(ToolCommand{0x01, 0x0C, 0x07}).reply;
        QVERIFY(t.elapsed() < 2000);
        QCOMPARE(rig.prompts.texts(), QStringList{QStringLiteral("Communication Error Reading Scan Tool Data")});
        // The connection is offered again.
        QCOMPARE(rig.program->indicator.text(), QStringLiteral("ECU Off-Line"));
        QVERIFY(rig.program->controls.enabled(QStringLiteral("mnuCom")));
        QVERIFY(rig.program->controls.enabled(QStringLiteral("mnuConnectionCom1")));
        QVERIFY(!rig.program->controls.enabled(QStringLiteral("Mode1")));
    }

    void boundEndsWaitsOnAQuietTool()
    {
        SimRig rig;
        rig.openPort();
        rig.tool.faults().quiet = true;
        ScanToolLink &link = rig.program->link;
        QSignalSpy lost(&link, &ScanToolLink::stateChanged);
        {
            ScanToolLink::Bound bound(link, 100);
            link.wait_OBD_ready();
            QVERIFY(link.timedOut());
            QVERIFY(link.OBD_stop());
            // Nothing at all for the whole bound: the tool is as good as gone, and said to be once.
            QCOMPARE(lost.count(), 1);
            QVERIFY(link.lost());
            link.clearTimedOut();
            link.setOBD_stop(false);
            QElapsedTimer t;
            t.start();
            QVERIFY(link.waitReply(18).isEmpty());
            QVERIFY(t.elapsed() < 50);
        }
        QCOMPARE(rig.program->indicator.text(), QStringLiteral("ECU Off-Line"));
        QVERIFY(rig.prompts.texts().isEmpty());
    }

    void unboundWaitLastsUntilStopped()
    {
        SimRig rig;
        rig.openPort();
        rig.tool.faults().quiet = true;
        ScanToolLink &link = rig.program->link;
        // Outside a bound a wait lasts until something ends it.
        QTimer::singleShot(150, &link, [&] { link.setOBD_stop(true); });
        QElapsedTimer t;
        t.start();
        link.waitReply(18);
        QVERIFY(t.elapsed() >= 140);
        QVERIFY(!link.timedOut());
    }

    void abandonEndsEveryWaitAtOnce()
    {
        SimRig rig;
        rig.openPort();
        rig.tool.faults().quiet = true;
        ScanToolLink &link = rig.program->link;
        QTimer::singleShot(20, &link, [&] { link.abandon(); });
        link.wait_OBD_ready();
        QElapsedTimer t;
        t.start();
        link.setOBD_stop(false);
        QVERIFY(link.waitReply(18).isEmpty());
        QVERIFY(t.elapsed() < 500);
    }

    void waitSleepsInsteadOfSpinning()
    {
        SimRig rig;
        rig.openPort();
        rig.tool.faults().quiet = true;
        ScanToolLink &link = rig.program->link;
        QTimer::singleShot(300, &link, [&] { link.setOBD_stop(true); });
        const std::clock_t before = std::clock();
        link.waitReply(18);
        const double cpu = double(std::clock() - before) / CLOCKS_PER_SEC;
        QVERIFY2(cpu < 0.1, qPrintable(QStringLiteral("CPU time %1 s while waiting 0.3 s").arg(cpu)));
    }

    // On the program's clock: a character ends the link's sleep the moment it comes, not at the
    // next poll; the clock's own wake() (a logger's button) does not end it.
    void aCharacterEndsTheSleepAtOnce()
    {
        ManualClock clock;
        sim::VehicleProfile profile = SimRig::testProfile();
        profile.statusPeriodMs = 7;
        SimRig rig(profile, &clock);
        rig.openPort();
        ScanToolLink &link = rig.program->link;
        const std::int64_t from = clock.now;
        link.wait_OBD_ready();
        QCOMPARE(clock.now - from, 7);
        QCOMPARE(rig.program->indicator.color(), colors::Green);

        rig.tool.faults().quiet = true;
        clock.after(30, [&] { clock.wake(); });
        clock.after(120, [&] { link.setOBD_stop(true); });
        const int waits = clock.waits;
        QVERIFY(link.waitReply(18).isEmpty());
        QCOMPARE(clock.now - from, 7 + 120);
        // Three sleeps of at most 50 ms, the last ended by the stop flag.
        QCOMPARE(clock.waits - waits, 3);
    }

    // The operation's bound on the clock: a quiet tool is given up after exactly the bound.
    void boundIsExactOnTheClock()
    {
        ManualClock clock;
        SimRig rig(SimRig::testProfile(), &clock);
        rig.openPort();
        rig.tool.faults().quiet = true;
        ScanToolLink &link = rig.program->link;
        QSignalSpy lost(&link, &ScanToolLink::stateChanged);
        ScanToolLink::Bound bound(link, 10000);
        const std::int64_t from = clock.now;
        link.wait_OBD_ready();
        QCOMPARE(clock.now - from, 10000);
        QVERIFY(link.timedOut());
        QCOMPARE(lost.count(), 1);
    }

    void windowEventsRunDuringAWait()
    {
        SimRig rig;
        rig.openPort();
        rig.tool.faults().quiet = true;
        ScanToolLink &link = rig.program->link;
        bool handled = false;
        QTimer::singleShot(10, &link, [&] {
            handled = true;
            // A handler nested in the wait may run its own request.
            rig.tool.faults().quiet = false;
            link.setOBD_stop(true);
        });
        link.waitReply(18);
        QVERIFY(handled);
    }
};

QTEST_GUILESS_MAIN(tst_link)
#include "tst_link.moc"
