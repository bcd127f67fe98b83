#include "Commands.h"

#include "core/CommandLine.h"
#include "program/Program.h"
#include "live/FuelTrimMonitor.h"
#include "live/RealTimeDisplay.h"
#include "live/StripChart.h"
#include "live/WidebandMeter.h"
#include "services/ClearCodes.h"
#include "services/CurrentData.h"
#include "services/FreezeFrame.h"
#include "services/TroubleCodes.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quenta {

namespace {

constexpr double MaxWaitS = 86400;
// How many samples `watch` takes when neither --samples nor --seconds is given.
constexpr int DefaultWatchSamples = 10;
constexpr int MaxCount = 100000000;

// ---- Reading what follows a command's word

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

// `wait`: the next argument is the number of seconds, whatever it looks like.
bool readWaitSeconds(Command &c, const QList<Argument> &args, qsizetype *at, QString *problem)
{
    bool ok = false;
    const double seconds = *at + 1 < args.size() ? args[++*at].text.toDouble(&ok) : 0;
    if (!ok || !(seconds >= 0 && seconds <= MaxWaitS))
        return refuse(problem, QStringLiteral("wait needs a number of seconds from 0 to %1").arg(MaxWaitS));
    c.seconds = seconds;
    return true;
}

// `watch`: the next argument is the PID, two hexadecimal digits.
bool readPid(Command &c, const QList<Argument> &args, qsizetype *at, QString *problem)
{
    bool ok = false;
    const QString pid = *at + 1 < args.size() ? args[++*at].text : QString();
    const int number = pid.size() == 2 ? pid.toInt(&ok, 16) : 0;
    if (!ok)
        return refuse(problem, QStringLiteral("watch needs a PID of two hexadecimal digits (0C, 12 for fuel economy)"));
    c.pid = number;
    return true;
}

// `o2`: a sensor name may follow.
bool readSensor(Command &c, const QList<Argument> &args, qsizetype *at, QString *)
{
    if (*at + 1 < args.size() && isSensorName(args[*at + 1].text))
        c.test.sensor = args[++*at].text;
    return true;
}

// `mode6`: the entries as a user types them, whatever they look like ("$1A", "-1").
bool readTestIds(Command &c, const QList<Argument> &args, qsizetype *at, QString *problem)
{
    if (*at + 2 >= args.size())
        return refuse(problem, QStringLiteral("mode6 needs TESTID COMPONENTID, or scan"));
    c.test.testId = args[++*at].text;
    c.test.componentId = args[++*at].text;
    return true;
}

bool readScan(Command &c, const QList<Argument> &, qsizetype *, QString *)
{
    c.test.scan = true;
    return true;
}

// --samples, --passes: one count; --samples and --seconds exclude each other.
bool readCount(Command &c, const Argument &a, QString *problem)
{
    bool ok = false;
    const int n = a.value.toInt(&ok);
    if (!ok || n < 1 || n > MaxCount || c.count > 0 || c.seconds > 0)
        return refuse(problem, QStringLiteral("%1 needs one count from 1 to %2 (--samples and --seconds exclude each other)")
                                   .arg(QStringLiteral("--") + a.option)
                                   .arg(MaxCount));
    c.count = n;
    return true;
}

bool readSeconds(Command &c, const Argument &a, QString *problem)
{
    bool ok = false;
    const double seconds = a.value.toDouble(&ok);
    if (!ok || !(seconds > 0 && seconds <= MaxWaitS) || c.count > 0 || c.seconds > 0)
        return refuse(problem,
                      QStringLiteral("--seconds needs one number of seconds up to %1 (--samples and --seconds exclude each other)")
                          .arg(MaxWaitS));
    c.seconds = seconds;
    return true;
}

bool readAnswer(Command &c, const Argument &a, QString *)
{
    c.answer = a.option == QLatin1String("yes");
    return true;
}

bool readOut(Command &c, const Argument &a, QString *)
{
    c.out = a.value;
    return true;
}

bool readSlots(Command &c, const Argument &a, QString *problem)
{
    c.slotItems.clear();
    for (const QString &item : a.value.split(QLatin1Char(','))) {
        bool ok = false;
        const int index = item.toInt(&ok);
        if (!ok || index < 0)
            return refuse(problem, QStringLiteral("--slots takes item numbers from 0, separated by commas"));
        c.slotItems << index;
    }
    if (c.slotItems.size() > DataLogger::Slots)
        return refuse(problem, QStringLiteral("--slots takes at most six items"));
    return true;
}

bool readLogCount(Command &c, const Argument &a, QString *problem)
{
    const int n = a.value.toInt();
    if (n < 2 || n > 6)
        return refuse(problem, QStringLiteral("--count is 2, 3, 4, 5 or 6"));
    c.logCount = n;
    return true;
}

bool readInterval(Command &c, const Argument &a, QString *)
{
    c.interval = a.value;
    return true;
}

bool readTrigger(Command &c, const Argument &a, QString *problem)
{
    const std::optional<LogTrigger> t = parseTrigger(a.value, problem);
    if (!t)
        return false;
    (a.option == QLatin1String("trigger1") ? c.trigger1 : c.trigger2) = *t;
    return true;
}

bool readCombine(Command &c, const Argument &a, QString *problem)
{
    if (a.value != QLatin1String("and") && a.value != QLatin1String("or"))
        return refuse(problem, QStringLiteral("--combine is and or or"));
    c.combine = a.value == QLatin1String("and") ? DataLogger::Combine::And : DataLogger::Combine::Or;
    return true;
}

// --scale, --units: the mode 6 window's boxes, as typed.
bool readTestField(Command &c, const Argument &a, QString *problem)
{
    if (!a.hasValue)
        return refuse(problem, QStringLiteral("--%1 needs a value").arg(a.option));
    (a.option == QLatin1String("scale") ? c.test.scale : c.test.units) = a.value;
    return true;
}

bool completeLog(Command &c, QString *problem)
{
    if (c.slotItems.size() < 2 || c.count < 1 || c.out.isEmpty())
        return refuse(problem, QStringLiteral("log needs --slots with two to six items, --samples N and --out FILE"));
    if (c.logCount == 0)
        c.logCount = int(c.slotItems.size());
    return true;
}

bool completeWideband(Command &c, QString *problem)
{
    if (c.count < 1 || c.out.isEmpty())
        return refuse(problem, QStringLiteral("wideband needs --samples N and --out FILE"));
    return true;
}

// ---- Running

// What the main window shows after an operation: indicator, captions, status and data.
void report(const Program &p, const QString &command, bool json)
{
    const QStringList lines = p.data.lines();
    QJsonArray pidList;
    for (int i = 0; i < lines.size() && i < PidState::ListSize; ++i)
        pidList << int(p.pids.PID_list[size_t(i)]);
    if (json) {
        printJson({{QStringLiteral("command"), command},
                   {QStringLiteral("indicator"),
                    QJsonObject{{QStringLiteral("text"), p.indicator.text()}, {QStringLiteral("color"), rgbName(p.indicator.color())}}},
                   {QStringLiteral("ecu"), p.linkInfo.ecuCaption()},
                   {QStringLiteral("firmware"), p.linkInfo.firmwareCaption()},
                   {QStringLiteral("status"), p.status.text()},
                   {QStringLiteral("data"), QJsonArray::fromStringList(lines)},
                   {QStringLiteral("pid_list"), pidList}});
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

void printReport(const Session &s, const Command &c)
{
    report(s.program, c.name, s.json);
}

// Keeps the link open and idle, as a user who reads the screen does, while the tool goes on
// sending its status characters. A port that goes away ends the wait.
void idle(Program &program, double seconds)
{
    Waker waker;
    waker.listen(&program.link, &ScanToolLink::stateChanged);
    program.clock().wait(int(seconds * 1000), waker);
}

// The real-time display without its window: each sample as the window would show it.
RunEnd watch(Program &program, const Command &c, bool json)
{
    StripChart chart(program.clock());
    RealTimeDisplay display(program.liveParts(), chart);
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
            printJson({{QStringLiteral("command"), QStringLiteral("watch")},
                       {QStringLiteral("x"), display.lastX()},
                       {QStringLiteral("value"), display.txbValue()},
                       {QStringLiteral("label"), display.lblValText()},
                       {QStringLiteral("units"), chart.yTitle()},
                       {QStringLiteral("y_range"), QJsonArray{chart.yMinimum(), chart.yMaximum()}},
                       {QStringLiteral("point"), point ? QJsonValue(*point) : QJsonValue()}});
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
        return RunEnd::NoRow;
    return written ? RunEnd::Done : RunEnd::WriteFailed;
}

// A data logger run without its window: the same run and file; the samples and the file at the end.
RunEnd log(Program &program, const Command &c, bool json)
{
    DataLogger logger(program.liveParts());
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
    if (json)
        printJson({{QStringLiteral("command"), QStringLiteral("log")},
                   {QStringLiteral("samples"), taken},
                   {QStringLiteral("file"), logger.savedTo()}});
    else
        std::printf("== log\n%d samples written to %s\n", taken, qPrintable(logger.savedTo()));
    return logger.savedTo().isEmpty() ? RunEnd::WriteFailed : RunEnd::Done;
}

// The wideband meter without its window: N samples, then the file.
RunEnd wideband(Program &program, const Command &c, bool json)
{
    WidebandMeter meter(program.liveParts());
    meter.afterSample = [&](int samples) {
        if (samples >= c.count)
            meter.Command2_Click();
    };
    meter.Command1_Click();
    const int taken = meter.samples().rowCount();
    if (json)
        printJson({{QStringLiteral("command"), QStringLiteral("wideband")},
                   {QStringLiteral("samples"), taken},
                   {QStringLiteral("lambda"), meter.lambdaText},
                   {QStringLiteral("ratio"), meter.ratioText},
                   {QStringLiteral("rpm"), meter.rpmText},
                   {QStringLiteral("file"), meter.savedTo()}});
    else
        std::printf("== wideband\nlambda %s, A/F ratio %s, RPM %s\n%d samples written to %s\n", qPrintable(meter.lambdaText),
                    qPrintable(meter.ratioText), qPrintable(meter.rpmText), taken, qPrintable(meter.savedTo()));
    return meter.savedTo().isEmpty() ? RunEnd::WriteFailed : RunEnd::Done;
}

// The fuel trim monitor without its window: the four rows after each pass.
RunEnd trims(Program &program, const Command &c, bool json)
{
    FuelTrimMonitor monitor(program.liveParts());
    bool written = true;
    monitor.afterPass = [&] {
        const QStringList rows = monitor.labels();
        if (json)
            printJson({{QStringLiteral("command"), QStringLiteral("trims")}, {QStringLiteral("rows"), QJsonArray::fromStringList(rows)}});
        else
            std::printf("%s\n", qPrintable(rows.join(QLatin1Char('\n'))));
        if (!outputWritten()) {
            written = false;
            monitor.Command1_Click();
        }
    };
    monitor.fuel_trim_monitor(c.count > 0 ? c.count : 1);
    return written ? RunEnd::Done : RunEnd::WriteFailed;
}

// The run of a command that does one operation of the main window.
std::function<RunEnd(Session &, const Command &)> operating(void (*operate)(Program &))
{
    return [operate](Session &s, const Command &) {
        operate(s.program);
        return RunEnd::Done;
    };
}

// The run of a live display, which prints as it goes.
std::function<RunEnd(Session &, const Command &)> showing(RunEnd (*display)(Program &, const Command &, bool))
{
    return [display](Session &s, const Command &c) { return display(s.program, c, s.json); };
}

RunEnd runMode6(Session &s, const Command &c)
{
    s.tests.runMode6(c.test, s.failure); // a failure is reported like any other
    return RunEnd::Done;
}

void printMode6(const Session &s, const Command &c)
{
    s.tests.printMode6(c.test, s.json, s.prompts.shown);
}

} // namespace

void CliPrompts::message(const QString &text, const QString &, Icon)
{
    shown << text;
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
}

bool CliPrompts::askYesNo(const QString &text, const QString &, Icon, bool defaultYes)
{
    const bool yes = answer.value_or(defaultYes);
    std::fprintf(stderr, "question: %s -> %s\n", qPrintable(text), yes ? "Yes" : "No");
    return yes;
}

// There is nobody to type a file name: the question counts as cancelled.
QString CliPrompts::askSaveFileName(const QString &title, const QString &, const QString &)
{
    if (!fileName.isEmpty()) {
        std::fprintf(stderr, "question: %s -> %s\n", qPrintable(title), qPrintable(fileName));
        return fileName;
    }
    std::fprintf(stderr, "question: %s -> cancelled (quenta-cli cannot ask for a file name)\n", qPrintable(title));
    return QString();
}

bool refuse(QString *problem, const QString &why)
{
    *problem = why;
    return false;
}

bool outputWritten()
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return true;
    const int error = errno;
    std::fprintf(stderr, "quenta-cli: cannot write the output: %s\n", error ? std::strerror(error) : "write error");
    return false;
}

const OptionRow *CommandRow::option(const QString &optionName) const
{
    for (const OptionRow &o : options)
        if (o.name == optionName)
            return &o;
    return nullptr;
}

const QList<CommandRow> &commandTable()
{
    static const OptionRow samples{QStringLiteral("samples"), QStringLiteral("N"), readCount};
    static const OptionRow out{QStringLiteral("out"), QStringLiteral("FILE"), readOut};
    static const QList<CommandRow> table{
        // Connecting comes before any command: `connect` shows what it left.
        {.name = QStringLiteral("connect"), .run = [](Session &, const Command &) { return RunEnd::Done; }, .print = printReport},
        {.name = QStringLiteral("current"), .run = operating([](Program &p) { p.currentData.request(); }), .print = printReport, .givesCurrentData = true},
        {.name = QStringLiteral("codes"),
         .options = {{QStringLiteral("yes"), QString(), readAnswer}, {QStringLiteral("no"), QString(), readAnswer}},
         .run = operating([](Program &p) { p.troubleCodes.request(); }),
         .print = printReport},
        {.name = QStringLiteral("clear"), .run = operating([](Program &p) { p.clearCodes.clear(); }), .print = printReport},
        {.name = QStringLiteral("freeze"), .run = operating([](Program &p) { p.freezeFrame.request(); }), .print = printReport},
        {.name = QStringLiteral("wait"),
         .operands = readWaitSeconds,
         .run = [](Session &s, const Command &c) {
             idle(s.program, c.seconds);
             return RunEnd::Done;
         },
         .print = printReport,
         .bounded = false},
        {.name = QStringLiteral("watch"),
         .operands = readPid,
         .options = {samples, {QStringLiteral("seconds"), QStringLiteral("S"), readSeconds}},
         .run = showing(watch),
         .needsCurrentData = true,
         .bounded = false},
        {.name = QStringLiteral("trims"),
         .options = {{QStringLiteral("passes"), QStringLiteral("N"), readCount}},
         .run = showing(trims),
         .needsCurrentData = true,
         .bounded = false},
        {.name = QStringLiteral("log"),
         .options = {{QStringLiteral("slots"), QStringLiteral("LIST"), readSlots},
                     {QStringLiteral("count"), QStringLiteral("N"), readLogCount},
                     {QStringLiteral("interval"), QStringLiteral("S"), readInterval},
                     {QStringLiteral("trigger1"), QStringLiteral("T"), readTrigger},
                     {QStringLiteral("trigger2"), QStringLiteral("T"), readTrigger},
                     {QStringLiteral("combine"), QStringLiteral("C"), readCombine},
                     samples,
                     out},
         .complete = completeLog,
         .run = showing(log),
         .needsCurrentData = true,
         .bounded = false},
        {.name = QStringLiteral("wideband"),
         .options = {samples, out},
         .complete = completeWideband,
         .run = showing(wideband),
         .needsCurrentData = true,
         .bounded = false},
        // The O2 sensor test asks for current data itself, and only when the window would.
        {.name = QStringLiteral("o2"),
         .operands = readSensor,
         .run = [](Session &s, const Command &c) {
             s.tests.runO2(c.test, s.failure); // a failure is reported like any other
             return RunEnd::Done;
         },
         .print = [](const Session &s, const Command &) { s.tests.printO2(s.json, s.prompts.shown); }},
        {.name = QStringLiteral("mode6"),
         .operands = readTestIds,
         .options = {{QStringLiteral("scale"), QStringLiteral("S"), readTestField},
                     {QStringLiteral("units"), QStringLiteral("U"), readTestField}},
         .run = runMode6,
         .print = printMode6},
        {.name = QStringLiteral("mode6 scan"), .operands = readScan, .run = runMode6, .print = printMode6},
    };
    return table;
}

const CommandRow *findCommand(const QList<Argument> &args, qsizetype at)
{
    if (args[at].kind != Argument::Kind::Word)
        return nullptr;
    const CommandRow *found = nullptr;
    qsizetype foundWords = 0;
    for (const CommandRow &row : commandTable()) {
        const QStringList words = row.name.split(QLatin1Char(' '));
        bool matches = at + words.size() <= args.size();
        for (qsizetype w = 0; matches && w < words.size(); ++w)
            matches = args[at + w].text == words[w];
        if (matches && words.size() > foundWords) {
            found = &row;
            foundWords = words.size();
        }
    }
    return found;
}

} // namespace quenta
