#include "live/LogFile.h"

#include "live/ItemLine.h"
#include "live/Samples.h"
#include "platform/Prompts.h"
#include "pids/numtext.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/file.h>
#include <unistd.h>

namespace quenta {

namespace {

constexpr qint64 SyncEveryMs = 1000;

// A run holds its recovery file by an advisory lock on the open file (LOCK_EX or LOCK_SH). The
// lock goes with the last handle, so a run that ends in any way, a crash included, frees it.
bool lockOpenFile(QFile &file, int how)
{
    return ::flock(file.handle(), how | LOCK_NB) == 0;
}

} // namespace

LogHeader LogHeader::logger(const QString &sampleRate, const QDateTime &start, const QDate &written,
                            const QStringList &slotTexts)
{
    LogHeader h;
    h.lines << QStringLiteral("Sample Rate Setting=") + sampleRate
            << QStringLiteral("Start Time:") + start.time().toString(QStringLiteral("HH:mm:ss"))
            << QStringLiteral("Date of Log:") + QLocale::system().toString(written, QLocale::ShortFormat);
    for (const QString &slot : slotTexts)
        h.lines << slot + QLatin1Char(',');
    h.lines << QStringLiteral("Elapsed Time");
    return h;
}

LogHeader LogHeader::wideband()
{
    LogHeader h;
    h.quoted = false;
    h.lines << QStringLiteral("WBO2 Current mA") << QStringLiteral("WBO2 Lambda Reading");
    return h;
}

QByteArray LogHeader::bytes() const
{
    QByteArray out;
    for (const QString &line : lines)
        out += itemline::line({quoted ? itemline::text(line) : line}).toUtf8();
    return out;
}

namespace logfile {

QByteArray row(const QList<std::optional<double>> &values, std::optional<double> elapsed)
{
    QStringList fields;
    for (const std::optional<double> &v : values)
        fields << (v ? itemline::number(*v) : QString());
    if (elapsed)
        fields << numtext::fileNumber(*elapsed, 3);
    return itemline::line(fields).toUtf8();
}

QByteArray rows(const Samples &samples, bool withTime)
{
    QByteArray out;
    const int columns = samples.parameterCount();
    QList<std::optional<double>> values(columns);
    for (int r = 0; r < samples.rowCount(); ++r) {
        for (int c = 0; c < columns; ++c)
            values[c] = samples.value(r, c + 1);
        out += row(values, withTime ? std::optional<double>(samples.time(r)) : std::nullopt);
    }
    return out;
}

bool write(const QString &path, const QByteArray &content, QString *error)
{
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        // A device or a pipe (/dev/stdout, a FIFO) is written to as it is: putting a file in its
        // place would replace the device node itself.
        QFile device(path);
        if (!device.open(QIODevice::WriteOnly) || device.write(content) != content.size() || !device.flush()) {
            *error = device.errorString();
            return false;
        }
        return true;
    }
    // Written beside and put in place at the end: a failure never leaves half a log behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace logfile

QString RecoveryFile::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/quenta");
}

QStringList RecoveryFile::leftBehind()
{
    QStringList found;
    const QDir dir(folder());
    for (const QString &name : dir.entryList({QStringLiteral("recovered-*.log")}, QDir::Files, QDir::Name)) {
        // One a running program holds is still being recorded. A shared lock only looks.
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly) && lockOpenFile(file, LOCK_SH))
            found << file.fileName();
    }
    return found;
}

std::unique_ptr<RecoveryFile> RecoveryFile::create(const QString &kind, const LogHeader &header, QString *error)
{
    if (!QDir().mkpath(folder())) {
        *error = QStringLiteral("cannot make the folder %1").arg(folder());
        return nullptr;
    }
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    const QString path = QDir(folder()).filePath(
        QStringLiteral("recovered-%1-%2-%3.log").arg(kind, stamp).arg(QCoreApplication::applicationPid()));
    // Made under a name the offer does not list, locked, and only then given its own name, so no
    // other program ever finds it unlocked while this run records. A file system without locks
    // still keeps the samples.
    std::unique_ptr<RecoveryFile> f(new RecoveryFile(path));
    const QString made = path + QStringLiteral(".new");
    f->m_file.setFileName(made);
    if (!f->m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = f->m_file.errorString();
        return nullptr;
    }
    lockOpenFile(f->m_file, LOCK_EX);
    if (f->m_file.write(header.bytes()) < 0 || !f->m_file.flush()) {
        *error = f->m_file.errorString();
        f->m_file.remove();
        return nullptr;
    }
    if (std::rename(QFile::encodeName(made).constData(), QFile::encodeName(path).constData()) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        f->m_file.remove();
        return nullptr;
    }
    return f;
}

bool RecoveryFile::append(const QByteArray &row, std::int64_t nowMs)
{
    if (!m_file.isOpen() || m_file.write(row) != row.size() || !m_file.flush())
        return false;
    // Past the system's buffers to the disk, for a battery that dies; not more than once a second.
    if (!m_lastSyncMs || nowMs - *m_lastSyncMs >= SyncEveryMs) {
        m_lastSyncMs = nowMs;
        ::fdatasync(m_file.handle());
    }
    return true;
}

bool RecoveryFile::rewrite(const QByteArray &content, QString *error)
{
    m_file.close();
    return logfile::write(m_path, content, error);
}

void RecoveryFile::remove()
{
    m_file.close();
    QFile::remove(m_path);
}

namespace logfile {

QString save(Prompts &prompts, const QString &title, const QString &suggestedName, const QByteArray &content,
             std::unique_ptr<RecoveryFile> &recovery)
{
    const QString name = prompts.askSaveFileName(title, FileFilter, QDir::home().filePath(suggestedName));
    QString error;
    if (!name.isEmpty() && write(name, content, &error)) {
        if (recovery)
            recovery->remove();
        return name;
    }
    // Nothing recorded is lost: the samples stay in the recovery file, and the user learns where.
    QString kept;
    if (recovery && recovery->rewrite(content, &kept))
        kept = recovery->path();
    else
        kept.clear();
    const QString why = name.isEmpty() ? QStringLiteral("No log file was chosen.")
                                       : QStringLiteral("The log file %1 could not be written: %2.").arg(name, error);
    prompts.message(kept.isEmpty() ? why + QStringLiteral(" The samples could not be kept.")
                                   : why + QStringLiteral(" The samples are kept in %1").arg(kept),
                    QString(), Prompts::Icon::Exclamation);
    return QString();
}

void offerRecovered(Prompts &prompts)
{
    for (const QString &path : RecoveryFile::leftBehind()) {
        // Held while it is offered, so that a window started meanwhile does not offer it too.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || !lockOpenFile(file, LOCK_EX))
            continue;
        const QByteArray content = file.readAll();
        if (!prompts.askYesNo(QStringLiteral("A log recorded earlier was not saved. Its samples are kept in %1.\r\n"
                                             "Save it to a log file now?")
                                  .arg(path),
                              QString(), Prompts::Icon::Question, true))
            continue;
        const QString name = prompts.askSaveFileName(QStringLiteral("Save Recovered Log"), FileFilter,
                                                     QDir::home().filePath(QStringLiteral("recovered.log")));
        QString error;
        if (name.isEmpty())
            continue;
        if (write(name, content, &error))
            QFile::remove(path);
        else
            prompts.message(QStringLiteral("The log file %1 could not be written: %2. The samples stay in %3")
                                .arg(name, error, path),
                            QString(), Prompts::Icon::Exclamation);
    }
}

} // namespace logfile

} // namespace quenta
