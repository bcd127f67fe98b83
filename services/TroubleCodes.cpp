#include "services/TroubleCodes.h"
#include "core/Program.h"
namespace quenta {
void requestTroubleCodes(Program &p) { (void)p; }
}
