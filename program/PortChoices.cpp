#include "program/PortChoices.h"

#include "elm/ElmPort.h"
#include "sim/SimPort.h"

namespace quenta {

bool applyPortChoices(const QList<PortChoice> &choices, PortDirectory &ports,
                      std::vector<std::unique_ptr<sim::SimulatedScanTool>> *tools, QString *error)
{
    for (const PortChoice &choice : choices) {
        if (!choice.simulate) {
            QString problem;
            if (const std::optional<ElmTarget> elm = parseElmTarget(choice.device, &problem)) {
                const ElmTarget target = *elm;
                ports.mapFactory(choice.com, [target] { return std::make_unique<elm::ElmPort>(target); },
                                 elm::ElmPort::describe(*elm));
                continue;
            }
            if (!problem.isEmpty()) {
                *error = problem;
                return false;
            }
            ports.mapDevice(choice.com, choice.device);
            continue;
        }
        std::unique_ptr<sim::SimulatedScanTool> tool = sim::installSimulatedTool(ports, choice.com, choice.profile, error);
        if (!tool)
            return false;
        tools->push_back(std::move(tool));
    }
    return true;
}

} // namespace quenta
