#include "core/Timing.h"

#include "core/Clock.h"

#include <chrono>

namespace quenta {

std::int64_t Timing::tickCount()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t Timing::now() const
{
    return m_clock.tickMs();
}

void Timing::Start()
{
    m_start = now();
    m_finish = 0;
    m_elapsed = 0;
}

void Timing::Finish()
{
    m_finish = now();
    m_elapsed = m_finish - m_start;
}

} // namespace quenta
