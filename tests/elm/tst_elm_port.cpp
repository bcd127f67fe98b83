// The ELM327 port in-process on the manual clock: its own faults against the simulated adapter, and
// the program through it, showing what the simulated tool shows on the same car but for the adapter's.
#include "ElmCar.h"
#include "LineRig.h"
#include "ManualClock.h"
#include "ScriptedPrompts.h"
#include "SimRig.h"

#include "elm/ElmPort.h"
#include "program/Program.h"
#include "sim/SimulatedElm.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace quenta;
using namespace quenta::sim;
using namespace elmtest;

namespace {

// The port on the simulated adapter, both on one manual clock.
struct Rig {
    ManualClock clock;
    SimulatedElm elm;
    elm::ElmPort port;
    QByteArray heard;

    explicit Rig(const QByteArray &json = carJson(QStringLiteral("can11")))
        : elm(SimRig::fromJson(json), &clock),
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
    // The reply past any status, up to the checksum of a `length`-byte reply.
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
    void lateAnswerIsDropped();
    void silentAdapterFails();
    void ignitionOffTurnsStatus();
    void program_data();
    void program();
    void noVehicleAtConnection();
    void adapterNames_data();
    void adapterNames();
    void adapterQuestionRefused();
};

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
    rig.heard.clear();
    rig.port.output("010C07", nullptr);
    QCOMPARE(rig.reply(7), elm::ToolFace::frame(QByteArray::fromHex("486BE8410C1AF8"), 7));
}

// An adapter that stops answering fails the port, with the reason, once the request's bound is over.
void TstElmPort::silentAdapterFails()
{
    Rig rig;
    QVERIFY(rig.open());
    QSignalSpy failed(&rig.port, &ScanToolPort::failed);
    rig.elm.hang();
    const std::int64_t start = rig.clock.now;
    rig.port.output("010C07", nullptr);
    QVERIFY(rig.waitFor([&] { return failed.count() > 0; }, 60000));
    QCOMPARE(rig.clock.now - start, std::int64_t(elm::ElmSession::Options{}.requestBoundMs));
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
    QCOMPARE(lastStatus(), 'S');
    rig.elm.setVehicle(false);
    QVERIFY(rig.waitFor([&] { return lastStatus() == 'P'; }, 10000));
    rig.elm.setVehicle(true);
    QVERIFY(rig.waitFor([&] { return lastStatus() == 'S'; }, 10000));
}

namespace {

// The program on the adapter in-process, both on one manual clock.
struct AdapterRig {
    ManualClock clock;
    ScriptedPrompts prompts;
    SimulatedElm elm;
    std::unique_ptr<Program> program;
    ElmPipe *pipe = nullptr;

    explicit AdapterRig(const QByteArray &json) : elm(SimRig::fromJson(json), &clock)
    {
        PortDirectory ports;
        ports.mapFactory(1, [this] {
            return std::make_unique<elm::ElmPort>(QStringLiteral("in-process adapter"), [this](QString *) -> std::unique_ptr<QIODevice> {
                auto device = std::make_unique<ElmPipe>(elm);
                pipe = device.get();
                return device;
            }, elm::ElmSession::Options{}, &clock);
        }, QStringLiteral("in-process adapter"));
        program = std::make_unique<Program>(prompts, std::move(ports), &clock);
        program->definitions.setPlaces({QStringLiteral(QUENTA_SOURCE_DATA_DIR "/troublecode.tcf")});
    }
};

// The status window and the vehicle data, the adapter's ECU numbers (CAN ids' low bytes) as the tool's.
QString seen(Program &p)
{
    QString s = p.status.text() + QLatin1String("\n--\n") + p.data.lines().join(QLatin1Char('\n'));
    return s.replace(QLatin1String("ECU #=E8"), QLatin1String("ECU #=10")).replace(QLatin1String("ECU #=E9"), QLatin1String("ECU #=18"));
}

void step(Program &p, const QString &op)
{
    const QHash<QString, std::function<void()>> steps{{QStringLiteral("connect"), [&] { p.connection.connectCom(1); }},
                                                      {QStringLiteral("current"), [&] { p.currentData.request(); }},
                                                      {QStringLiteral("codes"), [&] { p.troubleCodes.request(); }},
                                                      {QStringLiteral("freeze"), [&] { p.freezeFrame.request(); }},
                                                      {QStringLiteral("clear"), [&] { p.clearCodes.clear(); }},
                                                      {QStringLiteral("ecu"), [&] { p.connection.changeEcu(); }}};
    if (!steps.contains(op))
        qFatal("no step %s", qPrintable(op));
    steps[op]();
}

} // namespace

// Each row's steps through the tool and through the adapter, compared after every step; codes the
// tool's reply has no room for are shown through the adapter only.
void TstElmPort::program_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("fault"); // "clone", or the adapter's errors to the first requests after the connection
    QTest::addColumn<QString>("extra");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("further");
    const QString fiveCodes = R"(,"pids":{"01":"8507E504","0C":"1AF8","0D":"3C"},"stored":["P0301","P0420","P0171","P0300","P0442"],)"
                              R"("pending":["P0171","P0133","P0128","P0455"])";
    QTest::newRow("current data, codes, freeze frame, clear") << "can11" << "" << "" << "connect current codes freeze clear codes" << QStringList();
    QTest::newRow("codes and freeze frame on both ECUs (02PP on the second)")
        << "can11" << "" << "" << "connect codes freeze ecu codes freeze current ecu codes" << QStringList();
    QTest::newRow("clone adapter: echo, split answers") << "can11" << "clone" << "" << "connect current codes" << QStringList();
    QTest::newRow("BUS BUSY, DATA ERROR, CAN ERROR: asked again")
        << "can11" << "BUS BUSY,DATA ERROR,CAN ERROR" << "" << "connect current codes" << QStringList();
    QTest::newRow("no codes (43 00)") << "can11" << "" << R"(,"stored":[],"pending":[])" << "connect codes" << QStringList();
    QTest::newRow("five stored and four pending codes")
        << "can11" << "" << fiveCodes << "connect codes" << QStringList{"TC1 -P0300", "TC1 -P0442", "Pending Code 4 -P0455"};
    QTest::newRow("ISO 9141: current data, freeze frame, five stored codes in two frames")
        << "iso9141" << "" << fiveCodes << "connect current freeze codes" << QStringList{"TC1 -P0300", "TC1 -P0442", "Pending Code 4 -P0455"};
}

void TstElmPort::program()
{
    QFETCH(QString, protocol);
    QFETCH(QString, fault);
    QFETCH(QString, extra);
    QFETCH(QString, steps);
    QFETCH(QStringList, further);
    const QByteArray json = carJson(protocol, extra);
    LineRig tool(Line::InProcess, SimRig::fromJson(json));
    AdapterRig adapter(json);
    adapter.elm.setClone(fault == QLatin1String("clone"));
    for (const QString &op : steps.split(QLatin1Char(' '))) {
        step(*tool.program, op);
        step(*adapter.program, op);
        if (op == QLatin1String("connect") && fault.contains(QLatin1String("ERROR")))
            adapter.elm.faults().nextErrors = fault.split(QLatin1Char(','));
        QString got = seen(*adapter.program);
        // The adapter names itself after a connection.
        if (op == QLatin1String("connect")) {
            const QRegularExpression named(QStringLiteral("Adapter: ELM327 v[0-9.]+\r\n"));
            QVERIFY2(got.contains(named), qPrintable(got));
            got.remove(named);
        }
        if (op == QLatin1String("codes"))
            for (const QString &line : std::as_const(further)) {
                // On the line after a stored code its definition; after "--" on a pending code's.
                const QRegularExpression shown(QRegularExpression::escape(line)
                    + (line.startsWith(QLatin1String("TC1")) ? QStringLiteral("\r\n[^\r\n]*\r\n") : QStringLiteral("--[^\r\n]*\r\n")));
                QVERIFY2(got.contains(shown), qPrintable(line + QLatin1String(" not in:\n") + got));
                got.remove(shown);
            }
        QVERIFY2(got == seen(*tool.program), qPrintable(op + QLatin1String(":\n") + seen(*tool.program) + QLatin1String("\n==\n") + got));
    }
    QVERIFY(adapter.elm.faults().nextErrors.isEmpty());
    QCOMPARE(adapter.pipe->whileBusy, 0); // nothing written before the prompt
    // On CAN the ECU number is its response id's low byte.
    if (protocol == QLatin1String("can11"))
        QCOMPARE(adapter.program->linkInfo.ecuCaption(), QStringLiteral("ECU #=%1\r\n").arg(steps.count(QLatin1String("ecu")) % 2 ? "E9" : "E8"));
}

// No car at the connection: the program waits as with the tool; once the ignition is on the idle check
// finds the car and learns its bus as the connection would have, so no second connection is needed.
void TstElmPort::noVehicleAtConnection()
{
    const QByteArray json = carJson(QStringLiteral("can11"));
    LineRig tool(Line::InProcess, SimRig::fromJson(json));
    step(*tool.program, QStringLiteral("connect"));
    AdapterRig adapter(json);
    adapter.elm.setVehicle(false);
    QString waiting;
    adapter.clock.after(30000, [&] {
        waiting = adapter.program->indicator.text();
        QCOMPARE(adapter.program->indicator.color(), colors::Yellow);
        adapter.elm.setVehicle(true);
    });
    step(*adapter.program, QStringLiteral("connect"));
    QCOMPARE(waiting, QStringLiteral("Waiting for ECU"));
    QVERIFY(adapter.clock.now > 30000);
    for (const QString &op : {QStringLiteral("current"), QStringLiteral("ecu"), QStringLiteral("codes")}) {
        step(*tool.program, op);
        step(*adapter.program, op);
        QCOMPARE(seen(*adapter.program), seen(*tool.program));
    }
    QCOMPARE(adapter.program->linkInfo.ecuCaption(), QStringLiteral("ECU #=E9\r\n"));
}

// How a user names the adapter in the window, and the target it stands for ("" for none).
void TstElmPort::adapterNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("target");
    QTest::newRow("Bluetooth") << "/dev/rfcomm0" << "/dev/rfcomm0";
    QTest::newRow("USB at a fixed speed") << " /dev/ttyUSB0@38400 " << "/dev/ttyUSB0@38400";
    QTest::newRow("Wi-Fi") << "192.168.0.10:35000" << "tcp 192.168.0.10:35000";
    QTest::newRow("empty") << "  " << "";
    QTest::newRow("no port number") << "192.168.0.10:" << "";
    QTest::newRow("port out of range") << "192.168.0.10:70000" << "";
    QTest::newRow("speed not a number") << "/dev/ttyUSB0@fast" << "";
}

void TstElmPort::adapterNames()
{
    QFETCH(QString, name);
    QFETCH(QString, target);
    QString problem;
    const std::optional<ElmTarget> t = parseAdapterName(name, &problem);
    if (target.isEmpty()) {
        QVERIFY(!t);
        QVERIFY2(problem.startsWith(QStringLiteral("Not an ELM327 adapter: \"%1\".").arg(name.trimmed())), qPrintable(problem));
        return;
    }
    QVERIFY2(t, qPrintable(problem));
    const QString got = t->isTcp() ? QStringLiteral("tcp %1:%2").arg(t->host).arg(t->tcpPort)
                                   : t->device + (t->baud ? QStringLiteral("@%1").arg(*t->baud) : QString());
    QCOMPARE(got, target);
}

// The adapter item: cancelled, nothing happens; a name that is no adapter is refused, not remembered.
void TstElmPort::adapterQuestionRefused()
{
    QTemporaryDir dir;
    LineRig rig(Line::InProcess, SimRig::fromJson(carJson(QStringLiteral("can11"))));
    Program &p = *rig.program;
    p.preferences = Preferences(dir.filePath(QStringLiteral("quenta.conf")));
    p.connectAdapter();
    QCOMPARE(rig.prompts.shown.size(), 1);
    QCOMPARE(rig.prompts.shown[0].text, Program::AdapterQuestion + QStringLiteral("|/dev/rfcomm0"));
    QVERIFY(!p.connection.port());
    rig.prompts.lines << QStringLiteral("rfcomm0");
    p.connectAdapter();
    QCOMPARE(rig.prompts.shown.size(), 3);
    QVERIFY(rig.prompts.shown[2].text.startsWith(QLatin1String("Not an ELM327 adapter: \"rfcomm0\".")));
    QCOMPARE(rig.prompts.shown[2].icon, Prompts::Icon::Exclamation);
    QVERIFY(!p.connection.port());
    QCOMPARE(p.preferences.adapter(), QString());
}

QTEST_GUILESS_MAIN(TstElmPort)
#include "tst_elm_port.moc"
