#pragma once
namespace quenta {
class Program;
// Get Freeze Frame Data
void requestFreezeFrame(Program &p);
}
