#pragma once
#include "core/Models.h"
#include "link/ScanToolLink.h"

namespace quenta {

// Clear/Reset Diagnostic Trouble Codes
struct ClearCodes {
    ScanToolLink &link;
    StatusText &status;
    Controls &controls;

    void clear();
};

} // namespace quenta
