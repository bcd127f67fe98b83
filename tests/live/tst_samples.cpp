// The sample model the live windows and the CLI read: columns, appending, missing values, the
// bounded ring of recent rows and the model signals views follow. Qt's model tester watches every
// change for inconsistent signals.
#include "live/Samples.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>
#include <cmath>
#include <deque>
#include <limits>

using quenta::SampleColumn;
using quenta::Samples;

namespace {

const QList<SampleColumn> Wideband{{"Lambda", ""}, {"A/F Ratio", ""}, {"RPM", "rpm"}};

// A row whose values are derived from its number, so any row can be checked for being the right one.
QList<std::optional<double>> rowValues(int n) { return {n * 0.01, 14.7 + n, 800.0 + n}; }

QStringList headers(const Samples &s, int role)
{
    QStringList out;
    for (int c = 0; c < s.columnCount(); ++c)
        out << s.headerData(c, Qt::Horizontal, role).toString();
    return out;
}

} // namespace

class tst_samples : public QObject {
    Q_OBJECT
private slots:
    void columns()
    {
        Samples s;
        QAbstractItemModelTester tester(&s, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QCOMPARE(s.columnCount(), 1); // the time alone
        QVERIFY(s.append(0.1, {}));
        QSignalSpy reset(&s, &QAbstractItemModel::modelReset);

        s.setColumns(Wideband);
        QCOMPARE(reset.size(), 1);
        QCOMPARE(s.rowCount(), 0); // rows of other columns do not carry over
        QCOMPARE(s.appendedCount(), 0);
        QCOMPARE(s.columnCount(), 4);
        QCOMPARE(s.parameterCount(), 3);
        QCOMPARE(headers(s, Qt::DisplayRole), (QStringList{"Elapsed Time", "Lambda", "A/F Ratio", "RPM"}));
        QCOMPARE(headers(s, Samples::UnitsRole), (QStringList{"s", "", "", "rpm"}));
        QCOMPARE(s.column(3), (SampleColumn{"RPM", "rpm"}));
        QCOMPARE(s.column(4), SampleColumn{});
        QCOMPARE(s.column(-1), SampleColumn{});
        QVERIFY(!s.headerData(4, Qt::Horizontal).isValid());

        s.setColumns({});
        QCOMPARE(s.columnCount(), 1);
        QCOMPARE(s.columns(), QList<SampleColumn>{});
    }

    void appendAndMissingValues_data()
    {
        QTest::addColumn<double>("given");
        QTest::addColumn<bool>("missing");
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("a number") << 1.25 << false;
        QTest::newRow("zero is a value") << 0.0 << false;
        QTest::newRow("negative") << -40.0 << false;
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << true;
        QTest::newRow("infinity") << inf << true;
        QTest::newRow("minus infinity") << -inf << true;
    }
    void appendAndMissingValues()
    {
        QFETCH(double, given);
        QFETCH(bool, missing);
        Samples s;
        s.setColumns(Wideband);
        QVERIFY(s.append(0.25, {given, std::nullopt, 812}));
        QCOMPARE(s.rowCount(), 1);
        QCOMPARE(s.time(0), 0.25);
        QCOMPARE(s.data(s.index(0, 0)), QVariant(0.25));
        QCOMPARE(s.value(0, 3), std::optional<double>(812));
        // An entry not read is missing, never a number.
        QCOMPARE(s.value(0, 2), std::nullopt);
        QVERIFY(!s.data(s.index(0, 2)).isValid());
        if (missing) {
            QCOMPARE(s.value(0, 1), std::nullopt);
            QVERIFY(!s.data(s.index(0, 1)).isValid());
            QVERIFY(!s.data(s.index(0, 1), Qt::EditRole).isValid());
        } else {
            QCOMPARE(s.value(0, 1), std::optional<double>(given));
            QCOMPARE(s.data(s.index(0, 1), Qt::EditRole), QVariant(given));
        }
        // Outside the table nothing is there.
        QCOMPARE(s.value(1, 1), std::nullopt);
        QCOMPARE(s.value(0, 4), std::nullopt);
        QVERIFY(!s.data(s.index(0, 1), Qt::DecorationRole).isValid());
    }

    void refusedRows_data()
    {
        QTest::addColumn<double>("time");
        QTest::addColumn<int>("entries");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("later time") << 2.5 << 3 << true;
        QTest::newRow("same time as the last row") << 2.0 << 3 << true;
        QTest::newRow("earlier than the last row") << 1.999 << 3 << false;
        QTest::newRow("time not a number") << std::numeric_limits<double>::quiet_NaN() << 3 << false;
        QTest::newRow("time infinite") << std::numeric_limits<double>::infinity() << 3 << false;
        QTest::newRow("one entry short") << 3.0 << 2 << false;
        QTest::newRow("one entry too many") << 3.0 << 4 << false;
        QTest::newRow("no entries") << 3.0 << 0 << false;
    }
    void refusedRows()
    {
        QFETCH(double, time);
        QFETCH(int, entries);
        QFETCH(bool, accepted);
        Samples s;
        s.setColumns(Wideband);
        QVERIFY(s.append(2.0, rowValues(1)));
        QSignalSpy inserted(&s, &QAbstractItemModel::rowsInserted);
        QList<std::optional<double>> values(entries, 1.0);
        QCOMPARE(s.append(time, values), accepted);
        QCOMPARE(s.rowCount(), accepted ? 2 : 1);
        QCOMPARE(s.appendedCount(), accepted ? 2 : 1);
        QCOMPARE(inserted.size(), accepted ? 1 : 0);
        QCOMPARE(s.value(0, 3), rowValues(1)[2]); // the row before is untouched
    }

    // The most recent `capacity` rows are kept, in order; the count of appended rows goes on.
    void capacity_data()
    {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<int>("appended");
        for (const int capacity : {1, 2, 5}) {
            for (const int appended : {capacity - 1, capacity, capacity + 1, 2 * capacity + 1, 50 * capacity + 3}) {
                if (appended >= 0)
                    QTest::addRow("capacity %d, %d rows", capacity, appended) << capacity << appended;
            }
        }
    }
    void capacity()
    {
        QFETCH(int, capacity);
        QFETCH(int, appended);
        Samples s(capacity);
        s.setColumns(Wideband);
        QAbstractItemModelTester tester(&s, QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy removed(&s, &QAbstractItemModel::rowsRemoved);
        for (int n = 1; n <= appended; ++n)
            QVERIFY(s.append(n * 0.1, rowValues(n)));

        const int kept = qMin(capacity, appended);
        QCOMPARE(s.capacity(), capacity);
        QCOMPARE(s.rowCount(), kept);
        QCOMPARE(s.appendedCount(), appended);
        QCOMPARE(removed.size(), appended - kept); // one oldest row per append past the capacity
        for (int r = 0; r < kept; ++r) {
            const int n = appended - kept + r + 1;
            QCOMPARE(s.time(r), n * 0.1);
            for (int c = 1; c <= 3; ++c)
                QCOMPARE(s.value(r, c), rowValues(n)[c - 1]);
            QCOMPARE(s.headerData(r, Qt::Vertical).toLongLong(), n);
        }
    }

    // What a view following the table sees on each append: the oldest row leaves first, then the
    // new row arrives at the end, readable when rowsInserted is emitted.
    void signalsAViewFollows()
    {
        Samples s(3);
        s.setColumns(Wideband);
        QStringList seen;
        connect(&s, &QAbstractItemModel::rowsRemoved, this, [&](const QModelIndex &, int first, int last) {
            seen << QStringLiteral("removed %1-%2").arg(first).arg(last);
        });
        connect(&s, &QAbstractItemModel::rowsInserted, this, [&](const QModelIndex &, int first, int last) {
            seen << QStringLiteral("inserted %1-%2 t=%3 #%4")
                        .arg(first)
                        .arg(last)
                        .arg(s.data(s.index(first, Samples::TimeColumn)).toDouble())
                        .arg(s.appendedCount());
        });
        for (int n = 1; n <= 5; ++n)
            s.append(n, rowValues(n));
        QCOMPARE(seen, (QStringList{"inserted 0-0 t=1 #1", "inserted 1-1 t=2 #2", "inserted 2-2 t=3 #3",
                                    "removed 0-0", "inserted 2-2 t=4 #4", "removed 0-0", "inserted 2-2 t=5 #5"}));
        seen.clear();
        s.clear();
        QCOMPARE(seen, QStringList{"removed 0-2"});
        seen.clear();
        s.clear(); // nothing left to remove: no signal
        QCOMPARE(seen, QStringList{});
    }

    void clearStartsANewRun()
    {
        Samples s(4);
        s.setColumns(Wideband);
        QAbstractItemModelTester tester(&s, QAbstractItemModelTester::FailureReportingMode::QtTest);
        for (int n = 1; n <= 6; ++n)
            s.append(10.0 + n, rowValues(n));
        s.clear();
        QCOMPARE(s.rowCount(), 0);
        QCOMPARE(s.appendedCount(), 0);
        QCOMPARE(s.columns(), Wideband);
        // The stopwatch restarts with the run: an earlier time is accepted again.
        QVERIFY(s.append(0.1, rowValues(7)));
        QCOMPARE(s.appendedCount(), 1);
        QCOMPARE(s.headerData(0, Qt::Vertical).toLongLong(), 1);
        QCOMPARE(s.value(0, 3), rowValues(7)[2]);
        // The ring fills and wraps again from its start.
        for (int n = 8; n <= 12; ++n)
            QVERIFY(s.append(n, rowValues(n)));
        QCOMPARE(s.rowCount(), 4);
        QCOMPARE(s.time(0), 9.0);
        QCOMPARE(s.time(3), 12.0);
    }

    // Changing the capacity of a wrapped ring keeps the most recent rows in order, and appending
    // afterwards still evicts the oldest.
    void changedCapacity_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("appended");
        QTest::addColumn<int>("after");
        QTest::newRow("shrink a wrapped ring") << 5 << 7 << 3;
        QTest::newRow("shrink below the rows held, not wrapped") << 5 << 4 << 2;
        QTest::newRow("grow a wrapped ring") << 5 << 7 << 9;
        QTest::newRow("to one row") << 4 << 10 << 1;
        QTest::newRow("zero counts as one") << 4 << 10 << 0;
        QTest::newRow("same capacity") << 4 << 6 << 4;
    }
    void changedCapacity()
    {
        QFETCH(int, before);
        QFETCH(int, appended);
        QFETCH(int, after);
        Samples s(before);
        s.setColumns(Wideband);
        QAbstractItemModelTester tester(&s, QAbstractItemModelTester::FailureReportingMode::QtTest);
        std::deque<int> expected;
        auto add = [&](int n) {
            QVERIFY(s.append(n, rowValues(n)));
            expected.push_back(n);
            while (qsizetype(expected.size()) > s.capacity())
                expected.pop_front();
        };
        auto holdsExpected = [&] {
            QCOMPARE(s.rowCount(), int(expected.size()));
            for (int r = 0; r < s.rowCount(); ++r) {
                QCOMPARE(s.time(r), double(expected[size_t(r)]));
                QCOMPARE(s.value(r, 2), rowValues(expected[size_t(r)])[1]);
            }
        };
        for (int n = 1; n <= appended; ++n)
            add(n);
        s.setCapacity(after);
        QCOMPARE(s.capacity(), qMax(1, after));
        while (qsizetype(expected.size()) > s.capacity())
            expected.pop_front();
        holdsExpected();
        for (int n = appended + 1; n <= appended + 2 * before + 3; ++n) {
            add(n);
            holdsExpected();
        }
        QCOMPARE(s.appendedCount(), appended + 2 * before + 3);
    }
};

QTEST_GUILESS_MAIN(tst_samples)
#include "tst_samples.moc"
