// Reading the programs' arguments: each argument as typed and in order, options with their values
// given either way, --simulate with or without its file, and what stands behind the COM ports.
#include "core/CommandLine.h"
#include "program/PortChoices.h"
#include "link/PortDirectory.h"
#include "sim/SimulatedScanTool.h"

#include <QtTest>

using namespace quenta;

namespace {

// One line per argument read: kind, long name, value (or "-" for none), text as typed.
QStringList readBack(const QStringList &arguments)
{
    CommandLine line({CommandLine::helpOption(), CommandLine::simulateOption(),
                      CommandLine::portOption(QStringLiteral("N=DEVICE")), QCommandLineOption(QStringLiteral("json"))});
    QStringList out;
    for (const Argument &a : line.read(QStringList{QStringLiteral("prog")} + arguments)) {
        const char *kind = a.kind == Argument::Kind::Word ? "word" : a.kind == Argument::Kind::Option ? "option" : "unknown";
        out << QStringLiteral("%1 %2 %3 [%4]").arg(QLatin1String(kind), a.option, a.hasValue ? a.value : QStringLiteral("-"), a.text);
    }
    return out;
}

} // namespace

class tst_command_line : public QObject {
    Q_OBJECT
private slots:
    void read_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("read");
        QTest::newRow("value after =") << QStringList{"--port=1=/dev/x"} << QStringList{"option port 1=/dev/x [--port=1=/dev/x]"};
        QTest::newRow("value apart") << QStringList{"--port", "1=/dev/x", "connect"}
                                     << QStringList{"option port 1=/dev/x [--port 1=/dev/x]", "word  - [connect]"};
        QTest::newRow("value missing at the end") << QStringList{"--json", "--port"}
                                                  << QStringList{"option json - [--json]", "option port - [--port]"};
        QTest::newRow("the next argument is the value, whatever it is")
            << QStringList{"--port", "--json"} << QStringList{"option port --json [--port --json]"};
        QTest::newRow("empty value") << QStringList{"--port="} << QStringList{"option port  [--port=]"};
        QTest::newRow("bare --simulate takes nothing after it")
            << QStringList{"--simulate", "car.json"} << QStringList{"option simulate - [--simulate]", "word  - [car.json]"};
        QTest::newRow("--simulate with its file") << QStringList{"--simulate=car.json"}
                                                  << QStringList{"option simulate car.json [--simulate=car.json]"};
        QTest::newRow("--simulate= with nothing") << QStringList{"--simulate="} << QStringList{"option simulate  [--simulate=]"};
        QTest::newRow("help, short and long") << QStringList{"-h", "--help"}
                                              << QStringList{"option help - [-h]", "option help - [--help]"};
        QTest::newRow("a flag given a value") << QStringList{"--json=1"} << QStringList{"unknown  - [--json=1]"};
        QTest::newRow("options the program lacks")
            << QStringList{"--bogus", "-x", "-hx", "--h", "-help"}
            << QStringList{"unknown  - [--bogus]", "unknown  - [-x]", "unknown  - [-hx]", "unknown  - [--h]", "unknown  - [-help]"};
        QTest::newRow("negative numbers are not words") << QStringList{"wait", "-1"}
                                                        << QStringList{"word  - [wait]", "unknown  - [-1]"};
        QTest::newRow("dashes alone are words") << QStringList{"-", "--", "--json"}
                                                << QStringList{"word  - [-]", "word  - [--]", "option json - [--json]"};
        QTest::newRow("nothing") << QStringList{} << QStringList{};
    }
    void read()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, read);
        QCOMPARE(readBack(arguments), read);
    }

    void portChoice_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("com"); // 0: refused
        QTest::addColumn<QString>("device");
        QTest::newRow("COM1") << "1=/dev/ttyUSB0" << 1 << "/dev/ttyUSB0";
        QTest::newRow("COM9, device with =") << "9=/dev/a=b" << 9 << "/dev/a=b";
        QTest::newRow("COM0") << "0=/dev/x" << 0 << "";
        QTest::newRow("COM10") << "10=/dev/x" << 0 << "";
        QTest::newRow("no device") << "1=" << 0 << "";
        QTest::newRow("no number") << "=/dev/x" << 0 << "";
        QTest::newRow("no =") << "/dev/x" << 0 << "";
        QTest::newRow("not a number") << "a=/dev/x" << 0 << "";
    }
    void portChoice()
    {
        QFETCH(QString, text);
        QFETCH(int, com);
        QFETCH(QString, device);
        const std::optional<PortChoice> choice = parsePortChoice(text);
        QCOMPARE(choice.has_value(), com != 0);
        if (choice) {
            QCOMPARE(choice->com, com);
            QCOMPARE(choice->device, device);
            QVERIFY(!choice->simulate);
        }
    }

    // What each port stands for after the choices, as messages name it.
    void applyChoices()
    {
        const QString profile = QStringLiteral(QUENTA_SOURCE_DATA_DIR "/default-vehicle.json");
        PortDirectory ports;
        std::vector<std::unique_ptr<sim::SimulatedScanTool>> tools;
        QString error;
        QVERIFY2(applyPortChoices({{1, {}, true, {}}, {2, QStringLiteral("/dev/pts/7"), false, {}},
                                   {3, {}, true, profile}, {2, {}, true, {}}, {3, QStringLiteral("/dev/ttyACM0"), false, {}}},
                                  ports, &tools, &error),
                 qPrintable(error));
        QCOMPARE(tools.size(), size_t(3));
        QCOMPARE(ports.describe(1), QStringLiteral("COM1 (simulated scan tool: shipped car)"));
        QCOMPARE(ports.describe(2), QStringLiteral("COM2 (simulated scan tool: shipped car)")); // the later choice wins
        QCOMPARE(ports.describe(3), QStringLiteral("COM3 (/dev/ttyACM0)"));
        QCOMPARE(ports.describe(4), QStringLiteral("COM4 (/dev/ttyS3)"));
        QCOMPARE(ports.describe(5), QStringLiteral("COM5 (/dev/ttyUSB0)"));
        const std::unique_ptr<ScanToolPort> port = ports.create(1);
        QVERIFY(port && port->open(&error));
        port->close();

        QVERIFY(applyPortChoices({{1, {}, true, profile}}, ports, &tools, &error));
        QCOMPARE(ports.describe(1), QStringLiteral("COM1 (simulated scan tool: %1)").arg(profile));

        error.clear();
        QVERIFY(!applyPortChoices({{1, {}, true, QStringLiteral("/nonexistent/car.json")}}, ports, &tools, &error));
        QVERIFY2(error.contains(QStringLiteral("/nonexistent/car.json")), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(tst_command_line)
#include "tst_command_line.moc"
