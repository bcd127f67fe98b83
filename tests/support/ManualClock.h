#pragma once
// The clock for tests: time moves only when the code under test waits (by the time it waits, or
// less when its waker ends the wait) or when the test moves it, so minutes pass in no time and
// every elapsed time is exact. Timers on it (the simulated tool's pacing) fire while a wait moves
// the time past them, in the order they are due, so a tool and a program on the one clock talk as
// they would on the system clock, only without the real waits. Make it before anything built on
// it, so it outlives their timers.
#include "core/Clock.h"

#include <QCoreApplication>
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

struct ManualClock : quenta::Clock {
    std::int64_t now = 0;
    QDateTime wallAtZero = QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0));
    // Runs at every wait, after the time moved: a test presses buttons here.
    std::function<void()> onWait;
    int waits = 0;

    std::int64_t tickMs() const override { return now; }
    std::int64_t tickUs() const override { return now * 1000; }
    QDateTime wallTime() const override { return wallAtZero.addMSecs(now); }

    ~ManualClock() override { m_after.clear(); }

    // Runs f once, `ms` from now on this clock (a test's button pressed in the middle of a wait).
    void after(int ms, std::function<void()> f)
    {
        auto timer = std::make_unique<quenta::ClockTimer>(*this);
        timer->setSingleShot(true);
        connect(timer.get(), &quenta::ClockTimer::timeout, this, std::move(f));
        timer->start(ms);
        m_after.push_back(std::move(timer));
    }

protected:
    void sleep(int ms, quenta::Waker &waker) override
    {
        ++waits;
        bool woken = false;
        const QMetaObject::Connection wake = connect(&waker, &quenta::Waker::woken, this, [&woken] { woken = true; });
        const std::int64_t until = now + std::max(0, ms);
        while (!woken) {
            const auto next = std::min_element(m_due.begin(), m_due.end(), [](const Due &a, const Due &b) {
                return a.at != b.at ? a.at < b.at : a.order < b.order;
            });
            if (next == m_due.end() || next->at > until)
                break;
            now = std::max(now, next->at);
            quenta::ClockTimer &timer = *next->timer;
            if (timer.isSingleShot()) {
                m_due.erase(next);
            } else {
                // As a precise QTimer: the next period after this one, or after now when the
                // time jumped past it. Never twice at one instant.
                const int period = std::max(1, timer.interval());
                next->at += period;
                if (next->at < now)
                    next->at = now + period;
                next->order = ++m_order;
            }
            fire(timer);
        }
        if (!woken)
            now = std::max(now, until);
        if (onWait)
            onWait();
        QCoreApplication::processEvents();
        disconnect(wake);
    }

    void arm(quenta::ClockTimer &timer, int ms) override
    {
        disarm(timer);
        m_due.push_back({now + ms, ++m_order, &timer});
    }
    void disarm(quenta::ClockTimer &timer) override
    {
        std::erase_if(m_due, [&timer](const Due &d) { return d.timer == &timer; });
    }

private:
    struct Due {
        std::int64_t at;
        std::uint64_t order; // timers due at one instant fire in the order they were started
        quenta::ClockTimer *timer;
    };
    std::vector<Due> m_due;
    std::uint64_t m_order = 0;
    std::vector<std::unique_ptr<quenta::ClockTimer>> m_after;
};
