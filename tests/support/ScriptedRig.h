#pragma once
// A program on a scripted port: the test plays the tool, answering what the program writes.
#include "ScriptedPort.h"
#include "ScriptedPrompts.h"

#include "program/Program.h"

#include <QTimer>
#include <memory>

struct ScriptedRig {
    ScriptedPrompts prompts;
    quenta::Program program{prompts, quenta::PortDirectory()};
    ScriptedPort *port = nullptr;
    QTimer status;

    ScriptedRig()
    {
        auto owned = std::make_unique<ScriptedPort>();
        port = owned.get();
        program.connection.setPort(std::move(owned));
        // The tool's status between exchanges: "S" every 2 ms while nothing else waits.
        QObject::connect(&status, &QTimer::timeout, port, [p = port] {
            if (p->buffer.isEmpty())
                p->feed("S");
        });
    }
    void sendStatus() { status.start(2); }
};
