// The data logger over a pseudo-terminal at 38400 baud with the shipped car: its sample rate at
// interval 0 with six parameters against the bare requests in the same run, how late its samples
// are at interval 0.1, the CPU it spends between samples, and the memory and file time of a full
// 17998-sample run of six parameters.
#include "BenchSupport.h"
#include "sim/ThreadedSim.h"

#include "live/DataLogger.h"
#include "live/LogFile.h"
#include "live/Samples.h"
#include "pids/Decoders.h"
#include "services/CurrentData.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace quenta;

namespace {

// The system clock, with how late each wait between samples ended and the CPU spent inside those
// waits, while measuring (the link's waits, which the line ends, are not measured).
struct MeasuringClock : Clock {
    bool measuring = false;
    std::vector<double> lateMs;
    double waitCpu = 0, waitWall = 0;
    void sleep(int ms, Waker &waker) override
    {
        if (!measuring || &waker != &ownWaker())
            return Clock::sleep(ms, waker);
        QElapsedTimer t;
        t.start();
        const double cpu0 = threadCpuSeconds();
        Clock::sleep(ms, waker);
        waitCpu += threadCpuSeconds() - cpu0;
        waitWall += t.nsecsElapsed() / 1e9;
        lateMs.push_back(t.nsecsElapsed() / 1e6 - ms);
    }
};

void setUp(DataLogger &logger, Program &program, int count, const QString &interval, int samples)
{
    logger.count = count;
    for (int i = 0; i < count; ++i) {
        logger.selection[size_t(i)] = i;
        logger.slotText[size_t(i)] = program.logger.items(0).value(i);
    }
    logger.intervalText = interval;
    logger.afterSample = [&logger, samples](int n) {
        if (n >= samples)
            logger.Command3_Click();
    };
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    // Recovery files of the runs (their dialogs are not answered) go to a folder of their own.
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    ThreadedSim sim;
    if (!sim.start(sim::VehicleProfile::defaultProfile(), 38400))
        qFatal("no pseudo-terminal");
    MeasuringClock clock;
    Connected connected(sim.device, &clock);
    Program &program = *connected.program;
    program.currentData.request();
    QTemporaryDir dir;

    // Interval 0, six parameters, against the same six requests bare.
    const int samples = quick ? 20 : 100;
    QElapsedTimer t;
    Decoders decoders(program.pidContext);
    t.start();
    for (int s = 0; s < samples; ++s)
        for (int i = 0; i < 6; ++i)
            decoders.read(program.pids.PID_list[size_t(i)]);
    const double bare = samples / (t.nsecsElapsed() / 1e9);
    DataLogger fast(program.liveParts());
    setUp(fast, program, 6, QStringLiteral("0"), samples);
    t.start();
    fast.Command1_Click();
    const double logged = fast.samples().rowCount() / (t.nsecsElapsed() / 1e9 - DataLogger::FirstSampleS);
    std::printf("data logger over a pty at 38400 baud, shipped car:\n");
    std::printf("  six parameters at interval 0: %.2f samples/s, bare requests %.2f samples/s, ratio %.3f (goal >= 0.97)\n",
                logged, bare, logged / bare);

    // Interval 0.1, two parameters: lateness and CPU between samples.
    clock.measuring = true;
    DataLogger paced(program.liveParts());
    setUp(paced, program, 2, QStringLiteral("0.1"), quick ? 30 : 200);
    paced.Command1_Click();
    clock.measuring = false;
    std::sort(clock.lateMs.begin(), clock.lateMs.end());
    const double median = clock.lateMs[clock.lateMs.size() / 2];
    const double p99 = clock.lateMs[std::min(clock.lateMs.size() - 1, size_t(double(clock.lateMs.size()) * 0.99))];
    std::printf("  two parameters at interval 0.1, %d samples: each sample late by median %.3f ms, p99 %.3f ms (goal p99 <= 2 ms)\n",
                paced.samples().rowCount(), median, p99);
    std::printf("  CPU between samples: %.3f%% of a core (goal <= 1%%)\n", 100.0 * clock.waitCpu / clock.waitWall);

    // A full run's samples, six parameters, and its file.
    const long before = residentKb();
    Samples full;
    full.setColumns({{}, {}, {}, {}, {}, {}});
    for (int i = 0; i < 17998; ++i)
        full.append(i * 0.1, {813.25 + i % 7, 181, 37, 20.51, 0.45, 14.7});
    t.start();
    QString error;
    const QByteArray content = LogHeader::logger(QStringLiteral("0"), QDateTime::currentDateTime(), QDate::currentDate(),
                                                 {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                                                  QStringLiteral("d"), QStringLiteral("e"), QStringLiteral("f")})
                                   .bytes()
        + logfile::rows(full, true);
    const bool written = logfile::write(dir.filePath(QStringLiteral("full.log")), content, &error);
    const double writeMs = t.nsecsElapsed() / 1e6;
    std::printf("  a full run of 17998 samples of six parameters: %ld kB held (goal <= 10 MB), file of %lld kB %s in %.1f ms (goal <= 200 ms)\n",
                residentKb() - before + long(content.size() / 1024), qint64(content.size() / 1024),
                written ? "written" : "NOT written", writeMs);
    return 0;
}
