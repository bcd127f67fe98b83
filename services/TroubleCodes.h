#pragma once
#include "core/Models.h"
#include "link/ScanToolLink.h"
#include "platform/Prompts.h"
#include "services/TroubleCodeDefinitions.h"

namespace quenta {

// Request Diagnostic Trouble Codes
struct TroubleCodes {
    ScanToolLink &link;
    StatusText &status;
    Controls &controls;
    Prompts &prompts;
    const TroubleCodeDefinitions &definitions;

    void request();
};

} // namespace quenta
