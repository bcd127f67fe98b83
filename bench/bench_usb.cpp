// The shipped car's current-data listing over the emulated USB device (the real libusb, umockdev)
// against the same over the in-process serial simulation: the program's own time per exchange on
// both, and how many control transfers each exchange costs on USB (the reply waits ask the tool's
// waiting count, the ready wait its ready query). Runs itself under umockdev-wrapper.
#include "BenchSupport.h"

#include "services/Connection.h"
#include "services/CurrentData.h"
#include "sim/SimPort.h"
#include "sim/usb/EmulatedUsbTool.h"
#include "platform/UsbPort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <unistd.h>

using namespace quenta;

namespace {

struct Figures {
    double wall = 0, tool = 0, cpu = 0;
    int exchanges = 0;
    qint64 transfers = 0, polls = 0;
};

// Runs the listing `runs` times; `tool` runs f in the simulated tool's thread.
template <typename InTool> Figures measure(Program &program, int runs, InTool inTool, sim::EmulatedUsbTool *usb)
{
    Figures f;
    program.currentData.request(); // settle
    for (int i = 0; i < runs; ++i) {
        inTool([](sim::SimulatedScanTool &t) { t.clearToolBusy(); t.clearCommands(); });
        if (usb)
            usb->clearSetups();
        const qint64 transfers0 = usb ? program.connection.usbPort()->transfers() : 0;
        QElapsedTimer t;
        t.start();
        const double cpu0 = threadCpuSeconds();
        program.currentData.request();
        f.cpu += threadCpuSeconds() - cpu0;
        f.wall += t.nsecsElapsed() / 1e9;
        inTool([&](sim::SimulatedScanTool &tool) {
            f.tool += tool.toolBusyUs() / 1e6;
            f.exchanges += int(tool.commands().size());
        });
        if (usb) {
            f.transfers += program.connection.usbPort()->transfers() - transfers0;
            for (const auto &s : usb->setups())
                f.polls += s[1] == UsbPort::WaitingCount || s[1] == UsbPort::Ready;
        }
    }
    return f;
}

void print(const char *what, const Figures &f, int lines, int runs)
{
    const double n = qMax(1, f.exchanges);
    std::printf("%s: %d lines, %.0f exchanges a run\n", what, lines, n / runs);
    std::printf("  per exchange: wall %.3f ms, of it the tool's own %.3f ms, the program's own %.3f ms; CPU %.3f ms\n",
                1000 * f.wall / n, 1000 * f.tool / n, 1000 * (f.wall - f.tool) / n, 1000 * f.cpu / n);
    if (f.transfers)
        std::printf("  control transfers per exchange: %.1f, of them %.1f polls (waiting count, ready query)\n",
                    f.transfers / n, f.polls / n);
}

} // namespace

int main(int argc, char **argv)
{
    if (!sim::EmulatedUsbTool::available()) {
        // The emulated device needs umockdev's preload.
        std::vector<char *> args{const_cast<char *>("umockdev-wrapper")};
        for (int i = 0; i < argc; ++i)
            args.push_back(argv[i]);
        args.push_back(nullptr);
        execvp("umockdev-wrapper", args.data());
        std::perror("umockdev-wrapper");
        return 1;
    }
    QCoreApplication app(argc, argv);
    const int runs = app.arguments().contains(QStringLiteral("--quick")) ? 2 : 10;
    const sim::VehicleProfile car = sim::VehicleProfile::defaultProfile();

    Figures serial, usb;
    int serialLines = 0, usbLines = 0;
    double transferMs = 0;
    {
        sim::SimulatedScanTool tool(car);
        NullPrompts prompts;
        PortDirectory ports;
        ports.mapFactory(1, [&tool] { return std::make_unique<sim::SimPort>(&tool); }, QStringLiteral("bench"));
        Program program(prompts, std::move(ports));
        program.connection.setPort(program.connection.ports.create(1));
        QString error;
        if (!program.connection.port()->open(&error))
            qFatal("%s", qPrintable(error));
        serial = measure(program, runs, [&](auto f) { f(tool); }, nullptr);
        serialLines = program.data.count();
    }
    {
        sim::EmulatedUsbTool device(car);
        QString error;
        if (device.plug({}, &error).isEmpty())
            qFatal("usb device: %s", qPrintable(error));
        NullPrompts prompts;
        Program program(prompts, PortDirectory());
        program.connection.usbIds = UsbIds{0x1234, 0x5678};
        program.connection.connectUsb();
        if (!program.controls.enabled(names::Mode1))
            qFatal("the USB connection failed");
        usb = measure(program, runs, [&](auto f) { device.inToolThread([&] { f(*device.tool()); }); }, &device);
        usbLines = program.data.count();
        // What one control transfer costs through libusb and the emulation, as a yardstick.
        QElapsedTimer t;
        t.start();
        const int n = 1000;
        for (int i = 0; i < n; ++i)
            program.connection.usbPort()->usb_count();
        transferMs = t.nsecsElapsed() / 1e6 / n;
    }
    std::printf("current-data listing of the shipped car, %d runs each:\n", runs);
    print("in-process serial simulation", serial, serialLines, runs);
    print("emulated USB device through libusb", usb, usbLines, runs);
    std::printf("  one control transfer through libusb and the emulated device: %.3f ms\n", transferMs);
    return 0;
}
