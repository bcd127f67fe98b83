// The millisecond stopwatch, on the system clock and on a manual one.
#include "ManualClock.h"

#include "core/Timing.h"

#include <QtTest>

using quenta::Timing;

class tst_timing : public QObject {
    Q_OBJECT
private slots:
    void readings()
    {
        const quenta::Clock clock;
        Timing t(clock);
        QCOMPARE(t.ElapsedTime(), 0.0); // before any Finish
        // Without a Start the running reading is the tick count itself.
        QVERIFY(qAbs(t.CurrentTime() - Timing::tickCount() / 1000.0) <= 0.002);
        QVERIFY(qAbs(clock.tickMs() - Timing::tickCount()) <= 2);
        t.Start();
        QVERIFY(t.CurrentTime() >= 0 && t.CurrentTime() < 0.05);
        QTest::qSleep(120);
        const double running = t.CurrentTime();
        QVERIFY2(running >= 0.119 && running < 1.0, qPrintable(QString::number(running)));
        QCOMPARE(t.ElapsedTime(), 0.0);
        t.Finish();
        const double elapsed = t.ElapsedTime();
        QVERIFY(elapsed >= running);
        QTest::qSleep(20);
        QCOMPARE(t.ElapsedTime(), elapsed); // fixed by Finish
        QVERIFY(t.CurrentTime() > elapsed);  // keeps running
        // Whole milliseconds.
        QCOMPARE(std::round(elapsed * 1000) / 1000, elapsed);
        t.Start();
        QCOMPARE(t.ElapsedTime(), 0.0);
    }

    // On the clock it is given: exact to the millisecond.
    void onAManualClock()
    {
        ManualClock clock;
        clock.now = 1'000'000;
        Timing t(clock);
        t.Start();
        clock.now += 1234;
        QCOMPARE(t.CurrentTime(), 1.234);
        t.Finish();
        clock.now += 1000;
        QCOMPARE(t.ElapsedTime(), 1.234);
        QCOMPARE(t.CurrentTime(), 2.234);
    }
};

QTEST_APPLESS_MAIN(tst_timing)
#include "tst_timing.moc"
