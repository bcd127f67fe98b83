#pragma once
// A program wired to the in-process simulated scan tool on COM1, with scripted prompts. The tool
// runs on the program's clock: the system clock, or the test's manual clock when it hands one.
#include "ScriptedPrompts.h"

#include "program/Program.h"
#include "sim/SimPort.h"
#include "sim/SimulatedScanTool.h"

#include <memory>

struct SimRig {
    explicit SimRig(quenta::sim::VehicleProfile profile = testProfile(), quenta::Clock *clock = nullptr);
    explicit SimRig(quenta::Clock &clock) : SimRig(testProfile(), &clock) {}

    // The shipped default profile, unpaced, with a short status period so tests run fast.
    static quenta::sim::VehicleProfile testProfile();
    // A believable two-ECU car with fixed values only, so a run now and a run later read the same car.
    static quenta::sim::VehicleProfile steadyProfile(int statusPeriodMs = 2);
    // A one-ECU profile with exactly these service 01 PIDs (hex PID -> hex data bytes).
    static quenta::sim::VehicleProfile profileWith(const QMap<QString, QString> &pids, const QString &address = QStringLiteral("10"));
    // A test's own car; one that does not parse is the test's fault.
    static quenta::sim::VehicleProfile fromJson(const QByteArray &json);

    // Opens COM1 on the simulated tool without the connection sequence.
    void openPort();
    // The full "Com1" connection.
    void connect();

    ScriptedPrompts prompts;
    std::unique_ptr<quenta::Program> program;
    quenta::sim::SimulatedScanTool tool;
    quenta::sim::SimPort *port() const;
};
