// quenta-sim: the simulated scan tool on a pseudo-terminal, or with --elm the simulated ELM327
// adapter on a pseudo-terminal or (--listen) on a TCP port of 127.0.0.1. Prints the device path,
// or 127.0.0.1:PORT, first.
#include "core/CommandLine.h"
#include "sim/PtySimServer.h"
#include "sim/TcpSimServer.h"

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
    parser.addPositionalArgument(QStringLiteral("PROFILE"), QStringLiteral("With --elm: the vehicle profile (JSON)."),
                                 QStringLiteral("[PROFILE]"));
    parser.addHelpOption();
    parser.addVersionOption();
    line.addOption({QStringLiteral("profile"), QStringLiteral("Vehicle profile (JSON)."), QStringLiteral("FILE")});
    line.addOption(quenta::CommandLine::baudOption(QStringLiteral("Line speed (default 38400)."), QStringLiteral("38400")));
    line.addOption({QStringLiteral("elm"), QStringLiteral("Simulate an ELM327 adapter instead of the scan tool.")});
    line.addOption({QStringLiteral("listen"), QStringLiteral("With --elm: serve on 127.0.0.1 at this TCP port."),
                    QStringLiteral("PORT")});
    line.addOption({QStringLiteral("clone"), QStringLiteral("With --elm: behave as a clone adapter.")});
    parser.process(app);
    const bool elm = parser.isSet(QStringLiteral("elm"));
    const QStringList positional = parser.positionalArguments();
    if ((!elm && (!positional.isEmpty() || parser.isSet(QStringLiteral("listen")) || parser.isSet(QStringLiteral("clone"))))
        || positional.size() > 1 || (!positional.isEmpty() && parser.isSet(QStringLiteral("profile")))) {
        std::fprintf(stderr, "quenta-sim: PROFILE, --listen and --clone go with --elm, and one profile at most\n");
        return 2;
    }
    const QString profileFile = positional.isEmpty() ? parser.value(QStringLiteral("profile")) : positional.first();

    bool ok = false;
    const int baud = parser.value(QStringLiteral("baud")).toInt(&ok);
    if (!ok || baud <= 0) {
        std::fprintf(stderr, "quenta-sim: --baud needs a positive number\n");
        return 2;
    }
    QString error;
    std::optional<VehicleProfile> profile =
        !profileFile.isEmpty() ? VehicleProfile::fromFile(profileFile, &error) : VehicleProfile::defaultProfile();
    if (!profile) {
        std::fprintf(stderr, "quenta-sim: %s\n", qPrintable(error));
        return 2;
    }
    std::unique_ptr<SimulatedScanTool> tool;
    std::unique_ptr<SimulatedElm> adapter;
    std::unique_ptr<PtySimServer> server;
    std::unique_ptr<TcpSimServer> tcp;
    QString where;
    if (elm) {
        adapter = std::make_unique<SimulatedElm>(*profile);
        if (parser.isSet(QStringLiteral("clone")))
            adapter->setClone(true);
        if (parser.isSet(QStringLiteral("listen"))) {
            const uint port = parser.value(QStringLiteral("listen")).toUInt(&ok);
            if (!ok || port > 65535) {
                std::fprintf(stderr, "quenta-sim: --listen needs a port number\n");
                return 2;
            }
            // On TCP there is no line speed: the adapter's Wi-Fi side is unpaced.
            adapter->setBaud(0);
            tcp = std::make_unique<TcpSimServer>(adapter.get());
            if (!tcp->listen(quint16(port), &error)) {
                std::fprintf(stderr, "quenta-sim: %s\n", qPrintable(error));
                return 1;
            }
            where = QStringLiteral("127.0.0.1:%1").arg(tcp->port());
        } else {
            server = std::make_unique<PtySimServer>(adapter.get(), baud);
        }
    } else {
        tool = std::make_unique<SimulatedScanTool>(*profile);
        server = std::make_unique<PtySimServer>(tool.get(), baud);
    }
    if (server) {
        if (!server->start(&error)) {
            std::fprintf(stderr, "quenta-sim: %s\n", qPrintable(error));
            return 1;
        }
        where = server->devicePath();
    }
    std::printf("%s\n", qPrintable(where));
    std::fflush(stdout);

    if (::pipe(signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        auto *n = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(n, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    }
    const int status = app.exec();
    // The servers go before the devices they serve.
    server.reset();
    tcp.reset();
    return status;
}
