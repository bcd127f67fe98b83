#include "core/Program.h"

#include "services/Connection.h"

namespace quenta {

Program::Program(Prompts &p, PortDirectory portDirectory, QObject *parent)
    : QObject(parent), prompts(p), ports(std::move(portDirectory)), link(p, indicator), definitions(p)
{
    connect(&link, &ScanToolLink::portLost, this, &Program::onPortLost);
}

void Program::onPortLost()
{
    // The tool is gone: offer the connection again instead of leaving a dead link in place.
    if (m_port)
        m_port->close();
    indicator.set(QStringLiteral("ECU Off-Line"), colors::Red);
    controls.setEnabled(QStringList{QStringLiteral("Mode1"), QStringLiteral("Mode2"), QStringLiteral("Mode3"),
                                    QStringLiteral("Mode4"), QStringLiteral("Mode5"), QStringLiteral("ChangeECU")},
                        false);
    controls.setEnabled(QStringList{QStringLiteral("mnuCom"), QStringLiteral("mnuConnectionCom1"),
                                    QStringLiteral("mnuConnectionCom2"), QStringLiteral("mnuConnectionCom3"),
                                    QStringLiteral("mnuConnectionCom4"), QStringLiteral("mnuConnectionComX")},
                        true);
}

Program::~Program() = default;

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
    controls.setEnabled(QStringList{QStringLiteral("Mode1"), QStringLiteral("Mode2"), QStringLiteral("Mode3"),
                                    QStringLiteral("Mode4"), QStringLiteral("Mode5")},
                        false);
    controls.setVisible(QStringLiteral("Mode5"), false);
    controls.setEnabled(QStringLiteral("mnuWBO2"), false);
    controls.setEnabled(QStringLiteral("ChangeECU"), false);
    controls.setCaption(QStringLiteral("ChangeECU"), QStringLiteral("Change ECU"));
    link.setOBD_stop(false);
    settings.logger_stop = false;
    settings.logger_slots = false;
    settings.debug_mode = false;
    settings.WBO2_PID = QStringLiteral("0");
    indicator.set(QStringLiteral("ECU Off-Line"), colors::Red);
    controls.setEnabled(QStringList{QStringLiteral("mnuDataLog"), QStringLiteral("mnuMode6"), QStringLiteral("mnuFTM")},
                        false);
    // The USB transport is built in but not offered.
    controls.setVisible(QStringLiteral("mnuUSB"), false);
    controls.setEnabled(QStringLiteral("mnuUSB"), false);
    link.serial_link = true;
    definitions.load_trouble_codes();
    probeComPorts(*this);
}

} // namespace quenta
