// Reading the programs' arguments: each as typed and in order, options with their values given
// either way, --simulate with or without its file, and what stands behind the COM ports.
#include "core/CommandLine.h"
#include "program/PortChoices.h"

#include <QtTest>

using namespace quenta;

namespace {

// What a --port value puts behind its port, as messages name it, or why it is refused.
QString chosen(const QString &value)
{
    const std::optional<PortChoice> choice = parsePortChoice(value);
    PortDirectory ports;
    QString error;
    if (!choice || !applyPortChoices({*choice}, ports, nullptr, &error))
        return choice ? error : QStringLiteral("refused");
    const std::optional<ElmTarget> elm = parseElmTarget(choice->device, nullptr);
    return ports.describe(choice->com) + (elm && elm->baud ? QStringLiteral(" at %1").arg(*elm->baud) : QString());
}

} // namespace

class tst_command_line : public QObject {
    Q_OBJECT
private slots:
    // Each argument read: 'a word', ?unknown, or an option's long name with =value (for --port,
    // what the value chooses in parentheses), and the text as typed when it is not --name[=value].
    void read_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("read");
        auto row = [](const char *name, const QStringList &arguments, const QString &read) { QTest::newRow(name) << arguments << read; };
        row("value apart", {"--port", "9=/dev/a=b", "connect"}, "port(COM9 (/dev/a=b)) [--port 9=/dev/a=b] | 'connect'");
        row("value missing at the end", {"--json", "--port"}, "json | port");
        row("the next argument is the value, whatever it is", {"--port", "--json"}, "port(refused) [--port --json]");
        row("--simulate bare (takes nothing after it), with its file, with nothing", {"--simulate", "car.json", "--simulate=car.json", "--simulate="},
            "simulate | 'car.json' | simulate=car.json | simulate=");
        row("help, short and long", {"-h", "--help"}, "help [-h] | help");
        row("a flag given a value", {"--json=1"}, "?--json=1");
        row("options the program lacks", {"--bogus", "-x", "-hx", "--h", "-help"}, "?--bogus | ?-x | ?-hx | ?--h | ?-help");
        row("dashes alone are words, negative numbers not", {"-", "--", "--json", "wait", "-1"}, "'-' | '--' | json | 'wait' | ?-1");
        row("COM0, COM10, no number, not a number, no =", {"--port=0=/dev/x", "--port=10=/dev/x", "--port==/dev/x", "--port=a=/dev/x", "--port=/dev/x"},
            "port(refused) | port(refused) | port(refused) | port(refused) | port(refused)");
        row("ELM327 on a device, at a fixed speed, over TCP", {"--port=2=elm:/dev/rfcomm0", "--port=3=elm:/dev/ttyUSB0@38400", "--port=1=elm:tcp:127.0.0.1:35000"},
            "port(COM2 (ELM327 adapter on /dev/rfcomm0)) | port(COM3 (ELM327 adapter on /dev/ttyUSB0) at 38400) | port(COM1 (ELM327 adapter at 127.0.0.1:35000))");
        for (const auto &[target, why] : QList<std::pair<const char *, const char *>>{
                 {"elm:@9600", "no device"}, {"elm:/dev/x@0", "the speed is not a number"},
                 {"elm:tcp:host", "no host and port"}, {"elm:tcp:host:0", "no host and port"}})
            row(target, {QStringLiteral("--port=1=%1").arg(QLatin1String(target))},
                QStringLiteral("port(%1: %2 (expected elm:DEVICE, elm:DEVICE@BAUD or elm:tcp:HOST:PORT))").arg(QLatin1String(target), QLatin1String(why)));
    }
    void read()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, read);
        CommandLine line({CommandLine::helpOption(), CommandLine::simulateOption(),
                          CommandLine::portOption(QStringLiteral("N=DEVICE")), QCommandLineOption(QStringLiteral("json"))});
        QStringList out;
        for (const Argument &a : line.read(QStringList{QStringLiteral("prog")} + arguments)) {
            if (a.kind != Argument::Kind::Option) {
                out << (a.kind == Argument::Kind::Word ? QStringLiteral("'%1'").arg(a.text) : QLatin1Char('?') + a.text);
                continue;
            }
            const QString read = a.hasValue ? a.option + QLatin1Char('=') + a.value : a.option;
            const QString shown = a.option == QLatin1String("port") && a.hasValue ? QStringLiteral("port(%1)").arg(chosen(a.value)) : read;
            out << (a.text == QLatin1String("--") + read ? shown : shown + QStringLiteral(" [%1]").arg(a.text));
        }
        QCOMPARE(out.join(QLatin1String(" | ")), read);
    }

    // The simulated tool behind a port, with the shipped car or a profile; a later choice wins.
    void simulatedChoices()
    {
        const QString profile = QStringLiteral(QUENTA_SOURCE_DATA_DIR "/default-vehicle.json");
        PortDirectory ports;
        std::vector<std::unique_ptr<sim::SimulatedScanTool>> tools;
        QString error;
        QVERIFY(applyPortChoices({{1, {}, true, {}}, {2, "/dev/pts/7", false, {}}, {2, {}, true, profile}, {3, {}, true, {}}, {3, "/dev/ttyACM0", false, {}}},
                                 ports, &tools, &error) && tools.size() == 3);
        QCOMPARE((QStringList{ports.describe(1), ports.describe(2), ports.describe(3)}),
                 (QStringList{"COM1 (simulated scan tool: shipped car)", "COM2 (simulated scan tool: " + profile + ")", "COM3 (/dev/ttyACM0)"}));
        QVERIFY(!applyPortChoices({{1, {}, true, "/nonexistent/car.json"}}, ports, &tools, &error));
        QVERIFY2(error.startsWith("/nonexistent/car.json: "), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(tst_command_line)
#include "tst_command_line.moc"
