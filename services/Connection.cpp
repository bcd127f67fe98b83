#include "services/Connection.h"

#include "core/Program.h"
#include "link/Commands.h"
#include "pids/Hex.h"
#include "pids/numtext.h"
#include "services/CurrentData.h"

namespace quenta {

namespace {

QString comItem(int n) { return names::ConnectionComItems.value(n - 1); }

const QStringList AllComItems = names::ConnectionComItems;
const QStringList DiagnosticButtons{names::Mode1, names::Mode2, names::Mode3, names::Mode4, names::ChangeECU};

// The items each connection item keeps disabled while it runs.
QStringList disabledDuring(int item)
{
    switch (item) {
    case 1: return {comItem(2), comItem(3)};
    case 2: return {names::mnuUSB, comItem(1), comItem(3)};
    default: return {comItem(2), comItem(1)};
    }
}

// Shows the COM5-COM9 picker and waits for a choice; false when it was closed without one.
bool pickPort(Program &p)
{
    p.settings.user_com_port = 1;
    p.takePickerClosed();
    if (!p.showPortPicker)
        return false;
    p.showPortPicker();
    while (p.settings.user_com_port < 5) {
        if (p.takePickerClosed() || p.link.abandoned())
            return false;
        p.link.yieldToEvents(50);
    }
    return true;
}

bool openPort(Program &p, int n)
{
    if (p.port() && p.port()->isOpen())
        return true;
    std::unique_ptr<ScanToolPort> port = p.ports.create(n);
    if (!port)
        return false;
    port->setLineSettings(*parseLineSettings(QStringLiteral("19200,N,8,1")), nullptr);
    if (p.settings.baud_rate == 38400)
        port->setLineSettings(*parseLineSettings(QStringLiteral("38400,N,8,1")), nullptr);
    port->setInputMode(ScanToolPort::InputMode::Text);
    port->setInBufferSize(Program::ReceiveBufferSize);
    QString error;
    if (!port->open(&error))
        return false;
    p.setPort(std::move(port));
    return true;
}

} // namespace

void probeComPorts(Program &p)
{
    p.controls.setEnabled(AllComItems, false);
    for (int n = 1; n <= 4; ++n) {
        std::unique_ptr<ScanToolPort> port = p.ports.create(n);
        QString error;
        if (port && port->open(&error)) {
            p.controls.setEnabled(comItem(n), true);
            port->close();
        }
    }
}

void show_waiting(Program &p)
{
    p.indicator.set(QStringLiteral("Waiting for ECU"), colors::Yellow);
}

void connectCom(Program &p, int item)
{
    int n = item;
    if (item == ComPicker) {
        if (!pickPort(p))
            return;
        n = p.settings.user_com_port;
    }
    const QStringList others = disabledDuring(item);
    p.controls.setEnabled(DiagnosticButtons, false);
    p.controls.setEnabled(others, false);

    auto failed = [&] {
        p.prompts.message(QStringLiteral("Invalid COM PORT"));
        p.controls.setEnabled(AllComItems, true);
    };
    if (!openPort(p, n))
        return failed();
    show_waiting(p);
    p.link.setOBD_stop(true);
    while (p.link.OBD_stop()) {
        if (p.link.portFailed())
            return failed();
        if (p.link.abandoned())
            return;
        p.link.wait_OBD_ready();
        p.link.yieldToEvents(0);
    }
    if (p.link.abandoned())
        return;
    p.indicator.set(QStringLiteral("Sending FWID"), colors::Green);
    read_firmware_id(p);
    if (p.link.portFailed())
        return failed();
    p.indicator.setText(QStringLiteral("ECU Connected"));
    p.controls.setEnabled(QStringList{names::Mode1, names::Mode2, names::Mode3, names::Mode4}, true);
    if (p.settings.fw_version > 3.09)
        p.controls.setVisible(names::Mode5, true);
    p.controls.setEnabled(names::ChangeECU, true);
    QStringList reenable = others;
    reenable.removeAll(names::mnuUSB);
    p.controls.setEnabled(reenable, true);
    p.controls.setEnabled(names::mnuCom, false);
    p.connectedCom = n;
}

void read_firmware_id(Program &p)
{
    ScanToolLink::Bound bound(p.link, p.waitBoundMs);
    p.status.setText(QStringLiteral("\r\n"));
    p.link.setOBD_stop(false);
    p.link.wait_OBD_ready();
    if (!p.link.OBD_stop()) {
        const QString identity = numtext::first(p.link.exchange(commands::FirmwareIdentity, 4), 5);
        p.linkInfo.setFirmware(identity);
        p.settings.fw_version = numtext::leadingNumber(cut(identity, 2, 4));
        if (p.settings.fw_version > 3.09)
            p.controls.setEnabled(names::mnuMode6, true);
    } else {
        p.status.setText(QStringLiteral("ECU not Communicating"));
    }
    requestCurrentData(p);
}

void changeEcu(Program &p)
{
    ScanToolLink::Bound bound(p.link, p.waitBoundMs);
    p.link.setOBD_stop(false);
    p.status.setText(QStringLiteral("\r\n"));
    p.link.request(commands::SwitchEcu, 2); // its answer is not examined
    p.controls.setCaption(names::ChangeECU, QStringLiteral("Toggle ECU"));
    p.controls.setPressed(names::ChangeECU, !p.controls.pressed(names::ChangeECU));
    requestCurrentData(p);
}

} // namespace quenta

namespace quenta {

void connectUsb(Program &p)
{
    // From here on any error ends the handler without a message.
    if (!p.usbIds) {
        p.status.setText(NoUsbDeviceText);
        return;
    }
    p.link.setSerial_link(false);
    auto port = std::make_unique<UsbPort>(*p.usbIds);
    UsbPort *usb = port.get();
    QObject::connect(usb, &UsbPort::statusText, &p.status, &StatusText::setText);
    QObject::connect(usb, &UsbPort::transferFailed, &p.status, [&p](int status) {
        // A tool that keeps failing says it once, not once per question.
        const QString text = UsbPort::transferFailedText(status);
        if (p.settings.debug_mode && p.status.text() != text)
            p.status.setText(text);
    });
    // The program holds the driver from now on: its unload closes it.
    p.setPort(std::move(port));
    p.status.setText(QStringLiteral("Please verify that the device is attached...") + QStringLiteral("\r\n"));
    const int status = usb->usb_open(p.usbWatch);
    if (status != 0)
        p.indicator.setText(QStringLiteral("USB FAILURE"));
    // Attaches arrive through the event loop. No time limit: Exit and the command line's bound end it.
    for (;;) {
        if (p.link.abandoned() || p.port() != usb)
            return; // a later connection replaced this one
        if (usb->usb_attached())
            break;
        p.link.yieldToEvents(UsbPort::EnumerationMs / 10);
    }
    if (status != 0)
        return;
    connectUsbDevice(p);
}

bool connectUsbDevice(Program &p)
{
    UsbPort *usb = p.usbPort();
    if (!usb)
        return false;
    // The link takes the port afresh: a failure it met was the device that went away.
    p.link.setPort(usb);
    usb->setTransferBound(p.waitBoundMs);
    usb->open(nullptr);
    int endpoints = 0;
    if (usb->deviceInfo(&endpoints) != 0) {
        p.indicator.setText(QStringLiteral("USB Failure"));
        return false;
    }
    if (endpoints == 0) {
        p.status.setText(QStringLiteral("USB driver not found"));
        return false;
    }
    p.indicator.set(QStringLiteral("ECU CONNECT"), colors::Yellow);
    p.link.wait_OBD_ready();
    p.link.wait_OBD_ready();
    if (p.link.abandoned())
        return false;
    read_firmware_id(p);
    // A tool that went away meanwhile leaves the buttons as its loss set them.
    if (p.link.portFailed())
        return false;
    p.controls.setEnabled(QStringList{names::Mode1, names::Mode2, names::Mode3, names::Mode4}, true);
    if (p.settings.fw_version > 3.09)
        p.controls.setVisible(names::Mode5, true);
    p.controls.setEnabled(names::ChangeECU, true);
    return true;
}

} // namespace quenta
