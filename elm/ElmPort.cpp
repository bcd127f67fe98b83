#include "elm/ElmPort.h"

#include <QSerialPort>
#include <QTcpSocket>

namespace quenta::elm {

namespace {

ElmPort::DeviceMaker deviceFor(const ElmTarget &target)
{
    if (target.isTcp())
        return [target](QString *) -> std::unique_ptr<QIODevice> {
            auto socket = std::make_unique<QTcpSocket>();
            socket->connectToHost(target.host, target.tcpPort);
            return socket;
        };
    return [target](QString *error) -> std::unique_ptr<QIODevice> {
        auto serial = std::make_unique<QSerialPort>(target.device);
        serial->setBaudRate(target.baud.value_or(ElmSession::searchSpeeds().first()));
        serial->setDataBits(QSerialPort::Data8);
        serial->setParity(QSerialPort::NoParity);
        serial->setStopBits(QSerialPort::OneStop);
        serial->setFlowControl(QSerialPort::NoFlowControl);
        if (!serial->open(QIODevice::ReadWrite)) {
            if (error)
                *error = serial->errorString();
            return nullptr;
        }
        return serial;
    };
}

} // namespace

QString ElmPort::describe(const ElmTarget &target)
{
    if (target.isTcp())
        return QStringLiteral("ELM327 adapter at %1:%2").arg(target.host).arg(target.tcpPort);
    return QStringLiteral("ELM327 adapter on %1").arg(target.device);
}

namespace {

ElmSession::Options optionsFor(const ElmTarget &target)
{
    ElmSession::Options o;
    o.baud = target.baud;
    return o;
}

} // namespace

ElmPort::ElmPort(const ElmTarget &target, Clock *clock, QObject *parent)
    : ElmPort(describe(target), deviceFor(target), optionsFor(target), clock, parent)
{
}

ElmPort::ElmPort(const QString &name, DeviceMaker makeDevice, ElmSession::Options options, Clock *clock,
                 QObject *parent)
    : ScanToolPort(parent), m_name(name), m_makeDevice(std::move(makeDevice)), m_options(options),
      m_clock(clock ? *clock : m_ownClock), m_face(*this, &m_clock, this), m_idle(m_clock, this)
{
    m_ownClock.setParent(this);
    connect(&m_face, &ToolFace::transmit, this, &ElmPort::onTransmit);
    m_idle.setSingleShot(true);
    connect(&m_idle, &ClockTimer::timeout, this, &ElmPort::probe);
}

ElmPort::~ElmPort()
{
    close();
}

bool ElmPort::open(QString *error)
{
    close();
    m_failed = false;
    m_failure.clear();
    m_device = m_makeDevice(error);
    if (!m_device)
        return false;
    m_session = std::make_unique<ElmSession>(*m_device, m_clock);
    connect(m_session.get(), &ElmSession::failed, this, &ElmPort::fail);
    connect(m_session.get(), &ElmSession::ready, this, &ElmPort::onSessionReady);
    m_face.start();
    auto *socket = qobject_cast<QAbstractSocket *>(m_device.get());
    if (socket && socket->state() != QAbstractSocket::ConnectedState) {
        // The session watches the socket's errors; it starts once the link is up.
        connect(socket, &QAbstractSocket::connected, m_session.get(), [this] { m_session->start(m_options); });
        return true;
    }
    m_session->start(m_options);
    return true;
}

void ElmPort::close()
{
    m_face.stop();
    m_idle.stop();
    // The session goes first, so closing the device is not taken for a failure.
    m_session.reset();
    if (m_device)
        m_device->close();
    m_device.reset();
    m_ready = false;
    m_vehicle = false;
    m_inProgress = false;
    m_busErrors = 0;
    m_bus = Bus{};
    m_buffer.clear();
}

void ElmPort::fail(const QString &reason)
{
    if (m_failed)
        return;
    m_failed = true;
    m_failure = reason;
    m_ready = false;
    m_face.stop();
    m_idle.stop();
    emit failed(reason);
}

void ElmPort::onTransmit(const QByteArray &data)
{
    if (!m_device)
        return;
    m_buffer.append(data);
    emit readyRead();
}

int ElmPort::inBufferCount()
{
    return m_failed ? -1 : m_buffer.size();
}

bool ElmPort::input(QByteArray *data, QString *error)
{
    if (m_failed || !m_device) {
        if (error)
            *error = m_failed ? m_failure : QStringLiteral("the ELM327 adapter is not open");
        return false;
    }
    *data = m_buffer.take();
    return true;
}

bool ElmPort::output(const QByteArray &data, QString *error)
{
    if (m_failed || !m_device) {
        if (error)
            *error = m_failed ? m_failure : QStringLiteral("the ELM327 adapter is not open");
        return false;
    }
    m_face.receive(data);
    return true;
}

void ElmPort::onSessionReady()
{
    m_bus = Bus{};
    adoptBus([this] {
        m_vehicle = !m_bus.ecus.isEmpty();
        m_ready = true;
        m_idle.start(IdleProbeMs);
        emit adapterReady();
    });
}

void ElmPort::adoptBus(const std::function<void()> &then)
{
    m_bus.protocol = m_session->protocol();
    m_bus.ecus = m_session->ecus();
    m_bus.current = 0;
    m_bus.physical = false;
    const QList<QByteArray> lines = isCan(m_bus.protocol) ? addressLines(m_bus, 0) : QList<QByteArray>{};
    if (lines.isEmpty())
        return then();
    send(lines, [this, then](const Answer &) {
        // One ECU addressed alone answers once, so the count digit ends each request early.
        m_bus.physical = isCan(m_bus.protocol) && !m_bus.ecus.isEmpty();
        then();
    });
}

void ElmPort::learnBus(const ElmSession::Done &then)
{
    m_session->learn([this, then](const Answer &first) { adoptBus([then, first] { then(first); }); });
}

void ElmPort::send(const QList<QByteArray> &lines, ElmSession::Done done)
{
    for (qsizetype i = 0; i + 1 < lines.size(); ++i)
        m_session->request(lines[i], {});
    m_session->request(lines.last(), std::move(done));
}

QStringList ElmPort::takeFurtherReplies()
{
    return std::exchange(m_further, {});
}

void ElmPort::command(const QByteArray &six)
{
    const quint64 generation = ++m_generation;
    m_further.clear();
    m_idle.stop();
    const std::optional<ToolCommand> c = toolCommand(six);
    if (!m_ready || !c)
        return m_face.reply({});
    if (c->text() == commands::MonitorTestPass.text())
        return m_face.reply(m_face.acknowledgePass('0'));
    run(*c, generation);
}

void ElmPort::run(const ToolCommand &command, quint64 generation)
{
    const Plan p = plan(command, m_bus);
    if (p.lines.isEmpty()) {
        if (p.selectEcu)
            m_bus.current = *p.selectEcu;
        return finish(p.reply, generation);
    }
    m_inProgress = true;
    const QByteArray line = p.lines.last();
    const std::optional<int> select = p.selectEcu;
    send(p.lines, [this, command, line, generation, select](const Answer &a) {
        answerCommand(command, line, a, generation, select);
    });
}

void ElmPort::answerCommand(const ToolCommand &c, const QByteArray &line, const Answer &answer, quint64 generation,
                            std::optional<int> selectEcu)
{
    // The adapter's addressing changed whether or not the link still waits for this answer.
    if (selectEcu) {
        m_bus.current = *selectEcu;
        m_bus.physical = isCan(m_bus.protocol);
    }
    const Result r = toolReply(c, line, answer, m_bus);
    if (!r.retry.isEmpty()) {
        m_bus.freezeWithoutFrame = true;
        const QByteArray retry = r.retry;
        m_session->request(retry, [this, c, retry, generation](const Answer &a) {
            answerCommand(c, retry, a, generation, std::nullopt);
        });
        return;
    }
    if (!line.startsWith("AT"))
        heard(answer, false);
    finish(r.replies.isEmpty() ? QByteArray() : r.replies.first(), generation, r.replies.mid(1));
}

void ElmPort::finish(const QByteArray &reply, quint64 generation, const QList<QByteArray> &further)
{
    if (generation != m_generation)
        return; // the link gave up on that command and sent another: its answer is not this one's
    m_inProgress = false;
    m_further.clear();
    for (const QByteArray &more : further)
        m_further << QString::fromLatin1(more);
    m_face.reply(reply);
    m_idle.start(IdleProbeMs);
}

void ElmPort::packet(const QByteArray &bytes)
{
    const quint64 generation = ++m_generation;
    m_idle.stop();
    const std::optional<QByteArray> line = packetLine(bytes, m_bus);
    if (!line)
        return finish(packetReply(bytes, Answer{}, m_bus), generation);
    m_inProgress = true;
    m_session->request(*line, [this, bytes, generation](const Answer &a) {
        heard(a, false);
        QByteArray other;
        const QByteArray reply = packetReply(bytes, a, m_bus, &other);
        finish(reply, generation, other.isEmpty() ? QList<QByteArray>{} : QList<QByteArray>{other});
    });
}

void ElmPort::heard(const Answer &answer, bool probe)
{
    if (!answer.messages.isEmpty()) {
        m_vehicle = true;
        m_busErrors = 0;
    } else if (answer.noVehicle() || (probe && answer.has(Word::NoData))) {
        m_vehicle = false;
    } else if (answer.has(Word::CanError) || answer.has(Word::BusError)) {
        if (++m_busErrors >= BusErrorsForNoVehicle)
            m_vehicle = false;
    }
}

void ElmPort::probe()
{
    if (!m_ready || m_failed)
        return;
    if (busy())
        return m_idle.start(IdleProbeMs);
    auto done = [this](const Answer &a) {
        heard(a, true);
        if (!busy())
            m_idle.start(IdleProbeMs);
    };
    // Until a vehicle has answered, the probe is the connection's search for it.
    if (m_bus.ecus.isEmpty())
        return learnBus(done);
    m_session->request(m_bus.oneAnswers() ? "01001" : "0100", done);
}

} // namespace quenta::elm
