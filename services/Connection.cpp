#include "services/Connection.h"

#include "core/ControlNames.h"
#include "link/Reply.h"
#include "link/Commands.h"
#include "core/Hex.h"
#include "pids/numtext.h"
#include "platform/UsbPort.h"

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

QString foundAgain(const QString &where)
{
    return QStringLiteral("\r\nScan tool found again on %1: connected again\r\n").arg(where);
}

} // namespace

Connection::Connection(const Parts &parts, PortDirectory portDirectory, CurrentData &currentData, QObject *parent)
    : QObject(parent), ports(std::move(portDirectory)), m_parts(parts), m_currentData(currentData)
{
    connect(&m_parts.link, &ScanToolLink::stateChanged, this, &Connection::onLinkState);
    connect(&m_returnWatch, &ClockTimer::timeout, this, &Connection::lookForReturn);
}

Connection::~Connection() = default;

UsbPort *Connection::usbPort() const
{
    return qobject_cast<UsbPort *>(m_port.get());
}

void Connection::setPort(std::unique_ptr<ScanToolPort> port)
{
    m_port = std::move(port);
    if (m_port)
        m_port->setInBufferSize(ReceiveBufferSize);
    m_parts.link.setPort(m_port.get());
}

void Connection::unload()
{
    if (UsbPort *usb = usbPort(); usb && usb->driverHandle() > 0)
        usb->closeDriver();
}

void Connection::onLinkState(ScanToolLink::State state)
{
    if (state != ScanToolLink::State::ToolSilent && state != ScanToolLink::State::PortFailed)
        return;
    Parts &p = m_parts;
    // The tool is gone: offer the connection again instead of leaving a dead link in place.
    if (m_port)
        m_port->close();
    p.link.indicator().set(QStringLiteral("ECU Off-Line"), colors::Red);
    p.controls.setEnabled(QStringList{names::Mode1, names::Mode2, names::Mode3, names::Mode4, names::Mode5,
                                      names::ChangeECU},
                          false);
    p.controls.setEnabled(QStringList{names::mnuCom, names::mnuConnectionCom1, names::mnuConnectionCom2,
                                      names::mnuConnectionCom3, names::mnuConnectionCom4, names::mnuConnectionComX},
                          true);
    // A device that vanished may be plugged in again; a tool that merely fell silent is still
    // there, and the user decides when to try it again.
    if (state == ScanToolLink::State::PortFailed && (connectedCom > 0 || usbPort()))
        m_returnWatch.start(returnWatchMs);
}

void Connection::lookForReturn()
{
    if (m_parts.link.state() == ScanToolLink::State::Abandoned || (m_port && m_port->isOpen())) {
        m_returnWatch.stop();
        return;
    }
    if (UsbPort *usb = usbPort()) {
        // The attach watch takes the tool again by itself; the connection then runs on its new handle.
        if (!usb->hasDevice())
            return;
        m_returnWatch.stop();
        if (connectUsbDevice())
            m_parts.status.append(foundAgain(usb->deviceName()));
        return;
    }
    std::unique_ptr<ScanToolPort> probe = ports.create(connectedCom);
    QString error;
    if (!probe || !probe->open(&error))
        return;
    probe->close();
    m_returnWatch.stop();
    const int com = connectedCom;
    connectCom(com);
    if (m_port && m_port->isOpen())
        m_parts.status.append(foundAgain(QStringLiteral("COM%1").arg(com)));
}


// Shows the COM5-COM9 picker and waits for a choice; false when it was closed without one.
bool Connection::pickPort()
{
    Parts &p = m_parts;
    p.settings.user_com_port = 1;
    takePickerClosed();
    if (!showPortPicker)
        return false;
    showPortPicker();
    while (p.settings.user_com_port < 5) {
        if (takePickerClosed() || p.link.state() == ScanToolLink::State::Abandoned)
            return false;
        p.link.yieldToEvents(50);
    }
    return true;
}

bool Connection::openPort(int n)
{
    Parts &p = m_parts;
    if (port() && port()->isOpen())
        return true;
    std::unique_ptr<ScanToolPort> port = ports.create(n);
    if (!port)
        return false;
    port->setLineSettings(*parseLineSettings(QStringLiteral("19200,N,8,1")), nullptr);
    if (p.settings.baud_rate == 38400)
        port->setLineSettings(*parseLineSettings(QStringLiteral("38400,N,8,1")), nullptr);
    port->setInputMode(ScanToolPort::InputMode::Text);
    port->setInBufferSize(ReceiveBufferSize);
    QString error;
    if (!port->open(&error))
        return false;
    setPort(std::move(port));
    return true;
}

void Connection::probeComPorts()
{
    Parts &p = m_parts;
    p.controls.setEnabled(AllComItems, false);
    for (int n = 1; n <= 4; ++n) {
        std::unique_ptr<ScanToolPort> port = ports.create(n);
        QString error;
        if (port && port->open(&error)) {
            p.controls.setEnabled(comItem(n), true);
            port->close();
        }
    }
}

void Connection::show_waiting()
{
    Parts &p = m_parts;
    p.link.indicator().set(QStringLiteral("Waiting for ECU"), colors::Yellow);
}

void Connection::connectCom(int item)
{
    Parts &p = m_parts;
    int n = item;
    if (item == ComPicker) {
        if (!pickPort())
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
    if (!openPort(n))
        return failed();
    show_waiting();
    p.link.setOBD_stop(true);
    while (p.link.OBD_stop()) {
        if (p.link.lost())
            return failed();
        if (p.link.state() == ScanToolLink::State::Abandoned)
            return;
        p.link.wait_OBD_ready();
        p.link.yieldToEvents(0);
    }
    if (p.link.state() == ScanToolLink::State::Abandoned)
        return;
    p.link.indicator().set(QStringLiteral("Sending FWID"), colors::Green);
    read_firmware_id();
    if (p.link.lost())
        return failed();
    p.link.indicator().setText(QStringLiteral("ECU Connected"));
    p.controls.setEnabled(QStringList{names::Mode1, names::Mode2, names::Mode3, names::Mode4}, true);
    if (p.settings.fw_version > 3.09)
        p.controls.setVisible(names::Mode5, true);
    p.controls.setEnabled(names::ChangeECU, true);
    QStringList reenable = others;
    reenable.removeAll(names::mnuUSB);
    p.controls.setEnabled(reenable, true);
    p.controls.setEnabled(names::mnuCom, false);
    connectedCom = n;
}

void Connection::read_firmware_id()
{
    Parts &p = m_parts;
    ScanToolLink::Bound bound(p.link);
    p.status.setText(QStringLiteral("\r\n"));
    p.link.setOBD_stop(false);
    p.link.wait_OBD_ready();
    if (!p.link.OBD_stop()) {
        ScanToolLink::Request request(commands::FirmwareIdentity, 4);
        request.leadsWithStatus = true;
        const QString identity = numtext::first(p.link.exchange(request).reply, 5);
        p.linkInfo.setFirmware(identity);
        p.settings.fw_version = numtext::leadingNumber(cut(identity, 2, 4));
        if (p.settings.fw_version > 3.09)
            p.controls.setEnabled(names::mnuMode6, true);
    } else {
        p.status.setText(QStringLiteral("ECU not Communicating"));
    }
    m_currentData.request();
    // An adapter's own identity is not the tool's firmware: it is shown, never checked.
    if (const QString adapter = m_port ? m_port->adapterIdentity() : QString(); !adapter.isEmpty())
        p.status.append(QStringLiteral("Adapter: ") + adapter + QStringLiteral("\r\n"));
}

void Connection::changeEcu()
{
    Parts &p = m_parts;
    ScanToolLink::Bound bound(p.link);
    p.link.setOBD_stop(false);
    p.status.setText(QStringLiteral("\r\n"));
    p.link.request({commands::SwitchEcu, 2}); // its answer is not examined
    p.controls.setCaption(names::ChangeECU, QStringLiteral("Toggle ECU"));
    p.controls.setPressed(names::ChangeECU, !p.controls.pressed(names::ChangeECU));
    m_currentData.request();
}

} // namespace quenta

namespace quenta {

void Connection::connectUsb()
{
    Parts &p = m_parts;
    // From here on any error ends the handler without a message.
    if (!usbIds) {
        p.status.setText(NoUsbDeviceText);
        return;
    }
    p.link.setSerial_link(false);
    auto port = std::make_unique<UsbPort>(*usbIds, m_parts.link.clock());
    UsbPort *usb = port.get();
    QObject::connect(usb, &UsbPort::statusText, &p.status, &StatusText::setText);
    QObject::connect(usb, &UsbPort::transferFailed, &p.status, [this](int status) {
        Parts &p = m_parts;
        // A tool that keeps failing says it once, not once per question.
        const QString text = UsbPort::transferFailedText(status);
        if (p.settings.debug_mode && p.status.text() != text)
            p.status.setText(text);
    });
    // The program holds the driver from now on: its unload closes it.
    setPort(std::move(port));
    p.status.setText(QStringLiteral("Please verify that the device is attached...") + QStringLiteral("\r\n"));
    const int status = usb->usb_open(usbWatch);
    if (status != 0)
        p.link.indicator().setText(QStringLiteral("USB FAILURE"));
    // Attaches arrive through the event loop. No time limit: Exit and the command line's bound end it.
    for (;;) {
        if (p.link.state() == ScanToolLink::State::Abandoned || m_port.get() != usb)
            return; // a later connection replaced this one
        if (usb->usb_attached())
            break;
        p.link.yieldToEvents(UsbPort::EnumerationMs / 10);
    }
    if (status != 0)
        return;
    connectUsbDevice();
}

bool Connection::connectUsbDevice()
{
    Parts &p = m_parts;
    UsbPort *usb = usbPort();
    if (!usb)
        return false;
    // The link takes the port afresh: a failure it met was the device that went away.
    p.link.setPort(usb);
    usb->setTransferBound(p.link.operationBoundMs);
    usb->open(nullptr);
    int endpoints = 0;
    if (usb->deviceInfo(&endpoints) != 0) {
        p.link.indicator().setText(QStringLiteral("USB Failure"));
        return false;
    }
    if (endpoints == 0) {
        p.status.setText(QStringLiteral("USB driver not found"));
        return false;
    }
    p.link.indicator().set(QStringLiteral("ECU CONNECT"), colors::Yellow);
    p.link.wait_OBD_ready();
    p.link.wait_OBD_ready();
    if (p.link.state() == ScanToolLink::State::Abandoned)
        return false;
    read_firmware_id();
    // A tool that went away meanwhile leaves the buttons as its loss set them.
    if (p.link.lost())
        return false;
    p.controls.setEnabled(QStringList{names::Mode1, names::Mode2, names::Mode3, names::Mode4}, true);
    if (p.settings.fw_version > 3.09)
        p.controls.setVisible(names::Mode5, true);
    p.controls.setEnabled(names::ChangeECU, true);
    return true;
}

} // namespace quenta
