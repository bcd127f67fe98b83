#pragma once
namespace quenta {
class Program;
// Request Diagnostic Trouble Codes
void requestTroubleCodes(Program &p);
}
