#pragma once
#include "core/Models.h"
#include "pids/PidContext.h"

#include <functional>

namespace quenta {

// "Request Current Powertrain Diagnostic Data": every supported parameter of the answering ECU.
struct CurrentData {
    PidContext &context;
    Controls &controls;
    LinkInfo &linkInfo;
    // The listing is in: the main window comes to the front (a secondary window may have hidden it).
    std::function<void()> listed;

    void request();
};

} // namespace quenta
