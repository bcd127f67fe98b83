#pragma once
// quenta-cli's commands, one row each: the word that names it, what follows the word, the options
// that may come after it, how it runs on the connected program and what it prints once it has run.
#include "MonitorCommands.h"
#include "live/DataLogger.h"
#include "platform/Prompts.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace quenta {

struct Argument;
struct CommandRow;
class Program;

struct Command {
    const CommandRow *row = nullptr;
    QString name;                // the word typed; the failures and the reports name the command by it
    std::optional<bool> answer;  // the Yes/No answer for its question
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
    MonitorCommand test = {};    // o2 and mode6: the sensor, or the entries as typed
};

// Message boxes go to stderr; questions take the command's --yes/--no, else their default button;
// file names cannot be asked for.
struct CliPrompts : Prompts {
    std::optional<bool> answer;
    QString fileName;  // the file a command's --out names
    QStringList shown; // the messages of the running command
    void message(const QString &text, const QString &, Icon) override;
    bool askYesNo(const QString &text, const QString &, Icon, bool defaultYes) override;
    QString askSaveFileName(const QString &title, const QString &, const QString &) override;
};

// What a command runs on and prints with.
struct Session {
    Program &program;
    MonitorCommands &tests;
    const CliPrompts &prompts;
    bool json = false;
    QString *failure = nullptr; // where a command that refuses to run says why
};

// How a run ended: a live display whose parameter has no row, or output that could not be
// written, fails the run.
enum class RunEnd { Done, NoRow, WriteFailed };

// An option a command takes after its word: read onto the command, false with the problem.
struct OptionRow {
    QString name;      // the long name, without the dashes
    QString valueName; // empty for a flag
    std::function<bool(Command &, const Argument &, QString *problem)> read;
};

struct CommandRow {
    QString name = {}; // the words that name it: "mode6 scan"
    // The arguments right after the words; `at` is the last one taken so far.
    std::function<bool(Command &, const QList<Argument> &args, qsizetype *at, QString *problem)> operands = {};
    QList<OptionRow> options = {};
    // What must hold once the whole command line is read; may fill in defaults.
    std::function<bool(Command &, QString *problem)> complete = {};
    std::function<RunEnd(Session &, const Command &)> run = {};
    // What it prints after running; empty for the live displays, which print as they go.
    std::function<void(const Session &, const Command &)> print = {};
    bool needsCurrentData = false; // shows what the last current-data request found
    bool givesCurrentData = false; // is that request
    bool bounded = true;           // runs within the operation time limit

    const OptionRow *option(const QString &name) const;
    qsizetype words() const { return name.count(QLatin1Char(' ')) + 1; }
};

// Every command, in the order the usage lists them.
const QList<CommandRow> &commandTable();

// The row whose words start at args[at]: the one of the most words.
const CommandRow *findCommand(const QList<Argument> &args, qsizetype at);

// Sets the problem a command line is refused for; false.
bool refuse(QString *problem, const QString &why);

// Output that cannot be written (a full disk, a closed pipe) ends the run: nothing is lost quietly.
// Called right after the output: errno still tells why a write failed.
bool outputWritten();

} // namespace quenta
