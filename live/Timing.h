#pragma once
// Millisecond stopwatch on a monotonic clock (it never jumps and never wraps while the program runs).
#include <cstdint>

namespace quenta {

class Timing {
public:
    void Start();
    void Finish();
    double ElapsedTime() const { return double(m_elapsed) / 1000.0; }
    double CurrentTime() const { return double(tickCount() - m_start) / 1000.0; }

    // Milliseconds on the monotonic clock.
    static std::int64_t tickCount();

private:
    std::int64_t m_start = 0;
    std::int64_t m_finish = 0;
    std::int64_t m_elapsed = 0;
};

} // namespace quenta
