// The link's primitives: the repeat, the firmware identity, failures, a tool gone, and how the one
// reply-wait sleeps; on the manual clock wherever the tool is simulated.
#include "LineRig.h"
#include "ScriptedRig.h"
#include "SimRig.h"

#include "elm/ToolFace.h"

#include <QtTest>

using namespace quenta;

class tst_link : public QObject {
    Q_OBJECT

    // Feeds `data` once the program is waiting.
    static void feedLater(ScriptedRig &s, const QByteArray &data)
    {
        QTimer::singleShot(5, s.port, [p = s.port, data] { p->feed(data); });
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

    // The firmware identity is a status character and four more: status characters that were on
    // their way before the command are not part of it, and the identity's rest is waited for.
    void firmwareIdentityPastStrayStatus_data()
    {
        QTest::addColumn<QByteArrayList>("chunks");
        QTest::addColumn<QString>("shown");
        QTest::newRow("one stray S") << QByteArrayList{"SS3.4", "0"} << "F/W: S3.40";
        QTest::newRow("S and P") << QByteArrayList{"SPS3.", "40"} << "F/W: S3.40";
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

    // A reply that is not the answer asked for is asked again a bounded number of times, then refused, said once.
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

    // A quiet tool ends a bounded wait at its bound, without a box; a lost port ends it that moment, said
    // once. Either way the tool is gone, later requests end at once and the connection is offered again.
    void goneToolEndsTheWait()
    {
        for (const bool portLost : {false, true}) {
            Line rig;
            rig.tool->faults().quiet = true;
            ScanToolLink &link = rig.link();
            QSignalSpy lost(&link, &ScanToolLink::stateChanged);
            const std::int64_t end = portLost ? 20 : 10000;
            if (portLost)
                rig.clock.after(end, [&] { rig.port()->simulateLoss(); });
            ScanToolLink::Bound bound(link, 10000);
            link.wait_OBD_ready();
            QCOMPARE(rig.clock.now, end);
            QVERIFY(link.OBD_stop() && link.lost() && link.timedOut() != portLost);
            QCOMPARE(lost.count(), 1);
            QVERIFY(!portLost || rig.program->indicator.color() == colors::Red);
            link.clearTimedOut();
            link.setOBD_stop(false);
            link.get_ecu_PID(ToolCommand{0x01, 0x0C, 0x07});
            QCOMPARE(rig.clock.now, end);
            QCOMPARE(rig.prompts.texts(), portLost ? QStringList{QStringLiteral("Communication Error Reading Scan Tool Data")} : QStringList());
            QCOMPARE(rig.program->indicator.text(), QStringLiteral("ECU Off-Line"));
            QCOMPARE(rig.program->indicator.color(), colors::Red);
            QVERIFY(rig.program->controls.enabled(names::mnuCom) && rig.program->controls.enabled(names::mnuConnectionCom1));
            QVERIFY(!rig.program->controls.enabled(names::Mode1));
        }
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

    // A character ends the link's sleep at once, not at the next poll; outside a bound a quiet wait lasts until
    // stopped, the clock's wake() (a logger's button) does not end it, window events run; abandoned, waits end at once.
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
        link.abandon();
        link.setOBD_stop(false);
        QVERIFY(link.waitReply(18).isEmpty());
        QCOMPARE(rig.clock.now, 7 + 120);
    }
};

QTEST_GUILESS_MAIN(tst_link)
#include "tst_link.moc"
