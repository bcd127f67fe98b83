#pragma once
// Reading the programs' arguments: QCommandLineParser recognises the options, one argument at a
// time, so each program sees them in the order given, as typed, and can answer the first one it
// refuses. The options the programs share are spelled here once.
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace quenta {

struct Argument {
    enum class Kind {
        Word,   // not an option: a command word, a number, a stray text ("-" and "--" too)
        Option, // an option of the program
        Unknown // an option the program does not have, or a value given to an option that takes none
    };
    Kind kind = Kind::Word;
    QString text;   // as typed; an option and its value given apart read "--port /dev/ttyUSB0"
    QString option; // an option's long name ("port", "help")
    QString value;  // an option's value
    bool hasValue = false; // false for a flag, for a value missing at the end, and for a bare --simulate
};

class CommandLine {
public:
    explicit CommandLine(const QList<QCommandLineOption> &options = {});
    void addOption(const QCommandLineOption &option);

    // The arguments after the program's name (`arguments` starts with it), in order.
    QList<Argument> read(const QStringList &arguments);
    QCommandLineParser &parser() { return m_parser; }

    // The options the programs share. Descriptions are for a parser's own help text; quenta and
    // quenta-cli print usages of their own.
    static QCommandLineOption helpOption();
    static QCommandLineOption versionOption();
    // --simulate[=FILE]: the simulated scan tool on COM1; FILE may be left out (the shipped car).
    static QCommandLineOption simulateOption();
    static QCommandLineOption portOption(const QString &valueName);
    // --usb=VID:PID: the USB scan tool with these vendor and product IDs (hexadecimal).
    static QCommandLineOption usbOption();
    static QCommandLineOption baudOption(const QString &description = QString(), const QString &defaultValue = QString());

private:
    Argument readOne(const QString &program, const QStringList &arguments, qsizetype *i);
    const QCommandLineOption *optionNamed(const QString &name) const;
    // The option the parser found last, given as `text`.
    Argument found(const QString &text, bool withValue) const;

    QCommandLineParser m_parser;
    QList<QCommandLineOption> m_options;
};

// What stands behind a COM port: a device, or the simulated scan tool with a vehicle profile (an
// empty one is the shipped car).
struct PortChoice {
    int com = 1;
    QString device;
    bool simulate = false;
    QString profile;
};

// An ELM327 adapter behind a port: a serial device (USB, Bluetooth rfcomm), at a fixed speed or
// searched, or a Wi-Fi adapter's TCP address.
struct ElmTarget {
    QString device;              // the serial device; empty for TCP
    std::optional<int> baud;     // fixed speed: no search
    QString host;                // TCP
    quint16 tcpPort = 0;
    bool isTcp() const { return !host.isEmpty(); }
};

// The texts "elm:DEVICE", "elm:DEVICE@BAUD" and "elm:tcp:HOST:PORT". Nothing for a text that does
// not start with "elm:"; nothing with `problem` set for one that does but is not one of those.
std::optional<ElmTarget> parseElmTarget(const QString &text, QString *problem);

// The adapter as a user names it in the window: a serial device ("/dev/rfcomm0",
// "/dev/ttyUSB0@38400"), a Wi-Fi adapter's "HOST:PORT", or any "elm:" form. Nothing, with
// `problem` set, for anything else.
std::optional<ElmTarget> parseAdapterName(const QString &text, QString *problem);

// "N=DEVICE" with N from 1 to 9; nothing for any other text.
std::optional<PortChoice> parsePortChoice(const QString &text);

} // namespace quenta
