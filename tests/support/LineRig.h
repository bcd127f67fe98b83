#pragma once
// A program on COM1 of the simulated tool, either in-process or over a pseudo-terminal through
// QSerialPort with the tool in its own thread (so it keeps talking while the program is busy).
// In-process the program and the tool run on the rig's manual clock, so every wait takes no real
// time; over the pseudo-terminal both run on the system clock, as the real program and tool do.
#include "ManualClock.h"
#include "ScriptedPrompts.h"

#include "program/Program.h"
#include "sim/SimPort.h"
#include "sim/ThreadedSim.h"

#include <functional>
#include <memory>

enum class Line { InProcess, Pty };

struct LineRig {
    LineRig(Line line, quenta::sim::VehicleProfile profile);

    // Runs f on the tool, in its own thread when it has one.
    void withTool(const std::function<void(quenta::sim::SimulatedScanTool &)> &f);

    ScriptedPrompts prompts;
    ManualClock clock;                                    // in-process only
    std::unique_ptr<quenta::sim::SimulatedScanTool> tool; // in-process only
    ThreadedSim threaded;                                 // over the pseudo-terminal only
    std::unique_ptr<quenta::Program> program;
};
