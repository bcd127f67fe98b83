#pragma once
// Connecting to the scan tool: the start-up port probe, the COM items, the firmware identity,
// and "Change ECU".
#include <QString>

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
// The "USB" item: the connection to the USB scan tool named by p.usbIds.
void connectUsb(Program &p);
// The connection on the device the USB port accepted, after the attach; run again when the tool
// is plugged in again. True when it was made.
bool connectUsbDevice(Program &p);
inline const QString NoUsbDeviceText =
    QStringLiteral("USB: no scan tool named, so no USB device is claimed (start Quenta with --usb=VID:PID)");

} // namespace quenta
