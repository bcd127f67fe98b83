#pragma once
// Millisecond stopwatch on the program's clock (monotonic: it never jumps and never wraps while
// the program runs).
#include <cstdint>

namespace quenta {

class Clock;

class Timing {
public:
    explicit Timing(const Clock &clock) : m_clock(clock) {}

    void Start();
    void Finish();
    double ElapsedTime() const { return double(m_elapsed) / 1000.0; }
    double CurrentTime() const { return double(now() - m_start) / 1000.0; }

    // Milliseconds on the monotonic clock: the system clock's ticks.
    static std::int64_t tickCount();

private:
    std::int64_t now() const;

    const Clock &m_clock;
    std::int64_t m_start = 0;
    std::int64_t m_finish = 0;
    std::int64_t m_elapsed = 0;
};

} // namespace quenta
