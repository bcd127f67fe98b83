#include "core/CommandLine.h"


namespace quenta {

namespace {
const QString Simulate = QStringLiteral("simulate");
}

CommandLine::CommandLine(const QList<QCommandLineOption> &options)
{
    for (const QCommandLineOption &option : options)
        addOption(option);
}

void CommandLine::addOption(const QCommandLineOption &option)
{
    m_parser.addOption(option);
    m_options << option;
}

QCommandLineOption CommandLine::helpOption()
{
    return QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});
}

QCommandLineOption CommandLine::versionOption()
{
    return QCommandLineOption(QStringLiteral("version"));
}

QCommandLineOption CommandLine::simulateOption()
{
    // A flag to the parser, so a bare --simulate never takes the next argument as its file;
    // "--simulate=FILE" is read apart.
    return QCommandLineOption(Simulate);
}

QCommandLineOption CommandLine::portOption(const QString &valueName)
{
    return QCommandLineOption(QStringLiteral("port"), QString(), valueName);
}

QCommandLineOption CommandLine::usbOption()
{
    return QCommandLineOption(QStringLiteral("usb"), QString(), QStringLiteral("VID:PID"));
}

QCommandLineOption CommandLine::baudOption(const QString &description, const QString &defaultValue)
{
    return QCommandLineOption(QStringLiteral("baud"), description, QStringLiteral("N"), defaultValue);
}

const QCommandLineOption *CommandLine::optionNamed(const QString &name) const
{
    for (const QCommandLineOption &option : m_options) {
        if (option.names().contains(name))
            return &option;
    }
    return nullptr;
}

Argument CommandLine::found(const QString &text, bool withValue) const
{
    Argument argument{Argument::Kind::Option, text, {}, {}, false};
    const QString name = m_parser.optionNames().value(0);
    if (const QCommandLineOption *option = optionNamed(name))
        argument.option = option->names().last();
    if (withValue) {
        argument.value = m_parser.value(name);
        argument.hasValue = true;
    }
    return argument;
}

QList<Argument> CommandLine::read(const QStringList &arguments)
{
    const QString program = arguments.value(0);
    QList<Argument> out;
    for (qsizetype i = 1; i < arguments.size(); ++i)
        out << readOne(program, arguments, &i);
    return out;
}

Argument CommandLine::readOne(const QString &program, const QStringList &arguments, qsizetype *i)
{
    const QString &text = arguments[*i];
    if (!text.startsWith(QLatin1Char('-')) || text == QLatin1String("-") || text == QLatin1String("--"))
        return Argument{Argument::Kind::Word, text, {}, {}, false};
    const Argument unknown{Argument::Kind::Unknown, text, {}, {}, false};
    // Two dashes lead a long name: "--h" is not -h.
    if (text.startsWith(QLatin1String("--")) && text.section(QLatin1Char('='), 0, 0).size() == 3)
        return unknown;
    if (m_parser.parse({program, text})) {
        const QCommandLineOption *option = optionNamed(m_parser.optionNames().value(0));
        return found(text, option && !option->valueName().isEmpty());
    }
    if (!m_parser.unknownOptionNames().isEmpty())
        return unknown;
    const qsizetype assign = text.indexOf(QLatin1Char('='));
    if (assign < 0) {
        // An option given apart from its value, which is the next argument.
        if (*i + 1 < arguments.size() && m_parser.parse({program, text, arguments[*i + 1]})) {
            ++*i;
            return found(text + QLatin1Char(' ') + arguments[*i], true);
        }
        return found(text, false); // the value is missing
    }
    // A value after "=" for a flag: only --simulate takes one.
    if (!m_parser.parse({program, text.left(assign)}))
        return unknown;
    Argument simulate = found(text, false);
    if (simulate.option != Simulate)
        return unknown;
    simulate.value = text.mid(assign + 1);
    simulate.hasValue = true;
    return simulate;
}

std::optional<PortChoice> parsePortChoice(const QString &text)
{
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return std::nullopt;
    bool ok = false;
    const int com = text.left(eq).toInt(&ok);
    const QString device = text.mid(eq + 1);
    if (!ok || com < 1 || com > 9 || device.isEmpty())
        return std::nullopt;
    return PortChoice{com, device, false, {}};
}

std::optional<ElmTarget> parseElmTarget(const QString &text, QString *problem)
{
    const QString prefix = QStringLiteral("elm:");
    if (!text.startsWith(prefix))
        return std::nullopt;
    auto bad = [&](const QString &why) {
        if (problem)
            *problem = QStringLiteral("%1: %2 (expected elm:DEVICE, elm:DEVICE@BAUD or elm:tcp:HOST:PORT)").arg(text, why);
        return std::nullopt;
    };
    const QString rest = text.mid(prefix.size());
    ElmTarget target;
    if (rest.startsWith(QStringLiteral("tcp:"))) {
        const QString address = rest.mid(4);
        const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
        bool ok = false;
        const int port = colon > 0 ? address.mid(colon + 1).toInt(&ok) : 0;
        if (colon <= 0 || !ok || port < 1 || port > 65535)
            return bad(QStringLiteral("no host and port"));
        target.host = address.left(colon);
        target.tcpPort = quint16(port);
        return target;
    }
    const qsizetype at = rest.lastIndexOf(QLatin1Char('@'));
    target.device = at >= 0 ? rest.left(at) : rest;
    if (target.device.isEmpty())
        return bad(QStringLiteral("no device"));
    if (at >= 0) {
        bool ok = false;
        const int baud = rest.mid(at + 1).toInt(&ok);
        if (!ok || baud <= 0)
            return bad(QStringLiteral("the speed is not a number"));
        target.baud = baud;
    }
    return target;
}

std::optional<ElmTarget> parseAdapterName(const QString &text, QString *problem)
{
    const QString name = text.trimmed();
    QString form;
    if (name.startsWith(QStringLiteral("elm:")))
        form = name;
    else if (name.startsWith(QLatin1Char('/')))
        form = QStringLiteral("elm:") + name;
    else if (name.contains(QLatin1Char(':')))
        form = QStringLiteral("elm:tcp:") + name;
    if (std::optional<ElmTarget> target = form.isEmpty() ? std::nullopt : parseElmTarget(form, nullptr))
        return target;
    if (problem)
        *problem = QStringLiteral("Not an ELM327 adapter: \"%1\". Name a serial device such as /dev/rfcomm0 or "
                                  "/dev/ttyUSB0@38400, or a Wi-Fi adapter's address such as 192.168.0.10:35000.")
                       .arg(name);
    return std::nullopt;
}

} // namespace quenta
