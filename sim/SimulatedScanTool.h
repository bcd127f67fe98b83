#pragma once
// The simulated scan tool: takes the program's commands, answers them from a vehicle profile,
// and between exchanges sends its status character like the real box. Transport-free: a port
// object (in-process) or a pseudo-terminal server carries its bytes. Its pacing runs on a clock:
// in-process the program's (a test's manual clock moves the tool's time too), its own system
// clock otherwise.
#include "core/Clock.h"
#include "elm/ToolFace.h"
#include "sim/SimulatedVehicle.h"
#include "sim/VehicleProfile.h"

#include <QObject>

namespace quenta::sim {

class SimulatedScanTool : public QObject, private elm::ToolBackend {
    Q_OBJECT
public:
    // Without a clock the tool runs on a system clock of its own.
    explicit SimulatedScanTool(VehicleProfile profile, Clock *clock = nullptr, QObject *parent = nullptr);

    VehicleProfile &profile() { return m_profile; }
    Faults &faults() { return m_profile.faults; }
    void setVehicle(bool present) { m_profile.vehicle = present; }
    int currentEcu() const { return m_ecu; }

    // Line speed for pacing (0: no pacing).
    void setBaud(int baud) { m_face.setBaud(baud); }
    int baud() const { return m_face.baud(); }

    // On USB the tool keeps its status characters off the line and answers the ready query instead.
    void setStatusOnLine(bool on) { m_face.setStatusOnLine(on); }
    // The ready query's answer: the status character while the tool is idle and can take a
    // command, 0 while it is busy with one or has gone quiet.
    quint8 readyByte() const { return m_face.readyByte(); }

    // Starts sending status characters.
    void start() { m_face.start(); }
    void stop() { m_face.stop(); }

    // Bytes from the program.
    void receive(const QByteArray &data) { m_face.receive(data); }

    // The answer to one six-character command, as the tool would send it (no pacing).
    QByteArray answer(const QByteArray &command);

    // The on-board monitoring packets received whole, in order.
    const QList<QByteArray> &packets() const { return m_face.packets(); }
    static constexpr int PacketSize = elm::ToolFace::PacketSize;
    // The tool's binary reply to a packet: at least this many bytes.
    static constexpr int PacketReplySize = elm::ToolFace::PacketReplySize;

    // Every command received, in order (for tests and benchmarks).
    const QList<QByteArray> &commands() const { return m_face.commands(); }
    void clearCommands() { m_face.clearCommands(); }
    // Microseconds from the end of a status character to the first byte of the command that followed it.
    const QList<qint64> &reactionTimesUs() const { return m_face.reactionTimesUs(); }
    void clearReactionTimes() { m_face.clearReactionTimes(); }
    // The tool's own time for the exchanges since the last reset: line time, latency, status waits.
    qint64 toolBusyUs() const { return m_face.toolBusyUs(); }
    void clearToolBusy() { m_face.clearToolBusy(); }

signals:
    // Bytes on the line towards the program.
    void transmit(const QByteArray &data);

private:
    // The tool's backend: the simulated vehicle behind the face.
    void command(const QByteArray &six) override;
    void packet(const QByteArray &bytes) override;
    char status() const override;
    bool quiet() const override { return m_profile.faults.quiet; }
    int statusPeriodMs() const override { return m_profile.statusPeriodMs; }

    QByteArray vehicleReply(int service, int pid, int length);
    QByteArray passAcknowledgement();
    QByteArray packetReply(const QByteArray &packet);

    VehicleProfile m_profile;
    SimulatedVehicle m_vehicle{m_profile};
    int m_ecu = 0;
    elm::ToolFace m_face;
};

} // namespace quenta::sim
