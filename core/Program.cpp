#include "core/Program.h"

#include "core/ControlNames.h"
#include "platform/UsbPort.h"
#include "services/Connection.h"

namespace quenta {

Program::Program(Prompts &p, PortDirectory portDirectory, Clock *clock, QObject *parent)
    : QObject(parent), m_clock(clock ? *clock : m_systemClock), prompts(p), ports(std::move(portDirectory)),
      link(p, indicator, m_clock), timing(m_clock), definitions(p)
{
    connect(&link, &ScanToolLink::portLost, this, &Program::onPortLost);
    connect(&m_returnWatch, &QTimer::timeout, this, &Program::lookForReturn);
    connect(&linkInfo, &LinkInfo::changed, this, &Program::showLinkInfo);
}

void Program::showLinkInfo()
{
    // The controls model keeps Label6's and Label7's captions like every other control's; they
    // follow the link information and carry nothing of their own.
    if (linkInfo.hasEcuNumber() && controls.caption(names::Label6) != linkInfo.ecuCaption())
        controls.setCaption(names::Label6, linkInfo.ecuCaption());
    if (linkInfo.hasFirmware() && controls.caption(names::Label7) != linkInfo.firmwareCaption())
        controls.setCaption(names::Label7, linkInfo.firmwareCaption());
}

void Program::onPortLost(const QString &reason)
{
    // The tool is gone: offer the connection again instead of leaving a dead link in place.
    if (m_port)
        m_port->close();
    indicator.set(QStringLiteral("ECU Off-Line"), colors::Red);
    controls.setEnabled(QStringList{names::Mode1, names::Mode2, names::Mode3, names::Mode4, names::Mode5,
                                    names::ChangeECU},
                        false);
    controls.setEnabled(QStringList{names::mnuCom, names::mnuConnectionCom1, names::mnuConnectionCom2,
                                    names::mnuConnectionCom3, names::mnuConnectionCom4, names::mnuConnectionComX},
                        true);
    // A device that vanished may be plugged in again; a tool that merely fell silent is still
    // there, and the user decides when to try it again.
    if (reason != ScanToolLink::ToolSilentReason && connectedCom > 0)
        m_returnWatch.start(returnWatchMs);
}

void Program::lookForReturn()
{
    if (link.abandoned() || (m_port && m_port->isOpen())) {
        m_returnWatch.stop();
        return;
    }
    std::unique_ptr<ScanToolPort> probe = ports.create(connectedCom);
    QString error;
    if (!probe || !probe->open(&error))
        return;
    probe->close();
    m_returnWatch.stop();
    const int com = connectedCom;
    connectCom(*this, com);
    if (m_port && m_port->isOpen())
        status.append(QStringLiteral("\r\nScan tool found again on COM%1: connected again\r\n").arg(com));
}

Program::~Program() = default;

UsbPort *Program::usbPort() const
{
    return qobject_cast<UsbPort *>(m_port.get());
}

void Program::unload()
{
    if (UsbPort *usb = usbPort(); usb && usb->driverHandle() > 0)
        usb->closeDriver();
}

bool Program::replyToDecode(const QString &timeoutText)
{
    switch (link.outcome()) {
    case ScanToolLink::Outcome::Answer:
    case ScanToolLink::Outcome::EcuSilent:
        return true;
    case ScanToolLink::Outcome::NoVehicle:
        indicator.set(ScanToolLink::NoVehicleText, colors::Yellow);
        status.setText(ScanToolLink::NoVehicleText);
        return false;
    case ScanToolLink::Outcome::Garbled:
        return false;
    case ScanToolLink::Outcome::NoAnswer:
        if (link.timedOut() && !link.portFailed())
            indicator.set(timeoutText, colors::Red);
        return false;
    }
    return false;
}

bool Program::valueAnswered()
{
    if (link.outcome() == ScanToolLink::Outcome::EcuSilent) {
        indicator.set(QStringLiteral("ECU Timeout"), colors::Red);
        return false;
    }
    return replyToDecode();
}

void Program::setPort(std::unique_ptr<ScanToolPort> port)
{
    m_port = std::move(port);
    if (m_port)
        m_port->setInBufferSize(ReceiveBufferSize);
    link.setPort(m_port.get());
}

void Program::startUp()
{
    settings.baud_rate = 38400;
    controls.setEnabled(QStringList{names::Mode1, names::Mode2, names::Mode3, names::Mode4, names::Mode5}, false);
    controls.setVisible(names::Mode5, false);
    controls.setEnabled(names::mnuWBO2, false);
    controls.setEnabled(names::ChangeECU, false);
    controls.setCaption(names::ChangeECU, QStringLiteral("Change ECU"));
    link.setOBD_stop(false);
    settings.logger_stop = false;
    settings.logger_slots = false;
    settings.debug_mode = false;
    settings.WBO2_PID = QStringLiteral("0");
    indicator.set(QStringLiteral("ECU Off-Line"), colors::Red);
    controls.setEnabled(QStringList{names::mnuDataLog, names::mnuMode6, names::mnuFTM}, false);
    // The USB transport is built in but not offered.
    controls.setVisible(names::mnuUSB, false);
    controls.setEnabled(names::mnuUSB, false);
    definitions.load_trouble_codes();
    probeComPorts(*this);
}

} // namespace quenta
