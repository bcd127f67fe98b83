#include "core/Clock.h"

#include "core/Timing.h"

#include <QEventLoop>
#include <QTimer>

namespace quenta {

std::int64_t Clock::tickMs() const
{
    return Timing::tickCount();
}

QDateTime Clock::wallTime() const
{
    return QDateTime::currentDateTime();
}

void Clock::wait(int ms)
{
    if (ms <= 0)
        return;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    // Samples are due on the millisecond: a coarse timer would make each one late.
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &Clock::woken, &loop, &QEventLoop::quit);
    timer.start(ms);
    loop.exec();
}

} // namespace quenta
