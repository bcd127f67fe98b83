// The one clock: a wait that its own waker ends and nothing else does, and timers on the system
// clock and on the tests' manual clock (time in order, no real waiting).
#include "ManualClock.h"

#include "core/Clock.h"

#include <QtTest>

using namespace quenta;

class tst_clock : public QObject {
    Q_OBJECT
private slots:
    // Only the waker given ends a wait: not another waker's signal, nor wake(); wait(ms) ends on
    // wake(). A bound that no healthy run reaches ends a wait that missed its waker.
    void systemWaits()
    {
        Clock clock;
        ClockTimer line(clock), other(clock), bound(clock);
        Waker waker, elsewhere;
        waker.listen(&line, &ClockTimer::timeout);
        elsewhere.listen(&other, &ClockTimer::timeout);
        bool late = false;
        connect(&bound, &ClockTimer::timeout, this, [&] { late = true, waker.wake(), clock.wake(); });
        bound.start(20000);
        const std::int64_t before = clock.tickMs();
        clock.wait(60);
        QVERIFY2(clock.tickMs() - before >= 59, qPrintable(QString::number(clock.tickMs() - before)));
        line.setSingleShot(true);
        line.start(60);
        other.start(20); // periodic: it keeps ringing the other waker
        QTimer::singleShot(30, &clock, [&clock] { clock.wake(); });
        clock.wait(600000, waker);
        QVERIFY(!line.isActive() && other.isActive() && !late); // a single shot is over once it fired
        QTimer::singleShot(20, &clock, [&clock] { clock.wake(); });
        clock.wait(600000);
        QVERIFY(!late);
    }

    // On the manual clock a wait moves the time and fires the timers it passes in the order due; restarted, a timer
    // counts from now; stopped or gone, it never fires; one that rings the wait's waker ends the wait at its time.
    void manualTimers()
    {
        ManualClock clock;
        QStringList fired;
        ClockTimer a(clock), b(clock), periodic(clock);
        auto gone = std::make_unique<ClockTimer>(clock);
        a.setSingleShot(true);
        b.setSingleShot(true);
        for (ClockTimer *timer : {&a, &b, &periodic, gone.get()})
            connect(timer, &ClockTimer::timeout, this, [&, timer] {
                fired << QStringLiteral("%1@%2").arg(timer == &a ? 'a' : timer == &b ? 'b' : timer == &periodic ? 'p' : '?').arg(clock.now);
            });
        b.start(25), a.start(10), periodic.start(10), gone->start(5);
        gone.reset();
        clock.wait(35);
        QCOMPARE(fired, (QStringList{"a@10", "p@10", "p@20", "b@25", "p@30"}));
        QVERIFY(!a.isActive() && !b.isActive() && periodic.isActive());

        fired.clear();
        periodic.start(100), a.start(5), a.stop();
        Waker waker;
        connect(&b, &ClockTimer::timeout, &waker, &Waker::wake);
        b.start(40);
        clock.wait(1000, waker);
        QCOMPARE(std::pair(clock.now, clock.waits), std::pair(std::int64_t(75), 2));
        periodic.start(10); // time moved past it: it fires once, then a period after now
        clock.now += 55;
        clock.wait(20);
        clock.now = 160;
        clock.wait(0); // runs what is due now, moves nothing
        QCOMPARE(fired, (QStringList{"b@75", "p@130", "p@140", "p@150", "p@160"}));
        QCOMPARE(clock.now, 160);
    }
};

QTEST_GUILESS_MAIN(tst_clock)
#include "tst_clock.moc"
