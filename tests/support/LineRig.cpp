#include "LineRig.h"

using namespace quenta;

LineRig::LineRig(Line line, sim::VehicleProfile profile)
{
    PortDirectory ports;
    if (line == Line::InProcess) {
        tool = std::make_unique<sim::SimulatedScanTool>(std::move(profile), &clock);
        ports.mapFactory(1, [this] { return std::make_unique<sim::SimPort>(tool.get()); },
                         QStringLiteral("simulated scan tool: test line"));
    } else {
        if (!threaded.start(std::move(profile), 38400))
            qFatal("no pseudo-terminal");
        ports.mapDevice(1, threaded.device);
    }
    program = std::make_unique<Program>(prompts, std::move(ports), line == Line::InProcess ? &clock : nullptr);
    // Tests never depend on the definition file of the machine they run on.
    program->definitions.setPlaces({QStringLiteral(QUENTA_SOURCE_DATA_DIR "/troublecode.tcf")});
}

void LineRig::withTool(const std::function<void(sim::SimulatedScanTool &)> &f)
{
    if (tool)
        f(*tool);
    else
        threaded.inToolThread([&] { f(*threaded.tool); });
}
