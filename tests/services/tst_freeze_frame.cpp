// The freeze frame end to end against the simulated tool.
#include "SimRig.h"

#include "pids/PidWalker.h"
#include "services/FreezeFrame.h"

#include <QtTest>

using namespace quenta;

namespace {
sim::PidValue bytes(const char *hex) { return sim::PidValue{{QByteArray::fromHex(hex)}}; }
}

class tst_freeze_frame : public QObject {
    Q_OBJECT
private slots:
    void shippedCarFrame()
    {
        SimRig rig;
        rig.openPort();
        Program &p = *rig.program;
        p.controls.setPressed(names::Mode2, true);
        p.freezeFrame.request();
        const QStringList lines = p.data.lines();
        // Values of the frame, not of the running engine.
        QVERIFY2(lines.contains(QStringLiteral("Engine RPM ------------- 1726RPM")), qPrintable(lines.join('\n')));
        QVERIFY(lines.contains(QStringLiteral("Speed ------------------ 36.6MPH")));
        QVERIFY(lines.contains(QStringLiteral("Coolant Temp -----------  194Deg F")));
        QVERIFY(lines.contains(QStringLiteral("Calculated Load -------- 62%")));
        QVERIFY(p.status.text().startsWith(QStringLiteral("\r\nECU #=10\r\n")));
        QVERIFY(p.status.text().contains(QStringLiteral("Freeze Frame T.C. -P0301")));
        QVERIFY(rig.tool.commands().contains("020C08"));
        QVERIFY(rig.tool.commands().contains("02000A"));
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));
        QCOMPARE(p.settings.PID_mode, QStringLiteral("02"));
        QCOMPARE(p.settings.frame_flag, 1);
        QVERIFY(!p.pids.no_freeze_frame);
        QVERIFY(!p.controls.pressed(QStringLiteral("Mode2")));
    }

    void firstByteZeroStillWalksTheRest()
    {
        SimRig rig(SimRig::profileWith({{QStringLiteral("13"), QStringLiteral("03")}, {QStringLiteral("0E"), QStringLiteral("8C")}}));
        rig.tool.profile().ecus[0].freeze = {{0x00, bytes("00FFFFFF")}, {0x0C, bytes("1AF8")}};
        rig.openPort();
        Program &p = *rig.program;
        p.freezeFrame.request();
        const QString status = p.status.text();
        QVERIFY2(status.startsWith(QStringLiteral("\r\n\r\nNot Supported by this ECU\r\n")), qPrintable(status));
        QVERIFY(!status.contains(QStringLiteral("ECU #=")));
        QVERIFY(status.contains(QStringLiteral("# of O2 Sensors -------- 2")));
        QVERIFY(p.data.lines().contains(QStringLiteral("Engine RPM ------------- 1726RPM")));
        QVERIFY(p.data.lines().contains(QStringLiteral("Ignition Advance ------- 6Deg"))); // asked of service 01
        QVERIFY(rig.tool.commands().contains("012009")); // bit 20 leads into the service 01 scan
    }

    void noFrameStoredStopsAfterPid02()
    {
        SimRig rig(SimRig::profileWith({{QStringLiteral("01"), QStringLiteral("00076504")}}));
        rig.tool.profile().ecus[0].freeze = {{0x00, bytes("C0FFFFFF")}, {0x02, bytes("0000")}, {0x0C, bytes("1AF8")}};
        rig.openPort();
        Program &p = *rig.program;
        p.freezeFrame.request();
        QCOMPARE(p.status.text(), QStringLiteral("\r\n\r\n No Freeze Frame Data Stored\r\n"));
        QCOMPARE(p.data.count(), 0);
        QCOMPARE(rig.tool.commands(), (QList<QByteArray>{"02000A", "010109", "020208"}));
        QVERIFY(!p.pids.no_freeze_frame);
    }

    void ecuWithoutObdData()
    {
        SimRig rig(SimRig::profileWith({{QStringLiteral("0C"), QStringLiteral("0CB4")}}, QStringLiteral("D0")));
        rig.tool.profile().ecus[0].freeze = {{0x0C, bytes("1AF8")}};
        rig.openPort();
        rig.program->freezeFrame.request();
        QCOMPARE(rig.program->status.text(), NoObdDataMessage);
        QCOMPARE(rig.program->data.count(), 0);
    }

    void notSupported_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("silent ECU") << "silent";
        QTest::newRow("tool goes quiet") << "quiet";
    }
    void notSupported()
    {
        QFETCH(QString, fault);
        SimRig rig;
        rig.openPort();
        Program &p = *rig.program;
        p.link.operationBoundMs = 200;
        p.status.setText(QStringLiteral("earlier text"));
        if (fault == QLatin1String("silent"))
            rig.tool.profile().ecus[0].silent = true;
        else
            rig.tool.faults().quiet = true;
        p.controls.setPressed(names::Mode2, true);
        QElapsedTimer t;
        t.start();
        p.freezeFrame.request();
        QVERIFY(t.elapsed() < 3000);
        // A tool that sent nothing for the whole bound is gone, not an ECU without a frame.
        QCOMPARE(p.indicator.text(), fault == QLatin1String("silent") ? QStringLiteral("ECU Timeout, Freeze Frame not Supported")
                                                                      : QStringLiteral("ECU Off-Line"));
        QCOMPARE(p.indicator.color(), colors::Red);
        QCOMPARE(p.status.text(), QStringLiteral("earlier text"));
        QCOMPARE(p.data.count(), 0);
        QVERIFY(!p.controls.pressed(QStringLiteral("Mode2")));
    }

    void secondPressShowsOnlyItsOwnLines()
    {
        SimRig rig;
        rig.openPort();
        rig.program->freezeFrame.request();
        const QStringList first = rig.program->data.lines();
        rig.program->freezeFrame.request();
        QCOMPARE(rig.program->data.count(), first.size());
    }

    void stoppedWaitDecodesNothing()
    {
        SimRig rig;
        rig.openPort();
        Program &p = *rig.program;
        p.link.operationBoundMs = 300;
        rig.tool.faults().unansweredService = 2;
        QTimer::singleShot(50, &p, [&] { p.link.setOBD_stop(true); });
        p.status.setText(QStringLiteral("earlier text"));
        p.freezeFrame.request();
        // No reply is not a frame without data: nothing is decoded or claimed.
        QCOMPARE(p.status.text(), QStringLiteral("earlier text"));
        QCOMPARE(p.data.count(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_freeze_frame)
#include "tst_freeze_frame.moc"
