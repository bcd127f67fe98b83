// A full current-data listing of the shipped car's engine ECU over a pseudo-terminal at 38400 baud:
// the program's wall time against the simulated tool's own time for the same exchanges, and the
// CPU the program spends on it.
#include "BenchSupport.h"
#include "sim/ThreadedSim.h"

#include "program/Program.h"
#include "services/CurrentData.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <ctime>

using namespace quenta;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = app.arguments().contains(QStringLiteral("--quick")) ? 2 : 10;
    ThreadedSim sim;
    if (!sim.start(sim::VehicleProfile::defaultProfile(), 38400))
        qFatal("no pseudo-terminal");

    Connected connected(sim.device);
    Program &program = *connected.program;

    program.currentData.request(); // settle
    const int lines = program.data.count();
    double wall = 0, tool = 0, cpu = 0, reaction = 0;
    int exchanges = 0;
    for (int i = 0; i < runs; ++i) {
        // Start each run right after a status character, as a user's click would find the tool idle.
        program.link.wait_OBD_ready();
        sim.inToolThread([&] { sim.tool->clearToolBusy(); sim.tool->clearCommands(); sim.tool->clearReactionTimes(); });
        QElapsedTimer t;
        t.start();
        const double cpu0 = threadCpuSeconds();
        program.currentData.request();
        cpu += threadCpuSeconds() - cpu0;
        wall += t.nsecsElapsed() / 1e9;
        sim.inToolThread([&] {
            tool += sim.tool->toolBusyUs() / 1e6;
            exchanges += int(sim.tool->commands().size());
            for (qint64 us : sim.tool->reactionTimesUs())
                reaction += us / 1e6;
        });
    }
    std::printf("current-data listing of the shipped car's engine ECU over a pty at 38400 baud, %d runs:\n", runs);
    std::printf("  %d lines, %d exchanges a run; program %.3f s a run, tool %.3f s a run\n", lines, exchanges / runs,
                wall / runs, tool / runs);
    std::printf("  of the difference, %.3f s a run is the program's reaction to the tool's status characters\n",
                reaction / runs);
    std::printf("  program time / tool time = %.3f (goal <= 1.10)\n", wall / tool);
    std::printf("  program CPU %.4f s a run = %.2f%% of its wall time (goal <= 5%%)\n", cpu / runs, 100.0 * cpu / wall);
    return 0;
}
