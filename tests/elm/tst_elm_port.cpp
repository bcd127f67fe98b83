// The ELM327 port: every operation through it against the simulated adapter (quenta-sim --elm on
// a pseudo-terminal and on TCP) gives what the same operation gives through the simulated tool
// on the same profile, but for the differences the adapter brings (the ECU number is the low byte
// of its CAN response id); and the port's own faults, in-process on the manual clock.
#include "ManualClock.h"
#include "PtySim.h"

#include "elm/ElmPort.h"
#include "sim/SimulatedElm.h"

#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

using namespace quenta;
using namespace quenta::sim;

namespace {

// Two ECUs with fixed values only, so runs through the tool and the adapter read the same car:
// five stored codes on the first, two on the second; the second answers no freeze frame request
// with the frame number.
QByteArray carJson(const QString &protocol, const QString &firstEcuExtra = {})
{
    return QStringLiteral(R"({"protocol":"%1","ecu_response_ms":10,"latency_ms":0,"status_period_ms":10,"firmware":"3.40",
      "adapter":{"search_ms":300},
      "ecus":[{"address":"10","pids":{"01":"8207E504","04":"64","05":"7B","06":"82","07":"7E","0C":"1AF8","0D":"3C",
                                      "10":"0190","13":"01","14":"5A80","15":"3280","18":"6080","19":"4A80","1C":"01"},
               "freeze":{"02":"0301","04":"A0","05":"82","0C":"1AF8"},
               "stored":["P0301","P0420","P0171"],"pending":["P0171"],
               "o2_services":["05"],"o2_tests":{"B1S1":{"01":"5A","05":"190064"}},
               "mode6":[{"test":"01","component":"01","value":"01F4","limit":"03E8","kind":"max"}]%2},
              {"address":"18","pids":{"01":"00040000","0C":"0BB8"},"stored":["P0700","U0100"],"freeze_without_frame":true}]})")
        .arg(protocol, firstEcuExtra)
        .toUtf8();
}

VehicleProfile profileOf(const QByteArray &json)
{
    QString error;
    auto p = VehicleProfile::fromJson(json, QStringLiteral("car"), &error);
    if (!p)
        qFatal("%s", qPrintable(error));
    return *p;
}

// The simulated adapter in-process, as a byte device for the port.
class ElmPipe : public QIODevice {
public:
    explicit ElmPipe(SimulatedElm &elm) : m_elm(elm)
    {
        connect(&elm, &SimulatedElm::transmit, this, [this](const QByteArray &d) {
            m_in += d;
            emit readyRead();
        });
        open(QIODevice::ReadWrite);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_in.size() + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char *data, qint64 max) override
    {
        const qint64 n = qMin<qint64>(max, m_in.size());
        memcpy(data, m_in.constData(), size_t(n));
        m_in.remove(0, n);
        return n;
    }
    qint64 writeData(const char *data, qint64 n) override
    {
        m_elm.receive(QByteArray(data, int(n)));
        return n;
    }

private:
    SimulatedElm &m_elm;
    QByteArray m_in;
};

// The port on the simulated adapter, both on one manual clock.
struct Rig {
    ManualClock clock;
    SimulatedElm elm;
    elm::ElmPort port;
    QByteArray heard;

    explicit Rig(const QByteArray &json = carJson(QStringLiteral("can11")))
        : elm(profileOf(json), &clock),
          port(QStringLiteral("in-process adapter"),
               [this](QString *) -> std::unique_ptr<QIODevice> { return std::make_unique<ElmPipe>(elm); },
               elm::ElmSession::Options{}, &clock)
    {
        QObject::connect(&port, &ScanToolPort::readyRead, [this] {
            QByteArray d;
            port.input(&d, nullptr);
            heard += d;
        });
    }
    template <typename F> bool waitFor(F done, int ms = 30000)
    {
        for (int i = 0; i < ms && !done(); ++i)
            clock.wait(1);
        return done();
    }
    bool open()
    {
        QString error;
        return port.open(&error) && waitFor([this] { return port.isReady(); });
    }
    // The reply to one command: the characters after any status, up to the checksum of a
    // `length`-byte reply.
    QByteArray ask(const QByteArray &command, int length)
    {
        heard.clear();
        port.output(command, nullptr);
        return reply(length);
    }
    QByteArray reply(int length)
    {
        const int size = 1 + 2 * (length + 1);
        auto at = [this] { return heard.indexOf('R'); };
        waitFor([&] { return at() >= 0 && heard.size() - at() >= size; }, 15000);
        return at() >= 0 ? heard.mid(at(), size) : QByteArray();
    }
};

} // namespace

class TstElmPort : public QObject {
    Q_OBJECT
private slots:
    void faults_data();
    void faults();
    void lateAnswerIsDropped();
    void silentAdapterFails();
    void ignitionOffTurnsStatus();
    void closedTcpSocketFails();
    void operations_data();
    void operations();
};

// Replies to a command through the port in-process, and what the adapter did.
void TstElmPort::faults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    // 48 6B E8 41 0C 1A F8 and its sum.
    const QByteArray rpm = elm::ToolFace::frame(QByteArray::fromHex("486BE8410C1AF8"), 7);
    QTest::newRow("plain") << "" << QByteArray("010C07") << rpm;
    QTest::newRow("clone: echo, split answers") << "clone" << QByteArray("010C07") << rpm;
    QTest::newRow("BUS BUSY asks again") << "BUS BUSY" << QByteArray("010C07") << elm::askAgainReply(7);
    QTest::newRow("DATA ERROR asks again") << "DATA ERROR" << QByteArray("010C07") << elm::askAgainReply(7);
    QTest::newRow("CAN ERROR asks again") << "CAN ERROR" << QByteArray("010C07") << elm::askAgainReply(7);
    QTest::newRow("unsupported PID: silent") << "" << QByteArray("014F07") << elm::silentReply(7);
}

void TstElmPort::faults()
{
    QFETCH(QString, fault);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    Rig rig;
    rig.elm.setClone(fault == QLatin1String("clone"));
    QVERIFY(rig.open());
    if (fault.contains(QLatin1String("ERROR")) || fault.contains(QLatin1String("BUSY")))
        rig.elm.faults().nextErrors << fault;
    const int length = command.right(2).toInt(nullptr, 16);
    const QByteArray got = rig.ask(command, length);
    QCOMPARE(got.left(reply.size()), reply);
    // The next request is answered as if nothing had happened.
    QCOMPARE(rig.ask("010C07", 7), elm::ToolFace::frame(QByteArray::fromHex("486BE8410C1AF8"), 7));
}

// A late adapter answer to a command the link gave up on is never the next command's answer.
void TstElmPort::lateAnswerIsDropped()
{
    Rig rig;
    QVERIFY(rig.open());
    rig.heard.clear();
    rig.port.output("010C07", nullptr);
    rig.clock.wait(2); // the ECU takes 10 ms: the link gives up and asks for something else
    rig.port.output("010D06", nullptr);
    QCOMPARE(rig.reply(6), elm::ToolFace::frame(QByteArray::fromHex("486BE8410D3C"), 6));
    QVERIFY(!rig.heard.contains("410C"));
    // Change ECU to the second ECU and back: its number is its response id's low byte.
    QCOMPARE(rig.ask("800204", 0), QByteArray("R00"));
    QCOMPARE(rig.ask("010C07", 7), elm::ToolFace::frame(QByteArray::fromHex("486BE9410C0BB8"), 7));
    QCOMPARE(rig.ask("800204", 0), QByteArray("R00"));
    QCOMPARE(rig.ask("010C07", 7), elm::ToolFace::frame(QByteArray::fromHex("486BE8410C1AF8"), 7));
}

// An adapter that stops answering mid-exchange is the port's failure, with the reason.
void TstElmPort::silentAdapterFails()
{
    Rig rig;
    QVERIFY(rig.open());
    QSignalSpy failed(&rig.port, &ScanToolPort::failed);
    rig.elm.hang();
    rig.port.output("010C07", nullptr);
    QVERIFY(rig.waitFor([&] { return failed.count() > 0; }, 60000));
    QVERIFY(failed.first().first().toString().contains(QLatin1String("did not answer 010C1")));
    QCOMPARE(rig.port.inBufferCount(), -1);
}

// The idle probe turns the status to 'P' when the ignition goes off, and back.
void TstElmPort::ignitionOffTurnsStatus()
{
    Rig rig;
    QVERIFY(rig.open());
    auto lastStatus = [&] {
        rig.heard.clear();
        rig.waitFor([&] { return !rig.heard.isEmpty(); }, 100);
        return rig.heard.isEmpty() ? '\0' : rig.heard.back();
    };
    QVERIFY(rig.waitFor([&] { return !rig.heard.isEmpty(); }, 100));
    QCOMPARE(lastStatus(), 'S');
    rig.elm.setVehicle(false);
    QVERIFY(rig.waitFor([&] { return lastStatus() == 'P'; }, 10000));
    rig.elm.setVehicle(true);
    QVERIFY(rig.waitFor([&] { return lastStatus() == 'S'; }, 10000));
}

void TstElmPort::closedTcpSocketFails()
{
    PtySim sim;
    QVERIFY(sim.start({QStringLiteral("--elm"), writeTempProfile(carJson(QStringLiteral("can11"))),
                       QStringLiteral("--listen"), QStringLiteral("0")}));
    const qsizetype colon = sim.device.lastIndexOf(QLatin1Char(':'));
    ElmTarget target;
    target.host = sim.device.left(colon);
    target.tcpPort = quint16(sim.device.mid(colon + 1).toUInt());
    elm::ElmPort port(target);
    QSignalSpy ready(&port, &elm::ElmPort::adapterReady);
    QSignalSpy failed(&port, &ScanToolPort::failed);
    QString error;
    QVERIFY(port.open(&error));
    QVERIFY(ready.wait(20000) || ready.count() > 0);
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
    QStringList args;
    if (how == QLatin1String("tool"))
        args << QStringLiteral("--profile") << profile;
    else
        args << QStringLiteral("--elm") << profile;
    if (how == QLatin1String("tcp"))
        args << QStringLiteral("--listen") << QStringLiteral("0");
    if (!sim.start(args))
        return QString();
    if (how == QLatin1String("tool"))
        return sim.device;
    return (how == QLatin1String("tcp") ? QStringLiteral("elm:tcp:") : QStringLiteral("elm:")) + sim.device;
}

// What quenta-cli prints for the operations, and its exit status.
QString runCli(const QString &port, const QStringList &operations, int *code)
{
    QProcess p;
    p.start(QStringLiteral(QUENTA_CLI_BINARY), QStringList{QStringLiteral("--port"), port} + operations);
    if (!p.waitForFinished(120000))
        p.kill();
    *code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAllStandardOutput()) + QString::fromUtf8(p.readAllStandardError());
}

} // namespace

void TstElmPort::operations_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("extra");
    QTest::addColumn<QStringList>("operations");
    // Codes beyond the three one reply of the tool holds: shown through the adapter only.
    QTest::addColumn<QStringList>("further");
    const QString can = QStringLiteral("can11"), legacy = QStringLiteral("iso9141");
    auto ops = [](const char *text) { return QString::fromLatin1(text).split(QLatin1Char(' ')); };
    QTest::newRow("CAN: connect, current data, codes, freeze frame") << can << "" << ops("connect current codes --no freeze") << QStringList();
    QTest::newRow("CAN: clear, then codes") << can << "" << ops("clear codes --no") << QStringList();
    QTest::newRow("CAN: no codes (43 00)") << can << R"(,"stored":[],"pending":[])" << ops("codes --no") << QStringList();
    QTest::newRow("CAN: five stored and four pending codes")
        << can
        << R"(,"pids":{"01":"8507E504","0C":"1AF8","0D":"3C"},"stored":["P0301","P0420","P0171","P0300","P0442"],)"
           R"("pending":["P0171","P0133","P0128","P0455"])"
        << ops("codes --no") << QStringList{"TC1 -P0300", "TC1 -P0442", "Pending Code 4 -P0455"};
    QTest::newRow("CAN: O2 tests and mode 6") << can << "" << ops("o2 B1S1 mode6 scan mode6 01 01") << QStringList();
    QTest::newRow("legacy: O2 tests and mode 6") << legacy << "" << ops("o2 B1S1 mode6 scan mode6 01 01") << QStringList();
    QTest::newRow("legacy: codes and freeze frame") << legacy << "" << ops("codes --no freeze") << QStringList();
    QTest::newRow("CAN: live chart, fuel trims") << can << "" << ops("watch 0C --samples 3 trims --passes 1") << QStringList();
    QTest::newRow("CAN: logger, wideband") << can << "" << ops("log --slots 0,1 --samples 3 --out LOG wideband --samples 3 --out WIDEBAND") << QStringList();
}

// The same operation through the simulated tool, and through the port on the adapter over a
// pseudo-terminal and over TCP.
void TstElmPort::operations()
{
    QFETCH(QString, protocol);
    QFETCH(QString, extra);
    QFETCH(QStringList, operations);
    QFETCH(QStringList, further);
    // Log files go to a scratch folder (a name in capitals stands for one there).
    QTemporaryDir scratch;
    for (QString &op : operations)
        if (op == QLatin1String("LOG") || op == QLatin1String("WIDEBAND"))
            op = scratch.filePath(op.toLower() + QLatin1String(".log"));
    const QString profile = writeTempProfile(carJson(protocol, extra));
    PtySim toolSim;
    const QString toolPort = serve(toolSim, QStringLiteral("tool"), profile);
    QVERIFY(!toolPort.isEmpty());
    int code = -1;
    const QString expected = runCli(toolPort, operations, &code);
    QVERIFY2(code == 0, qPrintable(expected));
    for (const QString &how : {QStringLiteral("pty"), QStringLiteral("tcp")}) {
        PtySim sim;
        const QString port = serve(sim, how, profile);
        QVERIFY(!port.isEmpty());
        QString got = runCli(port, operations, &code);
        QVERIFY2(code == 0, qPrintable(got));
        if (protocol == QLatin1String("can11") && expected.contains(QLatin1String("ECU #=10"))) {
            // On CAN the ECU number is the low byte of its response id.
            QVERIFY2(got.contains(QLatin1String("ECU #=E8")), qPrintable(got));
            got.replace(QLatin1String("ECU #=E8"), QLatin1String("ECU #=10"));
        }
        // The adapter names itself in the status window after a connection.
        if (operations.first() == QLatin1String("connect")) {
            const QRegularExpression adapter(QStringLiteral("Adapter: ELM327 v[0-9.]+\\r?\\n"));
            QVERIFY2(got.contains(adapter), qPrintable(got));
            got.remove(adapter);
        }
        for (const QString &line : further) {
            // The further code's line, with its definition: on the line after a stored code, after
            // "--" on a pending code's.
            const QRegularExpression shown(QRegularExpression::escape(line)
                                           + (line.startsWith(QLatin1String("TC1")) ? QStringLiteral("\\r?\\n[^\\r\\n]*\\r?\\n")
                                                                                     : QStringLiteral("--[^\\r\\n]*\\r?\\n")));
            QVERIFY2(got.contains(shown), qPrintable(line + QLatin1String(" not in:\n") + got));
            got.remove(shown);
        }
        if (got != expected)
            qWarning("through the tool:\n%s\nthrough the adapter:\n%s", qPrintable(expected), qPrintable(got));
        QCOMPARE(got, expected);
    }
}

QTEST_GUILESS_MAIN(TstElmPort)
#include "tst_elm_port.moc"
