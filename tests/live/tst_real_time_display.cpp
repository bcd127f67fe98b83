// The real-time display loop against the simulated tool: what each pass shows and plots, the stop
// flag against a slow reply (STOP, Freeze twice), Reset and Clear, lines without a row, passes
// without a good reply, the running x on an injected clock, and the fuel trim monitor.
#include "LineRig.h"
#include "ManualClock.h"
#include "SimRig.h"

#include "live/FuelTrimMonitor.h"
#include "live/RealTimeDisplay.h"
#include "live/StripChart.h"
#include "services/Connection.h"
#include "services/CurrentData.h"

#include <QSignalSpy>
#include <QtTest>

using namespace quenta;

namespace {

// A car with fixed values: RPM 813, load 37 %, throttle 6 %, a wide-range sensor and both banks' trims.
QMap<QString, QString> car()
{
    return {{QStringLiteral("04"), QStringLiteral("5F")},   {QStringLiteral("0C"), QStringLiteral("0CB4")},
            {QStringLiteral("11"), QStringLiteral("28")},   {QStringLiteral("24"), QStringLiteral("80000000")},
            {QStringLiteral("06"), QStringLiteral("7E")},   {QStringLiteral("07"), QStringLiteral("81")},
            {QStringLiteral("08"), QStringLiteral("00")},   {QStringLiteral("09"), QStringLiteral("FF")}};
}

// The program, the tool and the strip chart on one manual clock.
struct DisplayRig {
    ManualClock clock;
    SimRig rig;
    StripChart chart{rig.program->clock()};
    RealTimeDisplay display{rig.program->liveParts(), chart};
    int passes = 0;

    explicit DisplayRig(const QMap<QString, QString> &pids = car()) : rig(SimRig::profileWith(pids), &clock)
    {
        rig.connect();
        rig.program->currentData.request();
        display.start();
    }
    // Runs until `stopAfter` passes (0: until something else sets the flag); `each` runs after every pass.
    bool run(int pid, int stopAfter, const std::function<void()> &each = {})
    {
        display.afterPass = [this, stopAfter, each](const Reading &) {
            ++passes;
            if (each)
                each();
            if (stopAfter > 0 && passes >= stopAfter)
                display.setStopFlag(true);
        };
        return display.run(pid);
    }
};

} // namespace

class tst_real_time_display : public QObject {
    Q_OBJECT
private slots:
    void eachPassShowsAndPlotsTheValue_data()
    {
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("units");
        QTest::addColumn<double>("yMin");
        QTest::addColumn<double>("yMax");
        QTest::addColumn<double>("point");
        QTest::newRow("RPM") << 0x0C << "Engine RPM ------------- " << "813 RPM" << "RPM" << 500.0 << 2000.0 << 813.0;
        QTest::newRow("load 37 %") << 0x04 << "Calculated Load -------- " << "37.0%" << "%" << 10.0 << 50.0 << 37.0;
        QTest::newRow("throttle 6 %") << 0x11 << "Throttle Position ------ " << "06.0% " << "%" << 0.0 << 100.0 << 6.0;
        QTest::newRow("wide range, fixed label") << 0x24 << "Wide Range O2 Sensor Lambda" << "0.999  Lambda"
                                                 << " Lambda" << 0.0 << 1.999 << 0.9994;
    }
    void eachPassShowsAndPlotsTheValue()
    {
        QFETCH(int, pid);
        DisplayRig d;
        QSignalSpy texts(&d.display, &RealTimeDisplay::textsChanged);
        QVERIFY(d.run(pid, 3));
        QCOMPARE(d.passes, 3);
        QCOMPARE(texts.count(), 3);
        QTEST(d.display.lblValText(), "label");
        QTEST(d.display.txbValue(), "value");
        QTEST(d.chart.yTitle(), "units");
        QTEST(d.chart.yMinimum(), "yMin");
        QTEST(d.chart.yMaximum(), "yMax");
        QCOMPARE(d.chart.points().rowCount(), 3);
        QFETCH(double, point);
        QVERIFY2(qAbs(*d.chart.points().value(2, 1) - point) < 0.001, qPrintable(QString::number(*d.chart.points().value(2, 1))));
        // The set-up stays: one green trace and the elapsed-time axis.
        QCOMPARE(d.chart.traceName(), QStringLiteral("Channel 1"));
        QCOMPARE(d.chart.traceColour(), quint32(0x00FF00));
        QCOMPARE(d.chart.xTitle(), QStringLiteral("Elapsed Time - Seconds"));
        QCOMPARE(d.chart.xMaximum(), 10.0);
        QVERIFY(d.rig.prompts.shown.isEmpty());
    }

    void linesWithoutARowShowNoDataSelected_data()
    {
        QTest::addColumn<int>("pid");
        QTest::newRow("a line no walk set") << 0;
        QTest::newRow("O2 sensor locations") << 0x13;
        QTest::newRow("OBD type") << 0x1C;
        QTest::newRow("monitor status") << 0x01;
        QTest::newRow("beyond the table") << 0x4F;
    }
    void linesWithoutARowShowNoDataSelected()
    {
        QFETCH(int, pid);
        DisplayRig d;
        d.rig.tool.clearCommands();
        QVERIFY(!d.run(pid, 1));
        QCOMPARE(d.rig.prompts.texts(), QStringList{QStringLiteral("No Data Selected")});
        QCOMPARE(d.passes, 0);
        QVERIFY2(d.rig.tool.commands().isEmpty(), "nothing is asked of the ECU");
    }

    // STOP during a slow request: the request finishes and is shown, then the loop ends.
    void stopDuringASlowRequestLetsItFinish()
    {
        DisplayRig d;
        d.rig.tool.profile().latencyMs = 400;
        QSignalSpy hide(&d.display, &RealTimeDisplay::hideRequested);
        d.clock.after(100, [&d] { d.display.Stop1_Click(); });
        const std::int64_t start = d.clock.now;
        QVERIFY(d.run(0x0C, 0));
        QCOMPARE(hide.count(), 1);
        QCOMPARE(d.passes, 1);
        QCOMPARE(d.display.txbValue(), QStringLiteral("813 RPM"));
        QVERIFY(d.clock.now - start >= 400);
    }

    // Freeze pressed twice before the loop looks: the display goes on.
    void freezeTwiceBeforeTheCheckGoesOn()
    {
        DisplayRig d;
        d.rig.tool.profile().latencyMs = 300;
        d.clock.after(80, [&d] { d.display.cmdFreeze_Click(); });
        d.clock.after(160, [&d] { d.display.cmdFreeze_Click(); });
        QVERIFY(d.run(0x0C, 3));
        QCOMPARE(d.passes, 3);
        // Once alone, Freeze ends it at the next check, without hiding the window.
        DisplayRig once;
        once.rig.tool.profile().latencyMs = 300;
        QSignalSpy hide(&once.display, &RealTimeDisplay::hideRequested);
        once.clock.after(80, [&once] { once.display.cmdFreeze_Click(); });
        QVERIFY(once.run(0x0C, 5));
        QCOMPARE(once.passes, 1);
        QCOMPARE(hide.count(), 0);
    }

    // Each pass moves the clock 700 ms: x counts whole seconds; Reset restarts it and empties the
    // trace, Clear only empties it.
    void resetAndClearActOnTheTrace()
    {
        DisplayRig d;
        QList<int> xs;
        QVERIFY(d.run(0x0C, 8, [&d, &xs] {
            xs << d.display.lastX();
            if (d.passes == 4) {
                QCOMPARE(d.chart.points().rowCount(), 4);
                d.display.cmdClearData_Click();
                QCOMPARE(d.chart.points().rowCount(), 0);
            }
            if (d.passes == 6)
                d.display.cmdResetChart_Click();
            d.clock.now += 700;
        }));
        // 0, .7, 1.4, 2.1 | cleared | 2.8, 3.5 | reset | .7, 1.4
        QCOMPARE(xs, (QList<int>{0, 0, 1, 2, 2, 3, 0, 1}));
        QCOMPARE(d.chart.points().rowCount(), 2);
    }

    void theViewScrollsOnceXPassesTen()
    {
        DisplayRig d;
        QVERIFY(d.run(0x0C, 30, [&d] { d.clock.now += 500; }));
        // The last point was taken at 14.5 s.
        QCOMPARE(d.display.lastX(), 14);
        const auto range = d.chart.followingXRange();
        QCOMPARE(range.first, 4.0);
        QCOMPARE(range.second, 14.0);
    }

    // A pass without a good reply shows no value, plots nothing, and the indicator says why.
    void passesWithoutAGoodReplyPlotNothing_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("indicator");
        QTest::newRow("no vehicle") << 0 << "ECU not Communicating";
        QTest::newRow("silent ECU") << 1 << "ECU Timeout";
    }
    void passesWithoutAGoodReplyPlotNothing()
    {
        QFETCH(int, fault);
        DisplayRig d;
        QVERIFY(d.run(0x0C, 2));
        QCOMPARE(d.chart.points().rowCount(), 2);
        if (fault == 0)
            d.rig.tool.setVehicle(false);
        else
            d.rig.tool.profile().ecus[0].silent = true;
        d.passes = 0;
        d.display.setStopFlag(false);
        QVERIFY(d.run(0x0C, 2));
        QCOMPARE(d.chart.points().rowCount(), 2);
        QCOMPARE(d.display.txbValue(), QString());
        QVERIFY(!d.display.lastPoint());
        QTEST(d.rig.program->indicator.text(), "indicator");
        // The car answers again: the display shows and plots again.
        d.rig.tool.setVehicle(true);
        d.rig.tool.profile().ecus[0].silent = false;
        d.passes = 0;
        d.display.setStopFlag(false);
        QVERIFY(d.run(0x0C, 1));
        QCOMPARE(d.display.txbValue(), QStringLiteral("813 RPM"));
        QCOMPARE(d.chart.points().rowCount(), 3);
    }

    // A tool that goes quiet ends the display (it cannot show anything more) within the bound.
    void aToolThatGoesQuietEndsTheDisplay()
    {
        DisplayRig d;
        d.rig.program->link.operationBoundMs = 300;
        QVERIFY(d.run(0x0C, 1));
        d.rig.tool.faults().quiet = true;
        d.display.setStopFlag(false);
        const std::int64_t start = d.clock.now;
        QVERIFY(d.run(0x0C, 0));
        QVERIFY(d.clock.now - start < 5000);
        QCOMPARE(d.rig.program->indicator.text(), QStringLiteral("ECU Off-Line"));
    }

    // Over a pseudo-terminal, after the line sat idle with the tool sending its status characters.
    void overARealSerialLineAfterIdle()
    {
        LineRig line(Line::Pty, SimRig::profileWith(car()));
        Program &p = *line.program;
        p.connection.connectCom(1);
        p.currentData.request();
        QTest::qWait(1500);
        StripChart chart(p.clock());
        RealTimeDisplay display(p.liveParts(), chart);
        display.start();
        int passes = 0;
        display.afterPass = [&](const Reading &) {
            QCOMPARE(display.txbValue(), QStringLiteral("813 RPM"));
            if (++passes == 20)
                display.setStopFlag(true);
        };
        QVERIFY(display.run(0x0C));
        QVERIFY2(passes == 20, qPrintable(QStringLiteral("%1 passes; indicator %2; port failed %3; abandoned %4")
                                              .arg(passes)
                                              .arg(p.indicator.text())
                                              .arg(p.link.lost())
                                              .arg(p.link.state() == ScanToolLink::State::Abandoned)));
        QCOMPARE(chart.points().rowCount(), 20);
    }

    void fuelTrimPercent_data()
    {
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("trim");
        QTest::newRow("0") << 0 << -100;
        QTest::newRow("7E") << 0x7E << -2;
        QTest::newRow("7F") << 0x7F << -1;
        QTest::newRow("80") << 0x80 << 0;
        QTest::newRow("81") << 0x81 << 0;
        QTest::newRow("FF") << 0xFF << 99;
    }
    void fuelTrimPercent()
    {
        QFETCH(int, a);
        QTEST(FuelTrimMonitor::trimPercent(a), "trim");
    }

    void fuelTrimRowsFollowTheWalk_data()
    {
        QTest::addColumn<QStringList>("pids");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("both banks") << QStringList{"06", "07", "08", "09"}
                                    << QStringList{"Short Term Fuel Trim B1---- -2%", "Long  Term Fuel Trim B1---- 0%",
                                                   "Short Term Fuel Trim B2---- -100%", "Long  Term Fuel Trim B2 ---- 99%"};
        QTest::newRow("bank 1 only") << QStringList{"06", "07"}
                                     << QStringList{"Short Term Fuel Trim B1---- -2%", "Long  Term Fuel Trim B1---- 0%", "", ""};
    }
    void fuelTrimRowsFollowTheWalk()
    {
        QFETCH(QStringList, pids);
        QMap<QString, QString> wanted;
        const QMap<QString, QString> all = car();
        for (const QString &pid : pids)
            wanted[pid] = all[pid];
        wanted[QStringLiteral("0C")] = all[QStringLiteral("0C")];
        ManualClock clock;
        SimRig rig(SimRig::profileWith(wanted), &clock);
        rig.connect();
        rig.program->currentData.request();
        FuelTrimMonitor monitor(rig.program->liveParts());
        QSignalSpy hide(&monitor, &FuelTrimMonitor::hideRequested);
        monitor.fuel_trim_monitor(2);
        QTEST(monitor.labels(), "rows");
        QCOMPARE(hide.count(), 1);
        QVERIFY(!monitor.running());
    }

    // EXIT during a request: the request and the rest of the pass finish, then the window hides.
    void fuelTrimExitDuringARequest()
    {
        ManualClock clock;
        SimRig rig(SimRig::profileWith(car()), &clock);
        rig.connect();
        rig.program->currentData.request();
        rig.tool.profile().latencyMs = 200;
        FuelTrimMonitor monitor(rig.program->liveParts());
        int passes = 0;
        monitor.afterPass = [&] { ++passes; };
        QSignalSpy hide(&monitor, &FuelTrimMonitor::hideRequested);
        clock.after(100, [&monitor] { monitor.Command1_Click(); });
        monitor.fuel_trim_monitor();
        QCOMPARE(passes, 1);
        QCOMPARE(hide.count(), 1);
        QCOMPARE(monitor.labels().last(), QStringLiteral("Long  Term Fuel Trim B2 ---- 99%"));
    }

    // No vehicle: a row keeps its label and shows no number rather than a made-up -100 %. With no
    // supported row, the monitor waits for EXIT without spinning.
    void fuelTrimWithoutAnswers()
    {
        ManualClock clock;
        SimRig rig(SimRig::profileWith(car()), &clock);
        rig.connect();
        rig.program->currentData.request();
        rig.tool.setVehicle(false);
        FuelTrimMonitor monitor(rig.program->liveParts());
        monitor.fuel_trim_monitor(1);
        QCOMPARE(monitor.labels().first(), QStringLiteral("Short Term Fuel Trim B1---- "));
        QCOMPARE(rig.program->indicator.text(), QStringLiteral("ECU not Communicating"));

        SimRig none(SimRig::profileWith({{QStringLiteral("0C"), QStringLiteral("0CB4")}}), &clock);
        none.connect();
        none.program->currentData.request();
        FuelTrimMonitor idle(none.program->liveParts());
        int passes = 0;
        idle.afterPass = [&] { ++passes; };
        clock.after(500, [&idle] { idle.Command1_Click(); });
        idle.fuel_trim_monitor();
        // A pass of 50 ms on the clock, ended at once by EXIT.
        QCOMPARE(passes, 10);
        QCOMPARE(idle.labels(), (QStringList{QString(), QString(), QString(), QString()}));
    }
};

QTEST_GUILESS_MAIN(tst_real_time_display)
#include "tst_real_time_display.moc"
