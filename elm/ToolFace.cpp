#include "elm/ToolFace.h"

namespace quenta::elm {

ToolFace::ToolFace(ToolBackend &backend, Clock *clock, QObject *parent)
    : QObject(parent), m_backend(backend), m_clock(clock ? *clock : m_ownClock), m_startUs(m_clock.tickUs())
{
    m_ownClock.setParent(this);
    connect(&m_statusTimer, &ClockTimer::timeout, this, &ToolFace::sendStatus);
    m_releaseTimer.setSingleShot(true);
    connect(&m_releaseTimer, &ClockTimer::timeout, this, &ToolFace::releaseDue);
    m_replyTimer.setSingleShot(true);
    connect(&m_replyTimer, &ClockTimer::timeout, this, [this] {
        const QByteArray reply = std::exchange(m_pendingReply, QByteArray());
        if (reply.isEmpty()) {
            m_busy = false;
            return;
        }
        send(reply, false);
    });
    m_packetTimer.setSingleShot(true);
    connect(&m_packetTimer, &ClockTimer::timeout, this, [this] {
        m_awaitingPacket = false;
        m_packet.clear();
        if (!m_replyTimer.isActive() && m_line.empty())
            m_busy = false;
    });
    m_partialTimer.setSingleShot(true);
    connect(&m_partialTimer, &ClockTimer::timeout, this, [this] {
        m_command.clear();
        if (!m_replyTimer.isActive() && m_line.empty())
            m_busy = false;
    });
}

void ToolFace::start()
{
    m_statusTimer.start(m_backend.statusPeriodMs());
}

void ToolFace::stop()
{
    m_statusTimer.stop();
    m_releaseTimer.stop();
    m_replyTimer.stop();
    m_packetTimer.stop();
    m_line.clear();
    m_busy = false;
    m_awaitingPacket = false;
    m_packet.clear();
}

bool ToolFace::idle() const
{
    return !m_busy && !m_awaitingPacket && m_line.empty() && !m_backend.quiet();
}

quint8 ToolFace::readyByte() const
{
    if (!idle() || !m_statusTimer.isActive())
        return 0;
    return quint8(m_backend.status());
}

void ToolFace::sendStatus()
{
    if (m_statusTimer.interval() != m_backend.statusPeriodMs())
        m_statusTimer.start(m_backend.statusPeriodMs());
    if (!idle() || !m_statusOnLine)
        return;
    send(QByteArray(1, m_backend.status()), true);
}

void ToolFace::send(const QByteArray &data, bool isStatus)
{
    const qint64 now = nowUs();
    for (char c : data) {
        const qint64 start = qMax(now, m_lineFreeUs);
        m_lineFreeUs = start + charUs();
        m_line.push_back({m_lineFreeUs, c, isStatus});
    }
    releaseDue();
}

void ToolFace::releaseDue()
{
    const qint64 now = nowUs();
    QByteArray chunk;
    bool replyEnded = false;
    while (!m_line.empty() && m_line.front().dueUs <= now) {
        const Pending p = m_line.front();
        m_line.pop_front();
        chunk.append(p.byte);
        if (p.status) {
            // On the wire it ends when it is due, or when it is actually written if that is later.
            m_lastStatusEndUs = qMax(p.dueUs, now);
            if (m_lastReplyEndUs >= 0) {
                m_busyUs += p.dueUs - m_lastReplyEndUs;
                m_lastReplyEndUs = -1;
            }
        } else if (m_line.empty() && m_busy) {
            replyEnded = true;
            const qint64 endUs = qMax(p.dueUs, now);
            m_busyUs += endUs - m_commandStartUs;
            m_lastReplyEndUs = endUs;
        }
    }
    if (!chunk.isEmpty())
        emit transmit(chunk);
    if (replyEnded) {
        m_busy = false;
        // The next status follows the reply after its own wait, then one a period.
        if (m_statusTimer.isActive())
            m_statusTimer.start(m_backend.statusAfterReplyMs());
    }
    if (!m_line.empty()) {
        const qint64 waitUs = m_line.front().dueUs - nowUs();
        m_releaseTimer.start(int(qMax<qint64>(0, (waitUs + 999) / 1000)));
    }
}

void ToolFace::receive(const QByteArray &data)
{
    for (char c : data) {
        if (m_awaitingPacket) {
            if (m_packet.isEmpty()) {
                m_busy = true;
                m_commandStartUs = nowUs();
            }
            m_packet.append(c);
            if (m_packet.size() == PacketSize)
                packetComplete();
            continue;
        }
        if (m_command.isEmpty()) {
            const qint64 now = nowUs();
            if (m_lastStatusEndUs >= 0 && !m_busy) {
                m_reactionUs << qMax<qint64>(0, now - m_lastStatusEndUs);
                m_lastStatusEndUs = -1;
            }
            if (!m_busy)
                m_commandStartUs = now;
            m_busy = true;
        }
        m_command.append(c);
        if (m_command.size() == CommandSize) {
            m_partialTimer.stop();
            const QByteArray command = std::exchange(m_command, QByteArray());
            m_commands << command;
            // A command answered by nobody leaves the tool waiting: no reply, no status.
            m_pendingReply.clear();
            m_backend.command(command);
        }
    }
    if (!m_command.isEmpty())
        m_partialTimer.start(PartialCommandMs);
}

void ToolFace::reply(const QByteArray &data, int delayMs)
{
    m_pendingReply = data;
    m_replyTimer.start(data.isEmpty() ? 0 : delayMs);
}

QByteArray ToolFace::acknowledgePass(char header)
{
    m_awaitingPacket = true;
    m_packet.clear();
    m_packetTimer.start(PacketWaitMs);
    return QByteArray(1, m_backend.status()) + 'A' + header;
}

void ToolFace::packetComplete()
{
    m_packetTimer.stop();
    m_awaitingPacket = false;
    const QByteArray packet = std::exchange(m_packet, QByteArray());
    m_packets << packet;
    m_pendingReply.clear();
    m_backend.packet(packet);
}

QByteArray ToolFace::frame(const QByteArray &message, int length)
{
    QByteArray bytes = message.left(length);
    bytes.append(QByteArray(qMax(0, length - int(bytes.size())), '\0'));
    quint8 sum = 0;
    for (char c : bytes)
        sum = quint8(sum + quint8(c));
    return Lead + bytes.toHex().toUpper() + QByteArray(1, char(sum)).toHex().toUpper();
}

QByteArray ToolFace::silentReply(int length)
{
    return QByteArray(1, Lead) + 'S' + QByteArray(2 * length + 1, '0');
}

QByteArray ToolFace::sealPacketReply(const QByteArray &block)
{
    QByteArray out = block.left(PacketReplySize - 1);
    out.append(QByteArray(PacketReplySize - 1 - int(out.size()), '\0'));
    quint8 sum = 0;
    for (char c : out)
        sum = quint8(sum + quint8(c));
    return out + char(sum);
}

std::pair<quint8, quint8> ToolFace::packetHeader(char header)
{
    const int digit = header & 0x0F;
    if (digit == 4)
        return {0x61, 0x6A};
    if (digit == 8)
        return {0xC3, 0x33};
    return {0x68, 0x6A};
}

} // namespace quenta::elm
