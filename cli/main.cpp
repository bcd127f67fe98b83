// quenta-cli: the program without windows. Connects as choosing COM1 does, runs each command on
// the same link and prints what the windows would show.
#include "TestCommands.h"
#include "core/CommandLine.h"
#include "core/Program.h"
#include "services/ClearCodes.h"
#include "services/Connection.h"
#include "services/CurrentData.h"
#include "services/FreezeFrame.h"
#include "services/TroubleCodes.h"
#include "sim/SimulatedScanTool.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

using namespace quenta;

namespace {

const char *Usage =
    "usage: quenta-cli [--port DEVICE | --simulate[=FILE]] [--baud 19200|38400] [--metric] [--json]\n"
    "                  [--timeout S] COMMAND...\n"
    "commands: connect | current | codes [--yes|--no] | clear | freeze | wait SECONDS\n"
    "          | o2 [B1S1..B2S4] | mode6 TESTID COMPONENTID [--scale S] [--units U] | mode6 scan\n";

constexpr double MaxWaitS = 86400;
// A command may wait from a second to a day for the tool (the timer counts milliseconds in an int).
constexpr double MinTimeoutS = 1;
constexpr double MaxTimeoutS = 86400;

struct Command {
    QString name;
    std::optional<bool> answer; // the Yes/No answer for its question
    double seconds = 0;          // how long `wait` keeps the link idle
    TestCommand test = {};       // o2 and mode6: the sensor, or the entries as typed
};

struct Options {
    QString device;
    bool simulate = false;
    QString profile;
    int baud = 38400;
    bool metric = false;
    bool json = false;
    double timeoutS = 30;
    QList<Command> commands;
};

int usage(const QString &problem)
{
    std::fprintf(stderr, "quenta-cli: %s\n%s", qPrintable(problem), Usage);
    return 2;
}

std::optional<Options> parse(const QStringList &args, QString *problem)
{
    Options o;
    static const QStringList known{QStringLiteral("connect"), QStringLiteral("current"), QStringLiteral("codes"),
                                   QStringLiteral("clear"), QStringLiteral("freeze")};
    // The usage above describes the options.
    CommandLine line({CommandLine::simulateOption(), CommandLine::portOption(QStringLiteral("DEVICE")),
                      CommandLine::baudOption(), QCommandLineOption(QStringLiteral("metric")),
                      QCommandLineOption(QStringLiteral("json")),
                      QCommandLineOption(QStringLiteral("timeout"), QString(), QStringLiteral("S")),
                      QCommandLineOption(QStringLiteral("scale"), QString(), QStringLiteral("S")),
                      QCommandLineOption(QStringLiteral("units"), QString(), QStringLiteral("U"))});
    const QList<Argument> read = line.read(args);
    for (qsizetype i = 0; i < read.size(); ++i) {
        const Argument &a = read[i];
        const QString &v = a.value;
        if (a.option == QLatin1String("port")) {
            if (!a.hasValue || v.isEmpty())
                return *problem = QStringLiteral("--port needs a device"), std::nullopt;
            o.device = v;
        } else if (a.option == QLatin1String("simulate")) {
            o.simulate = true;
            o.profile = v;
        } else if (a.option == QLatin1String("baud")) {
            if (!a.hasValue || (v != QLatin1String("19200") && v != QLatin1String("38400")))
                return *problem = QStringLiteral("--baud is 19200 or 38400"), std::nullopt;
            o.baud = v.toInt();
        } else if (a.option == QLatin1String("metric")) {
            o.metric = true;
        } else if (a.option == QLatin1String("json")) {
            o.json = true;
        } else if (a.option == QLatin1String("timeout")) {
            bool ok = false;
            o.timeoutS = v.toDouble(&ok);
            if (!ok || !(o.timeoutS >= MinTimeoutS && o.timeoutS <= MaxTimeoutS))
                return *problem = QStringLiteral("--timeout needs a number of seconds from %1 to %2")
                                      .arg(MinTimeoutS)
                                      .arg(MaxTimeoutS),
                       std::nullopt;
        } else if ((a.text == QLatin1String("--yes") || a.text == QLatin1String("--no")) && !o.commands.isEmpty()
                   && o.commands.last().name == QLatin1String("codes")) {
            o.commands.last().answer = a.text == QLatin1String("--yes");
        } else if ((a.option == QLatin1String("scale") || a.option == QLatin1String("units")) && !o.commands.isEmpty()
                   && o.commands.last().name == QLatin1String("mode6") && !o.commands.last().test.scan) {
            if (!a.hasValue)
                return *problem = QStringLiteral("--%1 needs a value").arg(a.option), std::nullopt;
            (a.option == QLatin1String("scale") ? o.commands.last().test.scale : o.commands.last().test.units) = v;
        } else if (a.kind == Argument::Kind::Word && a.text == QLatin1String("o2")) {
            Command c{a.text, std::nullopt};
            if (i + 1 < read.size() && isSensorName(read[i + 1].text))
                c.test.sensor = read[++i].text;
            o.commands << c;
        } else if (a.kind == Argument::Kind::Word && a.text == QLatin1String("mode6")) {
            // The entries as a user types them, whatever they look like ("$1A", "-1").
            Command c{a.text, std::nullopt};
            if (i + 1 < read.size() && read[i + 1].text == QLatin1String("scan")) {
                c.test.scan = true;
                ++i;
            } else if (i + 2 < read.size()) {
                c.test.testId = read[++i].text;
                c.test.componentId = read[++i].text;
            } else {
                return *problem = QStringLiteral("mode6 needs TESTID COMPONENTID, or scan"), std::nullopt;
            }
            o.commands << c;
        } else if (a.kind == Argument::Kind::Word && a.text == QLatin1String("wait")) {
            // The next argument is the number of seconds, whatever it looks like.
            bool ok = false;
            const double seconds = i + 1 < read.size() ? read[++i].text.toDouble(&ok) : 0;
            if (!ok || !(seconds >= 0 && seconds <= MaxWaitS))
                return *problem = QStringLiteral("wait needs a number of seconds from 0 to %1").arg(MaxWaitS), std::nullopt;
            o.commands << Command{a.text, std::nullopt, seconds};
        } else if (a.kind == Argument::Kind::Word && known.contains(a.text)) {
            o.commands << Command{a.text, std::nullopt};
        } else {
            return *problem = QStringLiteral("unknown argument \"%1\"").arg(a.text), std::nullopt;
        }
    }
    if (o.simulate && !o.device.isEmpty())
        return *problem = QStringLiteral("--port and --simulate exclude each other"), std::nullopt;
    if (o.commands.isEmpty())
        return *problem = QStringLiteral("no command given"), std::nullopt;
    return o;
}

// Message boxes go to stderr; questions take the command's --yes/--no, else their default button;
// file names cannot be asked for.
struct CliPrompts : Prompts {
    std::optional<bool> answer;
    QStringList shown; // the messages of the running command
    void message(const QString &text, const QString &, Icon) override
    {
        shown << text;
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    bool askYesNo(const QString &text, const QString &, Icon, bool defaultYes) override
    {
        const bool yes = answer.value_or(defaultYes);
        std::fprintf(stderr, "question: %s -> %s\n", qPrintable(text), yes ? "Yes" : "No");
        return yes;
    }
    // There is nobody to type a file name: the question counts as cancelled.
    QString askSaveFileName(const QString &title, const QString &, const QString &) override
    {
        std::fprintf(stderr, "question: %s -> cancelled (quenta-cli cannot ask for a file name)\n", qPrintable(title));
        return QString();
    }
};

void report(const Program &p, const QString &command, bool json)
{
    const QStringList lines = p.data.lines();
    QJsonArray pidList;
    for (int i = 0; i < lines.size() && i < PidState::ListSize; ++i)
        pidList << int(p.pids.PID_list[size_t(i)]);
    if (json) {
        const QJsonObject o{
            {QStringLiteral("command"), command},
            {QStringLiteral("indicator"),
             QJsonObject{{QStringLiteral("text"), p.indicator.text()}, {QStringLiteral("color"), rgbName(p.indicator.color())}}},
            {QStringLiteral("ecu"), p.linkInfo.ecuCaption()},
            {QStringLiteral("firmware"), p.linkInfo.firmwareCaption()},
            {QStringLiteral("status"), p.status.text()},
            {QStringLiteral("data"), QJsonArray::fromStringList(lines)},
            {QStringLiteral("pid_list"), pidList}};
        std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    } else {
        auto plain = [](QString t) { return t.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n')); };
        std::printf("== %s\n", qPrintable(command));
        std::printf("indicator: %s (%s)\n", qPrintable(p.indicator.text()), qPrintable(rgbName(p.indicator.color())));
        std::printf("ecu: %s\n", qPrintable(plain(p.linkInfo.ecuCaption()).trimmed()));
        std::printf("firmware: %s\n", qPrintable(p.linkInfo.firmwareCaption()));
        std::printf("status:\n%s\n", qPrintable(plain(p.status.text())));
        std::printf("data:\n");
        for (const QString &line : lines)
            std::printf("%s\n", qPrintable(line));
    }
    std::fflush(stdout);
}

// Output that cannot be written (a full disk, a closed pipe) ends the run: nothing is lost quietly.
// Called right after the output: errno still tells why a write failed.
bool outputWritten()
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return true;
    const int error = errno;
    std::fprintf(stderr, "quenta-cli: cannot write the output: %s\n", error ? std::strerror(error) : "write error");
    return false;
}

// Keeps the link open and idle, as a user who reads the screen does, while the tool goes on
// sending its status characters. A port that goes away ends the wait.
void idle(Program &program, double seconds)
{
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    QObject::connect(&program.link, &ScanToolLink::portLost, &loop, &QEventLoop::quit);
    loop.exec();
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

    std::vector<std::unique_ptr<sim::SimulatedScanTool>> tools;
    PortDirectory ports;
    QList<PortChoice> choices;
    if (opt->simulate)
        choices << PortChoice{1, {}, true, opt->profile};
    else if (!opt->device.isEmpty())
        choices << PortChoice{1, opt->device, false, {}};
    if (QString error; !applyPortChoices(choices, ports, &tools, &error)) {
        std::fprintf(stderr, "quenta-cli: %s\n", qPrintable(error));
        return 2;
    }

    // A port that cannot be opened is reported with the system's reason before anything else.
    {
        std::unique_ptr<ScanToolPort> port = ports.create(1);
        QString error;
        if (!port || !port->open(&error)) {
            std::fprintf(stderr, "quenta-cli: cannot open %s: %s\n", qPrintable(ports.describe(1)), qPrintable(error));
            return 1;
        }
        port->close();
    }

    CliPrompts prompts;
    Program program(prompts, std::move(ports));
    QString failure;
    QString running;
    QObject::connect(&program.link, &ScanToolLink::portLost, &program, [&](const QString &reason) {
        if (failure.isEmpty())
            failure = reason == ScanToolLink::ToolSilentReason
                ? QStringLiteral("%1: %2").arg(running, reason)
                : QStringLiteral("the scan tool's port went away: %1").arg(reason);
        program.link.abandon();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &program, [&] {
        // What the tool said while we waited tells a car that is off from a dead or mismatched line.
        if (failure.isEmpty()) {
            switch (program.link.heard()) {
            case ScanToolLink::Heard::NoVehicle:
                failure = QStringLiteral("%1: the tool reports no vehicle (gave up after %2 s)").arg(running).arg(opt->timeoutS);
                break;
            case ScanToolLink::Heard::Noise:
                failure = QStringLiteral("%1: the line carries noise (check the speed) (gave up after %2 s)")
                              .arg(running)
                              .arg(opt->timeoutS);
                break;
            case ScanToolLink::Heard::Nothing:
                failure = QStringLiteral("%1: no answer from the scan tool within %2 s").arg(running).arg(opt->timeoutS);
                break;
            }
        }
        program.link.abandon();
    });
    auto run = [&](const QString &name, const std::function<void()> &work, bool bounded = true) {
        running = name;
        if (bounded)
            deadline.start(int(opt->timeoutS * 1000));
        work();
        deadline.stop();
        if (!failure.isEmpty()) {
            std::fprintf(stderr, "quenta-cli: %s\n", qPrintable(failure));
            return false;
        }
        return true;
    };

    if (!run(QStringLiteral("connect"), [&] {
            program.startUp();
            program.settings.baud_rate = float(opt->baud);
            program.settings.units_metric = opt->metric;
            connectCom(program, 1);
        }))
        return 1;
    if (!program.port() || !program.port()->isOpen() || program.controls.enabled(names::mnuCom)) {
        std::fprintf(stderr, "quenta-cli: the connection on %s failed\n", qPrintable(program.ports.describe(1)));
        return 1;
    }
    TestCommands tests(program);
    for (const Command &c : opt->commands) {
        prompts.answer = c.answer;
        prompts.shown.clear();
        const bool isO2 = c.name == QLatin1String("o2"), isMode6 = c.name == QLatin1String("mode6");
        const bool ok = run(c.name, [&] {
            if (c.name == QLatin1String("current"))
                requestCurrentData(program);
            else if (c.name == QLatin1String("codes"))
                requestTroubleCodes(program);
            else if (c.name == QLatin1String("clear"))
                clearTroubleCodes(program);
            else if (c.name == QLatin1String("freeze"))
                requestFreezeFrame(program);
            else if (c.name == QLatin1String("wait"))
                idle(program, c.seconds);
            else if (isO2)
                tests.runO2(c.test, &failure); // a failure is reported like any other below
            else if (isMode6)
                tests.runMode6(c.test, &failure);
        }, c.name != QLatin1String("wait"));
        if (!ok)
            return 1;
        if (isO2)
            tests.printO2(opt->json, prompts.shown);
        else if (isMode6)
            tests.printMode6(c.test, opt->json, prompts.shown);
        else
            report(program, c.name, opt->json);
        if (!outputWritten())
            return 1;
        if (program.link.noVehicle()) {
            std::fprintf(stderr, "quenta-cli: %s: the tool reports no vehicle\n", qPrintable(c.name));
            return 1;
        }
    }
    return 0;
}
