#include "elm/DetectingPort.h"

#include "elm/ElmPort.h"
#include "platform/SerialPort.h"

namespace quenta::elm {

DetectingPort::DetectingPort(const QString &device, Clock *clock, QObject *parent)
    : ScanToolPort(parent), m_device(device), m_clock(clock ? *clock : m_ownClock), m_quiet(m_clock, this)
{
    m_ownClock.setParent(this);
    m_quiet.setSingleShot(true);
    connect(&m_quiet, &ClockTimer::timeout, this, &DetectingPort::onQuiet);
}

DetectingPort::~DetectingPort()
{
    close();
}

QString DetectingPort::deviceName() const
{
    return m_adapter && m_active ? m_active->deviceName() : m_device;
}

void DetectingPort::adopt(std::unique_ptr<ScanToolPort> port)
{
    m_active = std::move(port);
    if (!m_active)
        return;
    connect(m_active.get(), &ScanToolPort::readyRead, this, [this] {
        m_heard = true;
        emit readyRead();
    });
    connect(m_active.get(), &ScanToolPort::failed, this, &ScanToolPort::failed);
}

bool DetectingPort::openSerial(QString *error)
{
    auto serial = std::make_unique<SerialPort>(m_device);
    serial->setLineSettings(m_settings, nullptr);
    serial->setInBufferSize(m_bufferSize);
    serial->setInputMode(inputMode());
    if (!serial->open(error))
        return false;
    adopt(std::move(serial));
    return true;
}

bool DetectingPort::open(QString *error)
{
    close();
    m_heard = false;
    m_adapter = false;
    if (!openSerial(error))
        return false;
    m_quiet.start(QuietMs);
    return true;
}

void DetectingPort::close()
{
    m_quiet.stop();
    m_probe.reset();
    if (m_active)
        m_active->close();
    m_active.reset();
}

bool DetectingPort::isOpen() const
{
    return m_probe || (m_active && m_active->isOpen());
}

void DetectingPort::onQuiet()
{
    if (m_heard || !m_active || m_active->inBufferCount() != 0)
        return;
    // The device has to be free for the adapter's own session at its own speeds.
    m_active->close();
    m_active.reset();
    ElmTarget target;
    target.device = m_device;
    m_probe = std::make_unique<ElmPort>(target, &m_clock);
    m_probe->setInBufferSize(m_bufferSize);
    connect(m_probe.get(), &ElmPort::adapterReady, this, &DetectingPort::onProbeReady);
    connect(m_probe.get(), &ScanToolPort::failed, this, &DetectingPort::onProbeFailed, Qt::QueuedConnection);
    if (!m_probe->open(nullptr))
        QMetaObject::invokeMethod(this, &DetectingPort::onProbeFailed, Qt::QueuedConnection);
}

void DetectingPort::onProbeReady()
{
    if (!m_probe)
        return;
    m_adapter = true;
    m_probe->disconnect(this);
    m_probe->setInputMode(inputMode());
    adopt(std::move(m_probe));
    emit readyRead();
}

void DetectingPort::onProbeFailed()
{
    if (!m_probe)
        return;
    m_probe.reset();
    // Not an adapter either: the quiet device it was, for the link to find silent.
    QString error;
    if (!openSerial(&error))
        emit failed(error);
}

bool DetectingPort::setLineSettings(const LineSettings &settings, QString *error)
{
    m_settings = settings;
    return !m_active || m_active->setLineSettings(settings, error);
}

void DetectingPort::setInBufferSize(int size)
{
    m_bufferSize = size;
    if (m_active)
        m_active->setInBufferSize(size);
}

void DetectingPort::setInputMode(InputMode mode)
{
    ScanToolPort::setInputMode(mode);
    if (m_active)
        m_active->setInputMode(mode);
}

int DetectingPort::inBufferCount()
{
    if (!m_active)
        return 0;
    const int n = m_active->inBufferCount();
    if (n > 0)
        m_heard = true;
    return n;
}

bool DetectingPort::input(QByteArray *data, QString *error)
{
    if (!m_active) {
        data->clear();
        return true;
    }
    return m_active->input(data, error);
}

bool DetectingPort::output(const QByteArray &data, QString *error)
{
    // While the probe runs nothing is there to listen, as on a silent tool's line.
    return !m_active || m_active->output(data, error);
}

std::optional<quint8> DetectingPort::readyQuery()
{
    return m_active ? m_active->readyQuery() : std::nullopt;
}

int DetectingPort::pollIntervalMs() const
{
    return m_active ? m_active->pollIntervalMs() : ScanToolPort::pollIntervalMs();
}

QStringList DetectingPort::takeFurtherReplies()
{
    return m_active ? m_active->takeFurtherReplies() : QStringList();
}

QString DetectingPort::adapterIdentity() const
{
    return m_active ? m_active->adapterIdentity() : QString();
}

} // namespace quenta::elm
