// The real-time display and the fuel trim monitor on the manual clock: each pass, STOP and Freeze,
// Reset and Clear, passes without a good reply; the Chart window, and both opened from the main window.
#include "ManualClock.h"
#include "NoPrinter.h"
#include "SimRig.h"

#include "app/frmMain.h"
#include "live/DataLogger.h"
#include "live/widgets/Chart.h"
#include "live/widgets/frmFuel_Trim.h"
#include "platform/widgets/StripChartView.h"

#include <QtCharts>
#include <QtTest>
#include <QtWidgets>

using namespace quenta;

namespace {

// RPM 813, load 37 %, throttle 6 %, a wide-range sensor and both banks' trims.
const QMap<QString, QString> Car{{"04", "5F"}, {"0C", "0CB4"}, {"11", "28"}, {"24", "80000000"},
                                 {"06", "7E"}, {"07", "81"},   {"08", "00"}, {"09", "FF"}};

// The program, the tool and the strip chart on one manual clock.
struct DisplayRig {
    ManualClock clock;
    SimRig rig;
    StripChart chart{rig.program->clock()};
    RealTimeDisplay display{rig.program->liveParts(), chart};
    FuelTrimMonitor trims{rig.program->liveParts()};
    int passes = 0;

    explicit DisplayRig(const QMap<QString, QString> &pids = Car) : rig(SimRig::profileWith(pids), &clock)
    {
        rig.connect();
        rig.program->currentData.request();
        display.start();
        trims.afterPass = [this] { ++passes; };
    }
    // Runs until `stopAfter` passes (0: until something else sets the flag); `each` after every pass.
    bool run(int pid, int stopAfter, const std::function<void()> &each = {})
    {
        passes = 0;
        display.setStopFlag(false);
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

QColor buttonText(QToolButton *b) { return b->palette().color(QPalette::ButtonText); }
const QColor Yellow(0xFF, 0xFF, 0x00), Lime(0x00, 0xFF, 0x00);

} // namespace

class tst_live_displays : public QObject {
    Q_OBJECT
private slots:
    void eachPassShowsAndPlots()
    {
        const struct { int pid; const char *label, *value, *units; double yMin, yMax, point; } rows[] = {
            {0x0C, "Engine RPM ------------- ", "813 RPM", "RPM", 500, 2000, 813}, {0x04, "Calculated Load -------- ", "37.0%", "%", 10, 50, 37},
            {0x11, "Throttle Position ------ ", "06.0% ", "%", 0, 100, 6}, {0x24, "Wide Range O2 Sensor Lambda", "0.999  Lambda", " Lambda", 0, 1.999, 0.9994}};
        for (const auto &r : rows) {
            DisplayRig d;
            QSignalSpy texts(&d.display, &RealTimeDisplay::textsChanged);
            QVERIFY(d.run(r.pid, 3) && texts.count() == 3);
            QCOMPARE((QStringList{d.display.lblValText(), d.display.txbValue(), d.chart.yTitle(), d.chart.xTitle()}),
                     (QStringList{r.label, r.value, r.units, "Elapsed Time - Seconds"}));
            QVERIFY(d.chart.yMinimum() == r.yMin && d.chart.yMaximum() == r.yMax && d.chart.points().rowCount() == 3);
            QVERIFY(qAbs(*d.chart.points().value(2, 1) - r.point) < 0.001 && d.chart.traceColour() == quint32(0x00FF00) && d.rig.prompts.shown.isEmpty());
        }
        // Lines without a row: the message, and nothing asked of the ECU.
        for (const int pid : {0, 0x13}) {
            DisplayRig d;
            d.rig.tool.clearCommands();
            QVERIFY(!d.run(pid, 1) && d.passes == 0 && d.rig.tool.commands().isEmpty());
            QCOMPARE(d.rig.prompts.texts(), QStringList{DataLogger::NoDataSelected});
        }
    }

    // Each pass moves the clock 700 ms: x counts whole seconds; Reset restarts it and empties the trace, Clear only
    // empties it; Freeze twice goes on; past ten seconds the view scrolls; Freeze once ends the loop, the window stays.
    void resetClearAndScroll()
    {
        DisplayRig d;
        QList<int> xs;
        QVERIFY(d.run(0x0C, 8, [&d, &xs] {
            xs << d.display.lastX();
            if (d.passes == 2)
                for (int click = 0; click < 2; ++click)
                    d.display.cmdFreeze_Click();
            if (d.passes == 4)
                d.display.cmdClearData_Click();
            if (d.passes == 6)
                d.display.cmdResetChart_Click();
            d.clock.now += 700;
        }));
        QCOMPARE(xs, (QList<int>{0, 0, 1, 2, 2, 3, 0, 1})); // 0 .7 1.4 2.1 | clear | 2.8 3.5 | reset | .7 1.4
        QCOMPARE(d.chart.points().rowCount(), 2);
        DisplayRig s;
        QSignalSpy hide(&s.display, &RealTimeDisplay::hideRequested);
        QVERIFY(s.run(0x0C, 31, [&s] {
            s.clock.now += 500;
            if (s.passes == 30)
                s.display.cmdFreeze_Click();
        }));
        QVERIFY(s.display.lastX() == 14 && hide.isEmpty()); // the last point was taken at 14.5 s
        QCOMPARE(s.chart.followingXRange(), (std::pair<double, double>{4, 14}));
        DisplayRig slow; // STOP during a slow request: the request finishes and is shown
        slow.rig.tool.profile().latencyMs = 400;
        slow.clock.after(100, [&slow] { slow.display.Stop1_Click(); });
        QVERIFY(slow.run(0x0C, 3) && slow.passes == 1 && slow.display.txbValue() == QStringLiteral("813 RPM"));
    }

    // Without a good reply: no value, no point, the indicator says why; the car back, it shows again. A quiet tool ends it.
    void passesWithoutAGoodReply()
    {
        for (const bool silent : {false, true}) {
            DisplayRig d;
            QVERIFY(d.run(0x0C, 2));
            d.rig.tool.setVehicle(silent);
            d.rig.tool.profile().ecus[0].silent = silent;
            QVERIFY(d.run(0x0C, 2) && d.chart.points().rowCount() == 2 && d.display.txbValue().isEmpty() && !d.display.lastPoint());
            QCOMPARE(d.rig.program->indicator.text(), silent ? QStringLiteral("ECU Timeout") : QStringLiteral("ECU not Communicating"));
            d.rig.tool.setVehicle(true);
            d.rig.tool.profile().ecus[0].silent = false;
            QVERIFY(d.run(0x0C, 1) && d.display.txbValue() == QStringLiteral("813 RPM") && d.chart.points().rowCount() == 3);
        }
        DisplayRig d;
        d.rig.program->link.operationBoundMs = 300;
        d.rig.tool.faults().quiet = true;
        const std::int64_t start = d.clock.now;
        QVERIFY(d.run(0x0C, 0) && d.clock.now - start < 5000 && d.rig.program->indicator.text() == QStringLiteral("ECU Off-Line"));
    }

    // Both banks, floored to whole percent; no trims at all: the monitor waits for EXIT, 50 ms a pass.
    void fuelTrims()
    {
        DisplayRig both;
        QSignalSpy hide(&both.trims, &FuelTrimMonitor::hideRequested);
        both.trims.fuel_trim_monitor(2);
        QCOMPARE(both.trims.labels(), (QStringList{"Short Term Fuel Trim B1---- -2%", "Long  Term Fuel Trim B1---- 0%",
                                                   "Short Term Fuel Trim B2---- -100%", "Long  Term Fuel Trim B2 ---- 99%"}));
        QVERIFY(hide.count() == 1 && !both.trims.running());
        // No vehicle: a row keeps its label and shows no number rather than a made-up -100 %.
        DisplayRig none;
        none.rig.tool.setVehicle(false);
        none.trims.fuel_trim_monitor(1);
        QCOMPARE(none.trims.labels().first() + '|' + none.rig.program->indicator.text(), QStringLiteral("Short Term Fuel Trim B1---- |ECU not Communicating"));
        DisplayRig idle({{"0C", "0CB4"}});
        idle.clock.after(500, [&idle] { idle.trims.Command1_Click(); });
        idle.trims.fuel_trim_monitor();
        QVERIFY(idle.passes == 10 && idle.trims.labels() == QStringList(4, QString()));
    }

    void chartWindow()
    {
        ManualClock clock;
        SimRig rig(clock);
        Chart chart(rig.program->liveParts());
        chart.display().start();
        QCOMPARE(chart.windowTitle(), Chart::Caption);
        const struct { QPushButton *button; const char *caption; QColor back; } buttons[] = {
            {chart.cmdFreeze, "Freeze", QColor(0, 255, 255)}, {chart.Stop1, "STOP", QColor(255, 0, 0)}, {chart.cmdShowHideToolbar, "Show/Hide Toolbar", Lime},
            {chart.cmdResetChart, "Reset", Lime}, {chart.cmdClearData, "Clear", Lime}};
        for (const auto &b : buttons)
            QVERIFY2(b.button->text() == QLatin1String(b.caption) && b.button->palette().color(QPalette::Button) == b.back
                         && b.button->styleSheet().contains(b.back.name()), b.caption);
        StripChartView *view = chart.iStripChartX1;
        QCOMPARE(view->plot()->title() + '|' + view->yAxis()->titleText(), QStringLiteral("Quenta Real Time Plot|Voltage"));
        QVERIFY(view->plot()->titleBrush().color() == Yellow && !view->plot()->legend()->isVisible() && view->series()->pen().color() == Lime);
        for (QValueAxis *axis : {view->xAxis(), view->yAxis()})
            QVERIFY(axis->gridLinePen().color() == Lime && axis->labelsBrush().color() == QColor(Qt::white));
        // The toolbar: the active mode yellow and the rest lime; Show/Hide Toolbar flips it.
        QCOMPARE(buttonText(view->liveButton()), Yellow);
        view->zoomButton()->click();
        QVERIFY(view->mode() == StripChartView::Mode::ZoomPan && buttonText(view->liveButton()) == Lime && buttonText(view->zoomButton()) == Yellow);
        view->liveButton()->click();
        chart.cmdShowHideToolbar->click();
        QVERIFY(view->toolbar()->isHidden() && !chart.strip().toolbarVisible());

        // An hour at 50 points a second: a bounded history, a few points a second drawn with its lowest and highest, the last ten shown.
        StripChart &strip = chart.strip();
        for (int i = 0; i < 3600 * 50; ++i) {
            clock.now = i * 20;
            strip.beginPoint();
            strip.addPoint(0, strip.runningX(), (i * 37) % 1000);
            strip.endPoint();
        }
        view->syncNow();
        QCOMPARE(strip.points().rowCount(), StripChart::DefaultHistory);
        QVERIFY2(view->xAxis()->min() == 3589.0 && view->xAxis()->max() == 3599.0 && view->series()->count() <= 4 * 12, qPrintable(QString::number(view->series()->count())));
        QList<double> drawn, taken;
        for (const QPointF &p : view->series()->points())
            if (p.x() == 3595)
                drawn << p.y();
        for (int i = 3595 * 50; i < 3596 * 50; ++i)
            taken << (i * 37) % 1000;
        QCOMPARE(*std::min_element(drawn.begin(), drawn.end()), *std::min_element(taken.begin(), taken.end()));
        QCOMPARE(*std::max_element(drawn.begin(), drawn.end()), *std::max_element(taken.begin(), taken.end()));
        view->fitButton()->click(); // every kept point, the view left to the user
        QVERIFY(view->mode() == StripChartView::Mode::ZoomPan && view->xAxis()->min() == strip.points().time(0));
        QVERIFY(view->yAxis()->min() < 0 && view->yAxis()->max() > 999);

        // Saving the picture; a file that cannot be written is said, with where; cancelled, nothing.
        QTemporaryDir dir;
        rig.prompts.fileNames << dir.filePath(QStringLiteral("plot")) << QStringLiteral("/nonexistent/dir/plot.png");
        for (int i = 0; i < 3; ++i)
            view->saveButton()->click();
        QVERIFY(rig.prompts.fileQuestions.first().filter.contains(QStringLiteral("*.png")) && QImage(dir.filePath(QStringLiteral("plot.png"))).width() > 100);
        QVERIFY(rig.prompts.shown.size() == 1 && rig.prompts.shown[0].text.startsWith(QStringLiteral("The chart was not saved to /nonexistent/dir/plot.png")));
    }

    // From the main window: a double-click opens the display, STOP ends it; one fuel trim window; a second start of either is refused.
    void openedFromTheMainWindow()
    {
        ManualClock clock;
        SimRig rig(SimRig::profileWith({{"0C", "0CB4"}, {"06", "7E"}, {"07", "80"}}), &clock);
        NoPrinter printer;
        frmMain window(*rig.program, printer);
        window.show();
        rig.connect();
        rig.program->currentData.request();
        auto *list = window.findChild<QListView *>(QStringLiteral("List1"));
        emit list->doubleClicked(QModelIndex()); // no line selected: ignored
        QVERIFY(window.findChildren<Chart *>().isEmpty());
        const auto &pids = rig.program->pids.PID_list;
        const QModelIndex index = list->model()->index(int(std::find(pids.begin(), pids.end(), 0x0C) - pids.begin()), 0);
        list->setCurrentIndex(index);
        QString shown;
        int charts = 0;
        clock.after(300, [&] {
            Chart *chart = window.findChild<Chart *>(QStringLiteral("Chart"));
            QVERIFY(chart && chart->isVisible());
            emit list->doubleClicked(index);
            charts = int(window.findChildren<Chart *>().size());
            shown = chart->txbValue->text();
            chart->Stop1->click();
        });
        emit list->doubleClicked(index);
        QVERIFY(charts == 1 && shown == QStringLiteral("813 RPM"));
        QTRY_VERIFY(window.findChildren<Chart *>().isEmpty());

        auto *menu = window.findChild<QAction *>(QStringLiteral("mnuFTM"));
        QList<frmFuel_Trim *> made;
        for (int run = 0; run < 2; ++run) {
            clock.after(200, [&] {
                auto *w = window.findChild<frmFuel_Trim *>(QStringLiteral("frmFuel_Trim"));
                made << w;
                QVERIFY(w && w->isVisible() && w->Label5->text() == QStringLiteral("Fuel Trim Monitor Window") && w->Command1->text() == QStringLiteral("EXIT"));
                menu->trigger(); // refused while it runs
                w->Command1->click();
            });
            menu->trigger();
            QVERIFY(made.value(run)->Label1->text() == QStringLiteral("Short Term Fuel Trim B1---- -2%") && made.value(run)->Label3->text().isEmpty());
        }
        QVERIFY(made.size() == 2 && made[0] == made[1] && made[0]->isHidden());
    }
};

QTEST_MAIN(tst_live_displays)
#include "tst_live_displays.moc"
