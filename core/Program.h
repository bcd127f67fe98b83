#pragma once
// The program without its windows: settings, link, decoded state and the models the windows show.
// The main window owns one; the CLI owns one; every test starts from a new one.
#include "core/Models.h"
#include "core/Settings.h"
#include "link/PortDirectory.h"
#include "link/ScanToolLink.h"
#include "core/Clock.h"
#include "core/Timing.h"
#include "pids/PidState.h"
#include "platform/Prompts.h"
#include "platform/UsbIds.h"
#include "services/Mode6Monitor.h"
#include "services/TroubleCodeDefinitions.h"

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

namespace quenta {

class UsbPort;

class Program : public QObject {
    Q_OBJECT
    // The system clock, unless the program is handed another (a test's manual clock). First, as
    // every part below is built on it.
    Clock m_systemClock;
    Clock &m_clock;

public:
    static constexpr int ReceiveBufferSize = 80;
    // How long the trouble-code, clearing and freeze-frame operations wait for the tool each time.
    int waitBoundMs = 10000;

    Program(Prompts &prompts, PortDirectory ports, Clock *clock = nullptr, QObject *parent = nullptr);
    ~Program() override;

    // The start-up of the main window, after it is shown: defaults, indicator, definitions, COM probe.
    void startUp();

    // Says, where a request got no reply to decode, why: the tool is not talking to the car, or the
    // wait ran out ("ECU Timeout" or the operation's own text, on red). A garbled line was said
    // by the link already; a tool that is gone shows "ECU Off-Line". True when there is a reply
    // to decode (an answer, or the ECU's silence, which each operation handles its own way).
    bool replyToDecode(const QString &timeoutText = QStringLiteral("ECU Timeout"));
    // For the live displays, which show numbers: true when the last request brought the ECU's
    // value. Otherwise says why, as replyToDecode() does; an ECU that stayed silent is "ECU Timeout".
    bool valueAnswered();

    Prompts &prompts;
    PortDirectory ports;
    Settings settings;
    PidState pids;
    IndicatorModel indicator;
    StatusText status;
    VehicleData data;
    LoggerParameters logger;
    LinkInfo linkInfo;
    Controls controls;
    ScanToolLink link;
    Timing timing;
    TroubleCodeDefinitions definitions;
    Mode6State mode6;

    // The one clock: of the link's bounds and waits, the live loops and the stopwatch.
    Clock &clock() const { return m_clock; }

    // The serial port of the link (open from a connection until the program ends).
    ScanToolPort *port() const { return m_port.get(); }
    void setPort(std::unique_ptr<ScanToolPort> port);

    // Shows the COM5-COM9 picker; the window sets settings.user_com_port, or calls
    // portPickerClosed() when it is closed without a choice.
    std::function<void()> showPortPicker;
    void portPickerClosed() { m_pickerClosed = true; }
    bool takePickerClosed() { return std::exchange(m_pickerClosed, false); }

signals:
    // The main window is to be shown (brought back when a secondary window hid it).
    void showMainWindow();

public:
    // The COM number of the last connection that was made (0: none yet).
    int connectedCom = 0;
    // The USB scan tool the USB connection claims (--usb=VID:PID); nothing claims no device.
    std::optional<UsbIds> usbIds;
    UsbWatch usbWatch = UsbWatch::Auto;
    // The USB port while the link is on USB.
    UsbPort *usbPort() const;
    // The main window's unload: closes the USB driver when it is open.
    void unload();
    // How often a device that went away is looked for again.
    int returnWatchMs = 1000;

private:
    void onPortLost(const QString &reason);
    void lookForReturn();
    void showLinkInfo();

    std::unique_ptr<ScanToolPort> m_port;
    bool m_pickerClosed = false;
    // Runs while a device that went away (a USB adapter pulled out) may come back.
    QTimer m_returnWatch;
};

} // namespace quenta
