#pragma once
// A program whose USB connection reaches the simulated scan tool as an emulated USB device under
// the real libusb (umockdev). Test programs using it run under umockdev-wrapper.
#include "ScriptedPrompts.h"

#include "program/Program.h"
#include "services/Connection.h"
#include "sim/usb/EmulatedUsbTool.h"
#include "platform/UsbPort.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <memory>

struct UsbRig {
    static constexpr quint16 Vendor = 0x1234;
    static constexpr quint16 Product = 0x5678;

    // The tool runs in its own thread on the system clock; the program on `clock` when given one.
    explicit UsbRig(quenta::sim::VehicleProfile profile, quenta::Clock *clock = nullptr) : usb(std::move(profile))
    {
        program = std::make_unique<quenta::Program>(prompts, quenta::PortDirectory(), clock);
        program->definitions.setPlaces({QStringLiteral(QUENTA_SOURCE_DATA_DIR "/troublecode.tcf")});
        program->connection.usbIds = quenta::UsbIds{Vendor, Product};
    }
    // Plugs the scan tool in (or another device with other IDs or endpoints).
    QString plug(quenta::sim::EmulatedUsbTool::Device device = {})
    {
        QString error;
        const QString path = usb.plug(device, &error);
        if (path.isEmpty())
            qFatal("usb device: %s", qPrintable(error));
        return path;
    }
    // The USB connection, given up after `ms` when it has not ended by then (as Exit does).
    void connect(int ms = 20000)
    {
        QTimer giveUp;
        giveUp.setSingleShot(true);
        QObject::connect(&giveUp, &QTimer::timeout, program.get(), [p = program.get()] { p->link.abandon(); });
        giveUp.start(ms);
        program->connection.connectUsb();
    }
    quenta::UsbPort *port() const { return program->connection.usbPort(); }
    // Lets the event loop run until `done` or `ms` passed.
    template <typename F> static bool waitFor(F done, int ms = 5000)
    {
        QDeadlineTimer deadline(ms);
        while (!done() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return done();
    }

    quenta::sim::EmulatedUsbTool usb;
    ScriptedPrompts prompts;
    std::unique_ptr<quenta::Program> program;
};
