#include "sim/SimPort.h"

namespace quenta::sim {

SimPort::SimPort(SimulatedScanTool *tool, QObject *parent) : ScanToolPort(parent), m_tool(tool)
{
}

bool SimPort::open(QString *error)
{
    if (!m_tool || m_lost) {
        if (error)
            *error = QStringLiteral("the simulated scan tool is not there");
        return false;
    }
    m_open = true;
    m_buffer.clear();
    connect(m_tool, &SimulatedScanTool::transmit, this, &SimPort::onTransmit, Qt::UniqueConnection);
    m_tool->start();
    return true;
}

void SimPort::close()
{
    if (!m_open)
        return;
    m_open = false;
    if (m_tool) {
        disconnect(m_tool, &SimulatedScanTool::transmit, this, &SimPort::onTransmit);
        m_tool->stop();
    }
}

bool SimPort::setLineSettings(const LineSettings &settings, QString *)
{
    m_settings = settings;
    return true;
}

void SimPort::onTransmit(const QByteArray &data)
{
    if (!m_open)
        return;
    m_buffer.append(data);
    emit readyRead();
}

int SimPort::inBufferCount()
{
    return m_lost ? -1 : m_buffer.size();
}

bool SimPort::input(QByteArray *data, QString *error)
{
    if (!m_open || m_lost) {
        if (error)
            *error = QStringLiteral("the simulated scan tool is gone");
        return false;
    }
    *data = m_buffer.take();
    return true;
}

bool SimPort::output(const QByteArray &data, QString *error)
{
    if (!m_open || m_lost || !m_tool) {
        if (error)
            *error = QStringLiteral("the simulated scan tool is gone");
        return false;
    }
    m_tool->receive(data);
    return true;
}

void SimPort::simulateLoss()
{
    m_lost = true;
    if (m_tool)
        m_tool->stop();
    emit failed(QStringLiteral("the simulated scan tool was disconnected"));
}

std::unique_ptr<SimulatedScanTool> installSimulatedTool(PortDirectory &ports, int com, const QString &profileFile,
                                                        QString *error)
{
    const std::optional<VehicleProfile> profile =
        profileFile.isEmpty() ? VehicleProfile::defaultProfile() : VehicleProfile::fromFile(profileFile, error);
    if (!profile)
        return nullptr;
    auto tool = std::make_unique<SimulatedScanTool>(*profile);
    SimulatedScanTool *shared = tool.get();
    ports.mapFactory(com, [shared] { return std::make_unique<SimPort>(shared); },
                     QStringLiteral("simulated scan tool: %1")
                         .arg(profileFile.isEmpty() ? QStringLiteral("shipped car") : profileFile));
    return tool;
}

} // namespace quenta::sim
