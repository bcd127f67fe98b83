#pragma once
// What the decoders and the supported-PID walk work with: the link they ask through, the flags
// that shape a request and its text (units, service, frame), the decoded-value record and support
// flags, and where their results go (the status window, the vehicle data window's lines, the data
// logger's parameter list).
#include "core/Models.h"
#include "core/Settings.h"
#include "link/ScanToolLink.h"
#include "pids/PidState.h"

namespace quenta {

struct PidContext {
    ScanToolLink &link;
    Settings &settings;
    PidState &pids;
    StatusText &status;
    VehicleData &data;
    LoggerParameters &logger;
};

} // namespace quenta
