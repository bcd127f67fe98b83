// The texts each operation writes for what the car holds: trouble codes and their translation,
// clearing, the freeze frame and the current-data listing with the car's and the tool's odd replies.
#include "OperationRig.h"
#include "ScriptedRig.h"

#include "pids/PidWalker.h"

#include <QtTest>

using namespace quenta;

namespace {
const QString CRLF = QStringLiteral("\r\n");
sim::PidValue bytes(const char *hex) { return sim::PidValue{{QByteArray::fromHex(hex)}}; }

struct Rig : OperationRig {
    explicit Rig(std::optional<sim::VehicleProfile> car = std::nullopt) : OperationRig(Line::InProcess, Op::Current, std::move(car))
    {
        tool->clearCommands();
    }
    sim::EcuProfile &ecu() { return tool->profile().ecus[0]; }
    // "{P0301}" stands for the definition of P0301.
    QString expand(QString t) const
    {
        static const QRegularExpression re(QStringLiteral("\\{(.{5})\\}"));
        for (QRegularExpressionMatch m; (m = re.match(t)).hasMatch();)
            t.replace(m.capturedStart(), m.capturedLength(), program->definitions.lookup_trouble_code(m.captured(1)));
        return t;
    }
};
} // namespace

class tst_service_texts : public QObject {
    Q_OBJECT
private slots:
    void troubleCodes_data()
    {
        QTest::addColumn<QByteArray>("byteA");
        QTest::addColumn<QList<quint16>>("stored");
        QTest::addColumn<QList<quint16>>("pending");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("yes");     // the answer to "read codes anyway?", when asked
        QTest::addColumn<QString>("text"); // after "ECU #=10"; "|" is CR LF
        const QList<quint16> none;
        const QString noPending = QStringLiteral("No Pending Codes to Report");
        const QString tail = QStringLiteral("||A code of 0000 means no code");
        QTest::newRow("MIL off, Yes: only code 1") << QByteArray("00") << QList<quint16>{0x0301, 0x0420} << none << "" << true
            << "MIL is OFF|Vehicle Reports  0 Stored Trouble Code(s)|TC1 -P0301|{P0301}|" + noPending;
        QTest::newRow("MIL on, no codes, still asked") << QByteArray("80") << none << none << "" << false
            << "MIL is ON|Vehicle Reports  0 Stored Trouble Code(s)|" + noPending;
        QTest::newRow("count 3, third 0000 shown as received") << QByteArray("03") << QList<quint16>{0x0301, 0x0420} << none << "" << false
            << "MIL is OFF|Vehicle Reports  3 Stored Trouble Code(s)|TC1 -P0301|{P0301}|TC1 -P0420|{P0420}|TC1 -P0000|{P0000}|" + noPending;
        QTest::newRow("only a first digit C is translated") << QByteArray("82") << QList<quint16>{0xC123, 0x0C12} << QList<quint16>{0xD123} << "" << false
            << "MIL is ON|Vehicle Reports  2 Stored Trouble Code(s)|TC1 -U0123|{U0123}|TC1 -P0C12|{P0C12}|Pending Code 1 -PD123--{PD123}|" + tail;
        QTest::newRow("C000 counts as 0000") << QByteArray("82") << QList<quint16>{0xC000} << QList<quint16>{0xC000} << "" << false
            << "MIL is ON|Vehicle Reports  2 Stored Trouble Code(s)|No Codes to Report" + noPending;
        QTest::newRow("pending 2 absent when its first byte is 00") << QByteArray("82") << QList<quint16>{0x0301} << QList<quint16>{0x0012, 0x0034, 0x0420} << "" << false
            << "MIL is ON|Vehicle Reports  2 Stored Trouble Code(s)|TC1 -P0301|{P0301}|TC1 -P0000|{P0000}|Pending Code 1 -P0012--{P0012}||Pending Code 3 -P0420--{P0420}|A code of 0000 means no code";
        QTest::newRow("pending C012: tested for 00 before U") << QByteArray("82") << QList<quint16>{0x0301} << QList<quint16>{0x0171, 0xC012} << "" << false
            << "MIL is ON|Vehicle Reports  2 Stored Trouble Code(s)|TC1 -P0301|{P0301}|TC1 -P0000|{P0000}|Pending Code 1 -P0171--{P0171}|Pending Code 2 -U0012--{U0012}||A code of 0000 means no code";
        QTest::newRow("blank at position 10") << QByteArray("82") << QList<quint16>{0x0301} << QList<quint16>{0x0171} << "blank" << false
            << "MIL is ON|Vehicle Reports  2 Stored Trouble Code(s)|TC1 -P0301|{P0301}|TC1 -P0000|{P0000}|Pending Code 1 -P0171--{P0171}|" + tail;
        QTest::newRow("pending FE") << QByteArray("82") << QList<quint16>{0x0301} << QList<quint16>{0x0171} << "fe" << false
            << "MIL is ON|Vehicle Reports  2 Stored Trouble Code(s)|TC1 -P0301|{P0301}|TC1 -P0000|{P0000}|No pending codes reported";
        QTest::newRow("no code data FF") << QByteArray("82") << QList<quint16>{0x0301} << QList<quint16>{0x0171} << "ff" << false
            << "MIL is ON|Vehicle Reports  2 Stored Trouble Code(s)|No pending codes reported";
        QTest::newRow("first digit sent as C") << QByteArray("82") << QList<quint16>{0x0133} << none << "c" << false
            << "MIL is ON|Vehicle Reports  2 Stored Trouble Code(s)|TC1 -U0133|{U0133}|TC1 -P0000|{P0000}|" + noPending;
        // Stored codes are given up after 10 seconds, however long the operation's bound.
        QTest::newRow("stored codes unanswered") << QByteArray("82") << QList<quint16>{0x0301} << none << "timeout" << false
            << "MIL is ON|Vehicle Reports  2 Stored Trouble Code(s)|==== Timeout waiting for Trouble Codes|";
    }
    void troubleCodes()
    {
        QFETCH(QByteArray, byteA);
        QFETCH(QList<quint16>, stored);
        QFETCH(QList<quint16>, pending);
        QFETCH(QString, fault);
        QFETCH(bool, yes);
        QFETCH(QString, text);
        Rig rig;
        for (QByteArray &v : rig.ecu().pids[0x01].values)
            v[0] = QByteArray::fromHex(byteA).at(0);
        rig.ecu().stored = stored;
        rig.ecu().pending = pending;
        rig.ecu().codeData = fault != QLatin1String("ff");
        sim::Faults &f = rig.tool->faults();
        f.blankAt10 = fault == QLatin1String("blank");
        f.pendingFE = fault == QLatin1String("fe");
        f.cFirstCodes = fault == QLatin1String("c");
        if (fault == QLatin1String("timeout")) {
            rig.program->link.operationBoundMs = 60000;
            f.unansweredService = 3;
        }
        rig.prompts.answers = {yes};
        rig.program->controls.setPressed(names::Mode3, true);
        const std::int64_t start = rig.clock.now;
        const Screen seen = rig.run(Op::Codes);
        QCOMPARE(seen.status, rig.expand(CRLF + "ECU #=10" + CRLF + text).replace(QLatin1Char('|'), CRLF));
        const bool asked = (byteA.toInt(nullptr, 16) & 0x7F) == 0; // no stored code counted, whatever the MIL
        QCOMPARE(seen.messages, asked ? QStringList{QStringLiteral("The MIL is off, read codes anyway?")} : QStringList());
        if (asked)
            QVERIFY(rig.prompts.shown[0].question && !rig.prompts.shown[0].defaultYes && rig.prompts.shown[0].title == QLatin1String("Read Codes?"));
        QCOMPARE(rig.tool->commands().contains("030A0A"), !asked || yes);
        QCOMPARE(rig.tool->commands().contains("070A0A"), fault != QLatin1String("timeout"));
        if (fault == QLatin1String("timeout"))
            QVERIFY2(rig.clock.now - start >= 10000 && rig.clock.now - start < 10100, qPrintable(QString::number(rig.clock.now - start)));
        QVERIFY(!rig.program->controls.pressed(names::Mode3));
    }

    // Cleared, refused with 7F, or stopped before the reply (nothing claimed); never a question.
    void clearing()
    {
        for (const auto &[fault, status] : {std::pair{"", "Trouble Codes Cleared"}, {"7f", "Operation Failed"}, {"stop", "\r\n"}}) {
            Rig rig;
            rig.tool->faults().negativeClear = fault == QLatin1String("7f");
            if (fault == QLatin1String("stop")) {
                rig.tool->faults().unansweredService = 4;
                rig.clock.after(50, [&] { rig.program->link.setOBD_stop(true); });
            }
            rig.program->controls.setPressed(names::Mode4, true);
            const Screen seen = rig.run(Op::Clear);
            QCOMPARE(seen.status, QLatin1String(status));
            QCOMPARE(seen.indicator, QStringLiteral("ECU Connected"));
            QVERIFY(seen.messages.isEmpty());
            QVERIFY(!rig.program->controls.pressed(names::Mode4));
            if (!*fault) {
                QCOMPARE(rig.tool->commands(), QList<QByteArray>{"040404"});
                QVERIFY(rig.ecu().stored.isEmpty());
            }
        }
    }

    void freezeFrame_data()
    {
        QTest::addColumn<QString>("car");
        QTest::addColumn<QString>("status"); // what the status window starts with
        QTest::addColumn<QStringList>("data"); // lines the data window holds
        QTest::newRow("steady car") << "steady" << "\r\nECU #=10\r\n"
            << QStringList{"Engine RPM ------------- 1726RPM", "Coolant Temp -----------  194Deg F", "Calculated Load -------- 62%"};
        QTest::newRow("first byte 00: the rest is walked on service 01") << "zero" << "\r\n\r\nNot Supported by this ECU\r\n"
            << QStringList{"Engine RPM ------------- 1726RPM", "Ignition Advance ------- 6Deg"};
        QTest::newRow("no frame stored: ends after PID 02") << "none" << "\r\n\r\n No Freeze Frame Data Stored\r\n" << QStringList();
        QTest::newRow("ECU D0 has no OBD data") << "d0" << NoObdDataMessage << QStringList();
        QTest::newRow("stopped before the reply: nothing claimed") << "stop" << "earlier" << QStringList();
    }
    void freezeFrame()
    {
        QFETCH(QString, car);
        QFETCH(QString, status);
        QFETCH(QStringList, data);
        std::optional<sim::VehicleProfile> profile;
        if (car == QLatin1String("zero"))
            profile = SimRig::profileWith({{"13", "03"}, {"0E", "8C"}});
        else if (car == QLatin1String("none"))
            profile = SimRig::profileWith({{"01", "00076504"}});
        else if (car == QLatin1String("d0"))
            profile = SimRig::profileWith({{"0C", "0CB4"}}, QStringLiteral("D0"));
        Rig rig(profile);
        auto &freeze = rig.ecu().freeze;
        if (car == QLatin1String("zero"))
            freeze = {{0x00, bytes("00FFFFFF")}, {0x0C, bytes("1AF8")}};
        else if (car == QLatin1String("none"))
            freeze = {{0x00, bytes("C0FFFFFF")}, {0x02, bytes("0000")}, {0x0C, bytes("1AF8")}};
        else if (car == QLatin1String("d0"))
            freeze = {{0x0C, bytes("1AF8")}};
        else if (car == QLatin1String("stop")) {
            rig.tool->faults().unansweredService = 2;
            rig.clock.after(50, [&] { rig.program->link.setOBD_stop(true); });
        }
        rig.program->controls.setPressed(names::Mode2, true);
        const Screen seen = rig.run(Op::Freeze);
        QVERIFY2(seen.status.startsWith(status), qPrintable(seen.status));
        for (const QString &line : data)
            QVERIFY2(seen.data.contains(line), qPrintable(seen.data.join(QLatin1Char('\n'))));
        QCOMPARE(seen.data.isEmpty(), data.isEmpty());
        QVERIFY(!rig.program->controls.pressed(names::Mode2));
        QVERIFY(!rig.program->pids.no_freeze_frame);
        if (car == QLatin1String("none"))
            QCOMPARE(rig.tool->commands(), (QList<QByteArray>{"02000A", "010109", "020208"}));
        if (car == QLatin1String("steady")) {
            QCOMPARE(rig.program->settings.PID_mode, QStringLiteral("02"));
            QVERIFY(seen.status.contains(QStringLiteral("Freeze Frame T.C. -P0133")));
            // A second press shows only its own lines.
            QCOMPARE(rig.run(Op::Freeze).data.size(), seen.data.size());
        }
    }

    // The listing's odd cases: what the indicator, the ECU label and the data window show.
    void currentData_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("ecuLabel");
        QTest::addColumn<int>("lines");
        QTest::newRow("all bitmap bytes 00") << "empty" << "ECU #=10\r\n" << 0;
        QTest::newRow("repeat twice, debug lines") << "debug" << "ECU #=10\r\n" << 3;
        QTest::newRow("listed twice: logger boxes made once") << "twice" << "ECU #=10\r\n" << 3;
    }
    void currentData()
    {
        QFETCH(QString, kind);
        QFETCH(QString, ecuLabel);
        QFETCH(int, lines);
        QMap<QString, QString> pids{{"0C", "0CB4"}, {"0D", "21"}, {"05", "7B"}};
        if (kind == QLatin1String("empty"))
            pids = {{"00", "00000000"}};
        Rig rig(SimRig::profileWith(pids));
        Program &p = *rig.program;
        p.controls.setEnabled(QStringList{names::mnuDataLog, names::Mode5}, false);
        QSignalSpy made(&p.logger, &LoggerParameters::extraBoxesMade), shown(&p, &Program::showMainWindow);
        if (kind == QLatin1String("debug")) {
            p.settings.debug_mode = true;
            rig.tool->faults().sAtThird = 2;
        }
        const Screen seen = rig.run(Op::Current);
        QCOMPARE(seen.indicator, QStringLiteral("ECU Connected"));
        QCOMPARE(seen.ecu, ecuLabel);
        QCOMPARE(seen.data.size(), lines);
        QCOMPARE(shown.count(), 1); // the listing brings the main window to the front
        QVERIFY(p.controls.enabled(names::mnuDataLog) && p.controls.enabled(names::Mode5) && !p.controls.enabled(names::mnuWBO2)); // no wide-range sensor
        if (kind == QLatin1String("debug")) {
            QCOMPARE(seen.status.count(QStringLiteral("\r\nMode 1, PID 0 = ")), 3);
            QCOMPARE(rig.tool->commands().count("010009"), 3);
            QVERIFY(seen.status.contains(QStringLiteral("\r\nMode 1, PID 0 = R0S0000")));
        }
        if (kind == QLatin1String("twice")) {
            rig.run(Op::Current);
            QCOMPARE(made.count(), 0); // made by the connection's listing already
            const QStringList labels{"Coolant Temp -----------  ", "Engine RPM ------------- ", "Speed ------------------ "};
            QCOMPARE(p.logger.items(0), labels + labels + labels);
            for (int box = 1; box < LoggerParameters::Boxes; ++box)
                QCOMPARE(p.logger.items(box), labels + QStringList(74, QString()));
        }
    }

    // The shipped car announces its wide-range sensor; "Change ECU" goes to its second ECU and back.
    void widebandSensorAndChangeEcu()
    {
        Rig rig(SimRig::testProfile());
        QVERIFY(rig.program->controls.enabled(names::mnuWBO2));
        QVERIFY(rig.program->status.text().contains(QStringLiteral("# of WBO2 Sensors -------- 1\r\n")));
        for (const char *ecu : {"ECU #=18\r\n", "ECU #=10\r\n"})
            QCOMPARE(rig.run(Op::ChangeEcu).ecu, QLatin1String(ecu));
    }

    // A tool playing by hand: a parameter whose replies are all garbled keeps its line without a
    // value; support bitmaps whose replies are there before the write returns are read as any other.
    void scriptedReplies_data()
    {
        QTest::addColumn<QStringList>("replies"); // command=reply
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("garbled parameter") << QStringList{"010009=R486B10410000180000", "010C07=R486B10410CZZZZ", "010D06=R486B10410D21"}
            << QStringList{"Engine RPM ------------- RPM", "Speed ------------------ 20.13MPH"}
            << QStringList{"Communication Error Reading Scan Tool Data"};
        QTest::newRow("bitmaps answered at once") << QStringList{"010009=R486B10410000080001", "012009=R486B10412080000001",
                                                                  "014009=R486B10414040000000", "010D06=R486B10410D21",
                                                                  "012109=R486B10412101000000", "014209=R486B10414236B00000"}
            << QStringList{"Speed ------------------ 20.13MPH", "Distance with MIL ----- 156Mi", "Control Mod. Voltage--- 14Volts"}
            << QStringList();
    }
    void scriptedReplies()
    {
        QFETCH(QStringList, replies);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, messages);
        ScriptedRig rig;
        rig.program.link.operationBoundMs = 1000;
        QHash<QByteArray, QByteArray> answer;
        for (const QString &r : replies)
            answer.insert(r.section(QLatin1Char('='), 0, 0).toLatin1(), r.section(QLatin1Char('='), 1).toLatin1());
        // Still inside the write: the reply is there before the program could look.
        rig.port->onWrite = [&](const QByteArray &command) { rig.port->buffer += answer.value(command); };
        rig.sendStatus();
        rig.program.currentData.request();
        QCOMPARE(rig.program.data.lines(), lines);
        QCOMPARE(rig.prompts.texts(), messages);
    }
};

QTEST_GUILESS_MAIN(tst_service_texts)
#include "tst_service_texts.moc"
