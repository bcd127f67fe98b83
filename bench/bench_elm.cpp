// The ELM327 port's speed and idle cost. Over a pseudo-terminal at 38400 baud to the simulated
// adapter on CAN with a 10 ms ECU: samples a second of engine speed in the live chart's loop,
// against the line's own limit for the same request and answer (characters x 10 / baud + the
// ECU's time); then the CPU the port spends over a few idle seconds, when the idle probe runs.
#include "BenchSupport.h"

#include "elm/ElmPort.h"
#include "live/RealTimeDisplay.h"
#include "live/StripChart.h"
#include "sim/PtySimServer.h"
#include "sim/SimulatedElm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <cstdio>

using namespace quenta;

namespace {

constexpr int Baud = 38400;
constexpr int EcuMs = 10;

sim::VehicleProfile car()
{
    const QByteArray json = QStringLiteral(R"({"protocol":"can11","ecu_response_ms":%1,
      "ecus":[{"address":"10","pids":{"01":"8207E504","0C":"1AF8","0D":"3C"}}]})").arg(EcuMs).toUtf8();
    QString error;
    auto p = sim::VehicleProfile::fromJson(json, QStringLiteral("bench car"), &error);
    if (!p)
        qFatal("%s", qPrintable(error));
    return *p;
}

// The characters of one request and its whole answer as the port sets the adapter up, read from
// the adapter itself (unpaced, on its own clock).
int exchangeCharacters()
{
    sim::SimulatedElm elm(car());
    QByteArray heard;
    QObject::connect(&elm, &sim::SimulatedElm::transmit, [&](const QByteArray &d) { heard += d; });
    auto say = [&](const QByteArray &line) {
        heard.clear();
        elm.receive(line + '\r');
        QElapsedTimer t;
        t.start();
        while (!heard.endsWith('>') && t.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return heard;
    };
    for (const char *line : {"ATZ", "ATE0", "ATL0", "ATS0", "ATH1", "ATAT1", "ATSP0", "0100", "ATSH7E0", "ATCRA7E8"})
        say(line);
    const QByteArray answer = say("010C1");
    return int(QByteArray("010C1\r").size() + answer.size());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int chars = exchangeCharacters();
    const double limit = 1000.0 / (chars * 10.0 * 1000.0 / Baud + EcuMs);

    QThread thread;
    auto *adapter = new sim::SimulatedElm(car());
    auto *server = new sim::PtySimServer(adapter, Baud);
    adapter->setBaud(Baud);
    adapter->moveToThread(&thread);
    server->moveToThread(&thread);
    thread.start();
    QString device;
    QMetaObject::invokeMethod(server, [&] {
        QString error;
        if (!server->start(&error))
            qFatal("pty: %s", qPrintable(error));
        device = server->devicePath();
    }, Qt::BlockingQueuedConnection);

    NullPrompts prompts;
    ElmTarget target;
    target.device = device;
    target.baud = Baud;
    PortDirectory ports;
    ports.mapFactory(1, [target] { return std::make_unique<elm::ElmPort>(target); }, elm::ElmPort::describe(target));
    Program program(prompts, std::move(ports));
    // The connection as the user makes it ("Com1"): the adapter's session, the firmware, the
    // supported PIDs the live loop asks for.
    program.connection.connectCom(1);
    auto *port = qobject_cast<elm::ElmPort *>(program.connection.port());
    if (!port || !port->isReady())
        qFatal("the adapter did not get ready");
    QElapsedTimer t;

    StripChart chart(program.clock());
    RealTimeDisplay display(program.liveParts(), chart);
    int samples = 0, unanswered = 0;
    QString last;
    display.afterPass = [&](const Reading &r) {
        if (r.answered())
            ++samples;
        else
            ++unanswered;
        last = r.text;
    };
    const double seconds = 5;
    QTimer::singleShot(int(seconds * 1000), &display, [&display] { display.setStopFlag(true); });
    t.restart();
    display.run(0x0C);
    const double rate = samples / (t.nsecsElapsed() / 1e9);
    std::printf("live chart, engine speed over the ELM327 port (CAN, %d baud, ECU %d ms):\n", Baud, EcuMs);
    std::printf("  %.1f samples/s; the line's limit %.1f/s (%d characters a request and answer); ratio %.2f (goal 0.9)\n",
                rate, limit, chars, rate / limit);
    std::printf("  %d answered, %d unanswered; the last reads \"%s\"\n", samples, unanswered, qPrintable(last));

    const double idleSeconds = 6;
    const double cpu0 = threadCpuSeconds();
    QTimer::singleShot(int(idleSeconds * 1000), &app, &QCoreApplication::quit);
    app.exec();
    const double cpu = threadCpuSeconds() - cpu0;
    std::printf("idle with the probe every %d ms: %.3f%% of a core over %.0f s (goal below 1%%)\n",
                elm::ElmPort::IdleProbeMs, 100.0 * cpu / idleSeconds, idleSeconds);

    port->close();
    QMetaObject::invokeMethod(server, [&] { delete server; delete adapter; }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    return 0;
}
