#pragma once
// Connecting to the scan tool: the start-up port probe, the COM items, the USB item, the firmware
// identity and "Change ECU"; it owns the port from a connection until the program ends, and runs
// the connection again when a device that went away comes back.
#include "core/Models.h"
#include "core/Settings.h"
#include "link/PortDirectory.h"
#include "link/ScanToolLink.h"
#include "platform/Prompts.h"
#include "platform/UsbIds.h"
#include "services/CurrentData.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

namespace quenta {

class UsbPort;

// The "COM 5 thru 9" item, which asks for the port first.
constexpr int ComPicker = 0;
// The ELM327 adapter named in the window, behind a port number of its own past COM9.
constexpr int AdapterCom = 10;

inline const QString NoUsbDeviceText =
    QStringLiteral("USB: no scan tool named, so no USB device is claimed (start Quenta with --usb=VID:PID)");

class Connection : public QObject {
    Q_OBJECT
public:
    static constexpr int ReceiveBufferSize = 80;

    // What a connection works with.
    struct Parts {
        ScanToolLink &link;
        Settings &settings;
        Controls &controls;
        StatusText &status;
        LinkInfo &linkInfo;
        Prompts &prompts;
    };
    Connection(const Parts &parts, PortDirectory ports, CurrentData &currentData, QObject *parent = nullptr);
    ~Connection() override;

    void probeComPorts();
    // item 1-4 for "Com1".."Com4", ComPicker for "COM 5 thru 9".
    void connectCom(int item);
    void show_waiting();
    void read_firmware_id();
    void changeEcu();
    // The "USB" item: the connection to the USB scan tool named by usbIds.
    void connectUsb();
    // The main window's unload: closes the USB driver when it is open.
    void unload();

    // What stands behind each COM port.
    PortDirectory ports;
    // The port of the link (open from a connection until the program ends).
    ScanToolPort *port() const { return m_port.get(); }
    void setPort(std::unique_ptr<ScanToolPort> port);
    // The USB port while the link is on USB.
    UsbPort *usbPort() const;

    // The COM number of the last connection that was made (0: none yet).
    int connectedCom = 0;
    // The USB scan tool the USB connection claims (--usb=VID:PID); nothing claims no device.
    std::optional<UsbIds> usbIds;
    UsbWatch usbWatch = UsbWatch::Auto;
    // How often a device that went away is looked for again.
    int returnWatchMs = 1000;

    // Shows the COM5-COM9 picker; the window sets settings.user_com_port, or calls
    // portPickerClosed() when it is closed without a choice.
    std::function<void()> showPortPicker;
    void portPickerClosed() { m_pickerClosed = true; }
    bool takePickerClosed() { return std::exchange(m_pickerClosed, false); }

private:
    bool pickPort();
    bool openPort(int n);
    // The connection on the device the USB port accepted, after the attach; run again when the
    // tool is plugged in again. True when it was made.
    bool connectUsbDevice();
    void onLinkState(ScanToolLink::State state);
    void lookForReturn();

    Parts m_parts;
    CurrentData &m_currentData;
    std::unique_ptr<ScanToolPort> m_port;
    bool m_pickerClosed = false;
    // Runs while a device that went away (a USB adapter pulled out) may come back.
    ClockTimer m_returnWatch{m_parts.link.clock()};
};

} // namespace quenta
