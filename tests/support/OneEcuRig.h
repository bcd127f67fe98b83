#pragma once
// A program on the in-process simulated tool whose one ECU answers the given service 01 PIDs,
// both on a manual clock, the port open and a current-data run set up: what the decoder and walk
// tests read parameters through.
#include "ManualClock.h"
#include "SimRig.h"

struct OneEcuRig {
    ManualClock clock;
    SimRig rig;
    quenta::Program &p;

    explicit OneEcuRig(const QMap<QString, QString> &pids = {}, const QString &address = QStringLiteral("10"))
        : OneEcuRig(SimRig::profileWith(pids, address))
    {
    }
    explicit OneEcuRig(quenta::sim::VehicleProfile profile) : rig(std::move(profile), &clock), p(*rig.program)
    {
        rig.openPort();
        p.settings.PID_mode = QStringLiteral("01");
        p.settings.frame_flag = 0;
        rig.tool.clearCommands();
    }
    quenta::sim::EcuProfile &ecu() { return rig.tool.profile().ecus[0]; }
    // The ECU's data bytes of a PID, current (service 01) or in the freeze frame (service 02).
    void set(int pid, const QByteArray &hex, bool frozen = false)
    {
        (frozen ? ecu().freeze : ecu().pids).insert(pid, quenta::sim::PidValue{{QByteArray::fromHex(hex)}});
    }
    void freezeFrameRun()
    {
        p.settings.PID_mode = QStringLiteral("02");
        p.settings.frame_flag = 1;
    }
    QStringList commands() const
    {
        QStringList out;
        for (const QByteArray &c : rig.tool.commands())
            out << QString::fromLatin1(c);
        return out;
    }
};
