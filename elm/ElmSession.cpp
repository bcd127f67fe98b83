#include "elm/ElmSession.h"

#include <QAbstractSocket>
#include <QSerialPort>
#include <algorithm>

namespace quenta::elm {

namespace {
// A line the adapter takes as nothing it would act on: it answers with its prompt.
const QByteArray Harmless = QByteArrayLiteral("\x7F\x7F\r");

// The answer of a speed that is right: readable text ending in the prompt. At a wrong speed the
// bytes are noise, which may hold a '>' by chance but hardly only printable ones.
bool promptAtSpeed(const QByteArray &text)
{
    QByteArray t = text;
    while (!t.isEmpty() && (t.back() == '\r' || t.back() == '\n' || t.back() == ' ' || t.back() == '\0'))
        t.chop(1);
    if (!t.endsWith('>'))
        return false;
    // The adapter echoes the harmless line itself (DEL characters) until echo is off.
    for (char c : t)
        if (!(c == '\r' || c == '\n' || c == '\0' || (quint8(c) >= 0x20 && quint8(c) <= 0x7F)))
            return false;
    return true;
}
} // namespace

const QList<int> &ElmSession::searchSpeeds()
{
    static const QList<int> speeds{38400, 9600, 115200, 57600, 19200, 230400};
    return speeds;
}

ElmSession::ElmSession(QIODevice &device, Clock &clock, QObject *parent)
    : QObject(parent), m_device(device), m_bound(clock, this)
{
    m_bound.setSingleShot(true);
    connect(&m_bound, &ClockTimer::timeout, this, [this] {
        if (m_speedIndex >= 0)
            return trySpeed(m_speedIndex + 1);
        const QByteArray line = m_onLine && !m_queue.empty() ? m_queue.front().line : QByteArrayLiteral("its first line");
        fail(QStringLiteral("the ELM327 adapter did not answer %1").arg(QString::fromLatin1(line)));
    });
    connect(&m_device, &QIODevice::readyRead, this, &ElmSession::onReadyRead);
    watchDevice();
}

void ElmSession::watchDevice()
{
    connect(&m_device, &QIODevice::aboutToClose, this, [this] { fail(QStringLiteral("the ELM327 adapter's device was closed")); });
    connect(&m_device, &QIODevice::readChannelFinished, this,
            [this] { fail(QStringLiteral("the ELM327 adapter's device ended")); });
    if (auto *socket = qobject_cast<QAbstractSocket *>(&m_device)) {
        connect(socket, &QAbstractSocket::disconnected, this,
                [this] { fail(QStringLiteral("the ELM327 adapter closed the network connection")); });
        connect(socket, &QAbstractSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError) {
            fail(QStringLiteral("the ELM327 adapter's network connection failed: %1").arg(socket->errorString()));
        });
    }
    if (auto *serial = qobject_cast<QSerialPort *>(&m_device)) {
        connect(serial, &QSerialPort::errorOccurred, this, [this, serial](QSerialPort::SerialPortError e) {
            if (e != QSerialPort::NoError && e != QSerialPort::TimeoutError)
                fail(QStringLiteral("the ELM327 adapter's serial device failed: %1").arg(serial->errorString()));
        });
    }
}

void ElmSession::start(const Options &options)
{
    m_options = options;
    auto *serial = qobject_cast<QSerialPort *>(&m_device);
    if (!m_device.isOpen())
        return fail(QStringLiteral("the ELM327 adapter's device is not open"));
    if (serial && !options.baud)
        return trySpeed(0);
    if (serial) {
        serial->setBaudRate(*options.baud);
        m_baud = *options.baud;
    }
    m_probing = true;
    m_buffer.clear();
    m_bound.start(m_options.promptBoundMs);
    m_device.write(Harmless);
}

void ElmSession::trySpeed(int index)
{
    if (m_failed)
        return;
    auto *serial = qobject_cast<QSerialPort *>(&m_device);
    if (index >= searchSpeeds().size()) {
        m_speedIndex = -1;
        return fail(QStringLiteral("no ELM327 adapter answers on %1 at any speed").arg(serial->portName()));
    }
    m_speedIndex = index;
    serial->setBaudRate(searchSpeeds()[index]);
    serial->clear(QSerialPort::AllDirections);
    m_device.readAll();
    m_buffer.clear();
    m_bound.start(m_options.speedProbeMs);
    m_device.write(Harmless);
}

void ElmSession::request(const QByteArray &line, Done done, std::optional<int> boundMs)
{
    if (m_failed)
        return;
    const int bound = boundMs.value_or(line.startsWith("AT") ? m_options.promptBoundMs : m_options.requestBoundMs);
    m_queue.push_back({line, std::move(done), bound});
    pump();
}

void ElmSession::pump()
{
    if (m_failed || m_onLine || !m_atPrompt || m_queue.empty())
        return;
    // The bound starts before the write: a device that answers within write()
    // has taken the request off the queue by the time write() returns.
    const QByteArray line = m_queue.front().line;
    m_onLine = true;
    m_atPrompt = false;
    m_bound.start(m_queue.front().boundMs);
    m_device.write(line + '\r');
}

void ElmSession::onReadyRead()
{
    if (m_failed)
        return;
    m_buffer += m_device.readAll();
    if (m_speedIndex >= 0) {
        if (!promptAtSpeed(m_buffer))
            return;
        m_baud = searchSpeeds()[m_speedIndex];
        m_speedIndex = -1;
        return probeAnswered();
    }
    qsizetype prompt;
    while ((prompt = m_buffer.indexOf('>')) >= 0) {
        const QByteArray text = m_buffer.left(prompt);
        m_buffer.remove(0, prompt + 1);
        if (m_probing) {
            probeAnswered();
            continue;
        }
        if (!m_onLine)
            continue; // a prompt nobody waits for (the adapter's own restart): nothing to read
        m_bound.stop();
        Pending p = std::move(m_queue.front());
        m_queue.pop_front();
        m_onLine = false;
        m_atPrompt = true;
        const Answer answer = parseAnswer(text, m_protocol, p.line);
        if (p.done)
            p.done(answer);
        if (m_failed)
            return;
        emit answered(p.line, answer);
        // The raw text of the learning 0100, read again once the protocol is known.
        if (p.line == "0100" && m_learning)
            m_firstAnswer = text;
    }
    pump();
}

void ElmSession::probeAnswered()
{
    m_bound.stop();
    m_probing = false;
    m_buffer.clear();
    m_atPrompt = true;
    configure();
}

void ElmSession::configure()
{
    auto refusedFatal = [this](const char *what) {
        return [this, what](const Answer &a) {
            if (a.has(Word::Unknown))
                fail(QStringLiteral("the ELM327 adapter refused %1").arg(QLatin1String(what)));
        };
    };
    request("ATZ", [this](const Answer &a) {
        for (const QByteArray &l : a.lines)
            if (l.toUpper().contains("ELM"))
                m_version = l;
    });
    request("ATE0", {});
    request("ATL0", {});
    request(m_options.spaces ? "ATS1" : "ATS0", {});
    request("ATH1", refusedFatal("ATH1"));
    request(m_options.adaptiveTiming == 2 ? "ATAT2" : "ATAT1", {});
    request("ATSP0", refusedFatal("ATSP0"));
    learn([this](const Answer &) {
        m_ready = true;
        emit ready();
    });
}

void ElmSession::learn(Done then)
{
    m_learning = true;
    m_firstAnswer.clear();
    request("0100", {}, m_options.searchBoundMs);
    request("ATDPN", [this, then](const Answer &a) {
        for (const QByteArray &l : a.lines)
            if (protocolFromNumber(l) != Protocol::Unknown)
                m_protocol = protocolFromNumber(l);
        const Answer first = parseAnswer(m_firstAnswer, m_protocol, "0100");
        m_learning = false;
        m_ecus.clear();
        for (const EcuMessage &m : first.messages)
            if (m.bytes.size() >= 2 && m.bytes[0] == 0x41 && m.bytes[1] == 0 && !m_ecus.contains(m.id))
                m_ecus << m.id;
        std::sort(m_ecus.begin(), m_ecus.end());
        if (then)
            then(first);
    });
}

void ElmSession::fail(const QString &reason)
{
    if (m_failed)
        return;
    m_failed = true;
    m_bound.stop();
    m_queue.clear();
    m_onLine = false;
    emit failed(reason);
}

} // namespace quenta::elm
