// The real-time display's cost. Over a pseudo-terminal at 38400 baud, on the shipped car's engine
// speed: samples a second of the Chart window against `quenta-cli watch 0C` in the same run. Then
// the cost of one point on the strip chart (adding it, and the redraw) as the points grow, and
// the memory the chart holds after 200,000 points.
#include "BenchSupport.h"
#include "sim/ThreadedSim.h"

#include "live/widgets/Chart.h"
#include "live/StripChart.h"
#include "platform/widgets/StripChartView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineSeries>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>

using namespace quenta;

namespace {

// Chart time that moves only when the benchmark moves it.
struct ChartTime : Clock {
    qint64 now = 0;
    std::int64_t tickMs() const override { return now; }
};

struct Spread {
    double median = 0, p99 = 0;
};

Spread spread(std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    if (us.empty())
        return {};
    return {us[us.size() / 2], us[std::min(us.size() - 1, size_t(double(us.size()) * 0.99))]};
}

double windowRate(const QString &device, double seconds)
{
    Connected connected(device);
    Program &program = *connected.program;
    Chart chart(program.liveParts());
    chart.resize(760, 520);
    chart.display().start();
    chart.show();
    int samples = 0;
    chart.display().afterPass = [&samples](const Reading &) { ++samples; };
    QTimer::singleShot(int(seconds * 1000), &chart.display(), [&chart] { chart.display().setStopFlag(true); });
    QElapsedTimer t;
    t.start();
    chart.display().run(0x0C);
    const double rate = samples / (t.nsecsElapsed() / 1e9);
    program.connection.port()->close();
    return rate;
}

double cliRate(const QString &device, double seconds)
{
    QProcess cli;
    cli.start(QStringLiteral(QUENTA_CLI_BINARY),
              {QStringLiteral("--port"), device, QStringLiteral("watch"), QStringLiteral("0C"), QStringLiteral("--seconds"),
               QString::number(seconds)});
    cli.waitForFinished(int(seconds * 1000) + 60000);
    const int samples = int(cli.readAllStandardOutput().count('\n'));
    return samples / seconds;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const double seconds = quick ? 2 : 10;

    ThreadedSim sim;
    if (!sim.start(sim::VehicleProfile::defaultProfile(), 38400))
        qFatal("no pseudo-terminal");
    const double window = windowRate(sim.device, seconds);
    const double cli = cliRate(sim.device, seconds);
    std::printf("real-time display of the engine speed over a pty at 38400 baud, %.0f s each:\n", seconds);
    std::printf("  Chart window %.1f samples/s, quenta-cli watch %.1f samples/s, ratio %.3f (goal >= 0.97)\n", window,
                cli, window / cli);

    // One point: add it at 50 points a second of chart time, bring the drawing up to date and let
    // the window paint.
    ChartTime chartTime;
    StripChart strip(chartTime);
    strip.addTrace(QStringLiteral("Channel 1"), 0x00FF00);
    strip.setYMinimum(500);
    strip.setYMaximum(2000);
    NullPrompts prompts;
    StripChartView view(strip, prompts);
    view.resize(700, 450);
    view.show();
    QCoreApplication::processEvents();
    const long before = residentKb();
    const int total = quick ? 20000 : 200000;
    const QList<int> marks{100, 10000, total};
    int next = 0;
    std::vector<double> us;
    for (int i = 1; i <= total; ++i) {
        chartTime.now = qint64(i) * 20;
        const bool measured = next < marks.size() && i > marks[next] - std::min(marks[next], 1000);
        QElapsedTimer t;
        t.start();
        strip.beginPoint();
        strip.addPoint(0, strip.runningX(), 800 + (i * 37) % 1000);
        strip.endPoint();
        if (measured || i % 1000 == 0) {
            view.syncNow();
            QCoreApplication::processEvents();
        }
        if (measured)
            us.push_back(t.nsecsElapsed() / 1e3);
        if (next < marks.size() && i == marks[next]) {
            const Spread s = spread(us);
            std::printf("  one point at %6d points: median %.3f ms, p99 %.3f ms (goal p99 <= 1 ms)\n", i, s.median / 1e3,
                        s.p99 / 1e3);
            us.clear();
            ++next;
        }
    }
    std::printf("  after %d points: %lld kept, %d drawn, resident memory grew by %ld kB\n", total,
                qint64(strip.points().rowCount()), int(view.series()->count()), residentKb() - before);
    return 0;
}
