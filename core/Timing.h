#pragma once
// Millisecond stopwatch on a monotonic clock (it never jumps and never wraps while the program runs).
#include <cstdint>
#include <functional>

namespace quenta {

class Timing {
public:
    // Where the ticks come from (the program's clock); the monotonic clock when none is set.
    void setSource(std::function<std::int64_t()> source) { m_source = std::move(source); }

    void Start();
    void Finish();
    double ElapsedTime() const { return double(m_elapsed) / 1000.0; }
    double CurrentTime() const { return double(now() - m_start) / 1000.0; }

    // Milliseconds on the monotonic clock.
    static std::int64_t tickCount();

private:
    std::int64_t now() const { return m_source ? m_source() : tickCount(); }

    std::function<std::int64_t()> m_source;
    std::int64_t m_start = 0;
    std::int64_t m_finish = 0;
    std::int64_t m_elapsed = 0;
};

} // namespace quenta
