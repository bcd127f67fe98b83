#include "program/Program.h"

#include "core/ControlNames.h"
#include "elm/DetectingPort.h"
#include "elm/ElmPort.h"

namespace quenta {

Program::Program(Prompts &p, PortDirectory portDirectory, Clock *clock, QObject *parent)
    : QObject(parent), m_clock(clock ? *clock : m_systemClock), prompts(p), link(p, indicator, m_clock),
      timing(m_clock), definitions(p),
      connection({link, settings, controls, status, linkInfo, p}, std::move(portDirectory), currentData)
{
    connect(&linkInfo, &LinkInfo::changed, this, &Program::showLinkInfo);
    // A plain serial device may hold the tool or an ELM327 adapter: the port tells them apart.
    if (!connection.ports.hasDeviceMaker())
        connection.ports.setDeviceMaker([this](const QString &device) -> std::unique_ptr<ScanToolPort> {
            return std::make_unique<elm::DetectingPort>(device, &m_clock);
        });
}

Program::~Program() = default;

void Program::connectAdapter()
{
    const QString last = preferences.adapter();
    const std::optional<QString> answer =
        prompts.askText(AdapterQuestion, AdapterTitle, last.isEmpty() ? QStringLiteral("/dev/rfcomm0") : last);
    if (!answer)
        return;
    QString problem;
    const std::optional<ElmTarget> target = parseAdapterName(*answer, &problem);
    if (!target) {
        prompts.message(problem, AdapterTitle, Prompts::Icon::Exclamation);
        return;
    }
    preferences.setAdapter(answer->trimmed());
    const ElmTarget t = *target;
    // A connection already made keeps its port, as with the COM items.
    if (!connection.port() || !connection.port()->isOpen())
        connection.ports.mapFactory(AdapterCom, [this, t] { return std::make_unique<elm::ElmPort>(t, &m_clock); },
                                    elm::ElmPort::describe(t));
    connection.connectCom(AdapterCom);
}

void Program::showLinkInfo()
{
    // The controls model keeps Label6's and Label7's captions like every other control's; they
    // follow the link information and carry nothing of their own.
    if (linkInfo.hasEcuNumber() && controls.caption(names::Label6) != linkInfo.ecuCaption())
        controls.setCaption(names::Label6, linkInfo.ecuCaption());
    if (linkInfo.hasFirmware() && controls.caption(names::Label7) != linkInfo.firmwareCaption())
        controls.setCaption(names::Label7, linkInfo.firmwareCaption());
}

void Program::startUp()
{
    settings.baud_rate = 38400;
    controls.setEnabled(QStringList{names::Mode1, names::Mode2, names::Mode3, names::Mode4, names::Mode5}, false);
    controls.setVisible(names::Mode5, false);
    controls.setEnabled(names::mnuWBO2, false);
    controls.setEnabled(names::ChangeECU, false);
    controls.setCaption(names::ChangeECU, QStringLiteral("Change ECU"));
    link.setOBD_stop(false);
    settings.logger_stop = false;
    settings.logger_slots = false;
    settings.debug_mode = false;
    settings.WBO2_PID = QStringLiteral("0");
    indicator.set(QStringLiteral("ECU Off-Line"), colors::Red);
    controls.setEnabled(QStringList{names::mnuDataLog, names::mnuMode6, names::mnuFTM}, false);
    // The USB transport is built in but not offered.
    controls.setVisible(names::mnuUSB, false);
    controls.setEnabled(names::mnuUSB, false);
    definitions.load_trouble_codes();
    connection.probeComPorts();
}

} // namespace quenta
