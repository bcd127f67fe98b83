#pragma once
#include "core/Models.h"
#include "pids/PidContext.h"

namespace quenta {

// Get Freeze Frame Data
struct FreezeFrame {
    PidContext &context;
    Controls &controls;

    void request();
};

} // namespace quenta
