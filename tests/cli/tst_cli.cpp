// quenta-cli as a user runs it.
#include "PtySim.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace {
struct Run {
    int code = -1;
    QString out;
    QString err;
    qint64 ms = 0;
};

Run cli(const QStringList &args, int timeoutMs = 60000)
{
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral(QUENTA_CLI_BINARY), args);
    p.waitForFinished(timeoutMs);
    Run r;
    r.ms = t.elapsed();
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QList<QJsonObject> jsonLines(const QString &out)
{
    QList<QJsonObject> objects;
    for (const QString &line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        objects << QJsonDocument::fromJson(line.toUtf8()).object();
    return objects;
}

QString profile(const QString &pid01, const QString &faults = QStringLiteral("{}"))
{
    return writeTempProfile(QStringLiteral(R"({"status_period_ms":2,"latency_ms":0,"faults":%2,
        "ecus":[{"address":"10","pids":{"01":"%1","05":"7B","0C":"0CB4"},"stored":["0301"],"pending":[]}]})")
                                .arg(pid01, faults)
                                .toUtf8());
}
} // namespace

class tst_cli : public QObject {
    Q_OBJECT
private slots:
    void jsonPerCommand()
    {
        const Run r = cli({QStringLiteral("--simulate"), QStringLiteral("--json"), QStringLiteral("connect"),
                           QStringLiteral("current"), QStringLiteral("codes"), QStringLiteral("clear"),
                           QStringLiteral("codes"), QStringLiteral("--no"), QStringLiteral("freeze")});
        QCOMPARE(r.code, 0);
        const QList<QJsonObject> o = jsonLines(r.out);
        QCOMPARE(o.size(), 6);
        QStringList commands;
        for (const QJsonObject &j : o)
            commands << j.value(QStringLiteral("command")).toString();
        QCOMPARE(commands, (QStringList{"connect", "current", "codes", "clear", "codes", "freeze"}));
        const QJsonObject current = o[1];
        QCOMPARE(current.value(QStringLiteral("indicator")).toObject().value(QStringLiteral("text")).toString(), QStringLiteral("ECU Connected"));
        QCOMPARE(current.value(QStringLiteral("indicator")).toObject().value(QStringLiteral("color")).toString(), QStringLiteral("#00ff00"));
        QCOMPARE(current.value(QStringLiteral("ecu")).toString(), QStringLiteral("ECU #=10\r\n"));
        QCOMPARE(current.value(QStringLiteral("firmware")).toString(), QStringLiteral("F/W: S3.40"));
        const QJsonArray data = current.value(QStringLiteral("data")).toArray();
        QVERIFY(data.size() > 10);
        QCOMPARE(current.value(QStringLiteral("pid_list")).toArray().size(), data.size());
        QVERIFY(current.value(QStringLiteral("status")).toString().contains(QStringLiteral("MIL is ON Stored Trouble Codes Present\r\n")));
        QVERIFY(o[2].value(QStringLiteral("status")).toString().contains(QStringLiteral("TC1 -P0301\r\nP0301 ")));
        QCOMPARE(o[3].value(QStringLiteral("status")).toString(), QStringLiteral("Trouble Codes Cleared"));
        // After clearing: no codes, the question answered No.
        QVERIFY(o[4].value(QStringLiteral("status")).toString().contains(QStringLiteral("Vehicle Reports  0 Stored Trouble Code(s)")));
        QVERIFY(r.err.contains(QStringLiteral("question: The MIL is off, read codes anyway? -> No")));
    }

    void textOutputAndMetric()
    {
        const Run r = cli({QStringLiteral("--simulate"), QStringLiteral("--metric"), QStringLiteral("current")});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.startsWith(QStringLiteral("== current\nindicator: ECU Connected (#00ff00)\necu: ECU #=10\nfirmware: F/W: S3.40\nstatus:\n")));
        QVERIFY(r.out.contains(QStringLiteral("Coolant Temp -----------  83Deg C\n")));
        QVERIFY(!r.out.contains(QLatin1Char('\r')));
    }

    void questionAnsweredYes()
    {
        const Run r = cli({QStringLiteral("--simulate=") + profile(QStringLiteral("00000000")), QStringLiteral("codes"), QStringLiteral("--yes")});
        QCOMPARE(r.code, 0);
        QVERIFY(r.err.contains(QStringLiteral("question: The MIL is off, read codes anyway? -> Yes")));
        QVERIFY(r.out.contains(QStringLiteral("TC1 -P0301")));
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("err");
        QTest::newRow("no command") << QStringList{"--simulate"} << 2 << "no command given";
        QTest::newRow("unknown command") << QStringList{"--simulate", "fly"} << 2 << "unknown argument \"fly\"";
        QTest::newRow("bad speed") << QStringList{"--simulate", "--baud", "9600", "connect"} << 2 << "--baud is 19200 or 38400";
        QTest::newRow("both port and simulate") << QStringList{"--simulate", "--port", "/dev/null", "connect"} << 2 << "exclude each other";
        QTest::newRow("bad profile") << QStringList{"--simulate=/nonexistent/car.json", "connect"} << 2 << "/nonexistent/car.json: ";
        QTest::newRow("wait without seconds") << QStringList{"--simulate", "wait"} << 2 << "wait needs a number of seconds";
        QTest::newRow("wait for ever") << QStringList{"--simulate", "wait", "1e9"} << 2 << "wait needs a number of seconds";
        QTest::newRow("watch without a PID") << QStringList{"--simulate", "watch"} << 2 << "watch needs a PID of two hexadecimal digits";
        QTest::newRow("watch a long PID") << QStringList{"--simulate", "watch", "10C"} << 2 << "watch needs a PID";
        QTest::newRow("samples and seconds") << QStringList{"--simulate", "watch", "0C", "--samples", "3", "--seconds", "2"} << 2
                                             << "exclude each other";
        QTest::newRow("no samples") << QStringList{"--simulate", "watch", "0C", "--samples", "0"} << 2 << "--samples needs one count";
        QTest::newRow("passes without trims") << QStringList{"--simulate", "current", "--passes", "2"} << 2 << "unknown argument";
        QTest::newRow("watch a PID without a row") << QStringList{"--simulate", "watch", "13"} << 1 << "message: No Data Selected";
        QTest::newRow("port cannot be opened") << QStringList{"--port", "/dev/quenta-none", "connect"} << 1
                                               << "cannot open COM1 (/dev/quenta-none): ";
        const QString timeout = QStringLiteral("--timeout needs a number of seconds from 1 to 86400");
        QTest::newRow("timeout for ever") << QStringList{"--simulate", "--timeout", "1e9", "connect"} << 2 << timeout;
        QTest::newRow("timeout a second past a day") << QStringList{"--simulate", "--timeout=86401", "connect"} << 2 << timeout;
        QTest::newRow("timeout under a second") << QStringList{"--simulate", "--timeout", "0.5", "connect"} << 2 << timeout;
        QTest::newRow("timeout not a number") << QStringList{"--simulate", "--timeout", "nan", "connect"} << 2 << timeout;
        QTest::newRow("timeout without seconds") << QStringList{"--simulate", "connect", "--timeout"} << 2 << timeout;
    }

    // The live displays without a window: what the window would show after each sample.
    void watchAndTrims()
    {
        const Run r = cli({QStringLiteral("--simulate=") + profile(QStringLiteral("00000000")), QStringLiteral("--json"),
                           QStringLiteral("watch"), QStringLiteral("0C"), QStringLiteral("--samples"), QStringLiteral("3"),
                           QStringLiteral("watch"), QStringLiteral("05"), QStringLiteral("--seconds"), QStringLiteral("0.5"),
                           QStringLiteral("trims"), QStringLiteral("--passes"), QStringLiteral("2")});
        QCOMPARE(r.code, 0);
        const QList<QJsonObject> o = jsonLines(r.out);
        QVERIFY(o.size() > 3 + 2);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(o[i].value(QStringLiteral("command")).toString(), QStringLiteral("watch"));
            QCOMPARE(o[i].value(QStringLiteral("value")).toString(), QStringLiteral("813 RPM"));
            QCOMPARE(o[i].value(QStringLiteral("label")).toString(), QStringLiteral("Engine RPM ------------- "));
            QCOMPARE(o[i].value(QStringLiteral("units")).toString(), QStringLiteral("RPM"));
            QCOMPARE(o[i].value(QStringLiteral("y_range")).toArray(), (QJsonArray{500, 2000}));
            QCOMPARE(o[i].value(QStringLiteral("point")).toDouble(), 813.0);
            QCOMPARE(o[i].value(QStringLiteral("x")).toInt(), 0);
        }
        // Coolant 7B: 123 - 40 = 83 C, 181 F, shown through "### ".
        QCOMPARE(o[3].value(QStringLiteral("value")).toString(), QStringLiteral("181 Deg F"));
        QCOMPARE(o[3].value(QStringLiteral("y_range")).toArray(), (QJsonArray{150, 180}));
        // The car has no trims: the rows stay empty.
        QCOMPARE(o.last().value(QStringLiteral("command")).toString(), QStringLiteral("trims"));
        QCOMPARE(o.last().value(QStringLiteral("rows")).toArray(), (QJsonArray{"", "", "", ""}));
        QCOMPARE(o[o.size() - 2].value(QStringLiteral("command")).toString(), QStringLiteral("trims"));

        // No vehicle: nothing plotted, no value, and the run fails (the connection gives up after
        // its bound, a second here rather than the default 30).
        const Run none = cli({QStringLiteral("--simulate=") + writeTempProfile(R"({"vehicle":false,"status_period_ms":2,
            "ecus":[{"address":"10","pids":{"0C":"0CB4"}}]})"), QStringLiteral("--timeout"), QStringLiteral("1"),
                              QStringLiteral("--json"), QStringLiteral("watch"),
                              QStringLiteral("0C"), QStringLiteral("--samples"), QStringLiteral("2")});
        QCOMPARE(none.code, 1);
        for (const QJsonObject &j : jsonLines(none.out)) {
            QVERIFY(j.value(QStringLiteral("point")).isNull());
            QCOMPARE(j.value(QStringLiteral("value")).toString(), QString());
        }
    }

    // --help and --version answer on stdout and end the run before any port is touched.
    void helpAndVersion_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("out");
        const QString version = QStringLiteral("quenta-cli " QUENTA_VERSION "\n");
        QTest::newRow("version") << QStringList{"--version"} << version;
        QTest::newRow("version among commands") << QStringList{"--simulate", "connect", "--version"} << version;
        QTest::newRow("version with a port that does not exist") << QStringList{"--port", "/nonexistent", "--version", "current"}
                                                                   << version;
        QTest::newRow("help") << QStringList{"--help"} << "usage: quenta-cli";
        QTest::newRow("short help") << QStringList{"-h", "connect"} << "usage: quenta-cli";
    }
    void helpAndVersion()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, out);
        const Run r = cli(args);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.err, QString());
        if (out.endsWith(QLatin1Char('\n')))
            QCOMPARE(r.out, out);
        else
            QVERIFY2(r.out.startsWith(out) && r.out.contains(QStringLiteral("--version")), qPrintable(r.out));
    }

    // The bounds themselves are taken.
    void timeoutBounds_data()
    {
        QTest::addColumn<QString>("seconds");
        QTest::newRow("a second") << "1";
        QTest::newRow("a day") << "86400";
    }
    void timeoutBounds()
    {
        QFETCH(QString, seconds);
        const Run r = cli({QStringLiteral("--simulate"), QStringLiteral("--timeout"), seconds, QStringLiteral("connect")});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.startsWith(QStringLiteral("== connect\n")));
    }

    // Output that cannot be written is a failure with its reason, not a quiet success.
    void outputThatCannotBeWritten()
    {
        QProcess p;
        p.setStandardOutputFile(QStringLiteral("/dev/full"));
        p.start(QStringLiteral(QUENTA_CLI_BINARY), {QStringLiteral("--simulate"), QStringLiteral("connect"),
                                                    QStringLiteral("current")});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        const QStringList lines = QString::fromUtf8(p.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].startsWith(QStringLiteral("quenta-cli: cannot write the output: ")), qPrintable(lines[0]));
        QVERIFY(lines[0].size() > int(sizeof("quenta-cli: cannot write the output: ")));
    }
    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, err);
        const Run r = cli(args);
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(err), qPrintable(r.err));
        if (code == 2 && !err.startsWith(QLatin1Char('/')))
            QVERIFY(r.err.contains(QStringLiteral("usage: quenta-cli")));
        QVERIFY(r.out.isEmpty());
    }

    // A run given up on says why, as far as the line tells: nothing at all, a tool without a car,
    // or noise (a tool at another speed).
    void givingUpSaysWhy_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("quiet tool") << "quiet" << "connect: no answer from the scan tool within 1 s";
        QTest::newRow("no vehicle") << "novehicle" << "connect: the tool reports no vehicle";
        QTest::newRow("wrong speed") << "noise" << "connect: the line carries noise (check the speed)";
    }
    void givingUpSaysWhy()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        PtySim sim;
        QStringList args{QStringLiteral("--timeout"), QStringLiteral("1"), QStringLiteral("connect")};
        if (kind == QLatin1String("quiet")) {
            args.prepend(QStringLiteral("--simulate=") + profile(QStringLiteral("82000000"), QStringLiteral(R"({"quiet":true})")));
        } else if (kind == QLatin1String("novehicle")) {
            args.prepend(QStringLiteral("--simulate=") + writeTempProfile(R"({"vehicle":false,"status_period_ms":2,
                "ecus":[{"address":"10","pids":{"0C":"0CB4"}}]})"));
        } else {
            QVERIFY(sim.start({QStringLiteral("--baud"), QStringLiteral("19200")}));
            args = QStringList{QStringLiteral("--port"), sim.device, QStringLiteral("--baud"), QStringLiteral("38400")} + args;
        }
        const Run r = cli(args);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.err.contains(reason), qPrintable(r.err));
        QVERIFY(r.ms < 10000);
    }

    void throughAPseudoTerminal()
    {
        PtySim sim;
        QVERIFY(sim.start({QStringLiteral("--baud"), QStringLiteral("19200")}));
        const Run r = cli({QStringLiteral("--port"), sim.device, QStringLiteral("--baud"), QStringLiteral("19200"),
                           QStringLiteral("--json"), QStringLiteral("connect")});
        QCOMPARE(r.code, 0);
        const QList<QJsonObject> o = jsonLines(r.out);
        QCOMPARE(o.size(), 1);
        QCOMPARE(o[0].value(QStringLiteral("indicator")).toObject().value(QStringLiteral("text")).toString(), QStringLiteral("ECU Connected"));
        QVERIFY(!o[0].value(QStringLiteral("data")).toArray().isEmpty());
    }

    // A user connects, reads the screen, then clears: the status characters that came meanwhile
    // must not stand in for the tool's answers.
    void idleThenOperate()
    {
        PtySim sim;
        QVERIFY(sim.start());
        const Run r = cli({QStringLiteral("--port"), sim.device, QStringLiteral("--json"), QStringLiteral("connect"),
                           QStringLiteral("wait"), QStringLiteral("2"), QStringLiteral("clear"), QStringLiteral("codes"),
                           QStringLiteral("--yes")});
        QCOMPARE(r.code, 0);
        const QList<QJsonObject> o = jsonLines(r.out);
        QCOMPARE(o.size(), 4);
        QCOMPARE(o[1].value(QStringLiteral("command")).toString(), QStringLiteral("wait"));
        QVERIFY(r.ms >= 2000);
        QCOMPARE(o[2].value(QStringLiteral("status")).toString(), QStringLiteral("Trouble Codes Cleared"));
        QCOMPARE(o[2].value(QStringLiteral("indicator")).toObject().value(QStringLiteral("text")).toString(),
                 QStringLiteral("ECU Connected"));
        const QString codes = o[3].value(QStringLiteral("status")).toString();
        QVERIFY2(codes.contains(QStringLiteral("Vehicle Reports  0 Stored Trouble Code(s)")), qPrintable(codes));
        QVERIFY(!codes.contains(QStringLiteral("PSSSS")));
    }

    void portVanishingEndsTheRun()
    {
        PtySim sim;
        QVERIFY(sim.start());
        QProcess p;
        p.start(QStringLiteral(QUENTA_CLI_BINARY), {QStringLiteral("--port"), sim.device, QStringLiteral("current"),
                                                    QStringLiteral("current"), QStringLiteral("current"), QStringLiteral("current"),
                                                    QStringLiteral("current"), QStringLiteral("current")});
        QVERIFY(p.waitForStarted());
        QTest::qWait(300);
        sim.process.kill(); // the line goes away under the program
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 1);
        const QString err = QString::fromUtf8(p.readAllStandardError());
        QVERIFY(err.contains(QStringLiteral("quenta-cli: ")));
        // The one-line reason carries the port's own words.
        static const QRegularExpression reason(QStringLiteral("^quenta-cli: the scan tool's port went away: \\S.*$"),
                                               QRegularExpression::MultilineOption);
        QVERIFY2(reason.match(err).hasMatch(), qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(tst_cli)
#include "tst_cli.moc"
