// The Chart and fuel trim windows offscreen: their controls, captions and colours, the strip
// chart's display settings and toolbar, a bounded drawing however many points come, saving a
// PNG, and both windows opened from the main window against the simulated tool.
#include "NoPrinter.h"
#include "ManualClock.h"
#include "SimRig.h"

#include "app/frmMain.h"
#include "live/widgets/Chart.h"
#include "live/widgets/frmFuel_Trim.h"
#include "platform/widgets/Printer.h"
#include "platform/widgets/StripChartView.h"
#include "services/CurrentData.h"

#include <QAction>
#include <QChart>
#include <QImage>
#include <QLabel>
#include <QLegend>
#include <QLineEdit>
#include <QLineSeries>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QValueAxis>
#include <QtTest>

using namespace quenta;

namespace {

QColor buttonText(QToolButton *b) { return b->palette().color(QPalette::ButtonText); }

const QColor Yellow(0xFF, 0xFF, 0x00);
const QColor Lime(0x00, 0xFF, 0x00);

} // namespace

class tst_chart_window : public QObject {
    Q_OBJECT
private slots:
    void chartControlsAndDisplaySettings()
    {
        SimRig rig;
        Chart chart(rig.program->liveParts());
        chart.display().start();
        QCOMPARE(chart.windowTitle(), Chart::Caption);
        const struct {
            QPushButton *button;
            const char *caption;
            QColor back;
        } buttons[] = {{chart.cmdFreeze, "Freeze", QColor(0, 255, 255)},
                       {chart.Stop1, "STOP", QColor(255, 0, 0)},
                       {chart.cmdShowHideToolbar, "Show/Hide Toolbar", Lime},
                       {chart.cmdResetChart, "Reset", Lime},
                       {chart.cmdClearData, "Clear", Lime}};
        for (const auto &b : buttons) {
            QCOMPARE(b.button->text(), QString::fromLatin1(b.caption));
            QCOMPARE(b.button->palette().color(QPalette::Button), b.back);
            QVERIFY(b.button->styleSheet().contains(b.back.name()));
        }
        QCOMPARE(chart.Stop1->font().family(), QStringLiteral("Courier"));
        QVERIFY(chart.optFlag->isHidden());
        QVERIFY(chart.txbValue->isReadOnly());

        StripChartView *view = chart.iStripChartX1;
        QCOMPARE(view->plot()->title(), QStringLiteral("Quenta Real Time Plot"));
        QCOMPARE(view->plot()->titleBrush().color(), Yellow);
        QCOMPARE(view->plot()->titleFont().family(), QStringLiteral("Courier"));
        QVERIFY(!view->plot()->legend()->isVisible());
        QVERIFY(view->plot()->backgroundBrush().color().lightness() < 40);
        for (QValueAxis *axis : {view->xAxis(), view->yAxis()}) {
            QCOMPARE(axis->gridLinePen().color(), Lime);
            QCOMPARE(axis->labelsBrush().color(), QColor(Qt::white));
            QCOMPARE(axis->titleBrush().color(), QColor(Qt::white));
            QCOMPARE(axis->titleFont().family(), QStringLiteral("Arial"));
            QCOMPARE(axis->labelsFont().family(), QStringLiteral("MS Sans Serif"));
        }
        QCOMPARE(view->series()->pen().color(), Lime);
        QCOMPARE(view->xAxis()->titleText(), QStringLiteral("Elapsed Time - Seconds"));
        QCOMPARE(view->yAxis()->titleText(), QStringLiteral("Voltage"));
        QCOMPARE(view->yAxis()->max(), 255.0);

        // The toolbar: bold, the active mode yellow and the rest lime; Show/Hide Toolbar flips it.
        QVERIFY(view->liveButton()->font().bold());
        QCOMPARE(buttonText(view->liveButton()), Yellow);
        QCOMPARE(buttonText(view->zoomButton()), Lime);
        view->zoomButton()->click();
        QCOMPARE(view->mode(), StripChartView::Mode::ZoomPan);
        QCOMPARE(buttonText(view->liveButton()), Lime);
        QCOMPARE(buttonText(view->zoomButton()), Yellow);
        view->liveButton()->click();
        QCOMPARE(view->mode(), StripChartView::Mode::Live);
        QVERIFY(!view->toolbar()->isHidden());
        chart.cmdShowHideToolbar->click();
        QVERIFY(view->toolbar()->isHidden());
        QVERIFY(!chart.strip().toolbarVisible());
        chart.cmdShowHideToolbar->click();
        QVERIFY(!view->toolbar()->isHidden());
    }

    // An hour at 50 points a second: the drawing holds a few points per second in view, the chart
    // keeps a bounded history, and the view shows the last ten seconds.
    void theDrawingStaysSmallAndFollows()
    {
        ManualClock clock;
        SimRig rig(clock);
        Chart chart(rig.program->liveParts());
        chart.display().start();
        StripChart &strip = chart.strip();
        for (int i = 0; i < 3600 * 50; ++i) {
            clock.now = i * 20;
            strip.beginPoint();
            strip.addPoint(0, strip.runningX(), (i * 37) % 1000);
            strip.endPoint();
        }
        StripChartView *view = chart.iStripChartX1;
        view->syncNow();
        QCOMPARE(strip.points().rowCount(), StripChart::DefaultHistory);
        QCOMPARE(view->xAxis()->min(), 3589.0);
        QCOMPARE(view->xAxis()->max(), 3599.0);
        QVERIFY2(view->series()->count() <= 4 * 12, qPrintable(QString::number(view->series()->count())));
        // Each second keeps its lowest and highest value.
        double low = 1e9, high = -1e9;
        for (const QPointF &p : view->series()->points())
            if (p.x() == 3595) {
                low = qMin(low, p.y());
                high = qMax(high, p.y());
            }
        double lowest = 1e9, highest = -1e9;
        for (int i = 3595 * 50; i < 3596 * 50; ++i) {
            lowest = qMin(lowest, double((i * 37) % 1000));
            highest = qMax(highest, double((i * 37) % 1000));
        }
        QCOMPARE(low, lowest);
        QCOMPARE(high, highest);

        // Fit shows every kept point and leaves the view to the user.
        view->fitButton()->click();
        QCOMPARE(view->mode(), StripChartView::Mode::ZoomPan);
        QCOMPARE(view->xAxis()->min(), strip.points().time(0));
        QCOMPARE(view->xAxis()->max(), 3599.0);
        QVERIFY(view->yAxis()->min() < 0 && view->yAxis()->max() > 999);
        QVERIFY(view->series()->count() <= 4 * (3600 - int(strip.points().time(0)) + 3));
    }

    void savingThePicture()
    {
        SimRig rig;
        Chart chart(rig.program->liveParts());
        chart.display().start();
        chart.resize(700, 500);
        QTemporaryDir dir;
        rig.prompts.fileNames << dir.filePath(QStringLiteral("plot")) << QStringLiteral("/nonexistent/dir/plot.png");
        chart.iStripChartX1->saveButton()->click();
        QCOMPARE(rig.prompts.fileQuestions.size(), 1);
        QVERIFY(rig.prompts.fileQuestions.first().filter.contains(QStringLiteral("*.png")));
        const QImage saved(dir.filePath(QStringLiteral("plot.png")));
        QVERIFY(!saved.isNull());
        QVERIFY(saved.width() > 100);
        QVERIFY(rig.prompts.shown.isEmpty());
        // A file that cannot be written is said, with where.
        chart.iStripChartX1->saveButton()->click();
        QCOMPARE(rig.prompts.shown.size(), 1);
        QVERIFY(rig.prompts.shown.first().text.startsWith(QStringLiteral("The chart was not saved to /nonexistent/dir/plot.png")));
        // Cancelled: nothing happens.
        chart.iStripChartX1->saveButton()->click();
        QCOMPARE(rig.prompts.shown.size(), 1);
    }

    // From the main window: a double-click opens the display, a second one is refused while it
    // runs, STOP ends it; lines without a row and no selection.
    void doubleClickOnTheDataWindow()
    {
        SimRig rig(SimRig::profileWith({{QStringLiteral("0C"), QStringLiteral("0CB4")},
                                        {QStringLiteral("06"), QStringLiteral("7E")}}));
        NoPrinter printer;
        frmMain window(*rig.program, printer);
        window.show();
        rig.connect();
        rig.program->currentData.request();
        auto *list = window.findChild<QListView *>(QStringLiteral("List1"));
        QVERIFY(list);

        // No line selected: ignored.
        emit list->doubleClicked(QModelIndex());
        QVERIFY(window.findChildren<Chart *>().isEmpty());
        QVERIFY(rig.prompts.shown.isEmpty());

        const auto &pids = rig.program->pids.PID_list;
        const int line = int(std::find(pids.begin(), pids.end(), 0x0C) - pids.begin());
        QVERIFY(line < int(pids.size()));
        const QModelIndex index = list->model()->index(line, 0);
        list->setCurrentIndex(index);
        QString shown;
        int charts = 0;
        QTimer::singleShot(300, &window, [&] {
            Chart *chart = window.findChild<Chart *>(QStringLiteral("Chart"));
            QVERIFY(chart);
            QVERIFY(chart->isVisible());
            emit list->doubleClicked(index); // refused: the running one goes on
            charts = int(window.findChildren<Chart *>().size());
            shown = chart->txbValue->text();
            chart->Stop1->click();
            QVERIFY(chart->isHidden());
        });
        emit list->doubleClicked(index);
        QCOMPARE(charts, 1);
        QCOMPARE(shown, QStringLiteral("813 RPM"));
        QTRY_VERIFY(window.findChildren<Chart *>().isEmpty());
        QVERIFY(window.isVisible());

        // A line whose PID has no row: the message, and the window closes again.
        rig.program->pids.PID_list[size_t(line)] = 0x13;
        emit list->doubleClicked(index);
        QCOMPARE(rig.prompts.texts(), QStringList{QStringLiteral("No Data Selected")});
        QTRY_VERIFY(window.findChildren<Chart *>().isEmpty());
    }

    void fuelTrimWindowFromTheMenu()
    {
        SimRig rig(SimRig::profileWith({{QStringLiteral("06"), QStringLiteral("7E")}, {QStringLiteral("07"), QStringLiteral("80")}}));
        NoPrinter printer;
        frmMain window(*rig.program, printer);
        window.show();
        rig.connect();
        rig.program->currentData.request();
        auto *menu = window.findChild<QAction *>(QStringLiteral("mnuFTM"));
        QVERIFY(menu && menu->isEnabled());
        frmFuel_Trim *first = nullptr;
        for (int run = 0; run < 2; ++run) {
            QTimer::singleShot(200, &window, [&] {
                auto *w = window.findChild<frmFuel_Trim *>(QStringLiteral("frmFuel_Trim"));
                QVERIFY(w && w->isVisible());
                if (!first)
                    first = w;
                QCOMPARE(w, first); // created once
                QCOMPARE(w->Label5->text(), QStringLiteral("Fuel Trim Monitor Window"));
                QCOMPARE(w->Command1->text(), QStringLiteral("EXIT"));
                QVERIFY(w->Option1->isHidden());
                menu->trigger(); // a second start while it runs is refused
                w->Command1->click();
            });
            menu->trigger();
            QVERIFY(first && first->isHidden());
            QCOMPARE(first->Label1->text(), QStringLiteral("Short Term Fuel Trim B1---- -2%"));
            QCOMPARE(first->Label2->text(), QStringLiteral("Long  Term Fuel Trim B1---- 0%"));
            QCOMPARE(first->Label3->text(), QString());
            QCOMPARE(first->Label4->text(), QString());
        }
    }
};

QTEST_MAIN(tst_chart_window)
#include "tst_chart_window.moc"
