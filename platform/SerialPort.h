#pragma once
// Scan-tool port on a real serial device (or a pseudo-terminal) through QSerialPort.
#include "platform/ScanToolPort.h"

#include <QSerialPort>

namespace quenta {

class SerialPort : public ScanToolPort {
    Q_OBJECT
public:
    explicit SerialPort(const QString &device, QObject *parent = nullptr);

    QString deviceName() const override { return m_device; }
    bool open(QString *error) override;
    void close() override;
    bool isOpen() const override { return m_port.isOpen(); }
    bool setLineSettings(const LineSettings &settings, QString *error) override;
    void setInBufferSize(int size) override;
    int inBufferCount() override;
    bool input(QByteArray *data, QString *error) override;
    bool output(const QByteArray &data, QString *error) override;

private:
    bool apply(QString *error);
    void onError(QSerialPort::SerialPortError error);

    QString m_device;
    QSerialPort m_port;
    LineSettings m_settings;
    bool m_failed = false;
};

} // namespace quenta
