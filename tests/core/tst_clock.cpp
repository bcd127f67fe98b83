// The one clock: a wait that its own waker ends and nothing else does, and timers on the system
// clock.
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
};

QTEST_GUILESS_MAIN(tst_clock)
#include "tst_clock.moc"
