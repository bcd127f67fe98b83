// The live displays' table: which PIDs they show, their Y ranges, and the value texts in each
// row's form, in both unit systems, from readings the decoders give for known data bytes.
#include "live/ParameterDisplay.h"

#include <QtTest>

using namespace quenta;

namespace {
Reading readingOf(int pid, const QList<int> &bytes, bool metric)
{
    std::array<int, 4> b{};
    for (qsizetype i = 0; i < bytes.size(); ++i)
        b[size_t(i)] = bytes[i];
    const std::optional<Reading> r = Decoders::evaluate(pid, b, metric);
    if (r)
        return *r;
    Reading none;
    none.pid = pid;
    none.label = QStringLiteral("label ");
    none.units = QStringLiteral("units");
    return none;
}
} // namespace

class tst_parameter_display : public QObject {
    Q_OBJECT
private slots:
    void rowsOfTheTable_data()
    {
        QTest::addColumn<int>("pid");
        QTest::addColumn<QList<int>>("bytes");
        QTest::addColumn<bool>("metric");
        QTest::addColumn<double>("yMin");
        QTest::addColumn<double>("yMax");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("value");
        // 94 / 255 is 36.9 %: the load decoder gives the whole 36, shown with one decimal.
        QTest::newRow("load, hundredths, no unit") << 0x04 << QList<int>{95} << false << 10.0 << 50.0
                                                   << "Calculated Load -------- " << "37.0%";
        QTest::newRow("coolant, whole number") << 0x05 << QList<int>{123} << false << 150.0 << 180.0
                                               << "Coolant Temp -----------  " << "181 Deg F";
        QTest::newRow("coolant metric") << 0x05 << QList<int>{123} << true << 150.0 << 180.0
                                        << "Coolant Temp -----------  " << "83 Deg C";
        QTest::newRow("fuel pressure as decoded") << 0x0A << QList<int>{10} << false << 20.0 << 70.0
                                                  << "Fuel Pressure ---------- " << "30KPa";
        QTest::newRow("RPM") << 0x0C << QList<int>{0x0C, 0xB4} << false << 500.0 << 2000.0
                             << "Engine RPM ------------- " << "813 RPM";
        QTest::newRow("speed rounds") << 0x0D << QList<int>{33} << false << 0.0 << 20.0
                                      << "Speed ------------------ " << "20 MPH";
        // 40 / 255 is 15.7 %, rounded 16, less 12, times 1.5.
        QTest::newRow("throttle 6 %") << 0x11 << QList<int>{0x28} << false << 0.0 << 100.0
                                      << "Throttle Position ------ " << "06.0% ";
        QTest::newRow("O2 voltage") << 0x15 << QList<int>{0x5A} << false << 0.0 << 1.25
                                    << "O2 Sensor2 Val --------- " << "0.450  Volts";
        QTest::newRow("wide range lambda, fixed label") << 0x26 << QList<int>{0x80, 0x00} << false << 0.0 << 1.999
                                                        << "Wide Range O2 Sensor Lambda" << "0.999  Lambda";
        QTest::newRow("wide range current type") << 0x3B << QList<int>{0x80, 0x00} << true << 0.0 << 1.999
                                                 << "Wide Range O2 Sensor Lambda" << "0.999  Lambda";
        QTest::newRow("evap pressure below zero") << 0x32 << QList<int>{0xFF, 0xFC} << true << -8200.0 << 8200.0
                                                  << "EVAP press. ----------- " << "-1.000 Pa";
        QTest::newRow("ambient one decimal") << 0x46 << QList<int>{60} << true << -40.0 << 220.0
                                             << "Ambiant Air Temp ------ " << "20.0 Deg C";
        QTest::newRow("minutes since clear") << 0x4E << QList<int>{0x01, 0x00} << false << 0.0 << 2000.0
                                             << "Min. Since TC Clear--- " << "256 Min.";
    }
    void rowsOfTheTable()
    {
        QFETCH(int, pid);
        QFETCH(QList<int>, bytes);
        QFETCH(bool, metric);
        QFETCH(double, yMin);
        QFETCH(double, yMax);
        QFETCH(QString, label);
        QFETCH(QString, value);
        const DisplayRow *row = displayRowOf(pid);
        QVERIFY(row);
        QCOMPARE(row->yMin, yMin);
        QCOMPARE(row->yMax, yMax);
        const Reading r = readingOf(pid, bytes, metric);
        QCOMPARE(displayLabel(*row, r), label);
        QCOMPARE(displayValue(*row, r), value);
    }

    void pidsWithoutARow()
    {
        for (int pid : {0x00, 0x01, 0x06, 0x09, 0x13, 0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x40, 0x41, 0x4F, 0x60, -1})
            QVERIFY2(!displayRowOf(pid), qPrintable(QString::number(pid, 16)));
    }

    // Every PID the displays show has a value decoder, and no row overlaps another.
    void everyRowHasItsDecoders()
    {
        int previousLast = 0;
        for (const DisplayRow &row : displayRows()) {
            QVERIFY(row.first > previousLast);
            QVERIFY(row.first <= row.last);
            QVERIFY(row.yMin < row.yMax);
            for (int pid = row.first; pid <= row.last; ++pid)
                QVERIFY2(Decoders::hasValueDecoder(pid), qPrintable(QString::number(pid, 16)));
            previousLast = row.last;
        }
    }

    void hundredthsKeepTheirForm()
    {
        Reading r = readingOf(0x11, {0x28}, false);
        r.text = QStringLiteral("5");
        r.value = 5;
        QCOMPARE(displayValue(*displayRowOf(0x11), r), QStringLiteral("05.0% "));
        r.text = QStringLiteral("37");
        r.value = 37;
        QCOMPARE(displayValue(*displayRowOf(0x04), r), QStringLiteral("37.0%"));
    }

    void noGoodReplyShowsNoValue()
    {
        Reading r = readingOf(0x0C, {0x0C, 0xB4}, false);
        r.valid = false;
        r.text.clear();
        QCOMPARE(displayValue(*displayRowOf(0x0C), r), QString());
    }
};

QTEST_GUILESS_MAIN(tst_parameter_display)
#include "tst_parameter_display.moc"
