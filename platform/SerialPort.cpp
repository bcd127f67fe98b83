#include "platform/SerialPort.h"

#include "platform/PortAccess.h"

#include <sys/ioctl.h>

namespace quenta {

SerialPort::SerialPort(const QString &device, QObject *parent)
    : ScanToolPort(parent), m_device(device)
{
    m_port.setPortName(device);
    // QSerialPort fetches everything; the bound is ours (a capped QSerialPort would leave the
    // overflow queued in the kernel, to arrive later as if it were fresh).
    m_port.setReadBufferSize(0);
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPort::onPortReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPort::onError);
}

bool SerialPort::open(QString *error)
{
    m_failed = false;
    // Settings given before opening take effect as the port opens.
    apply(nullptr);
    if (!m_port.open(QIODevice::ReadWrite)) {
        if (m_port.error() == QSerialPort::PermissionError)
            portPermissionRefused(m_device);
        if (error)
            *error = m_port.errorString();
        return false;
    }
    if (!apply(error)) {
        m_port.close();
        return false;
    }
    // What the line carried before our settings applied is noise.
    m_port.clear(QSerialPort::Input);
    m_buffer.clear();
    return true;
}

void SerialPort::close()
{
    if (m_port.isOpen())
        m_port.close();
}

bool SerialPort::setLineSettings(const LineSettings &settings, QString *error)
{
    m_settings = settings;
    return !m_port.isOpen() || apply(error);
}

bool SerialPort::apply(QString *error)
{
    QSerialPort::Parity parity = QSerialPort::NoParity;
    switch (m_settings.parity) {
    case 'E': parity = QSerialPort::EvenParity; break;
    case 'O': parity = QSerialPort::OddParity; break;
    case 'M': parity = QSerialPort::MarkParity; break;
    case 'S': parity = QSerialPort::SpaceParity; break;
    default: break;
    }
    const bool ok = m_port.setBaudRate(m_settings.baud)
        && m_port.setDataBits(static_cast<QSerialPort::DataBits>(m_settings.dataBits))
        && m_port.setParity(parity)
        && m_port.setStopBits(m_settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop)
        && m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok && error)
        *error = m_port.errorString();
    return ok;
}

void SerialPort::setInBufferSize(int size)
{
    m_capacity = qMax(1, size);
    if (m_buffer.size() > m_capacity)
        m_buffer.truncate(m_capacity);
}

void SerialPort::onPortReadyRead()
{
    if (!m_pulling)
        pull();
    emit readyRead();
}

void SerialPort::pull()
{
    if (!m_port.isOpen() || m_failed)
        return;
    m_pulling = true;
    // Characters the kernel holds that the event loop has not fetched yet arrived before now too.
    int pending = 0;
    if (::ioctl(int(m_port.handle()), FIONREAD, &pending) == 0 && pending > 0)
        m_port.waitForReadyRead(0);
    const QByteArray arrived = m_port.readAll();
    m_pulling = false;
    const qsizetype room = m_capacity - m_buffer.size();
    if (room > 0)
        m_buffer.append(arrived.left(room));
}

int SerialPort::inBufferCount()
{
    if (m_failed)
        return -1;
    pull();
    return int(m_buffer.size());
}

bool SerialPort::input(QByteArray *data, QString *error)
{
    if (m_failed || !m_port.isOpen()) {
        if (error)
            *error = m_failed ? m_port.errorString() : QStringLiteral("port not open");
        return false;
    }
    pull();
    *data = std::exchange(m_buffer, QByteArray());
    return true;
}

bool SerialPort::output(const QByteArray &data, QString *error)
{
    if (m_failed || !m_port.isOpen() || m_port.write(data) != data.size()) {
        if (error)
            *error = m_port.isOpen() ? m_port.errorString() : QStringLiteral("port not open");
        return false;
    }
    // Push the command out now: the next thing the program does is wait for its answer.
    m_port.flush();
    return true;
}

void SerialPort::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
        return;
    // A device that went away shows as a resource error, or as a read that finds the line hung up.
    if (error == QSerialPort::ResourceError || error == QSerialPort::PermissionError
        || error == QSerialPort::DeviceNotFoundError || error == QSerialPort::ReadError
        || error == QSerialPort::WriteError) {
        if (m_port.isOpen() && !m_failed) {
            m_failed = true;
            emit failed(m_port.errorString());
        }
    }
}

} // namespace quenta
