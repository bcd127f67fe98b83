#pragma once
// quenta-sim started as its own process on a pseudo-terminal, for tests of the real serial path.
#include <QProcess>
#include <QString>
#include <QStringList>

struct PtySim {
    QProcess process;
    QString device;

    // Starts quenta-sim with the given arguments; the device path is its first line.
    bool start(const QStringList &args = {});
    ~PtySim();
};

// Writes a profile to a temporary file that lives as long as the returned object.
QString writeTempProfile(const QByteArray &json);
