#pragma once
// What the live loops (the real-time display, the data logger, the wideband meter, the fuel trim
// monitor) work with: the parameter context they read through, the prompts they speak through,
// and the clock and stopwatch their schedules run on.
#include "core/Clock.h"
#include "core/Timing.h"
#include "pids/Decoders.h"
#include "pids/PidContext.h"
#include "platform/Prompts.h"

namespace quenta {

struct LiveParts {
    PidContext &context;
    Prompts &prompts;
    Clock &clock;
    Timing &timing;
};

// True when the reading brought the ECU's value; otherwise the indicator says why.
inline bool valueAnswered(const LiveParts &p, const Reading &reading)
{
    return p.context.link.valueAnswered(reading.outcome, p.context.status) && reading.valid;
}

} // namespace quenta
