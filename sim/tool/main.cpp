// quenta-sim: the simulated scan tool on a pseudo-terminal. Prints the device path first.
#include "core/CommandLine.h"
#include "sim/PtySimServer.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <unistd.h>

using namespace quenta::sim;

namespace {
int signalPipe[2];
void onSignal(int) { [[maybe_unused]] auto r = ::write(signalPipe[1], "x", 1); }
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quenta-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUENTA_VERSION));
    quenta::CommandLine line;
    QCommandLineParser &parser = line.parser();
    parser.setApplicationDescription(QStringLiteral("Simulated scan tool on a pseudo-terminal."));
    parser.addHelpOption();
    parser.addVersionOption();
    line.addOption({QStringLiteral("profile"), QStringLiteral("Vehicle profile (JSON)."), QStringLiteral("FILE")});
    line.addOption(quenta::CommandLine::baudOption(QStringLiteral("Line speed (default 38400)."), QStringLiteral("38400")));
    parser.process(app);

    bool ok = false;
    const int baud = parser.value(QStringLiteral("baud")).toInt(&ok);
    if (!ok || baud <= 0) {
        std::fprintf(stderr, "quenta-sim: --baud needs a positive number\n");
        return 2;
    }
    QString error;
    std::optional<VehicleProfile> profile = parser.isSet(QStringLiteral("profile"))
        ? VehicleProfile::fromFile(parser.value(QStringLiteral("profile")), &error)
        : VehicleProfile::defaultProfile();
    if (!profile) {
        std::fprintf(stderr, "quenta-sim: %s\n", qPrintable(error));
        return 2;
    }
    SimulatedScanTool tool(*profile);
    PtySimServer server(&tool, baud);
    if (!server.start(&error)) {
        std::fprintf(stderr, "quenta-sim: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(server.devicePath()));
    std::fflush(stdout);

    if (::pipe(signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        auto *n = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(n, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    }
    return app.exec();
}
