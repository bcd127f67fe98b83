#pragma once
// The simulated scan tool as a port inside the program (no device, no thread).
#include "link/PortDirectory.h"
#include "platform/ReceiveBuffer.h"
#include "platform/ScanToolPort.h"
#include "sim/SimulatedScanTool.h"

#include <QPointer>
#include <memory>

namespace quenta::sim {

class SimPort : public ScanToolPort {
    Q_OBJECT
public:
    // The tool is shared: it outlives ports opened and closed on it (the start-up probe does that).
    explicit SimPort(SimulatedScanTool *tool, QObject *parent = nullptr);

    QString deviceName() const override { return QStringLiteral("simulated scan tool"); }
    bool open(QString *error) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    bool setLineSettings(const LineSettings &settings, QString *error) override;
    void setInBufferSize(int size) override { m_buffer.setCapacity(size); }
    int inBufferCount() override;
    bool input(QByteArray *data, QString *error) override;
    bool output(const QByteArray &data, QString *error) override;

    // As if the device vanished under the program.
    void simulateLoss();
    LineSettings lineSettings() const { return m_settings; }

private:
    void onTransmit(const QByteArray &data);

    QPointer<SimulatedScanTool> m_tool;
    bool m_open = false;
    bool m_lost = false;
    // What the program can read now. Bounded like a UART's receive buffer: what arrives while it
    // is full is lost, so a discard after a long idle leaves nothing stale.
    ReceiveBuffer m_buffer;
    LineSettings m_settings;
};

// Puts a simulated tool behind COMn: the shipped car, or the profile in `profileFile`. Nothing (with
// the reason) when the profile cannot be read. The tool must live as long as the ports made on it.
std::unique_ptr<SimulatedScanTool> installSimulatedTool(PortDirectory &ports, int com, const QString &profileFile,
                                                        QString *error);

} // namespace quenta::sim
