#pragma once
namespace quenta {
class Program;
// Clear/Reset Diagnostic Trouble Codes
void clearTroubleCodes(Program &p);
}
