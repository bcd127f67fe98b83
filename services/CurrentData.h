#pragma once
namespace quenta {
class Program;
// "Request Current Powertrain Diagnostic Data": every supported parameter of the answering ECU.
void requestCurrentData(Program &p);
}
