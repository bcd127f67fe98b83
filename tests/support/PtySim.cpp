#include "PtySim.h"

#include <QDir>
#include <QTemporaryFile>

bool PtySim::start(const QStringList &args)
{
    process.setProgram(QStringLiteral(QUENTA_SIM_BINARY));
    process.setArguments(args);
    process.start();
    if (!process.waitForStarted(5000))
        return false;
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(5000))
            return false;
    }
    device = QString::fromLocal8Bit(process.readLine()).trimmed();
    return !device.isEmpty();
}

PtySim::~PtySim()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(3000))
            process.kill();
        process.waitForFinished(1000);
    }
}

QString writeTempProfile(const QByteArray &json)
{
    auto *file = new QTemporaryFile(QDir::tempPath() + QStringLiteral("/quenta-profile-XXXXXX.json"));
    file->setAutoRemove(true);
    if (!file->open())
        return QString();
    file->write(json);
    file->flush();
    // Kept until the test program ends.
    static QList<QTemporaryFile *> keep;
    keep << file;
    return file->fileName();
}
