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
    void onPortReadyRead();
    // Moves what the line delivered into the receive buffer; what does not fit is dropped.
    void pull();

    QString m_device;
    QSerialPort m_port;
    LineSettings m_settings;
    bool m_failed = false;
    bool m_pulling = false;
    // The receive buffer the program reads: bounded like a UART's, so a discard leaves nothing stale
    // however long the tool kept talking while nobody read.
    QByteArray m_buffer;
    int m_capacity = 80;
};

} // namespace quenta
