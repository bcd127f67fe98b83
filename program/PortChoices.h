#pragma once
// What stands behind each COM port, as the command line chose: a device, or the simulated scan
// tool with a vehicle profile. Decided where the program is composed, so the command line only
// parses and the lower layers never see the simulator.
#include "core/CommandLine.h"
#include "link/PortDirectory.h"
#include "sim/SimulatedScanTool.h"

#include <memory>
#include <vector>

namespace quenta {

// Puts the choices behind their ports in order, a later one for the same port winning. The
// simulated tools set up are added to `tools`, which must outlive the ports made on them. False,
// with the reason, when a profile cannot be read.
bool applyPortChoices(const QList<PortChoice> &choices, PortDirectory &ports,
                      std::vector<std::unique_ptr<sim::SimulatedScanTool>> *tools, QString *error);

} // namespace quenta
