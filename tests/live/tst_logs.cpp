// The data logger and the wideband meter on the manual clock: byte-exact files, the schedule,
// triggers, the sample limits, samples that are never lost, a log to a pipe, and their windows.
#include "ManualClock.h"
#include "SimRig.h"

#include "live/widgets/DataLogMV.h"
#include "live/widgets/WRO2_Sensor_Log.h"

#include <QtTest>
#include <QtWidgets>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quenta;

namespace {

// The program and the tool on one manual clock, connected, the car's PIDs walked. PID 34: lambda A-B, current C-D.
struct LogRig {
    ManualClock clock;
    SimRig rig;
    DataLogger logger{rig.program->liveParts()};
    WidebandMeter meter{rig.program->liveParts()};
    QTemporaryDir dir;

    explicit LogRig(int statusPeriodMs = 2, const QString &pid34 = QStringLiteral("80008000"))
        : rig(profile(statusPeriodMs, pid34), &clock)
    {
        rig.connect();
        rig.program->currentData.request();
        // The connection took time on the clock: the wall clock reads 10:00:00 when the test begins.
        clock.wallAtZero = clock.wallAtZero.addMSecs(-clock.now);
        clock.waits = 0;
    }
    static sim::VehicleProfile profile(int statusPeriodMs, const QString &pid34)
    {
        sim::VehicleProfile p = SimRig::profileWith({{"04", "5F"}, {"05", "7B"}, {"0C", "0CB4"}, {"0D", "21"}, {"34", pid34}});
        p.statusPeriodMs = statusPeriodMs;
        return p;
    }
    // Logger slots on the lines of these PIDs (0: a line no walk set); Save after `samples`.
    void setUp(const QList<int> &pids, int samples)
    {
        const auto &list = rig.program->pids.PID_list;
        logger.count = int(pids.size());
        for (int i = 0; i < pids.size(); ++i) {
            const int line = pids[i] ? int(std::find(list.begin(), list.end(), pids[i]) - list.begin()) : 85;
            logger.selection[size_t(i)] = line;
            logger.slotText[size_t(i)] = rig.program->logger.items(0).value(line);
        }
        logger.afterSample = [this, samples](int n) {
            if (n >= samples)
                logger.Command3_Click();
        };
        rig.prompts.fileNames << file();
    }
    QString file(const QString &name = QStringLiteral("run.log")) const { return dir.filePath(name); }
};

QList<double> times(const Samples &s)
{
    QList<double> t;
    for (int r = 0; r < s.rowCount(); ++r)
        t << s.time(r);
    return t;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray header(const QStringList &slotLines)
{
    QString h = QStringLiteral("\"Sample Rate Setting=0.100\"\r\n\"Start Time:10:00:00\"\r\n\"Date of Log:%1\"\r\n")
                    .arg(QLocale::system().toString(QDate(2026, 12, 7), QLocale::ShortFormat));
    for (const QString &s : slotLines)
        h += QLatin1Char('"') + s + QStringLiteral(",\"\r\n");
    return (h + QStringLiteral("\"Elapsed Time\"\r\n")).toUtf8();
}

// Rows of a sample due every 100 ms: each request waits for the tool's next status character, one
// status period (2 ms) after the last, so a sample is in 2 ms per request after it is due.
QByteArray rows(const QByteArray &row, int samples, int requests)
{
    QByteArray out;
    for (int n = 1; n <= samples; ++n)
        out += row + ',' + QByteArray::number((n * 100 + requests * 2) / 1000.0, 'f', 3) + "\r\n";
    return out;
}

const QString Rpm = QStringLiteral("Engine RPM ------------- ");
const QString Coolant = QStringLiteral("Coolant Temp -----------  ");
const QString Load = QStringLiteral("Calculated Load -------- ");
const QByteArray Wideband = "WBO2 Current mA\r\nWBO2 Lambda Reading\r\n";

} // namespace

class tst_logs : public QObject {
    Q_OBJECT
    // In memory where the machine has it: a recovery file reaches the disk once a second of the
    // clock, and the meter's half hour of samples is then 1800 syncs.
    QTemporaryDir m_data{QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm/quenta-logs-XXXXXX")
                                                                  : QDir::tempPath() + QStringLiteral("/quenta-logs-XXXXXX")};

private slots:
    void initTestCase()
    {
        // Recovery files and Settings.dat go to folders of this test.
        qputenv("XDG_DATA_HOME", m_data.filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", m_data.filePath(QStringLiteral("config")).toUtf8());
    }
    void cleanup()
    {
        for (const QString &left : RecoveryFile::leftBehind())
            QFile::remove(left);
    }

    // A slot on a line no walk set: "No Data Selected" once, before the first sample (a box at every sample would hold
    // the run up), and 0 in the file. A sample without a good reply has an empty field, never a 0 not measured.
    void loggerFilesByteForByte()
    {
        const struct { QList<int> pids; QStringList slotLines; const char *row; int boxes; bool vehicle = true; } rows_[] = {
            {{0x0C, 0x05}, {Rpm, Coolant}, "813,181", 0}, {{0x0C, 0x05}, {Rpm, Coolant}, ",", 0, false},
            {{0x0C, 0x05, 0}, {Rpm, Coolant, QString()}, "813,181,0", 1},
            {{0x0C, 0x05, 0x04, 0x0C, 0x05, 0x04}, {Rpm, Coolant, Load, Rpm, Coolant, Load}, "813,181,37,813,181,37", 0}};
        for (const auto &r : rows_) {
            LogRig t;
            t.setUp(r.pids, 3);
            t.rig.tool.setVehicle(r.vehicle);
            const auto save = t.logger.afterSample;
            int boxesAtFirst = -1;
            t.logger.afterSample = [&](int n) {
                if (n == 1)
                    boxesAtFirst = int(t.rig.prompts.texts().count(DataLogger::NoDataSelected));
                save(n);
            };
            t.logger.Command1_Click();
            QCOMPARE(readAll(t.file()), header(r.slotLines) + rows(r.row, 3, int(r.pids.size()) - r.boxes));
            QCOMPARE((QList<int>{boxesAtFirst, int(t.rig.prompts.texts().count(DataLogger::NoDataSelected))}), (QList<int>{r.boxes, r.boxes}));
            QCOMPARE(t.logger.savedTo(), t.file());
            QVERIFY2(RecoveryFile::leftBehind().isEmpty(), "a saved log leaves no recovery file");
            QCOMPARE(t.rig.prompts.fileQuestions.first().filter, logfile::FileFilter);
            QVERIFY(t.logger.beginCaption == QStringLiteral("Begin Log") && t.logger.beginEnabled); // Save keeps the window
        }
    }

    // While paused no rows are added; the first after RESTART is later by the pause.
    void loggerSchedule()
    {
        const struct { const char *interval; int lateMs; QList<double> times; bool pause = false; } rows_[] = {
            {"0.100", 0, {0.104, 0.204, 0.304}}, // requests take 4 ms; the schedule does not drift by it
            {"2", 0, {0.104, 2.104, 4.104}},     // the first after 0.1 s
            {"abc", 0, {0.104, 0.108, 0.112}}, {"-1", 0, {0.104, 0.108, 0.112}}, // no interval: back to back
            // A late sample is taken at once; its first request meets the status character that
            // came due while it was late, so it takes 2 ms, not 4.
            {"0.100", 350, {0.104, 0.456, 0.808}}, {"0.100", 0, {0.104, 0.204, 0.708}, true}};
        for (const auto &r : rows_) {
            LogRig t;
            t.setUp({0x0C, 0x05}, 3);
            const auto save = t.logger.afterSample;
            t.logger.afterSample = [&](int n) {
                t.clock.now += r.lateMs;
                if (r.pause && n == 2)
                    t.logger.Command2_Click();
                save(n);
            };
            int pausedWaits = 0;
            t.clock.onWait = [&] {
                if (t.logger.paused() && ++pausedWaits == 10) {
                    QVERIFY(t.logger.pauseCaption == QStringLiteral("RESTART") && t.logger.samples().rowCount() == 2);
                    t.logger.Command2_Click();
                }
            };
            t.logger.intervalText = QLatin1String(r.interval);
            t.logger.Command1_Click();
            QCOMPARE(times(t.logger.samples()), r.times);
            QCOMPARE(pausedWaits, r.pause ? 10 : 0);
        }
    }

    // Each run ends by itself at its limit, and the file holds every sample. The logger's slot has
    // no row, so its samples take no requests; the meter's tool sends its status seldom.
    void theSampleLimits()
    {
        LogRig t(1);
        t.setUp({0}, DataLogger::CounterLimit + 10);
        t.logger.intervalText = QStringLiteral("0");
        QSignalSpy hide(&t.logger, &DataLogger::hideRequested);
        t.logger.Command1_Click();
        QCOMPARE(t.logger.samples().rowCount(), 17998);
        QCOMPARE(readAll(t.file()).count('\n'), 5 + 17998);
        QCOMPARE(hide.count(), 1); // not ended by Save: the window hides

        LogRig w(50);
        w.rig.prompts.fileNames << w.file();
        QSignalSpy close(&w.meter, &WidebandMeter::closeRequested);
        w.meter.Command1_Click();
        QCOMPARE(w.meter.samples().rowCount(), 17999);
        QCOMPARE(readAll(w.file()).count('\n'), 2 + 17999);
        QCOMPARE(close.count(), 1);
    }

    void triggers()
    {
        using K = LogTrigger::Kind;
        using C = DataLogger::Combine;
        const struct { K kind1; int value1; C combine; K kind2; int value2; const char *start; } rows_[] = {
            {K::None, 0, C::None, K::None, 0, "10:00:00"}, {K::SystemTime, 5, C::None, K::None, 0, "10:05:00"},
            {K::Rpm, 800, C::None, K::None, 0, "10:00:00"}, {K::SystemTime, 60, C::None, K::None, 0, ""}, // never
            {K::Speed, 0, C::None, K::None, 0, "10:00:00"}, {K::Speed, 100, C::None, K::None, 0, ""}, // above the car's
            {K::SystemTime, 5, C::And, K::None, 0, "10:05:00"}, // an unset trigger 2 adds no condition
            {K::SystemTime, 5, C::Or, K::Speed, 0, "10:00:00"}, {K::SystemTime, 5, C::And, K::Rpm, 500, "10:05:00"},
            {K::SystemTime, 5, C::And, K::Speed, 100, ""}, {K::None, 0, C::And, K::Speed, 100, "10:00:00"}}; // the last: no wait
        for (const auto &r : rows_) {
            LogRig t;
            t.setUp({0x0C, 0x05}, 1);
            t.logger.trigger1 = {r.kind1, r.value1};
            t.logger.trigger2 = {r.kind2, r.value2};
            t.logger.combine = r.combine;
            // A wait that never fires is ended by Save: after ten minutes on the clock when it
            // looks at the minute, after a second of the car's values otherwise.
            const bool onTime = r.kind1 == K::SystemTime || r.kind2 == K::SystemTime;
            const std::int64_t giveUpAt = t.clock.now + (onTime ? 10 * 60 * 1000 : 1000);
            t.clock.onWait = [&] {
                if (t.clock.now > giveUpAt && t.logger.status == QLatin1String("Waiting for Trigger"))
                    t.logger.Command3_Click();
            };
            t.logger.Command1_Click();
            QCOMPARE(t.logger.status, QStringLiteral("STOPPED"));
            const QString started = t.logger.startTime().time().toString(QStringLiteral("HH:mm:ss"));
            if (!*r.start) // ended while waiting: nothing recorded, no file asked for
                QVERIFY(t.logger.samples().rowCount() == 0 && t.rig.prompts.fileQuestions.isEmpty() && t.logger.beginEnabled);
            else
                QVERIFY2(t.logger.samples().rowCount() == 1 && started == QLatin1String(r.start), qPrintable(started));
        }
        // QUIT while waiting ends the run, hides the window and saves its settings.
        LogRig t;
        t.setUp({0x0C, 0x05}, 1);
        t.logger.trigger1 = {K::SystemTime, 60};
        int settingsSaved = 0;
        t.logger.saveSettings = [&] { ++settingsSaved; };
        QSignalSpy hide(&t.logger, &DataLogger::hideRequested);
        t.clock.onWait = [&] {
            if (t.clock.waits == 5)
                t.logger.Cancel_Click();
        };
        t.logger.Command1_Click();
        QVERIFY(t.clock.waits < 10 && t.logger.samples().rowCount() == 0 && hide.count() >= 1 && settingsSaved == 1);

        const struct { K kind; const char *entered; int value; const char *refusal; } values[] = {
            {K::SystemTime, "75", -1, "Value must be 1-60"}, {K::SystemTime, "abc", 0, ""}, {K::SystemTime, "60", 60, ""},
            {K::Speed, "-1", -1, "Value must be 1-120"}, {K::Speed, "120.5", -1, "Value must be 1-120"}, {K::Speed, "2.5", 2, ""}, // halves to even
            {K::Rpm, "12000", 12000, ""}, {K::Rpm, "12001", -1, "Value must be 1-12000"}, {K::None, "5", -1, ""}};
        for (const auto &v : values) {
            QString refusal;
            QCOMPARE(DataLogger::triggerValue(v.kind, QLatin1String(v.entered), &refusal).value_or(-1), v.value);
            QCOMPARE(refusal, QLatin1String(v.refusal));
        }
    }

    // Nothing recorded is lost: cancelled or unwritable, the samples stay in the recovery file, the
    // user is told where, and the next start offers it. A running log holds its file (not offered
    // meanwhile) with every row in it at once, as a killed program must lose nothing; an offered
    // file stays locked until the question is answered.
    void samplesAreKept()
    {
        const struct { const char *file, *said; } rows_[] = {
            {"", "No log file was chosen. The samples are kept in "},
            {"/nonexistent/dir/run.log", "The log file /nonexistent/dir/run.log could not be written: "}};
        for (const auto &r : rows_) {
            LogRig t;
            t.setUp({0x0C, 0x05}, 2);
            t.rig.prompts.fileNames = {QLatin1String(r.file)};
            const auto save = t.logger.afterSample;
            QStringList offered{QStringLiteral("not looked")};
            int lines = 0;
            t.logger.afterSample = [&](int n) {
                ScriptedPrompts window;
                logfile::offerRecovered(window);
                offered = RecoveryFile::leftBehind() + window.texts();
                lines = int(readAll(t.logger.recoveryPath()).count('\n'));
                save(n);
            };
            t.logger.Command1_Click();
            QVERIFY2(offered.isEmpty() && lines == 6 + 2, qPrintable(offered.join('|') + QStringLiteral(" lines: %1").arg(lines)));
            const QStringList left = RecoveryFile::leftBehind();
            QCOMPARE(left.size(), 1);
            const QString message = t.rig.prompts.shown.last().text;
            QVERIFY2(message.startsWith(QLatin1String(r.said)) && message.endsWith(left.first()), qPrintable(message));
            QCOMPARE(readAll(left.first()), header({Rpm, Coolant}) + rows("813,181", 2, 2));

            // Offered at the next start: declined, it stays; accepted, it is saved and goes.
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
            } later;
            QList<int> locked;
            later.whileAsked = [&] { locked << otherProgramLocks() << int(RecoveryFile::leftBehind().size()); };
            later.answers << false << true;
            logfile::offerRecovered(later);
            QVERIFY(otherProgramLocks() == 0 && RecoveryFile::leftBehind() == left && later.shown.first().text.contains(left.first()));
            later.fileNames << t.file(QStringLiteral("recovered.log"));
            logfile::offerRecovered(later);
            QCOMPARE(locked, (QList<int>{1, 0, 1, 0}));
            QVERIFY(RecoveryFile::leftBehind().isEmpty());
            QCOMPARE(readAll(t.file(QStringLiteral("recovered.log"))), header({Rpm, Coolant}) + rows("813,181", 2, 2));
        }
        // EXIT during a meter run still offers its file; cancelled, the samples are kept.
        LogRig w;
        w.meter.afterSample = [&](int n) {
            if (n == 2)
                w.meter.Cancel_Click();
        };
        QSignalSpy close(&w.meter, &WidebandMeter::closeRequested);
        w.meter.Command1_Click();
        const QStringList left = RecoveryFile::leftBehind();
        QVERIFY(w.rig.prompts.fileQuestions.size() == 1 && left.size() == 1 && w.rig.prompts.shown.last().text.endsWith(left.first()) && close.count() >= 1);
        QCOMPARE(readAll(left.first()), Wideband + "0,0.999424,14.7304505\r\n0,0.999424,14.7304505\r\n");
    }

    // A log written to a pipe or a device goes through it: nothing is put in the node's place.
    void aLogToAPipeStaysAPipe()
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

    // The logger's window: a refused trigger value, "00" put back, an accepted one; shortcut keys only while enabled; help.
    void loggerWindow()
    {
        LogRig t;
        DataLogMV window(t.rig.program->liveParts(), t.rig.program->logger);
        window.show();
        QCOMPARE((QStringList{window.windowTitle(), window.Text2->text(), window.Combo3->placeholderText()}),
                 (QStringList{"Quenta Data Logger", "0.100", "None"}));
        QVERIFY(!window.Command2->isEnabled() && !window.Command3->isEnabled());
        // Each entry is typed once the window waits for it.
        QString promptShown, putBack;
        QTimer::singleShot(0, &window, [&] {
            promptShown = window.lblTRIG->text();
            QVERIFY(!window.Command1->isEnabled());
            window.txtTRIG->setText(QStringLiteral("75"));
            QTimer::singleShot(0, &window, [&] {
                putBack = window.txtTRIG->text();
                window.txtTRIG->setText(QStringLiteral("5"));
                window.cmdTRIG->click();
            });
            window.cmdTRIG->click();
        });
        window.Combo1->setCurrentIndex(1);
        window.Combo_Click(1);
        QCOMPARE((QStringList{promptShown, putBack, window.txtTRIG1->text()}), (QStringList{"Enter Minutes (1-60)", "00", "5"}));
        QCOMPARE(t.rig.prompts.texts(), QStringList{"Value must be 1-60"});
        QVERIFY(window.logger().trigger1.value == 5 && window.cmdTRIG->isHidden() && window.Command1->isEnabled());

        // P and S do nothing while their buttons are disabled; Q quits.
        QSignalSpy hidden(&window.logger(), &DataLogger::hideRequested);
        QTest::keyClick(window.Text3, Qt::Key_P);
        QTest::keyClick(window.Text3, Qt::Key_S);
        QVERIFY(window.Command2->text() == QStringLiteral("Pause") && window.logger().status.isEmpty());
        QTest::keyClick(window.Text3, Qt::Key_Q);
        QVERIFY(hidden.count() == 1 && window.isHidden());
        window.mnuHelp_Click();
        QCOMPARE(t.rig.prompts.texts().last(), DataLogger::HelpText);
    }

    // The meter's window: six characters of lambda and ratio, four digits of RPM, ten samples a
    // second, the file of current, lambda and ratio; without a good reply, empty fields, never a 0.
    void meterWindowAndFile()
    {
        // The ratio from the current, or past stoichiometry lambda times 14.731.
        const struct { const char *pid34, *lambda, *ratio, *fileRow; bool vehicle = true; } rows_[] = {
            {"80008000", "0.9994", "14.730", "0,0.999424,14.7304505\r\n"}, {"73337F00", "0.8994", "12.775", "-1,0.8994755,12.7755215\r\n"},
            {"90BA8100", "1.1300", "16.646", "1,1.130025,16.646398275\r\n"}, // 37050 x 0.0000305 = 1.130025; x 14.731 = 16.6464
            {"80008000", nullptr, nullptr, ",,\r\n", false}};
        for (const auto &r : rows_) {
            LogRig t(2, QLatin1String(r.pid34));
            t.rig.tool.setVehicle(r.vehicle);
            t.rig.prompts.fileNames << t.file();
            WRO2_Sensor_Log window(t.rig.program->liveParts());
            window.meter().afterSample = [&](int n) {
                if (n >= 3)
                    window.meter().Command2_Click();
            };
            window.Command1->click();
            QCOMPARE((QStringList{window.windowTitle(), window.Label2->text(), window.Display1_name->text(), window.Display2_name->text(), window.Text1->text()}),
                     (QStringList{"Wide Band O2 Sensor Lambda Meter", "Press Start To Run", "Lambda", "A/F Ratio", "RPM"}));
            QVERIFY(window.Command1->isEnabled());
            QCOMPARE(readAll(t.file()), Wideband + QByteArray(r.fileRow).repeated(3));
            QVERIFY(RecoveryFile::leftBehind().isEmpty());
            if (!r.vehicle) {
                QVERIFY(window.meter().rpmText.isEmpty() && window.meter().ratioText.isEmpty());
                continue;
            }
            QCOMPARE((QStringList{window.Display1_value->text(), window.Display2_value->text(), window.Text2->text()}),
                     (QStringList{r.lambda, r.ratio, "0813"}));
            // Two requests a sample, 4 ms after it is due; the schedule does not drift by it.
            QCOMPARE(times(window.meter().samples()), (QList<double>{0.004, 0.104, 0.204}));
        }
    }
};

QTEST_MAIN(tst_logs)
#include "tst_logs.moc"
