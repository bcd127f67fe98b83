// The models the live windows and the CLI read: the sample model (under Qt's model tester), the
// strip chart on the manual clock, and the displays' parameter table.
#include "ManualClock.h"

#include "live/ParameterDisplay.h"
#include "live/StripChart.h"

#include <QAbstractItemModelTester>
#include <QtTest>
#include <deque>
#include <limits>

using namespace quenta;

namespace {
const QList<SampleColumn> Wideband{{"Lambda", ""}, {"A/F Ratio", ""}, {"RPM", "rpm"}};
// A row whose values follow from its number, so any row can be checked for being the right one.
QList<std::optional<double>> rowValues(int n) { return {n * 0.01, 14.7 + n, 800.0 + n}; }
const double NaN = std::numeric_limits<double>::quiet_NaN(), Inf = std::numeric_limits<double>::infinity();
} // namespace

class tst_live_models : public QObject {
    Q_OBJECT
private slots:
    void sampleColumnsAndValues()
    {
        Samples s;
        QAbstractItemModelTester tester(&s, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(s.append(0.1, {}));
        s.setColumns(Wideband);
        QCOMPARE(s.rowCount(), 0); // rows of other columns do not carry over
        QCOMPARE(s.columnCount(), 4);
        QStringList headers;
        for (int c = 0; c < 4; ++c)
            headers << s.headerData(c, Qt::Horizontal).toString() + '/' + s.headerData(c, Qt::Horizontal, Samples::UnitsRole).toString();
        QCOMPARE(headers, (QStringList{"Elapsed Time/s", "Lambda/", "A/F Ratio/", "RPM/rpm"}));
        QVERIFY(!s.headerData(4, Qt::Horizontal).isValid());
        for (int c : {-1, 4}) // the time is column 0; nothing before it or past the last
            QCOMPARE(s.column(c), SampleColumn());
        // An entry not read, or not a finite number, is missing, never a number.
        QVERIFY(s.append(0.25, {NaN, std::nullopt, 812}));
        QVERIFY(s.append(0.25, {-Inf, 0.0, Inf}));
        QVERIFY(s.value(0, 3) == std::optional<double>(812) && s.value(1, 2) == std::optional<double>(0));
        for (const auto &[row, column] : {std::pair{0, 1}, {0, 2}, {1, 1}, {1, 3}, {2, 1}, {0, 4}})
            QVERIFY(s.value(row, column) == std::nullopt && !s.data(s.index(row, column)).isValid());
        QCOMPARE(s.data(s.index(0, 0)), QVariant(0.25));
        // Refused: an earlier or non-finite time, a wrong number of entries; the rows stay.
        for (const auto &[time, entries] : {std::pair{0.2, 3}, {NaN, 3}, {Inf, 3}, {1.0, 2}, {1.0, 4}, {1.0, 0}})
            QVERIFY(!s.append(time, QList<std::optional<double>>(entries, 1.0)));
        QCOMPARE(s.rowCount(), 2);
        s.setColumns({});
        QCOMPARE(s.columnCount(), 1);
    }

    // The newest `capacity` rows in order, across a change of capacity too; the count goes on; a view sees the oldest leave first.
    void theRingOfRecentRows()
    {
        for (const auto &[before, appended, after] : {std::tuple{1, 3, 1}, {2, 2, 2}, {5, 7, 3}, {5, 4, 2}, {5, 7, 9}, {4, 10, 0}, {5, 253, 5}}) {
            Samples s(before);
            s.setColumns(Wideband);
            QAbstractItemModelTester tester(&s, QAbstractItemModelTester::FailureReportingMode::QtTest);
            std::deque<int> expected;
            auto add = [&](int n) {
                QVERIFY(s.append(n, rowValues(n)));
                expected.push_back(n);
                while (qsizetype(expected.size()) > s.capacity())
                    expected.pop_front();
                QCOMPARE(s.rowCount(), int(expected.size()));
                for (int r = 0; r < s.rowCount(); ++r)
                    QVERIFY(s.time(r) == double(expected[size_t(r)]) && s.value(r, 2) == rowValues(expected[size_t(r)])[1]
                            && s.headerData(r, Qt::Vertical).toLongLong() == expected[size_t(r)]);
            };
            for (int n = 1; n <= appended; ++n)
                add(n);
            s.setCapacity(after);
            QCOMPARE(s.capacity(), qMax(1, after));
            for (int n = appended + 1; n <= appended + 2 * before + 3; ++n)
                add(n);
            QCOMPARE(s.appendedCount(), appended + 2 * before + 3);
        }
        Samples s(3);
        s.setColumns(Wideband);
        QStringList seen;
        connect(&s, &QAbstractItemModel::rowsRemoved, this, [&](const QModelIndex &, int first, int last) {
            seen << QStringLiteral("removed %1-%2").arg(first).arg(last);
        });
        connect(&s, &QAbstractItemModel::rowsInserted, this, [&](const QModelIndex &, int first, int) {
            seen << QStringLiteral("inserted %1 t=%2 #%3").arg(first).arg(s.data(s.index(first, 0)).toDouble()).arg(s.appendedCount());
        });
        for (int n = 1; n <= 4; ++n)
            s.append(n, rowValues(n));
        s.clear();
        s.clear(); // nothing left to remove: no signal
        QCOMPARE(seen, (QStringList{"inserted 0 t=1 #1", "inserted 1 t=2 #2", "inserted 2 t=3 #3", "removed 0-0",
                                    "inserted 2 t=4 #4", "removed 0-2"}));
        // The stopwatch restarts with the run: an earlier time is accepted again.
        QVERIFY(s.appendedCount() == 0 && s.append(0.1, rowValues(7)) && s.headerData(0, Qt::Vertical).toLongLong() == 1);
    }

    void stripChart()
    {
        ManualClock clock;
        clock.now = 1'000'000'000; // far from 0, like a machine that has run for days
        StripChart chart(clock);
        QVERIFY2(!chart.addPoint(0, 0, 1), "no trace yet");
        chart.restartX();
        // The running x counts whole seconds from the restart; a clock that went back reads 0.
        for (const auto &[sinceMs, x] : {std::pair{0, 0}, {999, 0}, {1000, 1}, {10500, 10}, {3600001, 3600}, {-5000, 0}}) {
            const std::int64_t at = clock.now;
            clock.now += sinceMs;
            QCOMPARE(chart.runningX(), x);
            clock.now = at;
        }
        chart.addTrace(QStringLiteral("Channel 1"), 0x00FF00);
        QVERIFY2(!chart.addPoint(1, 0, 1), "only trace 0 exists");
        QVERIFY(!chart.addPoint(0, 0, NaN) && !chart.addPoint(0, 0, Inf));
        chart.setXMaximum(10);
        // The view follows once x passes the maximum.
        for (const auto &[x, from] : {std::pair{0.0, 0.0}, {10.0, 0.0}, {11.0, 1.0}, {250.0, 240.0}}) {
            QVERIFY(chart.addPoint(0, x, 1));
            QCOMPARE(chart.followingXRange(), (std::pair<double, double>{from, from + 10}));
        }
        // Bounded, the newest kept; an x earlier than the last continues from the last.
        chart.setHistory(100);
        for (int i = 0; i < 1000; ++i)
            chart.addPoint(0, 250 + i / 50, i);
        QVERIFY(chart.points().rowCount() == 100 && *chart.points().value(99, 1) == 999.0);
        QVERIFY(chart.addPoint(0, 0, 5) && chart.points().time(99) == 269.0);
        // The redraw waits until the point is in; a pair without a point asks for none.
        QSignalSpy changed(&chart, &StripChart::pointsChanged);
        chart.beginPoint();
        QVERIFY(chart.addPoint(0, 270, 1));
        QCOMPARE(changed.count(), 0);
        chart.endPoint();
        chart.beginPoint();
        chart.endPoint();
        QCOMPARE(changed.count(), 1);
        QSignalSpy axes(&chart, &StripChart::axesChanged);
        chart.setYMaximum(2000);
        chart.setYMaximum(2000); // the same value again: no redraw
        chart.setYTitle(QStringLiteral("RPM"));
        QCOMPARE(axes.count(), 2);
        chart.clearPoints();
        QVERIFY(chart.points().rowCount() == 0 && chart.yTitle() == QStringLiteral("RPM"));
    }

    // Which PIDs the displays show, their Y ranges and value texts, from the decoders' readings.
    void parameterTable()
    {
        const struct { int pid; QList<int> bytes; bool metric; double yMin, yMax; const char *label, *value; } rows[] = {
            {0x04, {95}, false, 10, 50, "Calculated Load -------- ", "37.0%"}, // the whole 36.9, one decimal
            {0x05, {123}, false, 150, 180, "Coolant Temp -----------  ", "181 Deg F"}, {0x05, {123}, true, 150, 180, "Coolant Temp -----------  ", "83 Deg C"},
            {0x0A, {10}, false, 20, 70, "Fuel Pressure ---------- ", "30KPa"}, {0x0D, {33}, false, 0, 20, "Speed ------------------ ", "20 MPH"},
            {0x11, {0x28}, false, 0, 100, "Throttle Position ------ ", "06.0% "}, // 16 less 12, times 1.5
            {0x15, {0x5A}, false, 0, 1.25, "O2 Sensor2 Val --------- ", "0.450  Volts"}, {0x46, {60}, true, -40, 220, "Ambiant Air Temp ------ ", "20.0 Deg C"},
            {0x3B, {0x80, 0x00}, true, 0, 1.999, "Wide Range O2 Sensor Lambda", "0.999  Lambda"},
            {0x32, {0xFF, 0xFC}, true, -8200, 8200, "EVAP press. ----------- ", "-1.000 Pa"},
            {0x4E, {0x01, 0x00}, false, 0, 2000, "Min. Since TC Clear--- ", "256 Min."}};
        for (const auto &r : rows) {
            const DisplayRow *row = displayRowOf(r.pid);
            QVERIFY(row && row->yMin == r.yMin && row->yMax == r.yMax);
            std::array<int, 4> b{};
            std::copy(r.bytes.begin(), r.bytes.end(), b.begin());
            std::optional<Reading> reading = Decoders::evaluate(r.pid, b, r.metric);
            QVERIFY(reading);
            QCOMPARE(displayLabel(*row, *reading) + '|' + displayValue(*row, *reading), QLatin1String(r.label) + '|' + QLatin1String(r.value));
            reading->valid = false; // no good reply shows no value
            reading->text.clear();
            QCOMPARE(displayValue(*row, *reading), QString());
        }
        for (int pid : {0x00, 0x01, 0x06, 0x13, 0x1C, 0x1F, 0x20, 0x40, 0x4F, 0x60, -1})
            QVERIFY2(!displayRowOf(pid), qPrintable(QString::number(pid, 16)));
        // Every PID shown has a value decoder, and no row overlaps another.
        int previousLast = 0;
        for (const DisplayRow &row : displayRows()) {
            QVERIFY(row.first > previousLast && row.first <= row.last && row.yMin < row.yMax);
            for (int pid = row.first; pid <= row.last; ++pid)
                QVERIFY2(Decoders::hasValueDecoder(pid), qPrintable(QString::number(pid, 16)));
            previousLast = row.last;
        }
    }
};

QTEST_GUILESS_MAIN(tst_live_models)
#include "tst_live_models.moc"
