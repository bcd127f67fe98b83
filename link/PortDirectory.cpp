#include "link/PortDirectory.h"

#include "platform/SerialPort.h"

namespace quenta {

QString PortDirectory::defaultDevice(int com)
{
    if (com >= 1 && com <= 4)
        return QStringLiteral("/dev/ttyS%1").arg(com - 1);
    if (com >= 5 && com <= 9)
        return QStringLiteral("/dev/ttyUSB%1").arg(com - 5);
    return QString();
}

void PortDirectory::mapDevice(int com, const QString &device)
{
    m_factories.remove(com);
    m_devices.insert(com, device);
}

void PortDirectory::mapFactory(int com, Factory factory, const QString &description)
{
    m_devices.remove(com);
    m_factories.insert(com, Made{std::move(factory), description});
}

QString PortDirectory::describe(int com) const
{
    if (const auto it = m_factories.find(com); it != m_factories.end())
        return QStringLiteral("COM%1 (%2)").arg(com).arg(it->description);
    return QStringLiteral("COM%1 (%2)").arg(com).arg(m_devices.value(com, defaultDevice(com)));
}

std::unique_ptr<ScanToolPort> PortDirectory::create(int com) const
{
    if (const auto it = m_factories.find(com); it != m_factories.end())
        return it->factory();
    const QString device = m_devices.value(com, defaultDevice(com));
    if (device.isEmpty())
        return nullptr;
    if (m_deviceMaker)
        return m_deviceMaker(device);
    return std::make_unique<SerialPort>(device);
}

} // namespace quenta
