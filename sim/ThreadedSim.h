#pragma once
// The simulated tool on a pseudo-terminal, running in its own thread so its timing is its own
// and it goes on talking while the program is busy (as a real tool does).
#include "sim/PtySimServer.h"

#include <QThread>

struct ThreadedSim {
    QThread thread;
    quenta::sim::SimulatedScanTool *tool = nullptr;
    quenta::sim::PtySimServer *server = nullptr;
    QString device;

    bool start(quenta::sim::VehicleProfile profile, int baud)
    {
        tool = new quenta::sim::SimulatedScanTool(std::move(profile));
        server = new quenta::sim::PtySimServer(tool, baud);
        tool->moveToThread(&thread);
        server->moveToThread(&thread);
        thread.start();
        bool ok = false;
        QMetaObject::invokeMethod(server, [&] {
            QString error;
            ok = server->start(&error);
            if (!ok)
                qWarning("pty: %s", qPrintable(error));
            device = server->devicePath();
        }, Qt::BlockingQueuedConnection);
        return ok;
    }
    // Runs f in the tool's thread and waits for it.
    template <typename F> void inToolThread(F f) { QMetaObject::invokeMethod(tool, f, Qt::BlockingQueuedConnection); }

    ~ThreadedSim()
    {
        if (server)
            QMetaObject::invokeMethod(server, [this] { delete server; delete tool; }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }
};
