#include "services/ClearCodes.h"
#include "core/Program.h"
namespace quenta {
void clearTroubleCodes(Program &p) { (void)p; }
}
