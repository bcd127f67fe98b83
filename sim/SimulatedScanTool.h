#pragma once
// The simulated scan tool: takes the program's commands, answers them from a vehicle profile,
// and between exchanges sends its status character like the real box. Transport-free: a port
// object (in-process) or a pseudo-terminal server carries its bytes. Its pacing runs on a clock:
// in-process the program's (a test's manual clock moves the tool's time too), its own system
// clock otherwise.
#include "core/Clock.h"
#include "sim/VehicleProfile.h"

#include <QHash>
#include <QObject>
#include <deque>

namespace quenta::sim {

class SimulatedScanTool : public QObject {
    Q_OBJECT
public:
    // Without a clock the tool runs on a system clock of its own.
    explicit SimulatedScanTool(VehicleProfile profile, Clock *clock = nullptr, QObject *parent = nullptr);

    VehicleProfile &profile() { return m_profile; }
    Faults &faults() { return m_profile.faults; }
    void setVehicle(bool present) { m_profile.vehicle = present; }
    int currentEcu() const { return m_ecu; }

    // Line speed for pacing (0: no pacing).
    void setBaud(int baud) { m_baud = baud; }
    int baud() const { return m_baud; }

    // On USB the tool keeps its status characters off the line and answers the ready query instead.
    void setStatusOnLine(bool on) { m_statusOnLine = on; }
    // The ready query's answer: the status character while the tool is idle and can take a
    // command, 0 while it is busy with one or has gone quiet.
    quint8 readyByte() const;

    // Starts sending status characters.
    void start();
    void stop();

    // Bytes from the program.
    void receive(const QByteArray &data);

    // The answer to one six-character command, as the tool would send it (no pacing).
    QByteArray answer(const QByteArray &command);

    // The on-board monitoring packets received whole, in order.
    const QList<QByteArray> &packets() const { return m_packets; }
    static constexpr int PacketSize = 14;
    // The tool's binary reply to a packet: at least this many bytes.
    static constexpr int PacketReplySize = 13;

    // Every command received, in order (for tests and benchmarks).
    const QList<QByteArray> &commands() const { return m_commands; }
    void clearCommands() { m_commands.clear(); }
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
    void commandComplete();
    QByteArray vehicleReply(int service, int pid, int length);
    QByteArray frame(const QByteArray &message, int length) const;
    QByteArray silentReply(int length) const;
    QByteArray o2Reply(EcuProfile &ecu, int service, int tid, int sensor);
    QByteArray passAcknowledgement();
    void packetComplete();
    QByteArray packetReply(const QByteArray &packet);
    // Microseconds since the tool was made.
    qint64 nowUs() const { return m_clock.tickUs() - m_startUs; }
    qint64 charUs() const { return m_baud > 0 ? (10'000'000LL + m_baud - 1) / m_baud : 0; }

    VehicleProfile m_profile;
    int m_ecu = 0;
    int m_baud = 0;
    Clock m_ownClock;
    Clock &m_clock;
    qint64 m_startUs;
    // Children, so the timers follow the tool into another thread.
    ClockTimer m_statusTimer{m_clock, this};
    ClockTimer m_releaseTimer{m_clock, this};
    ClockTimer m_replyTimer{m_clock, this};
    ClockTimer m_partialTimer{m_clock, this};
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
    // After an acknowledged "F00504" the tool takes the next 14 bytes as one packet, and keeps
    // quiet until it has answered it (or waited for it too long).
    bool m_awaitingPacket = false;
    QByteArray m_packet;
    ClockTimer m_packetTimer{m_clock, this};
    QList<qint64> m_reactionUs;
    QHash<int, int> m_turns;
};

} // namespace quenta::sim
