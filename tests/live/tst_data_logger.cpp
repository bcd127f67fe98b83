// The MultiView data logger: byte-exact log files, the sample schedule, pause, triggers and their
// combinations on an injected clock, samples that are never lost (cancelled dialog, unwritable
// file, killed process), and the window's trigger entry and shortcut keys.
#include "ManualClock.h"
#include "SimRig.h"

#include "live/DataLogger.h"
#include "live/LogFile.h"
#include "live/widgets/DataLogMV.h"
#include "services/CurrentData.h"

#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>
#include <optional>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace quenta;

namespace {

QMap<QString, QString> car()
{
    return {{QStringLiteral("04"), QStringLiteral("5F")}, {QStringLiteral("05"), QStringLiteral("7B")},
            {QStringLiteral("0C"), QStringLiteral("0CB4")}, {QStringLiteral("0D"), QStringLiteral("21")}};
}

sim::VehicleProfile carProfile(int statusPeriodMs)
{
    sim::VehicleProfile p = SimRig::profileWith(car());
    p.statusPeriodMs = statusPeriodMs;
    return p;
}

// The program and the tool on one manual clock.
struct LoggerRig {
    ManualClock clock;
    SimRig rig;
    DataLogger logger{rig.program->liveParts()};
    QTemporaryDir dir;

    // The tool's status period sets the pace of back-to-back requests.
    explicit LoggerRig(int statusPeriodMs = 2) : rig(carProfile(statusPeriodMs), &clock)
    {
        rig.connect();
        rig.program->currentData.request();
        // The connection took time on the clock: the wall clock reads 10:00:00 when the test begins.
        clock.wallAtZero = clock.wallAtZero.addMSecs(-clock.now);
        clock.waits = 0;
    }
    int lineOf(int pid) const
    {
        const auto &list = rig.program->pids.PID_list;
        return int(std::find(list.begin(), list.end(), pid) - list.begin());
    }
    // Slots on the lines of these PIDs (0: a line no walk set); Save after `samples`.
    void setUp(const QList<int> &pids, int samples)
    {
        logger.count = int(pids.size());
        for (int i = 0; i < pids.size(); ++i) {
            const int line = pids[i] ? lineOf(pids[i]) : 85;
            logger.selection[size_t(i)] = line;
            logger.slotText[size_t(i)] = rig.program->logger.items(0).value(line);
        }
        logger.afterSample = [this, samples](int n) {
            if (n >= samples)
                logger.Command3_Click();
        };
    }
    QString file(const QString &name = QStringLiteral("run.log")) const { return dir.filePath(name); }
    QList<double> times() const
    {
        QList<double> t;
        for (int r = 0; r < logger.samples().rowCount(); ++r)
            t << logger.samples().time(r);
        return t;
    }
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString header(const QStringList &slotLines, const QString &start = QStringLiteral("10:00:00"))
{
    QString h = QStringLiteral("\"Sample Rate Setting=0.100\"\r\n\"Start Time:%1\"\r\n\"Date of Log:%2\"\r\n")
                    .arg(start, QLocale::system().toString(QDate(2026, 12, 7), QLocale::ShortFormat));
    for (const QString &s : slotLines)
        h += QLatin1Char('"') + s + QStringLiteral(",\"\r\n");
    return h + QStringLiteral("\"Elapsed Time\"\r\n");
}

// The tool and the logger share the clock: each request waits for the tool's next status
// character, one status period (2 ms) after the last, so a sample is in 2 ms per request after
// it is due.
constexpr int RequestMs = 2;

// The elapsed time of a sample due at `dueMs` that makes `requests` requests, as the log writes it.
QString at(int dueMs, int requests)
{
    return QString::number((dueMs + requests * RequestMs) / 1000.0, 'f', 3);
}

const QString Rpm = QStringLiteral("Engine RPM ------------- ");
const QString Coolant = QStringLiteral("Coolant Temp -----------  ");
const QString Load = QStringLiteral("Calculated Load -------- ");

} // namespace

class tst_data_logger : public QObject {
    Q_OBJECT
    QTemporaryDir m_data;

private slots:
    // A log written to a pipe or a device goes through it: nothing is put in the node's place.
    void logWrittenToAPipeLeavesThePipe()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("pipe"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        QString error;
        QVERIFY2(logfile::write(fifo, "row\r\n", &error), qPrintable(error));
        char got[16] = {};
        QCOMPARE(::read(fd, got, sizeof got), ssize_t(5));
        ::close(fd);
        QCOMPARE(QByteArray(got), QByteArray("row\r\n"));
        QVERIFY(!QFileInfo(fifo).isFile());
    }
    void initTestCase()
    {
        // Recovery files and Settings.dat go to folders of this test.
        qputenv("XDG_DATA_HOME", m_data.filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", m_data.filePath(QStringLiteral("config")).toUtf8());
    }

    void logFilesByteForByte_data()
    {
        QTest::addColumn<QList<int>>("pids");
        QTest::addColumn<QStringList>("slotLines");
        QTest::addColumn<QString>("row");
        QTest::addColumn<int>("messages");
        QTest::addColumn<int>("requests"); // of each sample
        QTest::newRow("two") << QList<int>{0x0C, 0x05} << QStringList{Rpm, Coolant} << "813,181" << 0 << 2;
        // A slot on a line no walk set: "No Data Selected" once for the run, and 0 in the file.
        QTest::newRow("three, one unsupported") << QList<int>{0x0C, 0x05, 0} << QStringList{Rpm, Coolant, QString()}
                                                << "813,181,0" << 1 << 2;
        QTest::newRow("six") << QList<int>{0x0C, 0x05, 0x04, 0x0C, 0x05, 0x04}
                             << QStringList{Rpm, Coolant, Load, Rpm, Coolant, Load} << "813,181,37,813,181,37" << 0 << 6;
    }
    void logFilesByteForByte()
    {
        QFETCH(QList<int>, pids);
        QFETCH(QString, row);
        LoggerRig r;
        r.setUp(pids, 3);
        r.rig.prompts.fileNames << r.file();
        r.logger.Command1_Click();
        QFETCH(QStringList, slotLines);
        QFETCH(int, requests);
        const QString expected = header(slotLines) + row + QLatin1Char(',') + at(100, requests) + QStringLiteral("\r\n")
            + row + QLatin1Char(',') + at(200, requests) + QStringLiteral("\r\n") + row + QLatin1Char(',')
            + at(300, requests) + QStringLiteral("\r\n");
        QCOMPARE(QString::fromUtf8(readAll(r.file())), expected);
        QTEST(int(r.rig.prompts.texts().count(QStringLiteral("No Data Selected"))), "messages");
        QCOMPARE(r.logger.savedTo(), r.file());
        QVERIFY2(RecoveryFile::leftBehind().isEmpty(), "a saved log leaves no recovery file");
        QCOMPARE(r.rig.prompts.fileQuestions.first().filter, QStringLiteral("OBD-II log files (*.log)|*.log|All files|*.*"));
        // Save keeps the window: no settings saved, Begin Log back.
        QCOMPARE(r.logger.beginCaption, QStringLiteral("Begin Log"));
        QVERIFY(r.logger.beginEnabled);
    }

    // A run at ten samples a second with an unsupported slot is not held up at every sample: one
    // box before the first sample, then every sample logged with the slot as 0.
    void unsupportedSlotSaidOncePerRun()
    {
        const int samples = 100;
        LoggerRig r;
        r.setUp({0x0C, 0, 0x05}, samples);
        auto save = r.logger.afterSample;
        int boxesAtFirstSample = -1;
        r.logger.afterSample = [&](int n) {
            if (n == 1)
                boxesAtFirstSample = int(r.rig.prompts.texts().count(DataLogger::NoDataSelected));
            save(n);
        };
        r.rig.prompts.fileNames << r.file();
        r.logger.Command1_Click();
        QCOMPARE(boxesAtFirstSample, 1);
        QCOMPARE(int(r.rig.prompts.texts().count(DataLogger::NoDataSelected)), 1);
        const QList<QByteArray> lines = readAll(r.file()).split('\n');
        const QList<QByteArray> rows = lines.mid(7, lines.size() - 8);
        QCOMPARE(rows.size(), samples);
        for (const QByteArray &row : rows)
            QVERIFY2(row.startsWith("813,0,181,"), row.constData());
        QCOMPARE(lines.last(), QByteArray());
    }

    void schedule_data()
    {
        QTest::addColumn<QString>("interval");
        QTest::addColumn<int>("lateMs"); // how long each sample's requests take
        QTest::addColumn<QList<double>>("times");
        // Two requests a sample: each is in 4 ms after it is due, and the schedule does not drift by it.
        QTest::newRow("every 0.1 s") << "0.100" << 0 << QList<double>{0.104, 0.204, 0.304};
        QTest::newRow("every 2 s, the first after 0.1 s") << "2" << 0 << QList<double>{0.104, 2.104, 4.104};
        QTest::newRow("no interval: back to back") << "abc" << 0 << QList<double>{0.104, 0.108, 0.112};
        QTest::newRow("a negative interval is none") << "-1" << 0 << QList<double>{0.104, 0.108, 0.112};
        // A late sample is taken at once; its first request meets the status character that
        // came due while it was late, so it takes 2 ms, not 4.
        QTest::newRow("late samples are taken at once") << "0.100" << 350 << QList<double>{0.104, 0.456, 0.808};
    }
    void schedule()
    {
        QFETCH(QString, interval);
        QFETCH(int, lateMs);
        LoggerRig r;
        r.setUp({0x0C, 0x05}, 3);
        auto save = r.logger.afterSample;
        r.logger.afterSample = [&](int n) {
            r.clock.now += lateMs;
            save(n);
        };
        r.logger.intervalText = interval;
        r.rig.prompts.fileNames << r.file();
        r.logger.Command1_Click();
        QTEST(r.times(), "times");
    }

    // While paused no rows are added; the first after RESTART is later by the pause.
    void pauseLeavesAGap()
    {
        LoggerRig r;
        r.setUp({0x0C, 0x05}, 3);
        auto save = r.logger.afterSample;
        r.logger.afterSample = [&](int n) {
            if (n == 2)
                r.logger.Command2_Click();
            save(n);
        };
        int pausedWaits = 0;
        r.clock.onWait = [&] {
            if (r.logger.paused() && ++pausedWaits == 10) {
                QCOMPARE(r.logger.status, QStringLiteral("RUNNING"));
                QCOMPARE(r.logger.pauseCaption, QStringLiteral("RESTART"));
                QCOMPARE(r.logger.samples().rowCount(), 2);
                r.logger.Command2_Click();
            }
        };
        r.rig.prompts.fileNames << r.file();
        r.logger.Command1_Click();
        QCOMPARE(r.times(), (QList<double>{0.104, 0.204, 0.708}));
    }

    // The run ends by itself at sample 17998, and the file holds every sample.
    void theSampleLimit()
    {
        LoggerRig r(1);
        r.setUp({0x0C, 0x05}, DataLogger::CounterLimit + 10);
        r.logger.intervalText = QStringLiteral("0");
        r.rig.prompts.fileNames << r.file();
        QSignalSpy hide(&r.logger, &DataLogger::hideRequested);
        r.logger.Command1_Click();
        QCOMPARE(r.logger.samples().rowCount(), 17998);
        QCOMPARE(readAll(r.file()).count('\n'), 6 + 17998);
        // Not ended by Save: the window hides.
        QCOMPARE(hide.count(), 1);
    }

    void triggers_data()
    {
        using K = LogTrigger::Kind;
        using C = DataLogger::Combine;
        QTest::addColumn<int>("kind1");
        QTest::addColumn<int>("value1");
        QTest::addColumn<int>("combine");
        QTest::addColumn<int>("kind2");
        QTest::addColumn<int>("value2");
        QTest::addColumn<QString>("start"); // empty: never starts
        QTest::newRow("no trigger") << int(K::None) << 0 << int(C::None) << int(K::None) << 0 << "10:00:00";
        QTest::newRow("minute 5") << int(K::SystemTime) << 5 << int(C::None) << int(K::None) << 0 << "10:05:00";
        QTest::newRow("minute 60 never") << int(K::SystemTime) << 60 << int(C::None) << int(K::None) << 0 << "";
        QTest::newRow("speed 0 at once") << int(K::Speed) << 0 << int(C::None) << int(K::None) << 0 << "10:00:00";
        QTest::newRow("speed above the car's") << int(K::Speed) << 100 << int(C::None) << int(K::None) << 0 << "";
        QTest::newRow("RPM reached") << int(K::Rpm) << 800 << int(C::None) << int(K::None) << 0 << "10:00:00";
        QTest::newRow("AND, trigger 2 unset") << int(K::SystemTime) << 5 << int(C::And) << int(K::None) << 0 << "10:05:00";
        QTest::newRow("OR, trigger 2 unset") << int(K::SystemTime) << 5 << int(C::Or) << int(K::None) << 0 << "10:05:00";
        QTest::newRow("OR, trigger 2 holds") << int(K::SystemTime) << 5 << int(C::Or) << int(K::Speed) << 0 << "10:00:00";
        QTest::newRow("AND, both") << int(K::SystemTime) << 5 << int(C::And) << int(K::Rpm) << 500 << "10:05:00";
        QTest::newRow("AND, trigger 2 never") << int(K::SystemTime) << 5 << int(C::And) << int(K::Speed) << 100 << "";
        QTest::newRow("AND without trigger 1: no wait") << int(K::None) << 0 << int(C::And) << int(K::Speed) << 100 << "10:00:00";
    }
    void triggers()
    {
        QFETCH(int, kind1);
        QFETCH(int, value1);
        QFETCH(int, combine);
        QFETCH(int, kind2);
        QFETCH(int, value2);
        QFETCH(QString, start);
        LoggerRig r;
        r.setUp({0x0C, 0x05}, 1);
        r.logger.trigger1 = {LogTrigger::Kind(kind1), value1};
        r.logger.trigger2 = {LogTrigger::Kind(kind2), value2};
        r.logger.combine = DataLogger::Combine(combine);
        // A wait that never fires is ended by Save: after ten minutes on the clock when it looks at
        // the minute, after a second of the car's values otherwise.
        const bool onTime = kind1 == int(LogTrigger::Kind::SystemTime) || kind2 == int(LogTrigger::Kind::SystemTime);
        const std::int64_t giveUpAt = r.clock.now + (onTime ? 10 * 60 * 1000 : 1000);
        r.clock.onWait = [&] {
            if (r.clock.now > giveUpAt && r.logger.status == QLatin1String("Waiting for Trigger"))
                r.logger.Command3_Click();
        };
        r.rig.prompts.fileNames << r.file();
        r.logger.Command1_Click();
        if (start.isEmpty()) {
            // Ended while waiting: nothing recorded, no file asked for, ready for another run.
            QCOMPARE(r.logger.samples().rowCount(), 0);
            QVERIFY(r.rig.prompts.fileQuestions.isEmpty());
            QVERIFY(r.logger.beginEnabled);
        } else {
            QCOMPARE(r.logger.samples().rowCount(), 1);
            QCOMPARE(r.logger.startTime().time().toString(QStringLiteral("HH:mm:ss")), start);
        }
        QCOMPARE(r.logger.status, QStringLiteral("STOPPED"));
    }

    // QUIT while waiting for a trigger ends the run and hides the window.
    void quitWhileWaiting()
    {
        LoggerRig r;
        r.setUp({0x0C, 0x05}, 1);
        r.logger.trigger1 = {LogTrigger::Kind::SystemTime, 60};
        int settingsSaved = 0;
        r.logger.saveSettings = [&] { ++settingsSaved; };
        QSignalSpy hide(&r.logger, &DataLogger::hideRequested);
        r.clock.onWait = [&] {
            if (r.clock.waits == 5)
                r.logger.Cancel_Click();
        };
        r.logger.Command1_Click();
        QVERIFY(r.clock.waits < 10);
        QCOMPARE(r.logger.samples().rowCount(), 0);
        QVERIFY(hide.count() >= 1);
        QCOMPARE(settingsSaved, 1);
    }

    // A sample without a good reply has an empty field, never a 0 that was not measured.
    void noVehicleLeavesEmptyFields()
    {
        LoggerRig r;
        r.setUp({0x0C, 0x05}, 2);
        r.rig.tool.setVehicle(false);
        r.rig.prompts.fileNames << r.file();
        r.logger.Command1_Click();
        // Each request meets the tool's "P" and asks nothing more.
        QVERIFY2(readAll(r.file()).endsWith(",," + at(100, 2).toLatin1() + "\r\n,," + at(200, 2).toLatin1() + "\r\n"),
                 readAll(r.file()).constData());
    }

    // Nothing recorded is lost: a cancelled dialog or an unwritable file leaves the samples in
    // the recovery file, and the user is told where.
    void samplesAreKept_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("said");
        QTest::newRow("dialog cancelled") << "" << "No log file was chosen. The samples are kept in ";
        QTest::newRow("unwritable") << "/nonexistent/dir/run.log" << "The log file /nonexistent/dir/run.log could not be written: ";
    }
    void samplesAreKept()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, said);
        LoggerRig r;
        r.setUp({0x0C, 0x05}, 2);
        r.rig.prompts.fileNames << fileName;
        r.logger.Command1_Click();
        const QStringList left = RecoveryFile::leftBehind();
        QCOMPARE(left.size(), 1);
        const QString message = r.rig.prompts.shown.last().text;
        QVERIFY2(message.startsWith(said), qPrintable(message));
        QVERIFY2(message.endsWith(left.first()), qPrintable(message));
        QCOMPARE(QString::fromUtf8(readAll(left.first())),
                 header({Rpm, Coolant}) + QStringLiteral("813,181,") + at(100, 2) + QStringLiteral("\r\n813,181,")
                     + at(200, 2) + QStringLiteral("\r\n"));
        QFile::remove(left.first());
    }

    // At the next start the left-behind log is offered: declined, it stays; accepted, it is saved
    // and goes.
    void leftBehindLogsAreOffered()
    {
        LoggerRig r;
        r.setUp({0x0C, 0x05}, 1);
        r.rig.prompts.fileNames << QString();
        r.logger.Command1_Click();
        QCOMPARE(RecoveryFile::leftBehind().size(), 1);
        const QByteArray kept = readAll(RecoveryFile::leftBehind().first());

        ScriptedPrompts later;
        later.answers << false;
        logfile::offerRecovered(later);
        QCOMPARE(RecoveryFile::leftBehind().size(), 1);
        QVERIFY(later.shown.first().text.contains(RecoveryFile::leftBehind().first()));

        later.answers << true;
        later.fileNames << r.file(QStringLiteral("recovered.log"));
        logfile::offerRecovered(later);
        QVERIFY(RecoveryFile::leftBehind().isEmpty());
        QCOMPARE(readAll(r.file(QStringLiteral("recovered.log"))), kept);
    }

    // A left-behind log is held while a window offers it: a second window, or any program asking
    // for the lock, finds it taken until the question is answered.
    void anOfferedLogIsHeldWhileOffered()
    {
        LoggerRig r;
        r.setUp({0x0C, 0x05}, 1);
        r.rig.prompts.fileNames << QString();
        r.logger.Command1_Click();
        const QStringList left = RecoveryFile::leftBehind();
        QCOMPARE(left.size(), 1);
        // flock(1) exits 1 when it cannot have the lock at once, 0 when it had it.
        auto otherProgramLocks = [&] {
            return QProcess::execute(QStringLiteral("flock"), {QStringLiteral("--nonblock"), left.first(), QStringLiteral("true")});
        };
        struct AskingPrompts : ScriptedPrompts {
            std::function<void()> whileAsked;
            bool askYesNo(const QString &text, const QString &title, Icon icon, bool defaultYes) override
            {
                whileAsked();
                return ScriptedPrompts::askYesNo(text, title, icon, defaultYes);
            }
        } window;
        int duringOffer = -1;
        QStringList offeredMeanwhile;
        window.whileAsked = [&] {
            duringOffer = otherProgramLocks();
            offeredMeanwhile = RecoveryFile::leftBehind();
        };
        window.answers << false;
        logfile::offerRecovered(window);
        QCOMPARE(window.shown.size(), 1);
        QCOMPARE(duringOffer, 1);
        QCOMPARE(offeredMeanwhile, QStringList());
        QCOMPARE(otherProgramLocks(), 0);
        QCOMPARE(RecoveryFile::leftBehind(), left);
        QFile::remove(left.first());
    }

    // The recovery file of a run in another program is not offered while that program records
    // into it; killed half way, the run is left behind and loses at most its last second.
    void runningRunIsNotOfferedKilledRunKeepsItsSamples()
    {
        QProcess cli;
        cli.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        cli.start(QStringLiteral(QUENTA_CLI_BINARY),
                  {QStringLiteral("--simulate"), QStringLiteral("log"), QStringLiteral("--slots"), QStringLiteral("0,1"),
                   QStringLiteral("--samples"), QStringLiteral("100000"), QStringLiteral("--interval"),
                   QStringLiteral("0.1"), QStringLiteral("--out"), m_data.filePath(QStringLiteral("never.log"))});
        QVERIFY(cli.waitForStarted());
        const QDir folder(RecoveryFile::folder());
        const QStringList pattern{QStringLiteral("recovered-*.log")};
        QTRY_VERIFY_WITH_TIMEOUT(!folder.entryList(pattern, QDir::Files).isEmpty(), 20000);
        QTest::qWait(3000);
        QCOMPARE(cli.state(), QProcess::Running);
        QCOMPARE(RecoveryFile::leftBehind(), QStringList());
        ScriptedPrompts window;
        logfile::offerRecovered(window);
        QVERIFY(window.shown.isEmpty());
        cli.kill();
        cli.waitForFinished();
        const QStringList left = RecoveryFile::leftBehind();
        QCOMPARE(left.size(), 1);
        const QList<QByteArray> lines = readAll(left.first()).split('\n');
        // Six heading lines, then rows of two numbers and the time, about ten a second.
        QVERIFY2(lines.size() - 1 - 6 >= 15, qPrintable(QString::number(lines.size())));
        for (qsizetype i = 6; i < lines.size() - 1; ++i)
            QVERIFY2(lines[i].count(',') == 2 && lines[i].endsWith('\r'), lines[i].constData());
        QFile::remove(left.first());
    }

    void triggerValues_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("entered");
        QTest::addColumn<int>("value"); // -1: refused
        QTest::addColumn<QString>("refusal");
        using K = LogTrigger::Kind;
        QTest::newRow("minutes 75") << int(K::SystemTime) << "75" << -1 << "Value must be 1-60";
        QTest::newRow("minutes 0 accepted") << int(K::SystemTime) << "0" << 0 << "";
        QTest::newRow("minutes 60") << int(K::SystemTime) << "60" << 60 << "";
        QTest::newRow("not a number reads 0") << int(K::SystemTime) << "abc" << 0 << "";
        QTest::newRow("speed negative") << int(K::Speed) << "-1" << -1 << "Value must be 1-120";
        QTest::newRow("speed 120.5") << int(K::Speed) << "120.5" << -1 << "Value must be 1-120";
        QTest::newRow("speed halves to even") << int(K::Speed) << "2.5" << 2 << "";
        QTest::newRow("RPM 12000") << int(K::Rpm) << "12000" << 12000 << "";
        QTest::newRow("RPM 12001") << int(K::Rpm) << "12001" << -1 << "Value must be 1-12000";
    }
    void triggerValues()
    {
        QFETCH(int, kind);
        QFETCH(QString, entered);
        QFETCH(int, value);
        QString refusal;
        const std::optional<int> got = DataLogger::triggerValue(LogTrigger::Kind(kind), entered, &refusal);
        QCOMPARE(got.value_or(-1), value);
        QTEST(refusal, "refusal");
    }

    // The window: a refused trigger value, "00" put back, then an accepted one; shortcut keys only
    // while their button is enabled; the help text.
    void windowTriggerEntryAndKeys()
    {
        LoggerRig r;
        DataLogMV window(r.rig.program->liveParts(), r.rig.program->logger);
        window.show();
        QCOMPARE(window.windowTitle(), QStringLiteral("Quenta Data Logger"));
        QVERIFY(window.lblTRIG->isHidden() && window.txtTRIG->isHidden() && window.cmdTRIG->isHidden());
        QVERIFY(!window.Command2->isEnabled() && !window.Command3->isEnabled());
        QCOMPARE(window.Text2->text(), QStringLiteral("0.100"));
        QCOMPARE(window.Combo3->placeholderText(), QStringLiteral("None"));

        int step = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, &window, [&] {
            if (!window.cmdTRIG->isVisible())
                return;
            if (step == 0) {
                QCOMPARE(window.lblTRIG->text(), QStringLiteral("Enter Minutes (1-60)"));
                QVERIFY(!window.Command1->isEnabled());
                window.txtTRIG->setText(QStringLiteral("75"));
                window.cmdTRIG->click();
                step = 1;
            } else if (step == 1) {
                QCOMPARE(r.rig.prompts.texts().last(), QStringLiteral("Value must be 1-60"));
                QCOMPARE(window.txtTRIG->text(), QStringLiteral("00"));
                window.txtTRIG->setText(QStringLiteral("5"));
                window.cmdTRIG->click();
                step = 2;
            }
        });
        tick.start(20);
        window.Combo1->setCurrentIndex(1);
        window.Combo_Click(1);
        QCOMPARE(step, 2);
        QCOMPARE(window.txtTRIG1->text(), QStringLiteral("5"));
        QCOMPARE(r.logger.count, 4);
        QCOMPARE(window.logger().trigger1.value, 5);
        QVERIFY(window.cmdTRIG->isHidden());
        QVERIFY(window.Command1->isEnabled());

        // P and S do nothing while their buttons are disabled; Q quits.
        QSignalSpy hidden(&window.logger(), &DataLogger::hideRequested);
        QTest::keyClick(window.Text3, Qt::Key_P);
        QTest::keyClick(window.Text3, Qt::Key_S);
        QCOMPARE(window.Command2->text(), QStringLiteral("Pause"));
        QCOMPARE(window.logger().status, QString());
        QTest::keyClick(window.Text3, Qt::Key_Q);
        QCOMPARE(hidden.count(), 1);
        QVERIFY(window.isHidden());
        QCOMPARE(window.txtTRIG1->text(), QString());

        window.mnuHelp_Click();
        QCOMPARE(r.rig.prompts.texts().last(), DataLogger::HelpText);
    }
};

QTEST_MAIN(tst_data_logger)
#include "tst_data_logger.moc"
