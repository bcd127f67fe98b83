// The decoder table checks itself: one row per PID in order, one decoder per name, exactly the
// PIDs the walk lists, and formulas that work on bytes alone, without a tool.
#include "pids/Decoders.h"
#include "pids/numtext.h"
#include "pids/PidWalker.h"

#include <QSet>
#include <QtTest>

using namespace quenta;

class tst_decoder_table : public QObject {
    Q_OBJECT
private slots:
    void pidsAscendAndAreUnique()
    {
        const QList<int> pids = Decoders::valuePids();
        QVERIFY(pids.size() > 50);
        for (qsizetype i = 1; i < pids.size(); ++i)
            QVERIFY2(pids[i - 1] < pids[i], qPrintable(QStringLiteral("row %1 (PID %2)").arg(i).arg(pids[i], 0, 16)));
    }

    void decoderNamesAreUniqueAndNamed()
    {
        QSet<QString> seen;
        for (int pid : Decoders::valuePids()) {
            const QString name = Decoders::decoderName(pid);
            QVERIFY2(name.startsWith(QLatin1String("get_")), qPrintable(name));
            QVERIFY2(!seen.contains(name), qPrintable(name));
            seen.insert(name);
        }
    }

    // A row the walk never reaches is dead; a line bit without a row lists nothing.
    void walkListsExactlyTheValueDecoders()
    {
        QList<int> listed = PidWalker::listedPids();
        std::sort(listed.begin(), listed.end());
        QCOMPARE(listed, Decoders::valuePids());
    }

    void formulasOnBytesAlone_data()
    {
        QTest::addColumn<int>("pid");
        QTest::addColumn<QList<int>>("bytes");
        QTest::addColumn<bool>("metric");
        QTest::addColumn<QString>("line");
        QTest::addColumn<double>("value");
        // Expected texts worked out by hand from the formulas of each PID.
        QTest::newRow("RPM 0x0CB4 = 3252/4") << 0x0C << QList<int>{0x0C, 0xB4} << false
                                             << "Engine RPM ------------- 813RPM" << 813.0 / 25;
        QTest::newRow("coolant 123-40 = 83 C") << 0x05 << QList<int>{123} << true << "Coolant Temp -----------  83Deg C" << 123.0;
        QTest::newRow("coolant 83 C = 181.4 F, whole") << 0x05 << QList<int>{123} << false
                                                       << "Coolant Temp -----------  181Deg F" << 123.0;
        QTest::newRow("speed 33 km/h = 20.13 mph") << 0x0D << QList<int>{33} << false << "Speed ------------------ 20.13MPH" << 33.0;
        QTest::newRow("metric label and units of PID 31") << 0x31 << QList<int>{0x01, 0x00} << true
                                                          << "Dist. since CLR ------- 256kM" << 256.0;
        QTest::newRow("evap pressure below zero") << 0x32 << QList<int>{0xFF, 0xFC} << true
                                                  << "EVAP press. ----------- -1Pa" << -4.0;
    }
    void formulasOnBytesAlone()
    {
        QFETCH(int, pid);
        QFETCH(QList<int>, bytes);
        QFETCH(bool, metric);
        QFETCH(QString, line);
        QFETCH(double, value);
        std::array<int, 4> b{};
        for (qsizetype i = 0; i < bytes.size(); ++i)
            b[size_t(i)] = bytes[i];
        const std::optional<Reading> r = Decoders::evaluate(pid, b, metric);
        QVERIFY(r);
        QCOMPARE(r->pid, pid);
        QCOMPARE(r->label + r->text + r->units, line);
        QCOMPARE(r->recordValue, value);
        // What logs and charts take is the number the line shows, not the record's.
        QCOMPARE(r->value, numtext::leadingNumber(r->text));
    }

    void noFormulaNoReading()
    {
        QVERIFY(!Decoders::evaluate(0x01, {}, false)); // a status PID
        QVERIFY(!Decoders::evaluate(Decoders::MileagePid, {}, false)); // computed from other PIDs
        QVERIFY(!Decoders::evaluate(0x60, {}, false));
    }
};

QTEST_GUILESS_MAIN(tst_decoder_table)
#include "tst_decoder_table.moc"
