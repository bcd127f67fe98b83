#include "core/Clock.h"

#include "core/Timing.h"

#include <QEventLoop>
#include <chrono>

namespace quenta {

std::int64_t Clock::tickMs() const
{
    return Timing::tickCount();
}

std::int64_t Clock::tickUs() const
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

QDateTime Clock::wallTime() const
{
    return QDateTime::currentDateTime();
}

void Clock::sleep(int ms, Waker &waker)
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    // Samples are due on the millisecond, and a reply is read the moment it is in: a coarse
    // timer would make each one late.
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(&waker, &Waker::woken, &loop, &QEventLoop::quit);
    timer.start(qMax(0, ms));
    loop.exec();
}

void Clock::arm(ClockTimer &timer, int ms)
{
    timer.m_timer.setSingleShot(timer.m_singleShot);
    timer.m_timer.start(ms);
}

void Clock::disarm(ClockTimer &timer)
{
    timer.m_timer.stop();
}

void Clock::fire(ClockTimer &timer)
{
    timer.fire();
}

ClockTimer::ClockTimer(Clock &clock, QObject *parent) : QObject(parent), m_clock(clock)
{
    // A child, so it follows the timer into another thread.
    m_timer.setParent(this);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ClockTimer::fire);
}

ClockTimer::~ClockTimer()
{
    if (m_active)
        m_clock.disarm(*this);
}

void ClockTimer::start(int ms)
{
    m_interval = qMax(0, ms);
    m_active = true;
    m_clock.arm(*this, m_interval);
}

void ClockTimer::stop()
{
    if (!m_active)
        return;
    m_active = false;
    m_clock.disarm(*this);
}

void ClockTimer::fire()
{
    // As a QTimer: a single shot is over before its timeout is handled.
    if (m_singleShot)
        m_active = false;
    emit timeout();
}

} // namespace quenta
