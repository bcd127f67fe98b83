#pragma once
// The data logs: the lines of a log file, writing it whole, and the recovery file every sample
// goes to as it is taken, so a run survives a cancelled dialog, a full disk or a killed process.
#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace quenta {

class Prompts;
class Samples;

// The lines above the samples.
struct LogHeader {
    QStringList lines;  // each a bare line, or a quoted text item when `quoted`
    bool quoted = true;

    // The data logger's: sample rate, start time, date, a line per slot, "Elapsed Time".
    static LogHeader logger(const QString &sampleRate, const QDateTime &start, const QDate &written,
                            const QStringList &slotTexts);
    // The wideband meter's two bare heading lines.
    static LogHeader wideband();
    QByteArray bytes() const;
};

namespace logfile {
// One row: the numbers, then the elapsed time with three decimals; an empty field where a
// parameter had no good reply. CR LF at the end.
QByteArray row(const QList<std::optional<double>> &values, std::optional<double> elapsed);
// Every row of the samples (the time column last when `withTime`).
QByteArray rows(const Samples &samples, bool withTime);
// Writes the file whole, replacing one of that name; false with the reason otherwise.
bool write(const QString &path, const QByteArray &content, QString *error);
} // namespace logfile

class RecoveryFile {
public:
    // The folder of recovery files: the user's data folder.
    static QString folder();
    // Recovery files left behind by runs that ended without a saved log; not those a running
    // program still records into.
    static QStringList leftBehind();
    // A new recovery file, headed by `header`; nothing (with the reason) when it cannot be made.
    static std::unique_ptr<RecoveryFile> create(const QString &kind, const LogHeader &header, QString *error);

    // Appends a row. The row reaches the system at once and the disk at least once a second of
    // `nowMs`, the program's clock.
    bool append(const QByteArray &row, std::int64_t nowMs);
    // Replaces the whole content (the final header and every row).
    bool rewrite(const QByteArray &content, QString *error);
    // The log was saved: the recovery file goes.
    void remove();
    QString path() const { return m_path; }

private:
    explicit RecoveryFile(const QString &path) : m_path(path) {}
    QString m_path;
    QFile m_file;  // open and locked while the run records
    std::optional<std::int64_t> m_lastSyncMs;
};

namespace logfile {
inline const QString FileFilter = QStringLiteral("OBD-II log files (*.log)|*.log|All files|*.*");
// The end of a run: asks for the log file and writes `content` to it; the recovery file then goes.
// When no file is chosen or it cannot be written, the content stays in the recovery file and the
// user is told where. The saved file's name, or "" when it was not saved.
QString save(Prompts &prompts, const QString &title, const QString &suggestedName, const QByteArray &content,
             std::unique_ptr<RecoveryFile> &recovery);
// At start-up: offers to save each log an earlier run left in a recovery file (a cancelled dialog,
// a crash). Declined, the file stays where it is, and is offered again next time.
void offerRecovered(Prompts &prompts);
} // namespace logfile

} // namespace quenta
