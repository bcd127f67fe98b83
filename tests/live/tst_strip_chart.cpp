// The strip chart without a screen: the running x in whole seconds on an injected clock, the
// range that follows the data once x passes the X maximum, bounded points, refused points and
// the redraw held until a point is in.
#include "ManualClock.h"

#include "live/StripChart.h"

#include <QSignalSpy>
#include <QtTest>
#include <cmath>

using namespace quenta;

class tst_strip_chart : public QObject {
    Q_OBJECT
private slots:
    void runningXCountsWholeSecondsFromTheRestart_data()
    {
        QTest::addColumn<qint64>("sinceRestartMs");
        QTest::addColumn<int>("x");
        QTest::newRow("at the restart") << qint64(0) << 0;
        QTest::newRow("just short of a second") << qint64(999) << 0;
        QTest::newRow("one second") << qint64(1000) << 1;
        QTest::newRow("ten and a half") << qint64(10500) << 10;
        QTest::newRow("an hour") << qint64(3600 * 1000 + 1) << 3600;
        QTest::newRow("a clock that went back") << qint64(-5000) << 0;
    }
    void runningXCountsWholeSecondsFromTheRestart()
    {
        QFETCH(qint64, sinceRestartMs);
        QFETCH(int, x);
        ManualClock clock;
        clock.now = 1'000'000'000; // far from 0, like a machine that has run for days
        StripChart chart(clock);
        clock.now += 77'000;
        chart.restartX();
        clock.now += sinceRestartMs;
        QCOMPARE(chart.runningX(), x);
        // A restart starts again from 0.
        chart.restartX();
        QCOMPARE(chart.runningX(), 0);
    }

    void theViewFollowsOnceXPassesTheMaximum_data()
    {
        QTest::addColumn<QList<double>>("xs");
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::newRow("no points") << QList<double>{} << 0.0 << 10.0;
        QTest::newRow("within the range") << QList<double>{0, 3, 9} << 0.0 << 10.0;
        QTest::newRow("at the maximum") << QList<double>{10} << 0.0 << 10.0;
        QTest::newRow("one past") << QList<double>{10, 11} << 1.0 << 11.0;
        QTest::newRow("long past") << QList<double>{5, 250} << 240.0 << 250.0;
    }
    void theViewFollowsOnceXPassesTheMaximum()
    {
        QFETCH(QList<double>, xs);
        QFETCH(double, from);
        QFETCH(double, to);
        ManualClock clock;
        StripChart chart(clock);
        chart.addTrace(QStringLiteral("Channel 1"), 0x00FF00);
        chart.setXMinimum(0);
        chart.setXMaximum(10);
        for (double x : xs)
            QVERIFY(chart.addPoint(0, x, 1));
        const auto range = chart.followingXRange();
        QCOMPARE(range.first, from);
        QCOMPARE(range.second, to);
    }

    void pointsAreBoundedAndRefusedWhenTheyCannotBeDrawn()
    {
        ManualClock clock;
        StripChart chart(clock);
        QVERIFY2(!chart.addPoint(0, 0, 1), "no trace yet");
        chart.addTrace(QStringLiteral("Channel 1"), 0x00FF00);
        QVERIFY2(!chart.addPoint(1, 0, 1), "only trace 0 exists");
        QVERIFY(!chart.addPoint(0, 0, std::nan("")));
        QVERIFY(!chart.addPoint(0, 0, INFINITY));
        QCOMPARE(chart.points().rowCount(), 0);

        chart.setHistory(100);
        for (int i = 0; i < 100000; ++i)
            QVERIFY(chart.addPoint(0, i / 50, i));
        QCOMPARE(chart.points().rowCount(), 100);
        // The newest are the ones kept.
        QCOMPARE(*chart.points().value(99, 1), 99999.0);
        // An x earlier than the last (a restart without a clear) continues from the last.
        QVERIFY(chart.addPoint(0, 0, 5));
        QCOMPARE(chart.points().time(99), 1999.0);

        chart.setYTitle(QStringLiteral("RPM"));
        chart.clearPoints();
        QCOMPARE(chart.points().rowCount(), 0);
        QCOMPARE(chart.yTitle(), QStringLiteral("RPM"));
    }

    void theRedrawWaitsUntilThePointIsIn()
    {
        ManualClock clock;
        StripChart chart(clock);
        chart.addTrace(QStringLiteral("Channel 1"), 0x00FF00);
        QSignalSpy changed(&chart, &StripChart::pointsChanged);
        chart.beginPoint();
        QVERIFY(chart.addPoint(0, 0, 1));
        QCOMPARE(changed.count(), 0);
        chart.endPoint();
        QCOMPARE(changed.count(), 1);
        // A begin/end pair without a point asks for no redraw; a point outside a pair does at once.
        chart.beginPoint();
        chart.endPoint();
        QCOMPARE(changed.count(), 1);
        QVERIFY(chart.addPoint(0, 1, 2));
        QCOMPARE(changed.count(), 2);
    }

    void axesAndToolbarTellTheView()
    {
        ManualClock clock;
        StripChart chart(clock);
        QSignalSpy axes(&chart, &StripChart::axesChanged);
        QSignalSpy toolbar(&chart, &StripChart::toolbarVisibleChanged);
        chart.setYMaximum(2000);
        chart.setYMaximum(2000); // the same value again: no redraw
        chart.setYTitle(QStringLiteral("RPM"));
        QCOMPARE(axes.count(), 2);
        QVERIFY(chart.toolbarVisible());
        chart.setToolbarVisible(!chart.toolbarVisible());
        QCOMPARE(toolbar.count(), 1);
        QCOMPARE(toolbar.first().first().toBool(), false);
    }
};

QTEST_GUILESS_MAIN(tst_strip_chart)
#include "tst_strip_chart.moc"
