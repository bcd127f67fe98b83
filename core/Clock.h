#pragma once
// The one clock: the monotonic milliseconds every interval and every bound is measured on, the
// wall-clock time a "System Time" trigger looks at, every wait (between samples, between polls of
// the line), and the timers that pace the simulated tool. The program owns the system clock and
// hands it to each part where the part is built; tests hand a manual one (ManualClock), so a
// ten-second bound or an hour's trigger takes no real time and every elapsed time is exact.
#include <QDateTime>
#include <QObject>
#include <QTimer>
#include <cstdint>

namespace quenta {

class ClockTimer;

// Ends a wait on the clock at once: by wake(), or when one of the signals it listens to comes.
// A wait is ended only by the waker it was given, so the bytes that wake the link's waits wake no
// other loop.
class Waker : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    template <typename Sender, typename Signal>
    QMetaObject::Connection listen(const Sender *sender, Signal signal)
    {
        return connect(sender, signal, this, &Waker::wake);
    }
    void wake() { emit woken(); }

signals:
    void woken();
};

class Clock : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Milliseconds on a monotonic clock (never jumps, never wraps while the program runs).
    virtual std::int64_t tickMs() const;
    // Microseconds on the same clock (the simulated tool paces its line in them).
    virtual std::int64_t tickUs() const;
    virtual QDateTime wallTime() const;

    // Lets window events through for up to `ms` milliseconds without spinning a core; wake() ends
    // the wait at once (a button that changes what the waiting loop should do).
    void wait(int ms) { sleep(ms, m_waker); }
    void wake() { m_waker.wake(); }
    // The same, ended at once by `waker` and by nothing else. With `ms` 0 it lets the events that
    // wait run once.
    void wait(int ms, Waker &waker) { sleep(ms, waker); }

protected:
    // The wait itself: on the system clock an event loop that a precise timer or the waker ends.
    virtual void sleep(int ms, Waker &waker);
    // The waker of wait(ms) and wake().
    const Waker &ownWaker() const { return m_waker; }

    // The timers on this clock. The system clock runs each one's QTimer; a clock of its own keeps
    // them and calls fire() when their time comes.
    friend class ClockTimer;
    virtual void arm(ClockTimer &timer, int ms);
    virtual void disarm(ClockTimer &timer);
    static void fire(ClockTimer &timer);

private:
    Waker m_waker;
};

// A timer on a clock, used like a QTimer: on the system clock it is one (a precise one); on a
// manual clock it fires while a wait moves the time past it, every timer in the order it is due.
class ClockTimer : public QObject {
    Q_OBJECT
public:
    explicit ClockTimer(Clock &clock, QObject *parent = nullptr);
    ~ClockTimer() override;

    void setSingleShot(bool on) { m_singleShot = on; }
    bool isSingleShot() const { return m_singleShot; }
    // Starts the timer, or starts it again from now.
    void start(int ms);
    void stop();
    bool isActive() const { return m_active; }
    int interval() const { return m_interval; }

signals:
    void timeout();

private:
    friend class Clock;
    void fire();

    Clock &m_clock;
    QTimer m_timer; // the system clock's
    int m_interval = 0;
    bool m_singleShot = false;
    bool m_active = false;
};

} // namespace quenta
