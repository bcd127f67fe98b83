// quenta-cli: the program without windows. Connects as choosing COM1 does, runs each command on
// the same link and prints what the windows would show. The commands are the rows of Commands.cpp.
#include "Commands.h"
#include "core/CommandLine.h"
#include "program/Program.h"
#include "program/PortChoices.h"
#include "platform/PortAccess.h"
#include "platform/UsbPort.h"
#include "services/Connection.h"
#include "services/CurrentData.h"
#include "sim/SimulatedScanTool.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <functional>

using namespace quenta;

namespace {

const char *Usage =
    "usage: quenta-cli [--port DEVICE | --simulate[=FILE] | --usb VID:PID] [--baud 19200|38400] [--metric] [--json]\n"
    "                  [--timeout S] COMMAND...\n"
    "commands: connect | current | codes [--yes|--no] | clear | freeze | wait SECONDS\n"
    "          | watch PID [--samples N | --seconds S] | trims [--passes N]\n"
    "          | log --slots I,J[,...] [--count N] [--interval S] [--trigger1 time:M|speed:V|rpm:R]\n"
    "                [--trigger2 ...] [--combine and|or] --samples N --out FILE\n"
    "          | wideband --samples N --out FILE\n"
    "          | o2 [B1S1..B2S4] | mode6 TESTID COMPONENTID [--scale S] [--units U] | mode6 scan\n"
    "       quenta-cli --help | --version\n";

// A command may wait from a second to a day for the tool (the timer counts milliseconds in an int).
constexpr double MinTimeoutS = 1;
constexpr double MaxTimeoutS = 86400;

struct Options {
    QString device;
    bool simulate = false;
    QString profile;
    std::optional<UsbIds> usb;
    int baud = 38400;
    bool metric = false;
    bool json = false;
    double timeoutS = 30;
    bool help = false;
    bool version = false;
    QList<Command> commands;
};

int usage(const QString &problem)
{
    std::fprintf(stderr, "quenta-cli: %s\n%s", qPrintable(problem), Usage);
    return 2;
}

// An option of the whole run, wherever it stands among the commands.
struct RunOption {
    QCommandLineOption option;
    std::function<bool(Options &, const Argument &, QString *problem)> read;
};

// The usage above describes the options.
const QList<RunOption> &runOptions()
{
    auto flag = [](bool Options::*member) {
        return [member](Options &o, const Argument &, QString *) { return o.*member = true; };
    };
    static const QList<RunOption> options{
        {CommandLine::helpOption(), flag(&Options::help)},
        {CommandLine::versionOption(), flag(&Options::version)},
        {CommandLine::simulateOption(),
         [](Options &o, const Argument &a, QString *) {
             o.simulate = true;
             o.profile = a.value;
             return true;
         }},
        {CommandLine::portOption(QStringLiteral("DEVICE")),
         [](Options &o, const Argument &a, QString *problem) {
             if (!a.hasValue || a.value.isEmpty())
                 return refuse(problem, QStringLiteral("--port needs a device"));
             o.device = a.value;
             return true;
         }},
        {CommandLine::usbOption(),
         [](Options &o, const Argument &a, QString *problem) {
             o.usb = a.hasValue ? parseUsbIds(a.value) : std::nullopt;
             return o.usb || refuse(problem, QStringLiteral("--usb needs VID:PID, the tool's vendor and product IDs in hexadecimal"));
         }},
        {CommandLine::baudOption(),
         [](Options &o, const Argument &a, QString *problem) {
             if (!a.hasValue || (a.value != QLatin1String("19200") && a.value != QLatin1String("38400")))
                 return refuse(problem, QStringLiteral("--baud is 19200 or 38400"));
             o.baud = a.value.toInt();
             return true;
         }},
        {QCommandLineOption(QStringLiteral("metric")), flag(&Options::metric)},
        {QCommandLineOption(QStringLiteral("json")), flag(&Options::json)},
        {QCommandLineOption(QStringLiteral("timeout"), QString(), QStringLiteral("S")),
         [](Options &o, const Argument &a, QString *problem) {
             bool ok = false;
             o.timeoutS = a.value.toDouble(&ok);
             return (ok && o.timeoutS >= MinTimeoutS && o.timeoutS <= MaxTimeoutS)
                 || refuse(problem,
                           QStringLiteral("--timeout needs a number of seconds from %1 to %2").arg(MinTimeoutS).arg(MaxTimeoutS));
         }},
    };
    return options;
}

const RunOption *runOption(const QString &name)
{
    for (const RunOption &r : runOptions())
        if (r.option.names().last() == name)
            return &r;
    return nullptr;
}

// The run's options, then each option a command takes.
QList<QCommandLineOption> knownOptions()
{
    QList<QCommandLineOption> known;
    for (const RunOption &r : runOptions())
        known << r.option;
    QStringList added;
    for (const CommandRow &row : commandTable()) {
        for (const OptionRow &o : row.options) {
            if (!added.contains(o.name))
                known << QCommandLineOption(o.name, QString(), o.valueName);
            added << o.name;
        }
    }
    return known;
}

// A run option anywhere; an option of the command before it; a command's words and what follows them.
std::optional<Options> parse(const QStringList &args, QString *problem)
{
    Options o;
    CommandLine line(knownOptions());
    const QList<Argument> read = line.read(args);
    for (qsizetype i = 0; i < read.size(); ++i) {
        const Argument &a = read[i];
        if (const RunOption *r = runOption(a.option)) {
            if (!r->read(o, a, problem))
                return std::nullopt;
        } else if (const OptionRow *option = o.commands.isEmpty() ? nullptr : o.commands.last().row->option(a.option)) {
            if (!option->read(o.commands.last(), a, problem))
                return std::nullopt;
        } else if (const CommandRow *row = findCommand(read, i)) {
            Command c;
            c.row = row;
            c.name = a.text;
            i += row->words() - 1;
            if (row->operands && !row->operands(c, read, &i, problem))
                return std::nullopt;
            o.commands << c;
        } else {
            return *problem = QStringLiteral("unknown argument \"%1\"").arg(a.text), std::nullopt;
        }
    }
    if (o.help || o.version)
        return o;
    if (int(o.simulate) + int(!o.device.isEmpty()) + int(o.usb.has_value()) > 1)
        return *problem = QStringLiteral("--port, --simulate and --usb exclude each other"), std::nullopt;
    if (o.commands.isEmpty())
        return *problem = QStringLiteral("no command given"), std::nullopt;
    for (Command &c : o.commands) {
        if (c.row->complete && !c.row->complete(c, problem))
            return std::nullopt;
    }
    return o;
}

// Puts the tool behind COM1 as --port or --simulate says. A port that cannot be opened is reported
// with the system's reason before anything else. 0, or the exit status.
int setUpPorts(const Options &opt, PortDirectory &ports, std::vector<std::unique_ptr<sim::SimulatedScanTool>> *tools)
{
    QList<PortChoice> choices;
    if (opt.simulate)
        choices << PortChoice{1, {}, true, opt.profile};
    else if (!opt.device.isEmpty())
        choices << PortChoice{1, opt.device, false, {}};
    if (QString error; !applyPortChoices(choices, ports, tools, &error)) {
        std::fprintf(stderr, "quenta-cli: %s\n", qPrintable(error));
        return 2;
    }
    if (!opt.usb) {
        std::unique_ptr<ScanToolPort> port = ports.create(1);
        QString error;
        if (!port || !port->open(&error)) {
            std::fprintf(stderr, "quenta-cli: cannot open %s: %s\n", qPrintable(ports.describe(1)), qPrintable(error));
            return 1;
        }
        port->close();
    }
    return 0;
}

// Runs each step on the link and says why one was given up on: the port went away, the tool fell
// silent, or the operation time limit passed.
class Supervisor {
public:
    Supervisor(Program &program, const Options &opt) : m_program(program), m_opt(opt), m_deadline(program.clock())
    {
        // The timer is the context of both connections, so that they end with this object.
        QObject::connect(&program.link, &ScanToolLink::stateChanged, &m_deadline, [this](ScanToolLink::State state,
                                                                                         const QString &reason) {
            if (state != ScanToolLink::State::ToolSilent && state != ScanToolLink::State::PortFailed)
                return;
            if (failure.isEmpty())
                failure = state == ScanToolLink::State::ToolSilent
                    ? QStringLiteral("%1: %2").arg(m_running, reason)
                    : QStringLiteral("the scan tool's port went away: %1").arg(reason);
            m_program.link.abandon();
        });
        m_deadline.setSingleShot(true);
        QObject::connect(&m_deadline, &ClockTimer::timeout, &m_deadline, [this] { giveUp(); });
    }

    // False, said on stderr, when the step failed.
    bool run(const QString &name, const std::function<void()> &work, bool bounded = true)
    {
        m_running = name;
        if (bounded)
            m_deadline.start(int(m_opt.timeoutS * 1000));
        work();
        m_deadline.stop();
        if (!failure.isEmpty()) {
            std::fprintf(stderr, "quenta-cli: %s\n", qPrintable(failure));
            return false;
        }
        return true;
    }

    QString failure; // why the run ends; a command may set it too

private:
    // What the tool said while we waited tells a car that is off from a dead or mismatched line.
    void giveUp()
    {
        if (failure.isEmpty()) {
            switch (m_program.link.heard()) {
            case ScanToolLink::Heard::NoVehicle:
                failure = QStringLiteral("%1: the tool reports no vehicle (gave up after %2 s)").arg(m_running).arg(m_opt.timeoutS);
                break;
            case ScanToolLink::Heard::Noise:
                failure = QStringLiteral("%1: the line carries noise (check the speed) (gave up after %2 s)")
                              .arg(m_running)
                              .arg(m_opt.timeoutS);
                break;
            case ScanToolLink::Heard::Nothing:
                if (m_opt.usb && !(m_program.connection.usbPort() && m_program.connection.usbPort()->usb_attached())) {
                    // A device that was there but could not be claimed says why in the status window.
                    const QString said = m_program.status.text();
                    failure = QStringLiteral("%1: no USB device %2:%3 attached within %4 s%5")
                                  .arg(m_running)
                                  .arg(m_opt.usb->vendor, 4, 16, QLatin1Char('0'))
                                  .arg(m_opt.usb->product, 4, 16, QLatin1Char('0'))
                                  .arg(m_opt.timeoutS)
                                  .arg(said.startsWith(QLatin1String("DeviceAttach:"))
                                           ? QStringLiteral(" (") + QString(said).replace(QLatin1String("\r\n"), QLatin1String(" ")) + QLatin1Char(')')
                                           : QString());
                    break;
                }
                failure = QStringLiteral("%1: no answer from the scan tool within %2 s").arg(m_running).arg(m_opt.timeoutS);
                break;
            }
        }
        m_program.link.abandon();
    }

    Program &m_program;
    const Options &m_opt;
    QString m_running;
    ClockTimer m_deadline;
};

// Connects as choosing COM1, or the USB tool, does. False, said on stderr, when it fails.
bool connectTool(Program &program, const Options &opt, Supervisor &supervisor)
{
    if (!supervisor.run(QStringLiteral("connect"), [&] {
            program.startUp();
            program.settings.baud_rate = float(opt.baud);
            program.settings.units_metric = opt.metric;
            if (opt.usb) {
                program.connection.usbIds = opt.usb;
                program.connection.connectUsb();
            } else {
                program.connection.connectCom(1);
            }
        }))
        return false;
    // The USB connection leaves the Connection menu as it was; the diagnostic buttons tell.
    const bool connected = program.connection.port() && program.connection.port()->isOpen()
        && (opt.usb ? program.controls.enabled(names::Mode1) : !program.controls.enabled(names::mnuCom));
    if (!connected)
        std::fprintf(stderr, "quenta-cli: the connection on %s failed%s\n",
                     qPrintable(opt.usb && program.connection.usbPort() ? program.connection.usbPort()->deviceName() : program.connection.ports.describe(1)),
                     qPrintable(opt.usb ? QStringLiteral(": ") + program.status.text().trimmed() : QString()));
    return connected;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quenta-cli"));
    QString problem;
    const std::optional<Options> opt = parse(app.arguments(), &problem);
    if (!opt)
        return usage(problem);
    if (opt->help || opt->version) {
        std::fputs(opt->help ? Usage : "quenta-cli " QUENTA_VERSION "\n", stdout);
        return outputWritten() ? 0 : 1;
    }
    reportPortPermissions(QStringLiteral("quenta-cli"));

    std::vector<std::unique_ptr<sim::SimulatedScanTool>> tools;
    PortDirectory ports;
    if (const int status = setUpPorts(*opt, ports, &tools))
        return status;
    CliPrompts prompts;
    Program program(prompts, std::move(ports));
    Supervisor supervisor(program, *opt);
    if (!connectTool(program, *opt, supervisor))
        return 1;

    MonitorCommands tests(program);
    Session session{program, tests, prompts, opt->json, &supervisor.failure};
    bool walked = false;
    for (const Command &c : opt->commands) {
        const CommandRow &row = *c.row;
        prompts.answer = c.answer;
        prompts.shown.clear();
        prompts.fileName = c.out;
        // The live displays show what the last current-data request found.
        if (row.needsCurrentData && !walked && !supervisor.run(QStringLiteral("current"), [&] { program.currentData.request(); }))
            return 1;
        walked = walked || row.needsCurrentData || row.givesCurrentData;
        RunEnd end = RunEnd::Done;
        if (!supervisor.run(c.name, [&] { end = row.run(session, c); }, row.bounded) || end != RunEnd::Done)
            return 1;
        if (row.print)
            row.print(session, c);
        if (!outputWritten())
            return 1;
        if (program.link.noVehicle()) {
            std::fprintf(stderr, "quenta-cli: %s: the tool reports no vehicle\n", qPrintable(c.name));
            return 1;
        }
    }
    return 0;
}
