// The millisecond stopwatch on the clock it is given, exact to the millisecond.
#include "ManualClock.h"

#include "core/Timing.h"

#include <QtTest>

using quenta::Timing;

class tst_timing : public QObject {
    Q_OBJECT
private slots:
    void onAManualClock()
    {
        ManualClock clock;
        clock.now = 1'000'000;
        Timing t(clock);
        QCOMPARE(t.ElapsedTime(), 0.0); // before any Finish
        QCOMPARE(t.CurrentTime(), 1000.0); // without a Start: the clock's own reading
        t.Start();
        clock.now += 1234;
        QCOMPARE(t.CurrentTime(), 1.234);
        QCOMPARE(t.ElapsedTime(), 0.0);
        t.Finish();
        clock.now += 1000;
        QCOMPARE(t.ElapsedTime(), 1.234); // fixed by Finish
        QCOMPARE(t.CurrentTime(), 2.234); // keeps running
        t.Start();
        QCOMPARE(t.ElapsedTime(), 0.0);
    }

    // The system clock and the stopwatch's tick count are one monotonic clock.
    void systemTicks()
    {
        const quenta::Clock clock;
        const std::int64_t before = Timing::tickCount();
        const std::int64_t ms = clock.tickMs();
        const std::int64_t after = Timing::tickCount();
        QVERIFY(before <= ms && ms <= after);
    }
};

QTEST_APPLESS_MAIN(tst_timing)
#include "tst_timing.moc"
