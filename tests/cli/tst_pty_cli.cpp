// quenta-cli as a user runs it: one table of command lines against the simulated tool, inside the CLI
// (--simulate) or as quenta-sim on a pseudo-terminal, and what it prints and exits with. The children
// run in real time, all at once: the bounds are generous, and only the runs that need the line are on it.
#include "PtySim.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>
#include <list>

namespace {

struct Run {
    int code = -1;
    QString out, err;
    QList<QJsonObject> json;
};

Run finished(QProcess &p)
{
    p.waitForFinished(120000);
    Run r{p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError()), {}};
    for (const QString &line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        r.json << QJsonDocument::fromJson(line.toUtf8()).object();
    return r;
}

// A field of a JSON line: "3.status", "0.boxes.txtT01.color", "-1.rows" (the last line); arrays as compact JSON.
QString field(const Run &r, const QString &path)
{
    QStringList parts = path.split(QLatin1Char('.'));
    const int n = parts.takeFirst().toInt();
    QJsonValue v = r.json.value(n < 0 ? r.json.size() + n : n);
    for (const QString &key : parts)
        v = v.toObject().value(key);
    if (v.isArray())
        return QString::fromUtf8(QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact));
    return v.isDouble() ? QString::number(v.toDouble()) : v.toString();
}

QString sim(const QByteArray &json) { return QStringLiteral("--simulate=") + writeTempProfile(json); }
// The shipped car without its pacing, so a run takes no longer than the program needs.
QString shippedCarFile()
{
    QFile f(QStringLiteral(QUENTA_SOURCE_DATA_DIR "/default-vehicle.json"));
    f.open(QIODevice::ReadOnly);
    QJsonObject car = QJsonDocument::fromJson(f.readAll()).object();
    car.remove(QStringLiteral("baud"));
    car.insert(QStringLiteral("status_period_ms"), 2);
    car.insert(QStringLiteral("latency_ms"), 0);
    return writeTempProfile(QJsonDocument(car).toJson());
}
const QByteArray MilOff = R"({"status_period_ms":2,"latency_ms":0,
    "ecus":[{"address":"10","pids":{"01":"00000000","05":"7B","0C":"0CB4"},"stored":["0301"],"pending":[]}]})";
const QByteArray NoVehicle = R"({"vehicle":false,"status_period_ms":2,"ecus":[{"address":"10","pids":{"0C":"0CB4"}}]})";
const QByteArray Quiet = R"({"status_period_ms":2,"faults":{"quiet":true},"ecus":[{"address":"10","pids":{"01":"82000000"}}]})";

} // namespace

class tst_pty_cli : public QObject {
    Q_OBJECT
private slots:
    // Each row: the command line ("PTY" stands for a quenta-sim line with the shipped car, "PTY19200" for one
    // at 19200 baud), the exit code, and checks "where=text": "err~" and "out~" for a part of stderr or stdout,
    // "out^" for its start, "err/" for a pattern, "N.key.key" for a field of JSON line N.
    void commandLines()
    {
        const QString carFile = shippedCarFile(), car = QStringLiteral("--simulate=") + carFile;
        const QString usage = QStringLiteral("err~usage: quenta-cli");
        const QString timeout = QStringLiteral("err~--timeout needs a number of seconds from 1 to 86400");
        const struct { const char *name; QStringList args; int code; QStringList checks; bool full = false; } rows[] = {
            {"json per command", {car, "--json", "connect", "current", "codes", "clear", "codes", "--no", "freeze"}, 0,
             {"1.indicator.text=ECU Connected", "1.indicator.color=#00ff00", "1.ecu=ECU #=10\r\n", "1.firmware=F/W: S3.40",
              "1.status~MIL is ON Stored Trouble Codes Present\r\n", "2.status~TC1 -P0301\r\nP0301 ",
              "3.status=Trouble Codes Cleared", "4.status~Vehicle Reports  0 Stored Trouble Code(s)", "5.command=freeze",
              "err~question: The MIL is off, read codes anyway? -> No"}},
            {"text and metric", {car, "--metric", "current"}, 0,
             {"out^== current\nindicator: ECU Connected (#00ff00)\necu: ECU #=10\nfirmware: F/W: S3.40\nstatus:\n",
              "out~Coolant Temp -----------  83Deg C\n"}},
            {"question answered yes", {sim(MilOff), "codes", "--yes"}, 0,
             {"err~question: The MIL is off, read codes anyway? -> Yes", "out~TC1 -P0301"}},
            {"watch and trims", {sim(MilOff), "--json", "watch", "0C", "--samples", "3", "watch", "05", "--seconds", "0.5",
                                 "trims", "--passes", "2"}, 0,
             {"2.value=813 RPM", "2.label=Engine RPM ------------- ", "2.units=RPM", "2.y_range=[500,2000]", "2.point=813",
              "2.x=0", "3.value=181 Deg F", "3.y_range=[150,180]", "-1.command=trims", "-1.rows=[\"\",\"\",\"\",\"\"]",
              "-2.command=trims"}},
            {"o2 on the shipped car", {car, "--json", "o2", "o2", "B2S2"}, 0,
             {"0.sensor=B1S1", "0.boxes.txtT01.text= .45 V", "0.boxes.txtT01.color=#50ff50", "0.boxes.txtT05min.text= 0 S",
              "1.sensor=B2S2", "1.boxes.txtT03.text=N/A", "1.boxes.txtT07.text= .24 V", "1.messages=[]"}},
            {"o2 sensor not present", {sim(R"({"latency_ms":0,"ecus":[{"address":"10","pids":{"01":"8207E504","13":"11"},"o2_services":[]}]})"),
                                       "o2", "B1S3"}, 1, {"err~sensor B1S3 is not present"}},
            {"mode6", {car, "--json", "mode6", "$1", "1", "--scale", "0.01", "--units", "V", "mode6", "$05", "$11",
                       "mode6", "300", "1", "mode6", "scan"}, 0,
             {"0.test_id=&H1", "0.value=5V", "0.max=10V", "0.min=", "0.pass_fail=PASS", "0.packet=0106686AF1060101000000000000",
              "1.value=8.32V", "1.pass_fail=FAIL", "1.pass_fail_color=#ff0000", // the scale and units typed before stay
              "2.messages=[\"Error in one of the Input Fields, please correct and try again\"]", "2.packet=", "2.value=8.32V",
              "3.command=mode6 scan", "3.supported=[\" 1\",\" 2\",\" 5\",\" 10\",\" 33\"]"}},
            {"mode6 PASS refused", {sim(R"({"latency_ms":0,"ecus":[{"address":"10","pids":{"01":"8207E504"}}],"faults":{"pass_refused":true}})"),
                                    "--json", "mode6", "1", "1"}, 0,
             {"0.returned= No Response to this message", "err~message: PASS command not acknowledged"}},
            {"mode6 on old firmware", {sim(R"({"firmware":"3.09","ecus":[{"address":"10"}]})"), "mode6", "scan"}, 1,
             {"err~does not offer the mode 6 tests"}},
            // Output that cannot be written is a failure with its reason, not a quiet success.
            {"output to a full device", {car, "connect", "current"}, 1, {"err/^quenta-cli: cannot write the output: \\S[^\\n]*\\n$"}, true},
            {"version", {"--port", "/nonexistent", "--version", "current"}, 0, {"out^quenta-cli " QUENTA_VERSION "\n"}},
            {"help", {"-h", "connect"}, 0, {"out^usage: quenta-cli", "out~--version"}},
            {"a day's timeout", {car, "--timeout", "86400", "connect"}, 0, {"out^== connect\n"}},
            {"no command", {car}, 2, {"err~no command given", usage}},
            {"unknown command", {car, "fly"}, 2, {"err~unknown argument \"fly\"", usage}},
            {"bad speed", {car, "--baud", "9600", "connect"}, 2, {"err~--baud is 19200 or 38400"}},
            {"port and simulate", {car, "--port", "/dev/null", "connect"}, 2, {"err~exclude each other"}},
            {"usb ids not hex", {"--usb=12G4:5678", "current"}, 2, {usage}},
            {"bad profile", {"--simulate=/nonexistent/car.json", "connect"}, 2, {"err~/nonexistent/car.json: "}},
            {"wait for ever", {car, "wait", "1e9"}, 2, {"err~wait needs a number of seconds"}},
            {"wait without seconds", {car, "wait"}, 2, {"err~wait needs a number of seconds"}},
            {"watch a long PID", {car, "watch", "10C"}, 2, {"err~watch needs a PID of two hexadecimal digits"}},
            {"watch without a PID", {car, "connect", "watch"}, 2, {"err~watch needs a PID of two hexadecimal digits"}},
            {"samples and seconds", {car, "watch", "0C", "--samples", "3", "--seconds", "2"}, 2, {"err~exclude each other"}},
            {"no samples", {car, "watch", "0C", "--samples", "0"}, 2, {"err~--samples needs one count"}},
            {"passes without trims", {car, "current", "--passes", "2"}, 2, {"err~unknown argument"}},
            {"mode6 without a component", {car, "mode6", "1"}, 2, {usage}},
            {"watch a PID without a row", {car, "watch", "13"}, 1, {"err~message: No Data Selected", "out="}},
            {"port cannot be opened", {"--port", "/dev/quenta-none", "connect"}, 1, {"err~cannot open COM1 (/dev/quenta-none): "}},
            {"timeout past a day", {car, "--timeout=86401", "connect"}, 2, {timeout}},
            {"timeout under a second", {car, "--timeout", "0.5", "connect"}, 2, {timeout}},
            {"timeout not a number", {car, "--timeout", "nan", "connect"}, 2, {timeout}},
            {"timeout without seconds", {car, "connect", "--timeout"}, 2, {timeout}},
            // A run given up on says why, as far as the line tells.
            {"quiet tool", {sim(Quiet), "--timeout", "1", "connect"}, 1, {"err~connect: no answer from the scan tool within 1 s"}},
            {"no vehicle", {sim(NoVehicle), "--timeout", "1", "connect"}, 1, {"err~connect: the tool reports no vehicle"}},
            {"wrong speed", {"--port", "PTY19200", "--baud", "38400", "--timeout", "1", "connect"}, 1,
             {"err~connect: the line carries noise (check the speed)"}},
            {"over a pseudo-terminal", {"--port", "PTY19200", "--baud", "19200", "--json", "connect"}, 0,
             {"0.indicator.text=ECU Connected"}},
            // Connect, read the screen, then clear: the status characters that came meanwhile must
            // not stand in for the tool's answers.
            {"idle then operate", {"--port", "PTY", "--json", "connect", "wait", "1", "clear", "codes", "--yes"}, 0,
             {"1.command=wait", "2.status=Trouble Codes Cleared", "2.indicator.text=ECU Connected",
              "3.status~Vehicle Reports  0 Stored Trouble Code(s)"}},
        };
        // All at once: each waits mostly for its line or its bound, not for the processor.
        std::list<PtySim> lines;
        std::list<QProcess> runs;
        for (const auto &r : rows) {
            QStringList args = r.args;
            for (QString &a : args) {
                if (a.startsWith(QLatin1String("PTY"))) {
                    lines.emplace_back();
                    QVERIFY(lines.back().start(a == QLatin1String("PTY") ? QStringList{"--profile", carFile} : QStringList{"--baud", a.mid(3)}));
                    a = lines.back().device;
                }
            }
            runs.emplace_back();
            if (r.full)
                runs.back().setStandardOutputFile(QStringLiteral("/dev/full"));
            runs.back().start(QStringLiteral(QUENTA_CLI_BINARY), args);
        }
        // Meanwhile the line goes away under a run, once connected: it ends, with the port's own words.
        PtySim vanishing;
        QVERIFY(vanishing.start({QStringLiteral("--profile"), carFile}));
        QProcess p;
        QStringList args{QStringLiteral("--port"), vanishing.device, QStringLiteral("--json"), QStringLiteral("connect")};
        for (int i = 0; i < 30; ++i)
            args << QStringLiteral("current");
        p.start(QStringLiteral(QUENTA_CLI_BINARY), args);
        QVERIFY(p.waitForReadyRead(60000));
        vanishing.process.kill();
        const Run gone = finished(p);
        QCOMPARE(gone.code, 1);
        QVERIFY2(QRegularExpression(QStringLiteral("(^|\\n)quenta-cli: the scan tool's port went away: \\S")).match(gone.err).hasMatch(),
                 qPrintable(gone.err));
        auto run = runs.begin();
        for (const auto &r : rows) {
            const Run got = finished(*run++);
            QVERIFY2(got.code == r.code, qPrintable(QStringLiteral("%1: exit %2: %3").arg(r.name).arg(got.code).arg(got.err)));
            for (const QString &check : r.checks) {
                const qsizetype at = check.indexOf(QRegularExpression(QStringLiteral("[=~^/]")));
                const QString where = check.left(at), want = check.mid(at + 1);
                const QChar how = check[at];
                const QString text = where == QLatin1String("out") ? got.out : where == QLatin1String("err") ? got.err : field(got, where);
                const bool ok = how == QLatin1Char('=') ? text == want : how == QLatin1Char('~') ? text.contains(want)
                              : how == QLatin1Char('/') ? QRegularExpression(want).match(text).hasMatch() : text.startsWith(want);
                QVERIFY2(ok, qPrintable(QStringLiteral("%1: %2\ngot: %3").arg(r.name, check, text)));
            }
            QVERIFY2(r.code != 2 || got.out.isEmpty(), r.name);
            QVERIFY2(!got.out.contains(QLatin1Char('\r')) || r.args.contains(QStringLiteral("--json")), r.name);
        }
    }
};

QTEST_GUILESS_MAIN(tst_pty_cli)
#include "tst_pty_cli.moc"
