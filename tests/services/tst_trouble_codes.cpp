// Reading trouble codes end to end against the simulated tool, and clearing them.
#include "ManualClock.h"
#include "SimRig.h"

#include "services/ClearCodes.h"
#include "services/TroubleCodes.h"

#include <QtTest>

using namespace quenta;

namespace {
const QString CRLF = QStringLiteral("\r\n");

// The manual clock first, so it outlives the tool's timers.
struct OnManualClock {
    ManualClock clock;
};

// The program and the tool on one manual clock: a bound of seconds passes in no real time.
struct CodesRig : OnManualClock, SimRig {
    CodesRig() : SimRig(testProfile(), &clock)
    {
        program->definitions.load_trouble_codes();
        openPort();
    }
    sim::EcuProfile &ecu() { return tool.profile().ecus[0]; }
    void setMonitorByteA(const char *hex)
    {
        for (QByteArray &v : ecu().pids[0x01].values)
            v[0] = char(QByteArray::fromHex(hex).at(0));
    }
    QString def(const QString &code) const { return program->definitions.lookup_trouble_code(code); }
    QString run()
    {
        program->troubleCodes.request();
        return program->status.text();
    }
    QList<QByteArray> vehicleCommands() const { return tool.commands(); }
};
} // namespace

class tst_trouble_codes : public QObject {
    Q_OBJECT
private slots:
    void fullWindow()
    {
        CodesRig rig;
        rig.program->controls.setPressed(names::Mode3, true);
        const QString expected = CRLF + "ECU #=10" + CRLF + "MIL is ON" + CRLF
            + "Vehicle Reports  2 Stored Trouble Code(s)" + CRLF
            + "TC1 -P0301" + CRLF + rig.def("P0301") + CRLF
            + "TC1 -P0420" + CRLF + rig.def("P0420") + CRLF
            + "Pending Code 1 -P0171--" + rig.def("P0171") + CRLF + CRLF + CRLF
            + "A code of 0000 means no code";
        QCOMPARE(rig.run(), expected);
        QVERIFY(rig.def("P0301").startsWith(QStringLiteral("P0301 Cylinder 1 Misfire")));
        QCOMPARE(rig.vehicleCommands(), (QList<QByteArray>{"010109", "030A0A", "070A0A"}));
        QCOMPARE(rig.program->indicator.text(), QStringLiteral("ECU Connected"));
        QVERIFY(!rig.program->controls.pressed(QStringLiteral("Mode3")));
        QVERIFY(rig.prompts.shown.isEmpty());
    }

    void storedCodeCount_data()
    {
        QTest::addColumn<QByteArray>("byteA");
        QTest::addColumn<QList<quint16>>("stored");
        QTest::addColumn<QList<bool>>("answers");
        QTest::addColumn<QString>("lines"); // the lines after "ECU #=10"
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("storedRequested");
        QTest::newRow("0x82: MIL on, two codes") << QByteArray("82") << QList<quint16>{0x0301, 0x0420} << QList<bool>{}
            << "MIL is ON|Vehicle Reports  2 Stored Trouble Code(s)|TC1 -P0301|#|TC1 -P0420|#|" << false << true;
        QTest::newRow("0x00, No: no stored request") << QByteArray("00") << QList<quint16>{0x0301} << QList<bool>{false}
            << "MIL is OFF|Vehicle Reports  0 Stored Trouble Code(s)|" << true << false;
        QTest::newRow("0x00, Yes: only code 1") << QByteArray("00") << QList<quint16>{0x0301, 0x0420, 0x0171}
            << QList<bool>{true} << "MIL is OFF|Vehicle Reports  0 Stored Trouble Code(s)|TC1 -P0301|#|" << true << true;
        QTest::newRow("0x80: MIL on, no codes, still asked") << QByteArray("80") << QList<quint16>{} << QList<bool>{false}
            << "MIL is ON|Vehicle Reports  0 Stored Trouble Code(s)|" << true << false;
        QTest::newRow("0x03: three codes, third shown") << QByteArray("03") << QList<quint16>{0x0301, 0x0420, 0x0171}
            << QList<bool>{} << "MIL is OFF|Vehicle Reports  3 Stored Trouble Code(s)|TC1 -P0301|#|TC1 -P0420|#|TC1 -P0171|#|"
            << false << true;
        QTest::newRow("count 2, second code 0000 shown as received") << QByteArray("02") << QList<quint16>{0x0301}
            << QList<bool>{} << "MIL is OFF|Vehicle Reports  2 Stored Trouble Code(s)|TC1 -P0301|#|TC1 -P0000|#|" << false << true;
    }
    void storedCodeCount()
    {
        QFETCH(QByteArray, byteA);
        QFETCH(QList<quint16>, stored);
        QFETCH(QList<bool>, answers);
        QFETCH(QString, lines);
        QFETCH(bool, asked);
        QFETCH(bool, storedRequested);
        CodesRig rig;
        rig.setMonitorByteA(byteA.constData());
        rig.ecu().stored = stored;
        rig.ecu().pending = {};
        rig.prompts.answers = answers;
        const QString text = rig.run();
        // Expected lines with "#" for the definition of the code above.
        QStringList want;
        for (const QString &l : lines.split(QLatin1Char('|'), Qt::SkipEmptyParts))
            want << (l == QLatin1String("#") ? rig.def(want.last().mid(5)) : l);
        const QString head = CRLF + "ECU #=10" + CRLF + want.join(CRLF) + CRLF;
        QVERIFY2(text.startsWith(head), qPrintable(text));
        QCOMPARE(text.mid(head.size()), QStringLiteral("No Pending Codes to Report"));
        QCOMPARE(!rig.prompts.shown.isEmpty(), asked);
        if (asked) {
            const auto &q = rig.prompts.shown.first();
            QVERIFY(q.question);
            QCOMPARE(q.text, QStringLiteral("The MIL is off, read codes anyway?"));
            QCOMPARE(q.title, QStringLiteral("Read Codes?"));
            QCOMPARE(q.icon, Prompts::Icon::Critical);
            QVERIFY(!q.defaultYes);
        }
        QCOMPARE(rig.vehicleCommands().contains("030A0A"), storedRequested);
        QVERIFY(rig.vehicleCommands().contains("070A0A"));
    }

    void codeTexts_data()
    {
        QTest::addColumn<QList<quint16>>("stored");
        QTest::addColumn<QList<quint16>>("pending");
        QTest::addColumn<QString>("storedPart");
        QTest::addColumn<QString>("pendingPart");
        QTest::newRow("stored code 1 is 0000, pending on the same line") << QList<quint16>{} << QList<quint16>{0x0171}
            << "No Codes to Report" << "Pending Code 1 -P0171--{P0171}\r\n\r\n\r\nA code of 0000 means no code";
        QTest::newRow("C123 is U0123, 4123 stays P4123") << QList<quint16>{0xC123, 0x4123} << QList<quint16>{0xC100}
            << "TC1 -U0123\r\n{U0123}\r\nTC1 -P4123\r\n{P4123}\r\n"
            << "Pending Code 1 -U0100--{U0100}\r\n\r\n\r\nA code of 0000 means no code";
        QTest::newRow("only the first digit C is translated") << QList<quint16>{0x0C12} << QList<quint16>{0xD123}
            << "TC1 -P0C12\r\n{P0C12}\r\nTC1 -P0000\r\n{P0000}\r\n"
            << "Pending Code 1 -PD123--{PD123}\r\n\r\n\r\nA code of 0000 means no code";
        QTest::newRow("C000 counts as 0000") << QList<quint16>{0xC000} << QList<quint16>{0xC000}
            << "No Codes to Report" << "No Pending Codes to Report";
        QTest::newRow("pending 2 and 3 absent when their first byte is 00") << QList<quint16>{0x0301}
            << QList<quint16>{0x0012, 0x0034, 0x0420}
            << "TC1 -P0301\r\n{P0301}\r\nTC1 -P0000\r\n{P0000}\r\n"
            << "Pending Code 1 -P0012--{P0012}\r\n\r\nPending Code 3 -P0420--{P0420}\r\nA code of 0000 means no code";
        QTest::newRow("pending code 2 is C012: tested for 00 before U") << QList<quint16>{0x0301} << QList<quint16>{0x0171, 0xC012}
            << "TC1 -P0301\r\n{P0301}\r\nTC1 -P0000\r\n{P0000}\r\n"
            << "Pending Code 1 -P0171--{P0171}\r\nPending Code 2 -U0012--{U0012}\r\n\r\nA code of 0000 means no code";
    }
    void codeTexts()
    {
        QFETCH(QList<quint16>, stored);
        QFETCH(QList<quint16>, pending);
        QFETCH(QString, storedPart);
        QFETCH(QString, pendingPart);
        CodesRig rig;
        rig.setMonitorByteA("82");
        rig.ecu().stored = stored;
        rig.ecu().pending = pending;
        auto expand = [&](QString t) {
            static const QRegularExpression re(QStringLiteral("\\{(.{5})\\}"));
            QRegularExpressionMatch m;
            while ((m = re.match(t)).hasMatch())
                t.replace(m.capturedStart(), m.capturedLength(), rig.def(m.captured(1)));
            return t;
        };
        const QString head = CRLF + "ECU #=10" + CRLF + "MIL is ON" + CRLF + "Vehicle Reports  2 Stored Trouble Code(s)" + CRLF;
        QCOMPARE(rig.run(), head + expand(storedPart) + expand(pendingPart));
    }

    void oddReplies_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("tail");
        QTest::newRow("blank at position 10") << "blank" << "TC1 -P0301";
        QTest::newRow("pending FE") << "fe" << "No pending codes reported";
        QTest::newRow("no code data FF") << "ff" << "Vehicle Reports  2 Stored Trouble Code(s)\r\nNo pending codes reported";
    }
    void oddReplies()
    {
        QFETCH(QString, fault);
        QFETCH(QString, tail);
        CodesRig rig;
        if (fault == QLatin1String("blank"))
            rig.tool.faults().blankAt10 = true;
        else if (fault == QLatin1String("fe"))
            rig.tool.faults().pendingFE = true;
        else
            rig.ecu().codeData = false;
        const QString text = rig.run();
        QVERIFY2(text.contains(tail), qPrintable(text));
        if (fault == QLatin1String("blank"))
            QVERIFY(text.contains(QStringLiteral("Pending Code 1 -P0171--")));
    }

    void silentEcuStillAsksForPendingCodes()
    {
        CodesRig rig;
        rig.ecu().silent = true;
        QList<Rgb> colours;
        connect(&rig.program->indicator, &IndicatorModel::changed, [&] { colours << rig.program->indicator.color(); });
        const QString text = rig.run();
        QCOMPARE(rig.program->indicator.text(), QStringLiteral("ECU Timeout"));
        // Red for the silent ECU; the pending request's synchronisation then turns it green again.
        QVERIFY(colours.contains(colors::Red));
        QVERIFY(!text.contains(QStringLiteral("MIL")));
        QCOMPARE(rig.vehicleCommands(), (QList<QByteArray>{"010109", "070A0A"}));
    }

    void storedCodesGiveUpAfterTenSeconds()
    {
        CodesRig rig;
        rig.program->link.operationBoundMs = 60000;
        rig.tool.faults().unansweredService = 3;
        const std::int64_t start = rig.clock.now;
        const QString text = rig.run();
        const std::int64_t elapsed = rig.clock.now - start;
        QVERIFY2(elapsed >= 10000 && elapsed < 10100, qPrintable(QString::number(elapsed)));
        QVERIFY(text.endsWith(QStringLiteral("==== Timeout waiting for Trouble Codes\r\n")));
        QVERIFY(!rig.vehicleCommands().contains("070A0A"));
        QVERIFY(!rig.program->controls.pressed(QStringLiteral("Mode3")));
    }

    // A tool that sends nothing for the whole bound is gone: the connection is offered again.
    void quietToolEndsOffLine()
    {
        CodesRig rig;
        rig.program->link.operationBoundMs = 200;
        rig.tool.faults().quiet = true;
        rig.program->controls.setPressed(names::Mode3, true);
        const std::int64_t start = rig.clock.now;
        rig.run();
        QVERIFY(rig.clock.now - start < 2000);
        QCOMPARE(rig.program->indicator.text(), QStringLiteral("ECU Off-Line"));
        QCOMPARE(rig.program->indicator.color(), colors::Red);
        QVERIFY(rig.program->controls.enabled(QStringLiteral("mnuCom")));
        QVERIFY(!rig.program->controls.pressed(QStringLiteral("Mode3")));
    }

    void shortRepliesAreNotDecoded()
    {
        CodesRig rig;
        rig.program->link.operationBoundMs = 300;
        rig.tool.faults().cutRepliesTo = 11;
        rig.program->controls.setPressed(names::Mode3, true);
        const std::int64_t start = rig.clock.now;
        // The status characters after each cut reply fill the wait: the reply is not what was asked,
        // so nothing is decoded from it and the line's trouble is said once.
        const QString text = rig.run();
        QVERIFY(rig.clock.now - start < 5000);
        QCOMPARE(text, QStringLiteral("\r\n"));
        QCOMPARE(rig.prompts.texts(), QStringList{QStringLiteral("Communication Error Reading Scan Tool Data")});
        QVERIFY(!rig.program->controls.pressed(QStringLiteral("Mode3")));
    }

    void clearing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("indicator");
        QTest::newRow("positive response") << "" << "Trouble Codes Cleared" << "ECU Connected";
        QTest::newRow("refused with 7F") << "7f" << "Operation Failed" << "ECU Connected";
        QTest::newRow("silent ECU") << "silent" << "\r\n" << "ECU Timeout";
        QTest::newRow("stopped before the reply: nothing claimed") << "stop" << "\r\n" << "ECU Not Ready";
        QTest::newRow("tool goes quiet") << "quiet" << "\r\n" << "ECU Off-Line";
    }
    void clearing()
    {
        QFETCH(QString, fault);
        QFETCH(QString, status);
        QFETCH(QString, indicator);
        CodesRig rig;
        rig.program->link.operationBoundMs = 300;
        if (fault == QLatin1String("7f"))
            rig.tool.faults().negativeClear = true;
        else if (fault == QLatin1String("silent"))
            rig.ecu().silent = true;
        else if (fault == QLatin1String("quiet"))
            rig.tool.faults().quiet = true;
        else if (fault == QLatin1String("stop")) {
            rig.tool.faults().unansweredService = 4;
            rig.clock.after(50, [&] { rig.program->link.setOBD_stop(true); });
        }
        rig.program->controls.setPressed(names::Mode4, true);
        rig.program->clearCodes.clear();
        QCOMPARE(rig.program->status.text(), status);
        QCOMPARE(rig.program->indicator.text(), indicator);
        QVERIFY(!rig.program->controls.pressed(QStringLiteral("Mode4")));
        QVERIFY(rig.prompts.shown.isEmpty()); // no question before clearing
        if (fault.isEmpty()) {
            QCOMPARE(rig.tool.commands(), QList<QByteArray>{"040404"});
            QVERIFY(rig.ecu().stored.isEmpty());
            QCOMPARE(rig.run().right(26), QStringLiteral("No Pending Codes to Report"));
        }
    }
};

QTEST_GUILESS_MAIN(tst_trouble_codes)
#include "tst_trouble_codes.moc"
