#pragma once
// What the benchmark programs share: quiet prompts and the calling thread's CPU clock.
#include "program/Program.h"
#include "platform/Prompts.h"

#include <memory>

#include <cstdio>
#include <ctime>
#include <unistd.h>

struct NullPrompts : quenta::Prompts {
    void message(const QString &text, const QString &, Icon) override
    {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    }
    bool askYesNo(const QString &, const QString &, Icon, bool defaultYes) override { return defaultYes; }
    QString askSaveFileName(const QString &, const QString &, const QString &) override { return QString(); }
};

// The process's resident memory.
inline long residentKb()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

inline double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// A program whose COM1 is the device, opened at 38400 baud without the connection sequence.
struct Connected {
    NullPrompts prompts;
    std::unique_ptr<quenta::Program> program;
    explicit Connected(const QString &device, quenta::Clock *clock = nullptr)
    {
        quenta::PortDirectory ports;
        ports.mapDevice(1, device);
        program = std::make_unique<quenta::Program>(prompts, std::move(ports), clock);
        program->connection.setPort(program->connection.ports.create(1));
        program->connection.port()->setLineSettings(*quenta::parseLineSettings(QStringLiteral("38400,N,8,1")), nullptr);
        QString error;
        if (!program->connection.port()->open(&error))
            qFatal("open %s: %s", qPrintable(device), qPrintable(error));
    }
};

