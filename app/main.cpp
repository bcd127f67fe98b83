// quenta: the desktop program. Options choose what stands behind each COM port.
#include "app/frmMain.h"
#include "core/CommandLine.h"
#include "program/Program.h"
#include "program/PortChoices.h"
#include "link/PortDirectory.h"
#include "platform/PortAccess.h"
#include "platform/widgets/Printer.h"
#include "platform/widgets/QtPrompts.h"
#include "sim/SimulatedScanTool.h"

#include "services/Connection.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>

using namespace quenta;

namespace {

const char Usage[] =
    "usage: quenta [--simulate[=FILE]] [--port N=DEVICE]... [--usb=VID:PID]\n"
    "       quenta --help | --version\n"
    "  --simulate[=FILE]  the simulated scan tool on COM1, with the default vehicle or the profile FILE\n"
    "  --port N=DEVICE    use DEVICE for COMn (N 1 to 9), for example --port 5=/dev/ttyUSB0\n"
    "  --usb=VID:PID      connect to the USB scan tool with these vendor and product IDs (hexadecimal)\n";

// What stands behind the ports, in the order given (a later one for the same port wins); nothing
// when an argument is bad.
std::optional<QList<PortChoice>> parseArguments(int argc, char **argv, bool *help, bool *version,
                                                std::optional<UsbIds> *usb, QString *bad)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    CommandLine line({CommandLine::helpOption(), CommandLine::versionOption(), CommandLine::simulateOption(),
                      CommandLine::portOption(QStringLiteral("N=DEVICE")), CommandLine::usbOption()});
    QList<PortChoice> choices;
    for (const Argument &arg : line.read(arguments)) {
        *bad = arg.text;
        if (arg.option == QLatin1String("help")) {
            *help = true;
        } else if (arg.option == QLatin1String("version")) {
            *version = true;
        } else if (arg.option == QLatin1String("simulate")) {
            if (arg.hasValue && arg.value.isEmpty())
                return std::nullopt;
            choices << PortChoice{1, {}, true, arg.value};
        } else if (arg.option == QLatin1String("port")) {
            const std::optional<PortChoice> port = arg.hasValue ? parsePortChoice(arg.value) : std::nullopt;
            if (!port)
                return std::nullopt;
            choices << *port;
        } else if (arg.option == QLatin1String("usb")) {
            *usb = arg.hasValue ? parseUsbIds(arg.value) : std::nullopt;
            if (!*usb)
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    return choices;
}

// Qt would abort with a long message of its own when it finds no display to open windows on.
bool displayMissing()
{
    const QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    const bool desktopPlatform = platform.isEmpty() || platform.startsWith(QLatin1String("xcb"))
        || platform.startsWith(QLatin1String("wayland"));
    return desktopPlatform && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char **argv)
{
    bool help = false, version = false;
    QString bad;
    std::optional<UsbIds> usb;
    const std::optional<QList<PortChoice>> choices = parseArguments(argc, argv, &help, &version, &usb, &bad);
    if (help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (version) {
        std::puts("quenta " QUENTA_VERSION);
        return 0;
    }
    if (!choices) {
        std::fprintf(stderr, "quenta: bad argument: %s\n", qPrintable(bad));
        std::fputs(Usage, stderr);
        return 2;
    }
    if (displayMissing()) {
        std::fputs("quenta: no display: start it from a desktop session, or under xvfb-run\n", stderr);
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quenta"));
    QApplication::setApplicationVersion(QStringLiteral(QUENTA_VERSION));
    // The desktop finds the menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(QUENTA_APP_ID));
    reportPortPermissions(QStringLiteral("quenta"));

    // The simulated tool lives as long as the program: the start-up probe opens and closes ports on it.
    std::vector<std::unique_ptr<sim::SimulatedScanTool>> tools;
    PortDirectory ports;
    QString error;
    if (!applyPortChoices(*choices, ports, &tools, &error)) {
        std::fprintf(stderr, "quenta: %s\n", qPrintable(error));
        return 2;
    }

    QtPrompts prompts;
    QtPrintTarget printer(prompts);
    Program program(prompts, std::move(ports));
    frmMain window(program, printer);
    window.startUp();
    if (usb) {
        // As choosing the (hidden) "USB" item would, once the window runs.
        program.connection.usbIds = usb;
        QTimer::singleShot(0, &window, [&program] { program.connection.connectUsb(); });
    }
    return app.exec();
}
