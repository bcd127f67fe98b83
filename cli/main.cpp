// quenta-cli: the program without windows. Connects as choosing COM1 does, runs each command on
// the same link and prints what the windows would show.
#include "MonitorCommands.h"
#include "core/CommandLine.h"
#include "core/Program.h"
#include "services/ClearCodes.h"
#include "services/Connection.h"
#include "services/CurrentData.h"
#include "services/FreezeFrame.h"
#include "services/TroubleCodes.h"
#include "live/DataLogger.h"
#include "live/FuelTrimMonitor.h"
#include "live/WidebandMeter.h"
#include "live/RealTimeDisplay.h"
#include "platform/PortAccess.h"
#include "platform/UsbPort.h"
#include "live/StripChart.h"
#include "sim/SimulatedScanTool.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstdio>
#include <cstring>
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

constexpr double MaxWaitS = 86400;
// A command may wait from a second to a day for the tool (the timer counts milliseconds in an int).
constexpr double MinTimeoutS = 1;
constexpr double MaxTimeoutS = 86400;

struct Command {
    explicit Command(QString commandName = QString()) : name(std::move(commandName)) {}
    QString name;
    std::optional<bool> answer; // the Yes/No answer for its question
    double seconds = 0;          // how long `wait` keeps the link idle, or `watch --seconds` runs
    int pid = 0;                 // the parameter `watch` shows
    int count = 0;               // `watch --samples`, `trims --passes`, `log --samples`
    // `log`: the run as the logger window would be set up, and where the file goes.
    QList<int> slotItems;
    int logCount = 0;
    QString interval = QStringLiteral("0.100");
    LogTrigger trigger1, trigger2;
    DataLogger::Combine combine = DataLogger::Combine::None;
    QString out;
    MonitorCommand test = {};       // o2 and mode6: the sensor, or the entries as typed
};

// "time:M", "speed:V" or "rpm:R", checked as the logger window checks an entered value.
std::optional<LogTrigger> parseTrigger(const QString &text, QString *problem)
{
    const QString kind = text.section(QLatin1Char(':'), 0, 0);
    LogTrigger t;
    if (kind == QLatin1String("time"))
        t.kind = LogTrigger::Kind::SystemTime;
    else if (kind == QLatin1String("speed"))
        t.kind = LogTrigger::Kind::Speed;
    else if (kind == QLatin1String("rpm"))
        t.kind = LogTrigger::Kind::Rpm;
    else
        return *problem = QStringLiteral("a trigger is time:M, speed:V or rpm:R"), std::nullopt;
    QString refusal;
    const std::optional<int> value = DataLogger::triggerValue(t.kind, text.section(QLatin1Char(':'), 1), &refusal);
    if (!value)
        return *problem = refusal, std::nullopt;
    t.value = *value;
    return t;
}

// How many samples `watch` takes when neither --samples nor --seconds is given.
constexpr int DefaultWatchSamples = 10;
constexpr int MaxCount = 100000000;

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

std::optional<Options> parse(const QStringList &args, QString *problem)
{
    Options o;
    static const QStringList known{QStringLiteral("connect"), QStringLiteral("current"), QStringLiteral("codes"),
                                   QStringLiteral("clear"), QStringLiteral("freeze")};
    // The usage above describes the options.
    CommandLine line({CommandLine::helpOption(), CommandLine::versionOption(),
                      CommandLine::simulateOption(), CommandLine::portOption(QStringLiteral("DEVICE")),
                      CommandLine::usbOption(),
                      CommandLine::baudOption(), QCommandLineOption(QStringLiteral("metric")),
                      QCommandLineOption(QStringLiteral("json")),
                      QCommandLineOption(QStringLiteral("timeout"), QString(), QStringLiteral("S")),
                      QCommandLineOption(QStringLiteral("samples"), QString(), QStringLiteral("N")),
                      QCommandLineOption(QStringLiteral("seconds"), QString(), QStringLiteral("S")),
                      QCommandLineOption(QStringLiteral("passes"), QString(), QStringLiteral("N")),
                      QCommandLineOption(QStringLiteral("slots"), QString(), QStringLiteral("LIST")),
                      QCommandLineOption(QStringLiteral("count"), QString(), QStringLiteral("N")),
                      QCommandLineOption(QStringLiteral("interval"), QString(), QStringLiteral("S")),
                      QCommandLineOption(QStringLiteral("trigger1"), QString(), QStringLiteral("T")),
                      QCommandLineOption(QStringLiteral("trigger2"), QString(), QStringLiteral("T")),
                      QCommandLineOption(QStringLiteral("combine"), QString(), QStringLiteral("C")),
                      QCommandLineOption(QStringLiteral("out"), QString(), QStringLiteral("FILE")),
                      QCommandLineOption(QStringLiteral("scale"), QString(), QStringLiteral("S")),
                      QCommandLineOption(QStringLiteral("units"), QString(), QStringLiteral("U"))});
    auto last = [&o](const char *name) { return !o.commands.isEmpty() && o.commands.last().name == QLatin1String(name); };
    const QList<Argument> read = line.read(args);
    for (qsizetype i = 0; i < read.size(); ++i) {
        const Argument &a = read[i];
        const QString &v = a.value;
        if (a.option == QLatin1String("help")) {
            o.help = true;
        } else if (a.option == QLatin1String("version")) {
            o.version = true;
        } else if (a.option == QLatin1String("port")) {
            if (!a.hasValue || v.isEmpty())
                return *problem = QStringLiteral("--port needs a device"), std::nullopt;
            o.device = v;
        } else if (a.option == QLatin1String("usb")) {
            o.usb = a.hasValue ? parseUsbIds(v) : std::nullopt;
            if (!o.usb)
                return *problem = QStringLiteral("--usb needs VID:PID, the tool's vendor and product IDs in hexadecimal"),
                       std::nullopt;
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
        } else if ((a.text == QLatin1String("--yes") || a.text == QLatin1String("--no")) && last("codes")) {
            o.commands.last().answer = a.text == QLatin1String("--yes");
        } else if (last("log") && a.option == QLatin1String("slots")) {
            Command &c = o.commands.last();
            c.slotItems.clear();
            for (const QString &item : v.split(QLatin1Char(','))) {
                bool ok = false;
                const int index = item.toInt(&ok);
                if (!ok || index < 0)
                    return *problem = QStringLiteral("--slots takes item numbers from 0, separated by commas"), std::nullopt;
                c.slotItems << index;
            }
            if (c.slotItems.size() > DataLogger::Slots)
                return *problem = QStringLiteral("--slots takes at most six items"), std::nullopt;
        } else if (last("log") && a.option == QLatin1String("count")) {
            const int n = v.toInt();
            if (n < 2 || n > 6)
                return *problem = QStringLiteral("--count is 2, 3, 4, 5 or 6"), std::nullopt;
            o.commands.last().logCount = n;
        } else if (last("log") && a.option == QLatin1String("interval")) {
            o.commands.last().interval = v;
        } else if (last("log") && (a.option == QLatin1String("trigger1") || a.option == QLatin1String("trigger2"))) {
            const std::optional<LogTrigger> t = parseTrigger(v, problem);
            if (!t)
                return std::nullopt;
            (a.option == QLatin1String("trigger1") ? o.commands.last().trigger1 : o.commands.last().trigger2) = *t;
        } else if (last("log") && a.option == QLatin1String("combine")) {
            if (v != QLatin1String("and") && v != QLatin1String("or"))
                return *problem = QStringLiteral("--combine is and or or"), std::nullopt;
            o.commands.last().combine = v == QLatin1String("and") ? DataLogger::Combine::And : DataLogger::Combine::Or;
        } else if ((last("log") || last("wideband")) && a.option == QLatin1String("out")) {
            o.commands.last().out = v;
        } else if ((a.option == QLatin1String("samples") && (last("watch") || last("log") || last("wideband")))
                   || (a.option == QLatin1String("passes") && last("trims"))) {
            Command &c = o.commands.last();
            bool ok = false;
            const int n = v.toInt(&ok);
            if (!ok || n < 1 || n > MaxCount || c.count > 0 || c.seconds > 0)
                return *problem = QStringLiteral("%1 needs one count from 1 to %2 (--samples and --seconds exclude each other)")
                                      .arg(QStringLiteral("--") + a.option)
                                      .arg(MaxCount),
                       std::nullopt;
            c.count = n;
        } else if (a.option == QLatin1String("seconds") && last("watch")) {
            Command &c = o.commands.last();
            bool ok = false;
            const double seconds = v.toDouble(&ok);
            if (!ok || !(seconds > 0 && seconds <= MaxWaitS) || c.count > 0 || c.seconds > 0)
                return *problem = QStringLiteral("--seconds needs one number of seconds up to %1 (--samples and --seconds exclude each other)")
                                      .arg(MaxWaitS),
                       std::nullopt;
            c.seconds = seconds;
        } else if (a.kind == Argument::Kind::Word && a.text == QLatin1String("watch")) {
            // The next argument is the PID: two hexadecimal digits.
            bool ok = false;
            const QString pid = i + 1 < read.size() ? read[++i].text : QString();
            const int number = pid.size() == 2 ? pid.toInt(&ok, 16) : 0;
            if (!ok)
                return *problem = QStringLiteral("watch needs a PID of two hexadecimal digits (0C, 12 for fuel economy)"),
                       std::nullopt;
            Command c{a.text};
            c.pid = number;
            o.commands << c;
        } else if (a.kind == Argument::Kind::Word && (a.text == QLatin1String("log") || a.text == QLatin1String("wideband"))) {
            o.commands << Command{a.text};
        } else if (a.kind == Argument::Kind::Word && a.text == QLatin1String("trims")) {
            o.commands << Command{a.text};
        } else if ((a.option == QLatin1String("scale") || a.option == QLatin1String("units")) && !o.commands.isEmpty()
                   && o.commands.last().name == QLatin1String("mode6") && !o.commands.last().test.scan) {
            if (!a.hasValue)
                return *problem = QStringLiteral("--%1 needs a value").arg(a.option), std::nullopt;
            (a.option == QLatin1String("scale") ? o.commands.last().test.scale : o.commands.last().test.units) = v;
        } else if (a.kind == Argument::Kind::Word && a.text == QLatin1String("o2")) {
            Command c{a.text};
            if (i + 1 < read.size() && isSensorName(read[i + 1].text))
                c.test.sensor = read[++i].text;
            o.commands << c;
        } else if (a.kind == Argument::Kind::Word && a.text == QLatin1String("mode6")) {
            // The entries as a user types them, whatever they look like ("$1A", "-1").
            Command c{a.text};
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
            o.commands << Command{a.text};
            o.commands.last().seconds = seconds;
        } else if (a.kind == Argument::Kind::Word && known.contains(a.text)) {
            o.commands << Command{a.text};
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
        if (c.name == QLatin1String("wideband") && (c.count < 1 || c.out.isEmpty()))
            return *problem = QStringLiteral("wideband needs --samples N and --out FILE"), std::nullopt;
        if (c.name != QLatin1String("log"))
            continue;
        if (c.slotItems.size() < 2 || c.count < 1 || c.out.isEmpty())
            return *problem = QStringLiteral("log needs --slots with two to six items, --samples N and --out FILE"), std::nullopt;
        if (c.logCount == 0)
            c.logCount = int(c.slotItems.size());
    }
    return o;
}

// Message boxes go to stderr; questions take the command's --yes/--no, else their default button;
// file names cannot be asked for.
struct CliPrompts : Prompts {
    std::optional<bool> answer;
    QString fileName; // the file a command's --out names
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
        if (!fileName.isEmpty()) {
            std::fprintf(stderr, "question: %s -> %s\n", qPrintable(title), qPrintable(fileName));
            return fileName;
        }
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
    Waker waker;
    waker.listen(&program.link, &ScanToolLink::portLost);
    program.clock().wait(int(seconds * 1000), waker);
}

enum class LiveEnd { Done, NoRow, WriteFailed };

// The real-time display without its window: each sample as the window would show it.
LiveEnd watch(Program &program, const Command &c, bool json)
{
    StripChart chart(program.clock());
    RealTimeDisplay display(program, chart);
    display.start();
    const int samples = c.count > 0 ? c.count : (c.seconds > 0 ? 0 : DefaultWatchSamples);
    ClockTimer timer(program.clock());
    timer.setSingleShot(true);
    QObject::connect(&timer, &ClockTimer::timeout, &display, [&display] { display.setStopFlag(true); });
    if (c.seconds > 0)
        timer.start(int(c.seconds * 1000));
    int taken = 0;
    bool written = true;
    display.afterPass = [&](const Reading &) {
        if (json) {
            const std::optional<double> point = display.lastPoint();
            const QJsonObject o{{QStringLiteral("command"), QStringLiteral("watch")},
                                {QStringLiteral("x"), display.lastX()},
                                {QStringLiteral("value"), display.txbValue()},
                                {QStringLiteral("label"), display.lblValText()},
                                {QStringLiteral("units"), chart.yTitle()},
                                {QStringLiteral("y_range"), QJsonArray{chart.yMinimum(), chart.yMaximum()}},
                                {QStringLiteral("point"), point ? QJsonValue(*point) : QJsonValue()}};
            std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
        } else {
            std::printf("%s%s\n", qPrintable(display.lblValText()), qPrintable(display.txbValue()));
        }
        if (!outputWritten()) {
            written = false;
            display.setStopFlag(true);
        }
        if (samples > 0 && ++taken >= samples)
            display.setStopFlag(true);
    };
    if (!display.run(c.pid))
        return LiveEnd::NoRow;
    return written ? LiveEnd::Done : LiveEnd::WriteFailed;
}

// A data logger run without its window: the same run and file; the samples and the file at the end.
LiveEnd log(Program &program, const Command &c, bool json)
{
    DataLogger logger(program);
    logger.count = c.logCount;
    for (int i = 0; i < DataLogger::Slots; ++i) {
        const int item = i < c.slotItems.size() ? c.slotItems[i] : 0;
        logger.selection[size_t(i)] = item;
        logger.slotText[size_t(i)] = i < c.slotItems.size() ? program.logger.items(i).value(item) : QString();
    }
    logger.intervalText = c.interval;
    logger.trigger1 = c.trigger1;
    logger.trigger2 = c.trigger2;
    logger.combine = c.combine;
    logger.afterSample = [&](int samples) {
        if (samples >= c.count)
            logger.Command3_Click();
    };
    logger.Command1_Click();
    const int taken = logger.samples().rowCount();
    if (json) {
        const QJsonObject o{{QStringLiteral("command"), QStringLiteral("log")},
                            {QStringLiteral("samples"), taken},
                            {QStringLiteral("file"), logger.savedTo()}};
        std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    } else {
        std::printf("== log\n%d samples written to %s\n", taken, qPrintable(logger.savedTo()));
    }
    return logger.savedTo().isEmpty() ? LiveEnd::WriteFailed : LiveEnd::Done;
}

// The wideband meter without its window: N samples, then the file.
LiveEnd wideband(Program &program, const Command &c, bool json)
{
    WidebandMeter meter(program);
    meter.afterSample = [&](int samples) {
        if (samples >= c.count)
            meter.Command2_Click();
    };
    meter.Command1_Click();
    const int taken = meter.samples().rowCount();
    if (json) {
        const QJsonObject o{{QStringLiteral("command"), QStringLiteral("wideband")},
                            {QStringLiteral("samples"), taken},
                            {QStringLiteral("lambda"), meter.lambdaText},
                            {QStringLiteral("ratio"), meter.ratioText},
                            {QStringLiteral("rpm"), meter.rpmText},
                            {QStringLiteral("file"), meter.savedTo()}};
        std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
    } else {
        std::printf("== wideband\nlambda %s, A/F ratio %s, RPM %s\n%d samples written to %s\n", qPrintable(meter.lambdaText),
                    qPrintable(meter.ratioText), qPrintable(meter.rpmText), taken, qPrintable(meter.savedTo()));
    }
    return meter.savedTo().isEmpty() ? LiveEnd::WriteFailed : LiveEnd::Done;
}

// The fuel trim monitor without its window: the four rows after each pass.
LiveEnd trims(Program &program, const Command &c, bool json)
{
    FuelTrimMonitor monitor(program);
    bool written = true;
    monitor.afterPass = [&] {
        const QStringList rows = monitor.labels();
        if (json) {
            const QJsonObject o{{QStringLiteral("command"), QStringLiteral("trims")},
                                {QStringLiteral("rows"), QJsonArray::fromStringList(rows)}};
            std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
        } else {
            std::printf("%s\n", qPrintable(rows.join(QLatin1Char('\n'))));
        }
        if (!outputWritten()) {
            written = false;
            monitor.Command1_Click();
        }
    };
    monitor.fuel_trim_monitor(c.count > 0 ? c.count : 1);
    return written ? LiveEnd::Done : LiveEnd::WriteFailed;
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
    if (!opt->usb) {
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
    ClockTimer deadline(program.clock());
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &ClockTimer::timeout, &program, [&] {
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
                if (opt->usb && !(program.usbPort() && program.usbPort()->usb_attached())) {
                    // A device that was there but could not be claimed says why in the status window.
                    const QString said = program.status.text();
                    failure = QStringLiteral("%1: no USB device %2:%3 attached within %4 s%5")
                                  .arg(running)
                                  .arg(opt->usb->vendor, 4, 16, QLatin1Char('0'))
                                  .arg(opt->usb->product, 4, 16, QLatin1Char('0'))
                                  .arg(opt->timeoutS)
                                  .arg(said.startsWith(QLatin1String("DeviceAttach:"))
                                           ? QStringLiteral(" (") + QString(said).replace(QLatin1String("\r\n"), QLatin1String(" ")) + QLatin1Char(')')
                                           : QString());
                    break;
                }
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
            if (opt->usb) {
                program.usbIds = opt->usb;
                connectUsb(program);
            } else {
                connectCom(program, 1);
            }
        }))
        return 1;
    // The USB connection leaves the Connection menu as it was; the diagnostic buttons tell.
    const bool connected = program.port() && program.port()->isOpen()
        && (opt->usb ? program.controls.enabled(names::Mode1) : !program.controls.enabled(names::mnuCom));
    if (!connected) {
        std::fprintf(stderr, "quenta-cli: the connection on %s failed%s\n",
                     qPrintable(opt->usb && program.usbPort() ? program.usbPort()->deviceName() : program.ports.describe(1)),
                     qPrintable(opt->usb ? QStringLiteral(": ") + program.status.text().trimmed() : QString()));
        return 1;
    }
    MonitorCommands tests(program);
    bool walked = false;
    for (const Command &c : opt->commands) {
        prompts.answer = c.answer;
        prompts.shown.clear();
        const bool isO2 = c.name == QLatin1String("o2"), isMode6 = c.name == QLatin1String("mode6");
        const bool live = c.name == QLatin1String("watch") || c.name == QLatin1String("trims") || c.name == QLatin1String("log")
            || c.name == QLatin1String("wideband");
        prompts.fileName = c.out;
        // The live displays show what the last current-data request found.
        if (live && !walked && !run(QStringLiteral("current"), [&] { requestCurrentData(program); }))
            return 1;
        if (c.name == QLatin1String("current") || live)
            walked = true;
        LiveEnd end = LiveEnd::Done;
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
            else if (c.name == QLatin1String("watch"))
                end = watch(program, c, opt->json);
            else if (c.name == QLatin1String("trims"))
                end = trims(program, c, opt->json);
            else if (c.name == QLatin1String("log"))
                end = log(program, c, opt->json);
            else if (c.name == QLatin1String("wideband"))
                end = wideband(program, c, opt->json);
            else if (isO2)
                tests.runO2(c.test, &failure); // a failure is reported like any other below
            else if (isMode6)
                tests.runMode6(c.test, &failure);
        }, c.name != QLatin1String("wait") && !live);
        if (!ok || end != LiveEnd::Done)
            return 1;
        if (isO2)
            tests.printO2(opt->json, prompts.shown);
        else if (isMode6)
            tests.printMode6(c.test, opt->json, prompts.shown);
        else if (!live)
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
