#include "services/FreezeFrame.h"
#include "core/Program.h"
namespace quenta {
void requestFreezeFrame(Program &p) { (void)p; }
}
