#pragma once
// A clock for tests: time moves only when the code under test waits (by the time it waits) or
// when the test moves it, so minutes pass in no time and every elapsed time is exact.
#include "core/Clock.h"

#include <QCoreApplication>
#include <functional>

struct ManualClock : quenta::Clock {
    std::int64_t now = 0;
    QDateTime wallAtZero = QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0));
    // Runs at every wait, after the time moved: a test presses buttons here.
    std::function<void()> onWait;
    int waits = 0;

    std::int64_t tickMs() const override { return now; }
    QDateTime wallTime() const override { return wallAtZero.addMSecs(now); }
    void wait(int ms) override
    {
        ++waits;
        now += ms;
        if (onWait)
            onWait();
        QCoreApplication::processEvents();
    }
};
