// quenta: the desktop program. Options choose what stands behind each COM port.
#include "app/frmMain.h"
#include "core/Program.h"
#include "link/PortDirectory.h"
#include "platform/widgets/Printer.h"
#include "platform/widgets/QtPrompts.h"
#include "sim/SimPort.h"
#include "sim/SimulatedScanTool.h"

#include <QApplication>
#include <cstdio>
#include <memory>
#include <optional>
#include <variant>

using namespace quenta;

namespace {

const char Usage[] =
    "usage: quenta [--simulate[=FILE]] [--port N=DEVICE]...\n"
    "  --simulate[=FILE]  the simulated scan tool on COM1, with the default vehicle or the profile FILE\n"
    "  --port N=DEVICE    use DEVICE for COMn (N 1 to 9), for example --port 5=/dev/ttyUSB0\n";

struct Simulate {
    QString profile; // empty: the default vehicle
};
struct MapPort {
    int com;
    QString device;
};
using Mapping = std::variant<Simulate, MapPort>;

std::optional<MapPort> parsePort(const QString &text)
{
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return std::nullopt;
    bool ok = false;
    const int com = text.left(eq).toInt(&ok);
    const QString device = text.mid(eq + 1);
    if (!ok || com < 1 || com > 9 || device.isEmpty())
        return std::nullopt;
    return MapPort{com, device};
}

// The mappings in the order given (a later one for the same port wins); nothing when an argument is bad.
std::optional<QList<Mapping>> parseArguments(int argc, char **argv, bool *help, QString *bad)
{
    QList<Mapping> mappings;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        *bad = arg;
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            *help = true;
        } else if (arg == QLatin1String("--simulate")) {
            mappings << Simulate{};
        } else if (arg.startsWith(QLatin1String("--simulate="))) {
            const QString file = arg.mid(int(sizeof("--simulate=")) - 1);
            if (file.isEmpty())
                return std::nullopt;
            mappings << Simulate{file};
        } else if (arg == QLatin1String("--port") || arg.startsWith(QLatin1String("--port="))) {
            QString value;
            if (arg == QLatin1String("--port")) {
                if (++i >= argc)
                    return std::nullopt;
                value = QString::fromLocal8Bit(argv[i]);
                *bad = arg + QLatin1Char(' ') + value;
            } else {
                value = arg.mid(int(sizeof("--port=")) - 1);
            }
            const std::optional<MapPort> port = parsePort(value);
            if (!port)
                return std::nullopt;
            mappings << *port;
        } else {
            return std::nullopt;
        }
    }
    return mappings;
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
    bool help = false;
    QString bad;
    const std::optional<QList<Mapping>> mappings = parseArguments(argc, argv, &help, &bad);
    if (help) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (!mappings) {
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

    // The simulated tool lives as long as the program: the start-up probe opens and closes ports on it.
    std::unique_ptr<sim::SimulatedScanTool> tool;
    PortDirectory ports;
    for (const Mapping &mapping : *mappings) {
        if (const auto *port = std::get_if<MapPort>(&mapping)) {
            ports.mapDevice(port->com, port->device);
            continue;
        }
        QString error;
        tool = sim::installSimulatedTool(ports, 1, std::get<Simulate>(mapping).profile, &error);
        if (!tool) {
            std::fprintf(stderr, "quenta: %s\n", qPrintable(error));
            return 2;
        }
    }

    QtPrompts prompts;
    QtPrintTarget printer(prompts);
    Program program(prompts, std::move(ports));
    frmMain window(program, printer);
    window.startUp();
    return app.exec();
}
