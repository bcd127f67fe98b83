#include "link/ScanToolLink.h"

#include <QEventLoop>
#include <QTimer>

namespace quenta {

namespace {
// A safety net only: every wake-up that matters comes from the port or the stop flag.
constexpr int MaxSleepMs = 50;
}

QString lengthText(int length)
{
    return QStringLiteral("%1").arg(length & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
}

ScanToolLink::ScanToolLink(Prompts &prompts, IndicatorModel &indicator, QObject *parent)
    : QObject(parent), m_prompts(prompts), m_indicator(indicator)
{
}

void ScanToolLink::setPort(ScanToolPort *port)
{
    if (m_port)
        disconnect(m_port, nullptr, this, nullptr);
    m_port = port;
    m_portFailed = false;
    if (m_port)
        connect(m_port, &ScanToolPort::failed, this, &ScanToolLink::onPortFailed);
}

void ScanToolLink::setOBD_stop(bool on)
{
    m_stop = on;
    if (on)
        emit stopRaised();
}

void ScanToolLink::abandon()
{
    m_abandoned = true;
    setOBD_stop(true);
}

void ScanToolLink::onPortFailed(const QString &reason)
{
    if (m_portFailed)
        return;
    // Said once: every later exchange on the dead port fails quietly and at once.
    m_portFailed = true;
    m_indicator.setColor(colors::Red);
    setOBD_stop(true);
    m_prompts.message(QStringLiteral("Communication Error Reading Scan Tool Data"));
    emit portLost(reason);
}

void ScanToolLink::OBDoutput(const QString &strOUT)
{
    if (m_portFailed)
        return;
    QString error;
    if (!m_port || !m_port->output(strOUT.toLatin1(), &error))
        m_prompts.message(QStringLiteral("Communication Error Writing Scan Tool Data"));
}

QString ScanToolLink::OBDinput()
{
    if (m_portFailed)
        return QStringLiteral("FF");
    QByteArray data;
    QString error;
    if (!m_port || !m_port->input(&data, &error)) {
        m_prompts.message(QStringLiteral("Communication Error Reading Scan Tool Data"));
        return QStringLiteral("FF");
    }
    return QString::fromLatin1(data);
}

int ScanToolLink::OBDinbuffercount()
{
    if (!m_port || m_portFailed)
        return 0;
    return qMax(0, m_port->inBufferCount());
}

void ScanToolLink::yieldToEvents(int ms)
{
    if (m_abandoned)
        return;
    QEventLoop loop;
    if (m_port)
        connect(m_port, &ScanToolPort::readyRead, &loop, &QEventLoop::quit);
    connect(this, &ScanToolLink::stopRaised, &loop, &QEventLoop::quit);
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(qMax(0, ms));
    loop.exec();
}

std::optional<QDeadlineTimer> ScanToolLink::boundDeadline() const
{
    if (!m_boundMs)
        return std::nullopt;
    return QDeadlineTimer(*m_boundMs, Qt::PreciseTimer);
}

ScanToolLink::WaitEnd ScanToolLink::waitForCharacters(int threshold, std::optional<QDeadlineTimer> deadline)
{
    for (;;) {
        if (m_stop || m_abandoned || m_portFailed)
            return WaitEnd::Stopped;
        if (OBDinbuffercount() > threshold)
            return WaitEnd::Ready;
        int sleep = MaxSleepMs;
        // Within a bounded operation, a tool that already failed to answer is not waited for again.
        if (m_boundMs && m_timedOut)
            return WaitEnd::TimedOut;
        if (deadline) {
            if (deadline->hasExpired()) {
                m_timedOut = true;
                return WaitEnd::TimedOut;
            }
            sleep = int(qMin<qint64>(sleep, deadline->remainingTime()));
        }
        yieldToEvents(sleep);
    }
}

QString ScanToolLink::waitReply(int threshold, std::optional<int> timeoutMs)
{
    std::optional<QDeadlineTimer> deadline = boundDeadline();
    if (timeoutMs) {
        const QDeadlineTimer own(*timeoutMs, Qt::PreciseTimer);
        if (!deadline || own < *deadline)
            deadline = own;
    }
    if (waitForCharacters(threshold, deadline) != WaitEnd::Ready)
        return QString();
    return OBDinput();
}

void ScanToolLink::wait_OBD_ready()
{
    setOBD_stop(false);
    OBDinput();
    const std::optional<QDeadlineTimer> deadline = boundDeadline();
    while (!m_stop) {
        const WaitEnd end = waitForCharacters(0, deadline);
        if (end == WaitEnd::TimedOut) {
            // Nothing came from the tool in time: the request is abandoned like one without vehicle.
            setOBD_stop(true);
            return;
        }
        if (end != WaitEnd::Ready)
            return;
        const QString collected = OBDinput();
        if (collected.contains(QLatin1Char('S'))) {
            m_indicator.setColor(colors::Green);
            return;
        }
        if (collected.contains(QLatin1Char('P'))) {
            setOBD_stop(true);
            m_indicator.setColor(colors::Yellow);
            return;
        }
    }
}

QString ScanToolLink::exchange(const QString &command, int threshold, std::optional<int> timeoutMs, Discard discard)
{
    if (discard == Discard::BeforeSend)
        OBDinput();
    OBDoutput(command);
    if (discard == Discard::AfterSend)
        OBDinput();
    return waitReply(threshold, timeoutMs);
}

QString ScanToolLink::request(const QString &command, int threshold, std::optional<int> timeoutMs)
{
    wait_OBD_ready();
    return exchange(command, threshold, timeoutMs);
}

QString ScanToolLink::get_ecu_PID(const QString &mode, const QString &pid, const QString &count)
{
    setOBD_stop(false);
    m_indicator.setColor(colors::Green);
    wait_OBD_ready();
    if (m_stop)
        return NoVehicleReply;
    // The length pair is hexadecimal on the wire; the reply carries two characters per byte.
    bool ok = false;
    const int length = count.toInt(&ok, 16);
    const int threshold = ok ? 2 * length : 0;
    for (;;) {
        QString reply = exchange(mode + pid + count, threshold);
        if (reply.size() >= 3 && reply.at(2) == QLatin1Char('S') && !m_stop) {
            m_indicator.setColor(colors::Red);
            continue;
        }
        if (reply.startsWith(QLatin1Char('S')))
            reply = reply.mid(1, 2 * (ok ? length : 0) + 1);
        return reply;
    }
}

ScanToolLink::Bound::Bound(ScanToolLink &link, int timeoutMs) : m_link(link), m_previous(link.m_boundMs)
{
    m_link.m_boundMs = timeoutMs;
    m_link.m_timedOut = false;
}

ScanToolLink::Bound::~Bound()
{
    m_link.m_boundMs = m_previous;
}

} // namespace quenta
