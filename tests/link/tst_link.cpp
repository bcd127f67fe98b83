// The link's primitives: status synchronisation, requests, the repeat, failures, bounds and the
// receive buffer; on the manual clock wherever the tool is simulated.
#include "LineRig.h"
#include "ScriptedRig.h"
#include "SimRig.h"

#include "elm/ToolFace.h"

#include <QtTest>

using namespace quenta;

class tst_link : public QObject {
    Q_OBJECT

    // Feeds `data` once the program is waiting.
    static void feedLater(ScriptedRig &s, const QByteArray &data, int ms = 5)
    {
        QTimer::singleShot(ms, s.port, [p = s.port, data] { p->feed(data); });
    }

    // COM1 open on the in-process tool, on the manual clock, without the connection sequence.
    struct Line : LineRig {
        explicit Line(sim::VehicleProfile profile = SimRig::testProfile()) : LineRig(::Line::InProcess, std::move(profile))
        {
            program->connection.setPort(program->connection.ports.create(1));
            program->connection.port()->open(nullptr);
        }
        ScanToolLink &link() { return program->link; }
        sim::SimPort *port() const { return static_cast<sim::SimPort *>(program->connection.port()); }
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
        QTest::newRow("noise, then S") << QList<QByteArray>{"x1", "S"} << colors::Green << false;
        // A stop raised elsewhere ends the wait and leaves the colour.
        QTest::newRow("stop raised elsewhere") << QList<QByteArray>{} << colors::Red << true;
    }
    void statusSynchronisation()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(quint32, color);
        QFETCH(bool, stop);
        ScriptedRig s;
        s.port->buffer = "stale S"; // discarded before the wait
        s.program.indicator.setColor(colors::Red);
        int ms = 5;
        for (const QByteArray &c : chunks)
            feedLater(s, c, ms += 5);
        if (chunks.isEmpty())
            QTimer::singleShot(10, &s.program, [&] { s.program.link.setOBD_stop(true); });
        s.program.link.wait_OBD_ready();
        QCOMPARE(s.program.indicator.color(), color);
        QCOMPARE(s.program.link.OBD_stop(), stop);
    }

    // Status characters in front of the reply are cut; an "S" at position 3 repeats the request.
    void requestsPastTheToolsQuirks()
    {
        for (const bool prefix : {true, false}) {
            Line rig(SimRig::profileWith({{QStringLiteral("0D"), QStringLiteral("21")}}));
            (prefix ? rig.tool->faults().statusBeforeReply : rig.tool->faults().sAtThird) = prefix ? 1 : 2;
            const QString reply = rig.program->link.get_ecu_PID(ToolCommand{0x01, 0x0D, 0x06}).reply;
            QCOMPARE(reply.mid(9, 4), QStringLiteral("0D21"));
            if (prefix) // nothing of the status left in front
                QCOMPARE(reply.size(), 13);
            QCOMPARE(rig.tool->commands(), QList<QByteArray>(prefix ? 1 : 3, "010D06"));
            if (!prefix) // the repeat is said in red
                QCOMPARE(rig.program->indicator.color(), colors::Red);
        }
    }

    void requestWithoutVehicleSendsNothing()
    {
        Line rig;
        rig.tool->setVehicle(false);
        const QString reply = rig.program->link.get_ecu_PID(ToolCommand{0x01, 0x0C, 0x07}).reply;
        QCOMPARE(reply, QStringLiteral("0000000000000000000000"));
        QVERIFY(rig.tool->commands().isEmpty());
        QCOMPARE(rig.program->indicator.color(), colors::Yellow);
    }

    // The wait ends once the characters the reply needs are in, with its checksum still on a
    // paced line: the repeat must not take that tail for the start of its own reply.
    void repeatOnAPacedLineIgnoresTheTail()
    {
        sim::VehicleProfile profile = SimRig::profileWith({{QStringLiteral("0D"), QStringLiteral("21")}});
        profile.baud = 9600;
        Line rig(profile);
        rig.tool->start();
        rig.tool->faults().sAtThird = 1;
        const ScanToolLink::Answer answer = rig.program->link.get_ecu_PID(ToolCommand{0x01, 0x0D, 0x06});
        QCOMPARE(answer.outcome, ScanToolLink::Outcome::Answer);
        QCOMPARE(answer.reply.left(13), QStringLiteral("R486B10410D21"));
        QVERIFY(rig.prompts.texts().isEmpty());
    }

    void replyNotStartingWithSIsReturnedUnchanged()
    {
        ScriptedRig s;
        const QByteArray answer = "R486B10410D21000000000000000000000000ZZ";
        s.port->onWrite = [&](const QByteArray &) { s.port->feed(answer); };
        feedLater(s, "S");
        QCOMPARE(s.program.link.get_ecu_PID(ToolCommand{0x01, 0x0D, 0x06}).reply,
                 QString::fromLatin1(answer));
        QCOMPARE(s.port->written, QList<QByteArray>{"010D06"});
    }

    // The firmware identity is a status character and four more: status characters that were on
    // their way before the command are not part of it, and the identity's rest is waited for.
    void firmwareIdentityPastStrayStatus_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QString>("shown");
        QTest::newRow("one stray S") << QByteArrayList{"SS3.4", "0"} << "F/W: S3.40";
        QTest::newRow("S and P") << QByteArrayList{"SPS3.", "40"} << "F/W: S3.40";
        QTest::newRow("none") << QByteArrayList{"S3.40"} << "F/W: S3.40";
        QTest::newRow("P leads the identity") << QByteArrayList{"P4.00"} << "F/W: P4.00";
    }
    void firmwareIdentityPastStrayStatus()
    {
        QFETCH(QByteArrayList, chunks);
        QFETCH(QString, shown);
        ScriptedRig s;
        s.port->onWrite = [&](const QByteArray &command) {
            if (command != "900101") // the current-data request that follows: no ECU answers
                return s.port->feed(elm::ToolFace::silentReply(command.right(2).toInt(nullptr, 16)));
            s.status.stop(); // no status while the tool answers
            s.port->feed(chunks[0]);
            QTimer::singleShot(30, s.port, [&] {
                s.port->feed(chunks.value(1));
                s.sendStatus();
            });
        };
        s.sendStatus();
        s.program.connection.read_firmware_id();
        QCOMPARE(s.program.controls.caption(names::Label7), shown);
        QVERIFY(s.program.settings.fw_version > 3.09);
    }

    void waitThresholdFollowsTheCount_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("needed");
        QTest::newRow("06") << QStringLiteral("06") << 13;
        QTest::newRow("0A (a freeze-frame length 10)") << QStringLiteral("0A") << 21;
    }
    void waitThresholdFollowsTheCount()
    {
        QFETCH(QString, count);
        QFETCH(int, needed);
        ScriptedRig s;
        bool returned = false;
        s.port->onWrite = [&](const QByteArray &) {
            QByteArray reply = "R486B104104";
            s.port->feed(reply.append(QByteArray(needed - 1 - reply.size(), '0')));
            QTimer::singleShot(30, s.port, [&] {
                QVERIFY2(!returned, "returned before enough characters waited");
                s.port->feed("2");
            });
        };
        feedLater(s, "S");
        const QString reply = s.program.link.get_ecu_PID(ToolCommand{0x01, 0x04, quint8(count.toInt(nullptr, 16))}).reply;
        returned = true;
        QCOMPARE(reply.size(), needed);
        QVERIFY(reply.endsWith(QLatin1Char('2')));
    }

    // A reply that is not the answer asked for is asked again, a bounded number of times, then
    // the line's trouble is said once and nothing is returned to decode.
    void garbledRepliesAreAskedAgainThenRefused_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("lowercase hexadecimal") << QByteArray("R486b10410d21000000000000");
        QTest::newRow("NUL characters") << QByteArray("R486B1041") + QByteArray(4, '\0') + QByteArray(12, '0');
        QTest::newRow("another service") << QByteArray("R486B10420D21000000000000");
        QTest::newRow("another PID") << QByteArray("R486B10410C21000000000000");
    }
    void garbledRepliesAreAskedAgainThenRefused()
    {
        QFETCH(QByteArray, reply);
        ScriptedRig s;
        s.port->onWrite = [&](const QByteArray &) { s.port->feed(reply); };
        feedLater(s, "S");
        for (int operation = 0; operation < 2; ++operation) {
            ScanToolLink::Bound bound(s.program.link, 2000);
            const ScanToolLink::Answer answer = s.program.link.get_ecu_PID(ToolCommand{0x01, 0x0D, 0x06});
            QCOMPARE(answer.reply, QString());
            QCOMPARE(answer.outcome, ScanToolLink::Outcome::Garbled);
            // A second request of the same operation adds no second box.
            feedLater(s, "S");
            s.program.link.get_ecu_PID(ToolCommand{0x01, 0x0D, 0x06});
            feedLater(s, "S");
        }
        QCOMPARE(s.port->written.size(), 4 * ScanToolLink::MaxAttempts);
        QCOMPARE(s.prompts.texts(), QStringList(2, QStringLiteral("Communication Error Reading Scan Tool Data")));
    }

    void transportErrorsShowTheirMessages()
    {
        ScriptedRig s;
        s.port->failWrites = true;
        s.program.link.OBDoutput(QStringLiteral("010009"));
        s.port->failReads = true;
        QCOMPARE(s.program.link.OBDinput(), QStringLiteral("FF"));
        QCOMPARE(s.prompts.texts(), (QStringList{QStringLiteral("Communication Error Writing Scan Tool Data"),
                                                QStringLiteral("Communication Error Reading Scan Tool Data")}));
    }

    void lostPortEndsTheWait()
    {
        Line rig;
        rig.tool->faults().quiet = true;
        QSignalSpy lost(&rig.link(), &ScanToolLink::stateChanged);
        rig.clock.after(20, [&] { rig.port()->simulateLoss(); });
        QVERIFY(rig.link().waitReply(18).isEmpty());
        QCOMPARE(lost.count(), 1);
        QCOMPARE(rig.clock.now, 20);
        QCOMPARE(rig.program->indicator.color(), colors::Red);
        // Later requests end at once instead of waiting on a dead port, and say nothing more.
        rig.link().get_ecu_PID(ToolCommand{0x01, 0x0C, 0x07});
        QCOMPARE(rig.clock.now, 20);
        QCOMPARE(rig.prompts.texts(), QStringList{QStringLiteral("Communication Error Reading Scan Tool Data")});
        // The connection is offered again.
        QCOMPARE(rig.program->indicator.text(), QStringLiteral("ECU Off-Line"));
        QVERIFY(rig.program->controls.enabled(names::mnuCom) && rig.program->controls.enabled(names::mnuConnectionCom1));
        QVERIFY(!rig.program->controls.enabled(names::Mode1));
    }

    void boundEndsWaitsOnAQuietTool()
    {
        Line rig;
        rig.tool->faults().quiet = true;
        ScanToolLink &link = rig.link();
        QSignalSpy lost(&link, &ScanToolLink::stateChanged);
        {
            ScanToolLink::Bound bound(link, 10000);
            link.wait_OBD_ready();
            QCOMPARE(rig.clock.now, 10000); // exactly the bound
            QVERIFY(link.timedOut() && link.OBD_stop());
            // Nothing at all for the whole bound: the tool is as good as gone, and said to be once.
            QCOMPARE(lost.count(), 1);
            QVERIFY(link.lost());
            link.clearTimedOut();
            link.setOBD_stop(false);
            QVERIFY(link.waitReply(18).isEmpty());
            QCOMPARE(rig.clock.now, 10000); // the later waits end at once
        }
        QCOMPARE(rig.program->indicator.text(), QStringLiteral("ECU Off-Line"));
        QVERIFY(rig.prompts.texts().isEmpty());
    }

    // Outside a bound a wait lasts until something ends it; the abandon ends every wait at once.
    void unboundWaitLastsUntilStoppedOrAbandoned()
    {
        Line rig;
        rig.tool->faults().quiet = true;
        ScanToolLink &link = rig.link();
        rig.clock.after(150, [&] { link.setOBD_stop(true); });
        link.waitReply(18);
        QCOMPARE(rig.clock.now, 150);
        QVERIFY(!link.timedOut());
        rig.clock.after(20, [&] { link.abandon(); });
        link.setOBD_stop(false);
        link.wait_OBD_ready();
        link.setOBD_stop(false);
        QVERIFY(link.waitReply(18).isEmpty());
        QCOMPARE(rig.clock.now, 170);
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

    // A character ends the link's sleep the moment it comes, not at the next poll; the clock's own
    // wake() (a logger's button) does not end it; window events run during the wait.
    void aCharacterEndsTheSleepAtOnce()
    {
        sim::VehicleProfile profile = SimRig::testProfile();
        profile.statusPeriodMs = 7;
        Line rig(profile);
        ScanToolLink &link = rig.link();
        link.wait_OBD_ready();
        QCOMPARE(rig.clock.now, 7);
        QCOMPARE(rig.program->indicator.color(), colors::Green);
        rig.tool->faults().quiet = true;
        bool handled = false;
        rig.clock.after(30, [&] { rig.clock.wake(); });
        QTimer::singleShot(0, &link, [&] { handled = true; });
        rig.clock.after(120, [&] { link.setOBD_stop(true); });
        const int waits = rig.clock.waits;
        QVERIFY(link.waitReply(18).isEmpty());
        QCOMPARE(rig.clock.now, 7 + 120);
        // Three sleeps of at most 50 ms, the last ended by the stop flag.
        QCOMPARE(rig.clock.waits - waits, 3);
        QVERIFY(handled);
    }

    // A reply that comes while the 80-character receive buffer is full is lost.
    void receiveBufferDropsWhatArrivesWhenFull_data()
    {
        QTest::addColumn<int>("arriving");
        for (const int n : {79, 80, 81, 500})
            QTest::addRow("%d", n) << n;
    }
    void receiveBufferDropsWhatArrivesWhenFull()
    {
        QFETCH(int, arriving);
        sim::SimulatedScanTool tool(SimRig::testProfile());
        sim::SimPort port(&tool);
        QVERIFY(port.open(nullptr));
        port.setInBufferSize(80);
        QByteArray sent, read;
        for (int i = 0; i < arriving; ++i)
            sent.append(char('A' + i % 26));
        emit tool.transmit(sent);
        QCOMPARE(port.inBufferCount(), qMin(arriving, 80));
        QVERIFY(port.input(&read, nullptr));
        QCOMPARE(read, sent.left(80));
        QCOMPARE(port.inBufferCount(), 0);
        emit tool.transmit("R486B10");
        QVERIFY(port.input(&read, nullptr));
        QCOMPARE(read, QByteArray("R486B10"));
    }
};

QTEST_GUILESS_MAIN(tst_link)
#include "tst_link.moc"
