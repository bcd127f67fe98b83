// The connection through QSerialPort on a pseudo-terminal, served by the simulated scan tool.
#include "PtySim.h"
#include "ScriptedPrompts.h"
#include "SimRig.h"

#include "program/Program.h"
#include "services/Connection.h"
#include "sim/PtySimServer.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace quenta;

namespace {
struct SerialRig {
    ScriptedPrompts prompts;
    std::unique_ptr<Program> program;
    explicit SerialRig(const QMap<int, QString> &devices)
    {
        PortDirectory ports;
        for (auto it = devices.begin(); it != devices.end(); ++it)
            ports.mapDevice(it.key(), it.value());
        program = std::make_unique<Program>(prompts, std::move(ports));
        program->definitions.setPlaces({QStringLiteral(QUENTA_SOURCE_DATA_DIR "/troublecode.tcf")});
    }
    // Gives up the connection after `ms` when it has not finished by then.
    void giveUpAfter(int ms)
    {
        QTimer::singleShot(ms, program.get(), [p = program.get()] { p->link.abandon(); });
    }
};

// The simulated tool on a pseudo-terminal inside the test, so a test can switch it at run time.
struct InProcessLine {
    sim::SimulatedScanTool tool{SimRig::testProfile()};
    sim::PtySimServer server{&tool, 38400};
    bool start()
    {
        QString error;
        if (!server.start(&error))
            qWarning("pty: %s", qPrintable(error));
        return error.isEmpty();
    }
};

QString profileJson(const QString &firmware)
{
    return QStringLiteral(R"({"firmware":"%1","status_period_ms":10,"latency_ms":1,
        "ecus":[{"address":"10","pids":{"01":"00076504","0C":"0CB4","0D":"21"}}]})").arg(firmware);
}
} // namespace

class tst_serial_connection : public QObject {
    Q_OBJECT
private slots:
    void connectsAtBothSpeeds_data()
    {
        QTest::addColumn<int>("toolBaud");
        QTest::addColumn<float>("programBaud");
        QTest::addColumn<bool>("connects");
        QTest::newRow("38400 both") << 38400 << 38400.f << true;
        QTest::newRow("19200 both") << 19200 << 19200.f << true;
        QTest::newRow("program at 38400, tool at 19200") << 19200 << 38400.f << false;
    }
    void connectsAtBothSpeeds()
    {
        QFETCH(int, toolBaud);
        QFETCH(float, programBaud);
        QFETCH(bool, connects);
        PtySim sim;
        QVERIFY(sim.start({QStringLiteral("--baud"), QString::number(toolBaud)}));
        SerialRig rig({{1, sim.device}});
        Program &p = *rig.program;
        p.startUp();
        QVERIFY(p.controls.enabled(QStringLiteral("mnuConnectionCom1")));
        p.settings.baud_rate = programBaud;
        rig.giveUpAfter(connects ? 20000 : 1500);
        p.connection.connectCom(1);
        if (connects) {
            QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));
            QCOMPARE(p.indicator.color(), colors::Green);
            QCOMPARE(p.controls.caption(QStringLiteral("Label7")), QStringLiteral("F/W: S3.40"));
            QCOMPARE(p.controls.caption(QStringLiteral("Label6")), QStringLiteral("ECU #=10\r\n"));
            for (const char *b : {"Mode1", "Mode2", "Mode3", "Mode4", "ChangeECU"})
                QVERIFY2(p.controls.enabled(QLatin1String(b)), b);
            QVERIFY(!p.controls.enabled(QStringLiteral("mnuCom")));
            QVERIFY(rig.prompts.texts().isEmpty());
        } else {
            // At the wrong speed the tool's "S" never arrives as such.
            QCOMPARE(p.indicator.text(), QStringLiteral("Waiting for ECU"));
            QCOMPARE(p.indicator.color(), colors::Yellow);
            QVERIFY(!p.controls.enabled(QStringLiteral("Mode1")));
        }
    }

    void firmwareVersionUnlocksTests_data()
    {
        QTest::addColumn<QString>("firmware");
        QTest::addColumn<bool>("unlocked");
        QTest::newRow("3.09") << "3.09" << false;
        QTest::newRow("3.10") << "3.10" << true;
        QTest::newRow("4.00") << "4.00" << true;
        QTest::newRow("not a number") << "x.yz" << false;
    }
    void firmwareVersionUnlocksTests()
    {
        QFETCH(QString, firmware);
        QFETCH(bool, unlocked);
        PtySim sim;
        QVERIFY(sim.start({QStringLiteral("--profile"), writeTempProfile(profileJson(firmware).toUtf8())}));
        SerialRig rig({{1, sim.device}});
        Program &p = *rig.program;
        p.startUp();
        rig.giveUpAfter(20000);
        p.connection.connectCom(1);
        QCOMPARE(p.controls.caption(QStringLiteral("Label7")), QStringLiteral("F/W: S") + firmware);
        QCOMPARE(p.controls.visible(QStringLiteral("Mode5")), unlocked);
        QCOMPARE(p.controls.enabled(QStringLiteral("mnuMode6")), unlocked);
        QCOMPARE(p.settings.fw_version > 3.09, unlocked);
    }

    void noVehicleThenVehicle()
    {
        InProcessLine line;
        sim::SimulatedScanTool &tool = line.tool;
        tool.setVehicle(false);
        QVERIFY(line.start());
        SerialRig rig({{1, line.server.devicePath()}});
        Program &p = *rig.program;
        p.startUp();
        QList<Rgb> colours;
        connect(&p.indicator, &IndicatorModel::changed, [&] {
            if (colours.isEmpty() || colours.last() != p.indicator.color())
                colours << p.indicator.color();
        });
        QTimer::singleShot(300, &tool, [&] { tool.setVehicle(true); });
        rig.giveUpAfter(20000);
        p.connection.connectCom(1);
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));
        // The red of "ECU Off-Line" stands until the text changes to "Waiting for ECU".
        while (!colours.isEmpty() && colours.first() == colors::Red)
            colours.removeFirst();
        QVERIFY(colours.size() >= 2);
        QCOMPARE(colours.at(0), colors::Yellow);
        QCOMPARE(colours.at(1), colors::Green);
    }

    void portThatCannotBeOpened()
    {
        SerialRig rig({{1, QStringLiteral("/dev/quenta-no-such-device")},
                       {2, QStringLiteral("/dev/quenta-no-such-device")},
                       {3, QStringLiteral("/dev/quenta-no-such-device")},
                       {4, QStringLiteral("/dev/quenta-no-such-device")}});
        Program &p = *rig.program;
        p.startUp();
        for (int n = 1; n <= 4; ++n)
            QVERIFY(!p.controls.enabled(QStringLiteral("mnuConnectionCom%1").arg(n)));
        QVERIFY(p.controls.enabled(QStringLiteral("mnuConnectionComX")));
        p.connection.connectCom(1);
        QCOMPARE(rig.prompts.texts(), QStringList{QStringLiteral("Invalid COM PORT")});
        for (int n = 1; n <= 4; ++n)
            QVERIFY(p.controls.enabled(QStringLiteral("mnuConnectionCom%1").arg(n)));
        QVERIFY(!p.controls.enabled(QStringLiteral("Mode1")));
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Off-Line"));
    }

    void comFiveToNineThroughThePicker_data()
    {
        QTest::addColumn<int>("port");
        QTest::newRow("COM5") << 5;
        QTest::newRow("COM9") << 9;
    }
    void comFiveToNineThroughThePicker()
    {
        QFETCH(int, port);
        PtySim sim;
        QVERIFY(sim.start());
        SerialRig rig({{port, sim.device}});
        Program &p = *rig.program;
        p.startUp();
        int shown = 0;
        p.connection.showPortPicker = [&] {
            ++shown;
            QCOMPARE(p.settings.user_com_port, 1);
            QTimer::singleShot(20, &p, [&] { p.settings.user_com_port = port; });
        };
        rig.giveUpAfter(20000);
        p.connection.connectCom(ComPicker);
        QCOMPARE(shown, 1);
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));
        QCOMPARE(p.connection.port()->deviceName(), sim.device);
    }

    void pickerClosedWithoutAChoiceEndsTheAttempt()
    {
        SerialRig rig({});
        Program &p = *rig.program;
        p.startUp();
        p.connection.showPortPicker = [&] { QTimer::singleShot(20, &p, [&] { p.connection.portPickerClosed(); }); };
        QElapsedTimer t;
        t.start();
        p.connection.connectCom(ComPicker);
        QVERIFY(t.elapsed() < 5000);
        QVERIFY(!p.connection.port());
        QVERIFY(rig.prompts.texts().isEmpty());
        QVERIFY(p.controls.enabled(QStringLiteral("mnuConnectionComX")));
    }

    // A USB adapter pulled out and plugged in again: the program finds the device again and runs
    // the connection on it, without a restart, and says so.
    void vanishedDeviceComesBack()
    {
        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("scan-tool"));
        sim::SimulatedScanTool tool{SimRig::testProfile()};
        auto first = std::make_unique<sim::PtySimServer>(&tool, 38400);
        QString error;
        QVERIFY2(first->start(&error), qPrintable(error));
        QVERIFY(QFile::link(first->devicePath(), device));
        SerialRig rig({{1, device}});
        Program &p = *rig.program;
        p.connection.returnWatchMs = 100;
        p.startUp();
        rig.giveUpAfter(60000);
        p.connection.connectCom(1);
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));

        first.reset(); // pulled out
        QTRY_COMPARE_WITH_TIMEOUT(p.indicator.text(), QStringLiteral("ECU Off-Line"), 5000);
        QVERIFY(p.controls.enabled(QStringLiteral("mnuCom")));
        QTest::qWait(300); // the program keeps looking while nothing is there

        sim::PtySimServer second(&tool, 38400); // plugged in again, under a new kernel name
        QVERIFY2(second.start(&error), qPrintable(error));
        QVERIFY(QFile::remove(device));
        QVERIFY(QFile::link(second.devicePath(), device));
        QTRY_VERIFY_WITH_TIMEOUT(p.status.text().contains(QStringLiteral("Scan tool found again on COM1")), 20000);
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));
        QCOMPARE(p.indicator.color(), colors::Green);
        QVERIFY(p.controls.enabled(QStringLiteral("Mode1")));
        // The link works on the new device: the user's next request is answered.
        p.currentData.request();
        QVERIFY2(!p.data.lines().isEmpty(), qPrintable(rig.prompts.texts().join(QLatin1Char('|'))));
    }

    void lineClosedUnderTheProgram()
    {
        InProcessLine line;
        sim::SimulatedScanTool &tool = line.tool;
        sim::PtySimServer &server = line.server;
        QVERIFY(line.start());
        SerialRig rig({{1, server.devicePath()}});
        Program &p = *rig.program;
        p.startUp();
        rig.giveUpAfter(20000);
        p.connection.connectCom(1);
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));
        QSignalSpy lost(&p.link, &ScanToolLink::stateChanged);
        tool.faults().quiet = true;
        QTimer::singleShot(50, &server, [&] { server.closeLine(); });
        QElapsedTimer t;
        t.start();
        p.link.wait_OBD_ready();
        QVERIFY(t.elapsed() < 5000);
        QCOMPARE(lost.count(), 1);
        QCOMPARE(p.indicator.color(), colors::Red);
    }
};

QTEST_GUILESS_MAIN(tst_serial_connection)
#include "tst_serial_connection.moc"
