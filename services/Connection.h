#pragma once
// Connecting to the scan tool: the start-up port probe, the COM items, the firmware identity,
// and "Change ECU".
namespace quenta {

class Program;

// The "COM 5 thru 9" item, which asks for the port first.
constexpr int ComPicker = 0;

void probeComPorts(Program &p);
// item 1-4 for "Com1".."Com4", ComPicker for "COM 5 thru 9".
void connectCom(Program &p, int item);
void show_waiting(Program &p);
void read_firmware_id(Program &p);
void changeEcu(Program &p);

} // namespace quenta
