// The ELM327 adapter over real lines: quenta-cli against quenta-sim --elm on a pseudo-terminal and on
// TCP gives what it gives against the simulated tool, but for the adapter's differences; a plain device
// is found to be an adapter; a closed socket fails the port. Real time, bounds no healthy run nears.
#include "ElmCar.h"
#include "ManualClock.h"
#include "PtySim.h"
#include "ScriptedPrompts.h"

#include "program/Program.h"
#include "elm/DetectingPort.h"
#include "elm/ElmPort.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

using namespace quenta;
using namespace elmtest;

class TstPtyElm : public QObject {
    Q_OBJECT
private slots:
    void adapterOnTcp();
    void quietDeviceStaysTheTool();
    void operations();
};

// The adapter item connects to the Wi-Fi adapter named and offers it next time; the adapter keeps its
// settings for the next client (echo stays off); a socket closed under the port fails it.
void TstPtyElm::adapterOnTcp()
{
    PtySim sim;
    QVERIFY(sim.start({QStringLiteral("--elm"), writeTempProfile(carJson(QStringLiteral("can11"))),
                       QStringLiteral("--listen"), QStringLiteral("0")}));
    QTemporaryDir dir;
    const QString conf = dir.filePath(QStringLiteral("quenta.conf"));
    {
        ScriptedPrompts prompts;
        Program program(prompts, PortDirectory());
        program.preferences = Preferences(conf);
        prompts.lines << sim.device;
        program.connectAdapter();
        QVERIFY2(program.status.text().contains(QLatin1String("Adapter: ELM327 v")), qPrintable(program.status.text()));
        QCOMPARE(program.indicator.text(), QStringLiteral("ECU Connected"));
        QVERIFY(!program.data.lines().isEmpty());
    }
    ScriptedPrompts prompts;
    Program program(prompts, PortDirectory());
    program.preferences = Preferences(conf);
    program.connectAdapter();
    QCOMPARE(prompts.shown.value(0).text, Program::AdapterQuestion + QLatin1Char('|') + sim.device);
    const std::optional<ElmTarget> target = parseAdapterName(sim.device, nullptr);
    QVERIFY(target && target->isTcp());
    {
        QTcpSocket client;
        client.connectToHost(target->host, target->tcpPort);
        QVERIFY(client.waitForConnected(20000));
        client.write("ATI\r");
        QByteArray got;
        QTRY_VERIFY_WITH_TIMEOUT((got += client.readAll()).endsWith('>'), 20000);
        QCOMPARE(got, QByteArray("ELM327 v1.5\r\r>"));
    }
    elm::ElmPort port(*target);
    QSignalSpy ready(&port, &elm::ElmPort::adapterReady);
    QSignalSpy failed(&port, &ScanToolPort::failed);
    QString error;
    QVERIFY(port.open(&error));
    QTRY_VERIFY_WITH_TIMEOUT(ready.count() > 0, 20000);
    sim.process.kill();
    QTRY_VERIFY_WITH_TIMEOUT(failed.count() > 0, 20000);
    QVERIFY(failed.first().first().toString().contains(QLatin1String("network connection")));
    QByteArray data;
    QVERIFY(!port.input(&data, &error));
}

namespace {

// quenta-sim serving the profile as the tool, or as the adapter on a pty or TCP; the --port text.
QString serve(PtySim &sim, const QString &how, const QString &profile)
{
    QStringList args{how == QLatin1String("tool") ? QStringLiteral("--profile") : QStringLiteral("--elm"), profile};
    if (how == QLatin1String("tcp"))
        args << QStringLiteral("--listen") << QStringLiteral("0");
    if (!sim.start(args))
        return QString();
    if (how == QLatin1String("tool") || how == QLatin1String("plain"))
        return sim.device;
    return (how == QLatin1String("tcp") ? QStringLiteral("elm:tcp:") : QStringLiteral("elm:")) + sim.device;
}

// quenta-cli running the operations on the port; a name in capitals stands for a file in its scratch folder.
struct CliRun {
    QTemporaryDir scratch;
    QProcess process;
    void start(const QString &port, QStringList operations)
    {
        for (QString &op : operations)
            if (op == QLatin1String("LOG") || op == QLatin1String("WIDEBAND"))
                op = scratch.filePath(op.toLower() + QLatin1String(".log"));
        process.start(QStringLiteral(QUENTA_CLI_BINARY), QStringList{QStringLiteral("--port"), port} + operations);
    }
    // What it printed, the scratch folder named SCRATCH; empty with the reason when it failed.
    QString finish(QString *failure)
    {
        if (!process.waitForFinished(120000))
            process.kill();
        QString out = QString::fromUtf8(process.readAllStandardOutput()) + QString::fromUtf8(process.readAllStandardError());
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            *failure = out.isEmpty() ? QStringLiteral("quenta-cli failed") : out;
        return out.replace(scratch.path(), QLatin1String("SCRATCH"));
    }
};

} // namespace

// A device that says nothing is asked once whether it is an adapter; it is not, so it stays the quiet tool.
void TstPtyElm::quietDeviceStaysTheTool()
{
    int master = -1, slave = -1;
    char name[128] = {};
    QVERIFY(openpty(&master, &slave, name, nullptr, nullptr) == 0);
    ::close(slave);
    fcntl(master, F_SETFL, O_NONBLOCK);
    // The port's own waits on the manual clock; the bytes on the pty in real time.
    ManualClock clock;
    auto advanceUntil = [&clock](auto done) {
        for (int i = 0; i < 60000 && !done(); ++i)
            clock.wait(1);
        return done();
    };
    elm::DetectingPort port(QString::fromLatin1(name), &clock);
    QString error;
    QVERIFY2(port.open(&error), qPrintable(error));
    QVERIFY(!port.probing());
    QVERIFY(advanceUntil([&] { return port.probing(); }));
    QCOMPARE(clock.now, std::int64_t(elm::DetectingPort::QuietMs));
    // The probe's harmless line reaches the device.
    QByteArray written;
    auto drain = [&] {
        char b[256];
        for (ssize_t n; (n = ::read(master, b, sizeof b)) > 0;)
            written.append(b, int(n));
        return written;
    };
    QTRY_VERIFY_WITH_TIMEOUT(drain().contains("\x7F\x7F\r"), 10000);
    QVERIFY(advanceUntil([&] { return !port.probing(); }));
    QVERIFY(!port.isAdapter());
    QVERIFY(port.isOpen());
    // What the tool sends now is read as the tool's, and no probe comes again.
    QVERIFY(::write(master, "S", 1) == 1);
    QTRY_COMPARE_WITH_TIMEOUT(port.inBufferCount(), 1, 10000);
    QVERIFY(!port.probing() && !port.isAdapter());
    ::close(master);
}

// Every operation through the simulated tool and through the adapter over a pty, TCP and as a plain
// device on CAN; on a legacy bus over a pty without the sampling operations, whose requests are those
// of current data. The runs go at once, as each mostly waits.
void TstPtyElm::operations()
{
    const QStringList all = QStringLiteral("connect current codes --no freeze o2 B1S1 mode6 scan mode6 01 01 mode6 01 02 "
                                           "watch 0C --samples 3 trims --passes 1 "
                                           "log --slots 0,1 --samples 3 --out LOG wideband --samples 3 --out WIDEBAND "
                                           "clear codes --no").split(QLatin1Char(' '));
    const QStringList legacyOps = QStringLiteral("connect current codes --no freeze o2 B1S1 mode6 scan watch 0C --samples 3 "
                                                 "clear codes --no").split(QLatin1Char(' '));
    const QString can = writeTempProfile(carJson(QStringLiteral("can11")));
    const QString legacy = writeTempProfile(carJson(QStringLiteral("iso9141")));
    const QStringList kinds{QStringLiteral("tool"), QStringLiteral("pty"), QStringLiteral("tcp"), QStringLiteral("plain"),
                            QStringLiteral("tool"), QStringLiteral("pty")};
    PtySim sims[6];
    CliRun runs[6];
    for (int i = 0; i < 6; ++i) {
        const QString port = serve(sims[i], kinds[i], i < 4 ? can : legacy);
        QVERIFY(!port.isEmpty());
        runs[i].start(port, i < 4 ? all : legacyOps);
    }
    QString expected;
    for (int i = 0; i < 6; ++i) {
        QString failure;
        QString got = runs[i].finish(&failure);
        const QString name = kinds[i] + (i < 4 ? QLatin1String(" on CAN") : QLatin1String(" on ISO 9141"));
        QVERIFY2(failure.isEmpty(), qPrintable(name + QLatin1String(": ") + failure));
        if (kinds[i] == QLatin1String("tool")) {
            expected = got;
            continue;
        }
        if (i < 4) {
            // On CAN the ECU number is the low byte of its response id.
            QVERIFY2(got.contains(QLatin1String("ECU #=E8")), qPrintable(got));
            got.replace(QLatin1String("ECU #=E8"), QLatin1String("ECU #=10"));
        }
        // The adapter names itself in the status window after a connection.
        const QRegularExpression adapter(QStringLiteral("Adapter: ELM327 v[0-9.]+\\r?\\n"));
        QVERIFY2(got.contains(adapter), qPrintable(got));
        got.remove(adapter);
        // A CAN test's second limit is named only where the tool's reply has room (not for a test the ECU lacks).
        QCOMPARE(got.count(QLatin1String("returned: \" Min limit not shown: 100\"")), i < 4 ? 1 : 0);
        got.replace(QLatin1String("returned: \" Min limit not shown: 100\""), QLatin1String("returned: \"\""));
        if (got != expected)
            qWarning("%s: through the tool:\n%s\nthrough the adapter:\n%s", qPrintable(name), qPrintable(expected), qPrintable(got));
        QCOMPARE(got, expected);
    }
}

QTEST_GUILESS_MAIN(TstPtyElm)
#include "tst_pty_elm.moc"
