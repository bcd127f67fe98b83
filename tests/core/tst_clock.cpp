// The one clock: waits that their own waker ends at once and nothing else does, and timers on the
// clock, on the system clock (real time) and on the tests' manual clock (time in order, no waiting).
#include "ManualClock.h"

#include "core/Clock.h"
#include "core/Timing.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace quenta;

namespace {
// Something that signals, as a port's readyRead does.
struct Signaller : QObject {
    Q_OBJECT
public:
    void ring() { emit rang(); }
signals:
    void rang();
};
} // namespace

class tst_clock : public QObject {
    Q_OBJECT
private slots:
    void systemWaitLastsItsTime()
    {
        Clock clock;
        QElapsedTimer t;
        t.start();
        clock.wait(60);
        QVERIFY2(t.elapsed() >= 59 && t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(clock.tickMs() - Timing::tickCount() <= 1);
    }

    // The waker's signal ends the wait at once; another waker's, or wake(), does not.
    void systemWaitEndsOnItsWakerOnly()
    {
        Clock clock;
        Signaller line, other;
        Waker waker;
        waker.listen(&line, &Signaller::rang);
        Waker elsewhere;
        elsewhere.listen(&other, &Signaller::rang);
        QTimer::singleShot(20, &other, &Signaller::ring);
        QTimer::singleShot(30, &clock, [&clock] { clock.wake(); });
        QTimer::singleShot(60, &line, &Signaller::ring);
        QElapsedTimer t;
        t.start();
        clock.wait(5000, waker);
        QVERIFY2(t.elapsed() >= 59 && t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));

        // wait(ms) is ended by wake().
        QTimer::singleShot(20, &clock, [&clock] { clock.wake(); });
        t.start();
        clock.wait(5000);
        QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
    }

    void systemTimers()
    {
        Clock clock;
        ClockTimer once(clock), every(clock);
        once.setSingleShot(true);
        int onceFired = 0, everyFired = 0;
        connect(&once, &ClockTimer::timeout, this, [&] {
            QVERIFY(!once.isActive()); // a single shot is over when its timeout comes
            ++onceFired;
        });
        connect(&every, &ClockTimer::timeout, this, [&] { ++everyFired; });
        once.start(30);
        every.start(10);
        QVERIFY(once.isActive() && every.isActive());
        QTRY_COMPARE_WITH_TIMEOUT(onceFired, 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(everyFired >= 3, 5000);
        every.stop();
        QVERIFY(!every.isActive());
        const int stoppedAt = everyFired;
        QTest::qWait(50);
        QCOMPARE(everyFired, stoppedAt);
        QCOMPARE(onceFired, 1);
    }

    // On the manual clock a wait moves the time, and the timers it passes fire in the order due;
    // a timer that wakes the wait ends it at its own time.
    void manualTimersFireInTimeOrder()
    {
        ManualClock clock;
        QList<std::pair<std::int64_t, QString>> fired;
        ClockTimer a(clock), b(clock), periodic(clock);
        a.setSingleShot(true);
        b.setSingleShot(true);
        connect(&a, &ClockTimer::timeout, this, [&] { fired << std::pair{clock.now, QStringLiteral("a")}; });
        connect(&b, &ClockTimer::timeout, this, [&] { fired << std::pair{clock.now, QStringLiteral("b")}; });
        connect(&periodic, &ClockTimer::timeout, this, [&] { fired << std::pair{clock.now, QStringLiteral("p")}; });
        b.start(25);
        a.start(10);
        periodic.start(10);
        clock.wait(35);
        QCOMPARE(clock.now, 35);
        const QList<std::pair<std::int64_t, QString>> expected{
            {10, QStringLiteral("a")}, {10, QStringLiteral("p")}, {20, QStringLiteral("p")},
            {25, QStringLiteral("b")}, {30, QStringLiteral("p")}};
        QCOMPARE(fired, expected);
        QVERIFY(!a.isActive() && !b.isActive() && periodic.isActive());

        // Restarted, a timer counts from now; stopped, it never fires.
        fired.clear();
        periodic.start(100);
        a.start(5);
        a.stop();
        Signaller line;
        Waker waker;
        waker.listen(&line, &Signaller::rang);
        b.start(40);
        connect(&b, &ClockTimer::timeout, &line, &Signaller::ring);
        clock.wait(1000, waker);
        QCOMPARE(clock.now, 75);
        QCOMPARE(fired, (QList<std::pair<std::int64_t, QString>>{{75, QStringLiteral("b")}}));
        QCOMPARE(clock.waits, 2);
    }

    // A time the test moved past a periodic timer: it fires once, then a period after now.
    void manualPeriodicCatchesUpOnce()
    {
        ManualClock clock;
        ClockTimer periodic(clock);
        QList<std::int64_t> at;
        connect(&periodic, &ClockTimer::timeout, this, [&] { at << clock.now; });
        periodic.start(10);
        clock.now += 55;
        clock.wait(20);
        QCOMPARE(at, (QList<std::int64_t>{55, 65, 75}));
        // A zero-length wait runs what is due now, and moves nothing.
        clock.now = 85;
        clock.wait(0);
        QCOMPARE(at.last(), 85);
        QCOMPARE(clock.now, 85);
    }

    void manualTimerGoneIsForgotten()
    {
        ManualClock clock;
        int fired = 0;
        {
            ClockTimer t(clock);
            connect(&t, &ClockTimer::timeout, this, [&] { ++fired; });
            t.start(10);
        }
        clock.after(20, [&] { ++fired; });
        clock.wait(100);
        QCOMPARE(fired, 1);
    }
};

QTEST_GUILESS_MAIN(tst_clock)
#include "tst_clock.moc"
