// Link figures over a pseudo-terminal at 38400 baud: reaction time to the tool's status character,
// idle cost of a wait, and how fast window events run during a wait.
#include "BenchSupport.h"
#include "sim/ThreadedSim.h"

#include "program/Program.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace quenta;

namespace {

double percentile(QList<double> v, double p)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.at(std::min<qsizetype>(v.size() - 1, qsizetype(p * double(v.size() - 1) + 0.5)));
}

sim::VehicleProfile benchProfile()
{
    sim::VehicleProfile p;
    sim::EcuProfile ecu;
    ecu.pids.insert(0x0C, sim::PidValue{{QByteArray::fromHex("0CB4")}});
    p.ecus << ecu;
    p.latencyMs = 0;
    return p;
}

void reactionTime(int exchanges)
{
    ThreadedSim sim;
    if (!sim.start(benchProfile(), 38400))
        qFatal("no pseudo-terminal");
    Connected c(sim.device);
    ScanToolLink &link = c.program->link;
    link.get_ecu_PID(ToolCommand{0x01, 0x0C, 0x07}).reply; // settle
    sim.inToolThread([&] { sim.tool->clearReactionTimes(); });
    QElapsedTimer wall;
    wall.start();
    int good = 0;
    for (int i = 0; i < exchanges; ++i)
        good += link.get_ecu_PID(ToolCommand{0x01, 0x0C, 0x07}).reply.mid(11, 4)
            == QLatin1String("0CB4");
    const double seconds = wall.nsecsElapsed() / 1e9;
    QList<double> ms;
    sim.inToolThread([&] {
        for (qint64 us : sim.tool->reactionTimesUs())
            ms << us / 1000.0;
    });
    std::printf("reaction time (status character end -> next command), %lld samples over a pty at 38400 baud:\n"
                "  median %.3f ms   p99 %.3f ms   max %.3f ms   (goal: median <= 1 ms, p99 <= 5 ms)\n"
                "  %d get_ecu_PID exchanges in %.2f s: %.1f exchanges/s, %d correct replies\n",
                (long long)ms.size(), percentile(ms, 0.5), percentile(ms, 0.99), percentile(ms, 1.0), exchanges,
                seconds, exchanges / seconds, good);
}

// How often a status character slips in between the discard and the command, so that it stands
// before the reply: the exchange as the trouble-code, clearing and freeze-frame requests make it.
void statusRace(int exchanges)
{
    auto profile = benchProfile();
    profile.statusPeriodMs = 1;
    ThreadedSim sim;
    if (!sim.start(profile, 38400))
        qFatal("no pseudo-terminal");
    Connected c(sim.device);
    ScanToolLink &link = c.program->link;
    int prefixed = 0, other = 0;
    for (int i = 0; i < exchanges; ++i) {
        link.wait_OBD_ready();
        link.OBDinput();
        link.OBDoutput(QStringLiteral("010C07"));
        const QString reply = link.waitReply(14);
        if (reply.startsWith(QLatin1Char('S')))
            ++prefixed;
        else if (!reply.startsWith(QLatin1String("R486B10410C0CB4")))
            ++other;
    }
    std::printf("status race: %d of %d exchanges over a pty at a 1 ms status period had a status \"S\" before the"
                " reply (%.3f %%); %d other odd replies\n",
                prefixed, exchanges, 100.0 * prefixed / exchanges, other);
}

// A program connected to a tool that sends nothing at all.
struct QuietTool {
    ThreadedSim sim;
    std::unique_ptr<Connected> connected;
    QuietTool()
    {
        auto quiet = benchProfile();
        quiet.faults.quiet = true;
        if (!sim.start(quiet, 38400))
            qFatal("no pseudo-terminal");
        connected = std::make_unique<Connected>(sim.device);
    }
};

void idleCost(int seconds)
{
    QuietTool quietTool;
    ScanToolLink &link = quietTool.connected->program->link;
    QTimer::singleShot(seconds * 1000, &link, [&] { link.setOBD_stop(true); });
    const double cpu0 = threadCpuSeconds();
    link.waitReply(18);
    const double cpu = threadCpuSeconds() - cpu0;
    std::printf("idle cost: %.4f s of CPU in %d s waiting for a tool that sends nothing (goal <= 0.1 s)\n", cpu, seconds);
}

void responsiveness(int samples)
{
    QuietTool quietTool;
    ScanToolLink &link = quietTool.connected->program->link;
    QList<double> latencies;
    QElapsedTimer clock;
    clock.start();
    // Another thread posts events as a window system would; each records how late it ran.
    QThread poster;
    QObject receiver;
    QObject *sender = new QObject;
    sender->moveToThread(&poster);
    poster.start();
    QMetaObject::invokeMethod(sender, [&] {
        for (int i = 0; i < samples; ++i) {
            const qint64 posted = clock.nsecsElapsed();
            QMetaObject::invokeMethod(&receiver, [&, posted] {
                latencies << (clock.nsecsElapsed() - posted) / 1e6;
                if (latencies.size() == samples)
                    link.setOBD_stop(true);
            });
            QThread::msleep(3);
        }
    });
    link.waitReply(18);
    QMetaObject::invokeMethod(sender, [sender] { delete sender; }, Qt::BlockingQueuedConnection);
    poster.quit();
    poster.wait();
    std::printf("responsiveness: %lld events posted during a wait: median %.3f ms, p99 %.3f ms (goal p99 <= 20 ms)\n",
                (long long)latencies.size(), percentile(latencies, 0.5), percentile(latencies, 0.99));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    reactionTime(quick ? 100 : 1000);
    statusRace(quick ? 1000 : 10000);
    idleCost(quick ? 2 : 10);
    responsiveness(quick ? 100 : 1000);
    return 0;
}
