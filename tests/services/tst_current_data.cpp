// The current-data request end to end: identification, listing, unlocking, and its odd replies;
// "Change ECU"; one run through the real serial path.
#include "PtySim.h"
#include "ScriptedRig.h"
#include "SimRig.h"

#include "pids/PidWalker.h"
#include "services/Connection.h"
#include "services/CurrentData.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace quenta;

namespace {
const QString CRLF = QStringLiteral("\r\n");

// A car whose listing does not move: fixed values only.
QMap<QString, QString> steadyCar()
{
    return {{QStringLiteral("01"), QStringLiteral("8207E504")}, {QStringLiteral("03"), QStringLiteral("0200")},
            {QStringLiteral("05"), QStringLiteral("7B")},       {QStringLiteral("06"), QStringLiteral("82")},
            {QStringLiteral("0C"), QStringLiteral("0CB4")},     {QStringLiteral("0D"), QStringLiteral("21")},
            {QStringLiteral("10"), QStringLiteral("0190")},     {QStringLiteral("14"), QStringLiteral("5A80")},
            {QStringLiteral("1C"), QStringLiteral("01")},       {QStringLiteral("21"), QStringLiteral("0100")},
            {QStringLiteral("42"), QStringLiteral("36B0")}};
}
} // namespace

class tst_current_data : public QObject {
    Q_OBJECT
private slots:
    void steadyCarListing()
    {
        SimRig rig(SimRig::profileWith(steadyCar()));
        rig.openPort();
        Program &p = *rig.program;
        p.controls.setPressed(names::Mode1, true);
        p.controls.setEnabled(QStringList{names::mnuWBO2, names::mnuFTM, names::mnuDataLog, names::Mode5}, false);
        QSignalSpy colouring(&p.status, &StatusText::colouringRequested);
        QSignalSpy shown(&p, &Program::showMainWindow);
        p.currentData.request();
        QCOMPARE(p.data.lines(), (QStringList{
            QStringLiteral("Coolant Temp -----------  181Deg F"),
            QStringLiteral("Engine RPM ------------- 813RPM"),
            QStringLiteral("Speed ------------------ 20.13MPH"),
            QStringLiteral("Air Flow --------------- 4gm/sec"),
            QStringLiteral("Gas Mileage ------------ 78.36MPG"),
            QStringLiteral("O2 Sensor1 Val --------- 0.45 Volts"),
            QStringLiteral("Distance with MIL ----- 156Mi"),
            QStringLiteral("Control Mod. Voltage--- 14Volts")}));
        QCOMPARE(QList<qint16>(p.pids.PID_list.begin(), p.pids.PID_list.begin() + 8),
                 (QList<qint16>{5, 12, 13, 16, 18, 20, 33, 66}));
        QCOMPARE(p.status.text(), "MIL is ON Stored Trouble Codes Present" + CRLF
                     + "Misfire Monitoring            Complete" + CRLF + "Fuel Sys. Monitoring          Complete" + CRLF
                     + "Component Monitoring          Complete" + CRLF + "Catalyst Monitoring           Complete" + CRLF
                     + "Evaporative System Monitoring Incomplete" + CRLF + "O2 Sensor Monitoring          Complete" + CRLF
                     + "O2 Sensor Heater Monitoring   Complete" + CRLF + "EGR Monitoring                Complete" + CRLF
                     + "Fuel Sys1-Closed Loop Mode" + CRLF + CRLF + "Short Term Fuel Trim---- 1%" + CRLF + "OBDII" + CRLF);
        QCOMPARE(p.controls.caption(QStringLiteral("Label6")), QStringLiteral("ECU #=10\r\n"));
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));
        for (const char *on : {"mnuDataLog", "mnuFTM", "Mode5"})
            QVERIFY2(p.controls.enabled(QLatin1String(on)), on);
        QVERIFY(!p.controls.enabled(QStringLiteral("mnuWBO2"))); // no wide-range sensor here
        QVERIFY(!p.controls.pressed(QStringLiteral("Mode1")));
        QCOMPARE(colouring.count(), 1);
        QCOMPARE(shown.count(), 1);
        QCOMPARE(p.settings.PID_mode, QStringLiteral("01"));
    }

    void widebandSensorIsAnnounced()
    {
        SimRig rig; // the shipped car has a wide-range sensor at PID 34
        rig.openPort();
        Program &p = *rig.program;
        p.controls.setEnabled(names::mnuWBO2, false);
        p.currentData.request();
        QCOMPARE(p.settings.WBO2_PID, QStringLiteral("34"));
        QVERIFY(p.controls.enabled(QStringLiteral("mnuWBO2")));
        QVERIFY(p.status.text().endsWith(QStringLiteral("# of WBO2 Sensors -------- 1\r\n")));
        QVERIFY(p.status.text().contains(QStringLiteral("Freeze Frame T.C. -P0301")));
        QCOMPARE(p.data.color(), colors::Red);
    }

    void oddReplies_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("indicator");
        QTest::addColumn<QString>("ecuLabel");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("multiView");
        QTest::newRow("all bitmap bytes 00") << "empty" << "ECU Connected" << "ECU #=10\r\n" << 0 << true;
        QTest::newRow("20 characters starting S") << "prefix" << "ECU Connected" << "ECU #=10\r\n" << 3 << true;
        QTest::newRow("ECU D0") << "d0" << "ECU Connected" << "ECU #=D0\r\n" << 0 << true;
        QTest::newRow("silent ECU") << "silent" << "ECU Timeout" << "ECU #=00\r\n" << 0 << false;
        QTest::newRow("no vehicle") << "novehicle" << "ECU not Communicating" << "" << 0 << false;
    }
    void oddReplies()
    {
        QFETCH(QString, kind);
        QFETCH(QString, indicator);
        QFETCH(QString, ecuLabel);
        QFETCH(int, lines);
        QFETCH(bool, multiView);
        QMap<QString, QString> pids{{QStringLiteral("0C"), QStringLiteral("0CB4")}, {QStringLiteral("0D"), QStringLiteral("21")},
                                    {QStringLiteral("05"), QStringLiteral("7B")}};
        if (kind == QLatin1String("empty"))
            pids = {{QStringLiteral("00"), QStringLiteral("00000000")}};
        SimRig rig(SimRig::profileWith(pids, kind == QLatin1String("d0") ? QStringLiteral("D0") : QStringLiteral("10")));
        rig.openPort();
        Program &p = *rig.program;
        p.startUp();
        p.connection.setPort(p.connection.ports.create(1));
        p.connection.port()->open(nullptr);
        if (kind == QLatin1String("prefix"))
            rig.tool.faults().statusBeforeReply = 1;
        else if (kind == QLatin1String("silent"))
            rig.tool.profile().ecus[0].silent = true;
        else if (kind == QLatin1String("novehicle"))
            rig.tool.setVehicle(false);
        p.currentData.request();
        QCOMPARE(p.indicator.text(), indicator);
        QCOMPARE(p.controls.caption(QStringLiteral("Label6")), ecuLabel);
        QCOMPARE(p.data.count(), lines);
        QCOMPARE(p.controls.enabled(QStringLiteral("mnuDataLog")), multiView);
        // Steps that run on every path.
        QVERIFY(p.controls.enabled(QStringLiteral("Mode5")));
        if (kind == QLatin1String("d0"))
            QCOMPARE(p.status.text(), NoObdDataMessage + QString());
        if (kind == QLatin1String("novehicle")) {
            QVERIFY(rig.tool.commands().isEmpty());
            QCOMPARE(p.indicator.color(), colors::Yellow);
            QCOMPARE(p.status.text(), ScanToolLink::NoVehicleText);
        }
        if (kind == QLatin1String("silent"))
            QCOMPARE(rig.tool.commands(), QList<QByteArray>{"010009"});
    }

    void debugLinesForEveryAttempt()
    {
        SimRig rig(SimRig::profileWith({{QStringLiteral("0D"), QStringLiteral("21")}}));
        rig.openPort();
        Program &p = *rig.program;
        p.settings.debug_mode = true;
        rig.tool.faults().sAtThird = 2;
        p.currentData.request();
        const QString text = p.status.text();
        QCOMPARE(text.count(QStringLiteral("\r\nMode 1, PID 0 = ")), 3);
        QCOMPARE(rig.tool.commands().count("010009"), 3);
        QVERIFY(text.contains(QStringLiteral("\r\nMode 1, PID 0 = R0S0000")));
        QVERIFY(text.contains(QStringLiteral("\r\nMode 1, PID 0 = R486B10410000080000")));
        QCOMPARE(p.data.lines(), QStringList{QStringLiteral("Speed ------------------ 20.13MPH")});
    }

    // A parameter whose replies are all garbled keeps its line, without a value: the ECU supports
    // it, but nothing from the line may stand as its value. The others are listed as usual.
    void garbledParameterKeepsItsLineWithoutAValue()
    {
        ScriptedRig rig;
        Program &p = rig.program;
        ScriptedPort *port = rig.port;
        const QHash<QByteArray, QByteArray> replies{
            {"010009", "R486B10410000180000"}, // PIDs 0C and 0D
            {"010C07", "R486B10410CZZZZ"},
            {"010D06", "R486B10410D21"},
        };
        port->onWrite = [&](const QByteArray &command) { port->buffer = replies.value(command); };
        rig.sendStatus();
        p.currentData.request();
        QCOMPARE(p.data.lines(), (QStringList{QStringLiteral("Engine RPM ------------- RPM"),
                                              QStringLiteral("Speed ------------------ 20.13MPH")}));
        QCOMPARE(p.pids.PID_list[0], qint16(0x0C));
        QCOMPARE(p.pids.PID_list[1], qint16(0x0D));
        QCOMPARE(rig.prompts.texts(), QStringList{QStringLiteral("Communication Error Reading Scan Tool Data")});
        QCOMPARE(port->written.count("010C07"), ScanToolLink::MaxAttempts);
    }

    // A tool that answers within microseconds, its reply waiting before the write of the request
    // returns: the higher support bitmaps are read like every other reply, and their parameters
    // are listed.
    void bitmapsAnsweredAtOnce()
    {
        ScriptedRig rig;
        Program &p = rig.program;
        ScriptedPort *port = rig.port;
        p.link.operationBoundMs = 1000;
        const QHash<QByteArray, QByteArray> replies{
            {"010009", "R486B10410000080001"}, // PID 0D, and the next range
            {"012009", "R486B10412080000001"}, // PID 21, and the next range
            {"014009", "R486B10414040000000"}, // PID 42
            {"010D06", "R486B10410D21"},
            {"012109", "R486B10412101000000"},
            {"014209", "R486B10414236B00000"},
        };
        // Still inside the write: the reply is there before the program could look.
        port->onWrite = [&](const QByteArray &command) { port->buffer += replies.value(command); };
        rig.sendStatus();
        p.currentData.request();
        QCOMPARE(p.data.count(), 3);
        QCOMPARE(p.pids.PID_list[0], qint16(0x0D));
        QCOMPARE(p.pids.PID_list[1], qint16(0x21));
        QCOMPARE(p.pids.PID_list[2], qint16(0x42));
        QCOMPARE(rig.prompts.texts(), QStringList());
    }

    void loggerBoxesMadeOnce()
    {
        SimRig rig(SimRig::profileWith({{QStringLiteral("0C"), QStringLiteral("0CB4")}, {QStringLiteral("0D"), QStringLiteral("21")}}));
        rig.openPort();
        Program &p = *rig.program;
        QSignalSpy made(&p.logger, &LoggerParameters::extraBoxesMade);
        p.currentData.request();
        p.currentData.request();
        QCOMPARE(made.count(), 1);
        const QStringList labels{QStringLiteral("Engine RPM ------------- "), QStringLiteral("Speed ------------------ ")};
        QCOMPARE(p.logger.items(0), labels + labels);
        for (int box = 1; box < LoggerParameters::Boxes; ++box) {
            const QStringList items = p.logger.items(box);
            QCOMPARE(items.size(), 77);
            QCOMPARE(items.mid(0, 2), labels);
            QCOMPARE(items.mid(2), QStringList(75, QString()));
        }
        QVERIFY(p.settings.logger_slots);
    }

    void changeEcuTwice()
    {
        SimRig rig;
        rig.openPort();
        Program &p = *rig.program;
        p.controls.setCaption(names::ChangeECU, QStringLiteral("Change ECU"));
        p.connection.changeEcu();
        QCOMPARE(p.controls.caption(QStringLiteral("ChangeECU")), QStringLiteral("Toggle ECU"));
        QVERIFY(p.controls.pressed(QStringLiteral("ChangeECU")));
        QCOMPARE(p.controls.caption(QStringLiteral("Label6")), QStringLiteral("ECU #=18\r\n"));
        p.connection.changeEcu();
        QCOMPARE(p.controls.caption(QStringLiteral("ChangeECU")), QStringLiteral("Toggle ECU"));
        QVERIFY(!p.controls.pressed(QStringLiteral("ChangeECU")));
        QCOMPARE(p.controls.caption(QStringLiteral("Label6")), QStringLiteral("ECU #=10\r\n"));
        QCOMPARE(rig.tool.commands().count("800204"), 2);
        QCOMPARE(rig.tool.commands().count("010009"), 2);
    }

    void sameListingThroughAPseudoTerminal()
    {
        QJsonObject pids;
        const auto car = steadyCar();
        for (auto it = car.begin(); it != car.end(); ++it)
            pids.insert(it.key(), it.value());
        const QJsonObject root{{QStringLiteral("ecus"), QJsonArray{QJsonObject{{QStringLiteral("pids"), pids}}}}};
        PtySim sim;
        QVERIFY(sim.start({QStringLiteral("--profile"), writeTempProfile(QJsonDocument(root).toJson())}));
        ScriptedPrompts prompts;
        PortDirectory ports;
        ports.mapDevice(1, sim.device);
        Program serial(prompts, std::move(ports));
        serial.definitions.setPlaces({QStringLiteral(QUENTA_SOURCE_DATA_DIR "/troublecode.tcf")});
        serial.startUp();
        QTimer::singleShot(30000, &serial, [&] { serial.link.abandon(); });
        serial.connection.connectCom(1);
        QVERIFY(serial.link.state() != ScanToolLink::State::Abandoned);

        SimRig rig(SimRig::profileWith(car));
        rig.openPort();
        rig.program->currentData.request();
        QCOMPARE(serial.data.lines(), rig.program->data.lines());
        QCOMPARE(serial.status.text(), rig.program->status.text());
        QCOMPARE(serial.data.count(), 8);
    }
};

QTEST_GUILESS_MAIN(tst_current_data)
#include "tst_current_data.moc"
