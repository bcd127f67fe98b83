#pragma once
// The scan tool's side of the wire, written once: what the program sees of its tool, whoever
// answers behind it. The face takes the program's bytes and cuts them into six-character commands
// (a command cut short is forgotten after a while) or, after an acknowledged PASS command, into
// one 14-byte packet; it hands each to its backend, and puts the backend's reply on the line at
// the line's speed. Between exchanges it sends the backend's status character once a period, none
// from the first byte of a command to the end of its reply, the next one a period after a reply.
// It keeps the counters tests and benchmarks read.
//
// A backend plugs in by implementing ToolBackend and calling reply() when it has the answer: at
// once (the simulated vehicle) or later (an adapter that must ask the car first). Until it replies
// the tool is busy and sends no status; a backend that never replies is a tool waiting on an ECU
// that never answers, silent until the next command.
#include "core/Clock.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <deque>

namespace quenta::elm {

class ToolBackend {
public:
    virtual ~ToolBackend() = default;
    // One complete six-character command, as received (not checked: the backend decides what a
    // command that is not three hexadecimal pairs gets).
    virtual void command(const QByteArray &six) = 0;
    // The 14 bytes that followed an acknowledged PASS command.
    virtual void packet(const QByteArray &bytes) = 0;
    // The character sent while idle: 'S' while the vehicle talks, 'P' when there is none.
    virtual char status() const = 0;
    // A tool gone quiet sends nothing on its own and reports itself not ready.
    virtual bool quiet() const { return false; }
    // Milliseconds between status characters.
    virtual int statusPeriodMs() const { return 10; }
    // Milliseconds from the end of a reply to the first status after it.
    virtual int statusAfterReplyMs() const { return statusPeriodMs(); }
};

class ToolFace : public QObject {
    Q_OBJECT
public:
    // The leading character of every data reply.
    static constexpr char Lead = 'R';
    static constexpr int CommandSize = 6;
    static constexpr int PacketSize = 14;
    // The binary reply to a packet: twelve bytes and their sum.
    static constexpr int PacketReplySize = 13;
    static constexpr int PartialCommandMs = 250; // a command cut short is forgotten after this long
    static constexpr int PacketWaitMs = 1000;    // a packet that does not follow the acknowledgement is given up

    // Without a clock the face runs on a system clock of its own.
    explicit ToolFace(ToolBackend &backend, Clock *clock = nullptr, QObject *parent = nullptr);

    // Starts and stops the status stream; stop also drops what waits on the line.
    void start();
    void stop();
    bool isStarted() const { return m_statusTimer.isActive(); }

    // Bytes from the program.
    void receive(const QByteArray &data);

    // The backend's answer to the last command or packet, put on the line `delayMs` from now. An
    // empty reply sends nothing and ends the exchange (the tool is idle again).
    void reply(const QByteArray &data, int delayMs = 0);

    // The answer to "F00504" that the backend accepts: the status character, 'A' and `header`
    // (character 3 picks the packet's header bytes). The face then takes the next 14 bytes as one
    // packet and keeps quiet until it has answered it, or has waited PacketWaitMs for it.
    QByteArray acknowledgePass(char header);

    // Line speed for pacing (0: no pacing).
    void setBaud(int baud) { m_baud = baud; }
    int baud() const { return m_baud; }
    // On USB the tool keeps its status characters off the line and answers the ready query instead.
    void setStatusOnLine(bool on) { m_statusOnLine = on; }
    // The ready query's answer: the status character while the tool is idle and can take a
    // command, 0 while it is busy with one, waits for a packet or has gone quiet.
    quint8 readyByte() const;

    // Microseconds on the face's clock since it was made (the simulated vehicle's sweeps run on it).
    qint64 nowUs() const { return m_clock.tickUs() - m_startUs; }
    Clock &clock() const { return m_clock; }

    // The reply forms. A data reply: the lead, the message cut or padded with 00 to `length`
    // bytes, in uppercase hex, and the byte sum of those bytes.
    static QByteArray frame(const QByteArray &message, int length);
    // The reply when the ECU did not answer: the lead, "S", and zeros where the message would stand.
    static QByteArray silentReply(int length);
    // The binary packet reply: the twelve bytes (cut or padded with 00) and their sum.
    static QByteArray sealPacketReply(const QByteArray &block);
    // The two header bytes a packet must carry after the acknowledgement's header character:
    // 61 6A for '4', C3 33 for '8', 68 6A otherwise.
    static std::pair<quint8, quint8> packetHeader(char header);

    // Counters for tests and benchmarks.
    // Every command received whole, in order.
    const QList<QByteArray> &commands() const { return m_commands; }
    void clearCommands() { m_commands.clear(); }
    // The packets received whole, in order.
    const QList<QByteArray> &packets() const { return m_packets; }
    // Microseconds from the end of a status character to the first byte of the command that followed it.
    const QList<qint64> &reactionTimesUs() const { return m_reactionUs; }
    void clearReactionTimes() { m_reactionUs.clear(); }
    // The tool's own time for the exchanges since the last reset: line time, latency, status waits.
    qint64 toolBusyUs() const { return m_busyUs; }
    void clearToolBusy() { m_busyUs = 0; m_lastReplyEndUs = -1; }

signals:
    // Bytes on the line towards the program.
    void transmit(const QByteArray &data);

private:
    void sendStatus();
    void send(const QByteArray &data, bool isStatus);
    void releaseDue();
    void packetComplete();
    bool idle() const;
    qint64 charUs() const { return m_baud > 0 ? (10'000'000LL + m_baud - 1) / m_baud : 0; }

    ToolBackend &m_backend;
    int m_baud = 0;
    Clock m_ownClock;
    Clock &m_clock;
    qint64 m_startUs;
    // Children, so the timers follow the face into another thread.
    ClockTimer m_statusTimer{m_clock, this};
    ClockTimer m_releaseTimer{m_clock, this};
    ClockTimer m_replyTimer{m_clock, this};
    ClockTimer m_partialTimer{m_clock, this};
    ClockTimer m_packetTimer{m_clock, this};
    QByteArray m_command;
    QByteArray m_pendingReply;
    bool m_busy = false; // between the first byte of a command and the end of its reply
    bool m_statusOnLine = true;
    struct Pending { qint64 dueUs; char byte; bool status; };
    std::deque<Pending> m_line;
    qint64 m_lineFreeUs = 0;
    qint64 m_lastStatusEndUs = -1;
    qint64 m_commandStartUs = 0;
    qint64 m_lastReplyEndUs = -1;
    qint64 m_busyUs = 0;
    QList<QByteArray> m_commands;
    QList<QByteArray> m_packets;
    bool m_awaitingPacket = false;
    QByteArray m_packet;
    QList<qint64> m_reactionUs;
};

} // namespace quenta::elm
