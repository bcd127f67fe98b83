#include "live/DataLogger.h"

#include "live/ParameterDisplay.h"
#include "pids/Decoders.h"
#include "pids/numtext.h"

#include <QCoreApplication>
#include <cmath>

namespace quenta {

namespace {

// Between two looks at a trigger that could not be read, or at the clock for a "System Time"
// trigger: short enough that the run starts on time, long enough not to spin a core.
constexpr int TriggerLookMs = 100;
constexpr double PauseStepS = 0.05;

} // namespace

QString DataLogger::triggerPrompt(LogTrigger::Kind kind)
{
    switch (kind) {
    case LogTrigger::Kind::SystemTime: return QStringLiteral("Enter Minutes (1-60)");
    case LogTrigger::Kind::Speed: return QStringLiteral("Enter Speed (1-120)");
    case LogTrigger::Kind::Rpm: return QStringLiteral("Enter RPM (1-12,000)");
    case LogTrigger::Kind::None: break;
    }
    return QString();
}

std::optional<int> DataLogger::triggerValue(LogTrigger::Kind kind, const QString &entered, QString *refusal)
{
    float maximum = 0;
    switch (kind) {
    case LogTrigger::Kind::SystemTime: maximum = 60; *refusal = QStringLiteral("Value must be 1-60"); break;
    case LogTrigger::Kind::Speed: maximum = 120; *refusal = QStringLiteral("Value must be 1-120"); break;
    case LogTrigger::Kind::Rpm: maximum = 12000; *refusal = QStringLiteral("Value must be 1-12000"); break;
    case LogTrigger::Kind::None: refusal->clear(); return std::nullopt;
    }
    const float value = float(numtext::leadingNumber(entered));
    if (!(value >= 0 && value <= maximum))
        return std::nullopt;
    refusal->clear();
    return int(numtext::roundHalfEven(value));
}

DataLogger::DataLogger(const LiveParts &parts, QObject *parent) : QObject(parent), m_p(parts) {}

DataLogger::~DataLogger() = default;

bool DataLogger::stopped() const
{
    // A tool that went away, or the program ending, ends the run as Save would.
    return m_p.context.settings.logger_stop || m_p.context.link.ended();
}

QStringList DataLogger::loggedSlots() const
{
    QStringList texts;
    for (int i = 0; i < count; ++i)
        texts << slotText[size_t(i)];
    return texts;
}

void DataLogger::setStatus(const QString &text)
{
    status = text;
    emit changed();
}

Reading DataLogger::get_ecu_data(int pid)
{
    if (!displayRowOf(pid)) {
        m_p.context.pids.record.PID_units.clear();
        Reading none;
        none.pid = pid;
        none.valid = false;
        return none;
    }
    Decoders decoders(m_p.context);
    Reading reading;
    {
        ScanToolLink::Bound bound(m_p.context.link);
        reading = decoders.read(pid);
    }
    if (!valueAnswered(m_p, reading)) {
        reading.valid = false;
        reading.text.clear();
    }
    return reading;
}

void DataLogger::Command1_Click()
{
    if (m_running)
        return;
    m_running = true;
    setStatus(QStringLiteral("Waiting for Trigger"));
    m_saveFlag = false;
    pauseEnabled = saveEnabled = true;
    beginEnabled = false;
    for (int i = 0; i < Slots; ++i) {
        displayName[size_t(i)] = slotText[size_t(i)];
        const int line = selection[size_t(i)];
        m_pidOfSlot[size_t(i)] = line >= 0 && line < PidState::ListSize ? m_p.context.pids.PID_list[size_t(line)] : 0;
    }
    listsEnabled = false;
    emit changed();
    // Said once for the run, while the user is at the window: a box at every sample would stop
    // the run at each one until OK is pressed.
    for (int i = 0; i < count; ++i) {
        if (!displayRowOf(m_pidOfSlot[size_t(i)])) {
            m_p.prompts.message(NoDataSelected);
            break;
        }
    }

    const bool triggered = waitForTrigger();
    QList<SampleColumn> columns;
    for (const QString &text : loggedSlots())
        columns << SampleColumn{text, QString()};
    m_samples.setColumns(columns);
    if (triggered) {
        m_p.context.settings.logger_stop = false;
        for (int i = 0; i < 3; ++i)
            m_p.prompts.beep();
        setStatus(QStringLiteral("RUNNING"));
        m_start = m_p.clock.wallTime();
        m_p.timing.Start();
        QString error;
        m_recovery = RecoveryFile::create(QStringLiteral("log"),
                                          LogHeader::logger(intervalText, m_start, m_start.date(), loggedSlots()), &error);
        if (!m_recovery)
            m_p.prompts.message(QStringLiteral("The samples cannot be kept safe while they are taken (%1): "
                                               "they are only in memory until the log is saved.")
                                    .arg(error),
                                QString(), Prompts::Icon::Exclamation);
        // A negative interval reads as none: samples back to back. The schedule is kept in whole
        // milliseconds, the stopwatch's own unit, so it never drifts by rounding.
        const qint64 intervalMs = qMax<qint64>(0, std::llround(numtext::leadingNumber(intervalText) * 1000));
        qint64 nextMs = qint64(FirstSampleS * 1000);
        auto nowMs = [this] { return std::llround(m_p.timing.CurrentTime() * 1000); };
        int counter = 1;
        while (!stopped()) {
            // The wait lets window events through, so STOP, Save and Pause act at once.
            const qint64 now = nowMs();
            if (now < nextMs) {
                m_p.clock.wait(int(nextMs - now));
                continue;
            }
            nextMs += intervalMs;
            sample(counter);
            ++counter;
            if (counter >= CounterLimit)
                break;
            while (m_pause && !stopped()) {
                nextMs = nowMs() + qint64(PauseStepS * 1000);
                m_p.clock.wait(int(PauseStepS * 1000));
            }
        }
        m_p.timing.Finish();
    }
    finishRun();
}

bool DataLogger::waitForTrigger()
{
    // The wait can be ended: Save and QUIT set the stop flag, which the menu command left set.
    m_p.context.settings.logger_stop = false;
    m_waiting = true;
    bool triggered;
    if (combine == Combine::None)
        triggered = Single_Trigger();
    else if (trigger1.isSet())
        triggered = combinedTrigger();
    else
        triggered = !stopped();
    m_waiting = false;
    return triggered && !stopped();
}

std::optional<bool> DataLogger::holds(const LogTrigger &trigger)
{
    Decoders decoders(m_p.context);
    auto atLeast = [&](int pid) -> std::optional<bool> {
        Reading reading;
        {
            ScanToolLink::Bound bound(m_p.context.link);
            reading = decoders.read(pid);
        }
        // No good reply is no reading: it never starts a run.
        if (!valueAnswered(m_p, reading))
            return std::nullopt;
        return reading.value >= trigger.value;
    };
    switch (trigger.kind) {
    case LogTrigger::Kind::SystemTime:
        return m_p.clock.wallTime().time().minute() == trigger.value;
    case LogTrigger::Kind::Speed:
        return atLeast(0x0D);
    case LogTrigger::Kind::Rpm:
        return atLeast(0x0C);
    case LogTrigger::Kind::None:
        break;
    }
    return true;
}

bool DataLogger::Single_Trigger()
{
    if (!trigger1.isSet())
        return true;
    while (!stopped()) {
        const std::optional<bool> met = holds(trigger1);
        if (met && *met)
            return true;
        // A request lets events through by itself; a clock look or a failed request waits a little.
        if (!met || trigger1.kind == LogTrigger::Kind::SystemTime)
            m_p.clock.wait(TriggerLookMs);
        else
            QCoreApplication::processEvents();
    }
    return false;
}

bool DataLogger::combinedTrigger()
{
    // An unset trigger 2 adds no condition: AND and OR then wait for trigger 1 alone.
    while (!stopped()) {
        const std::optional<bool> first = holds(trigger1);
        bool met = first.value_or(false);
        bool unreadable = !first;
        if (trigger2.isSet() && (combine == Combine::And ? met : !met)) {
            const std::optional<bool> second = holds(trigger2);
            met = second.value_or(false);
            unreadable = unreadable || !second;
        }
        if (met)
            return true;
        // The minute is looked at ten times a second; the car's values as fast as it answers.
        const bool onTime = trigger1.kind == LogTrigger::Kind::SystemTime || trigger2.kind == LogTrigger::Kind::SystemTime;
        if (unreadable || onTime)
            m_p.clock.wait(TriggerLookMs);
        else
            QCoreApplication::processEvents();
    }
    return false;
}

void DataLogger::sample(int counter)
{
    QList<std::optional<double>> values;
    for (int i = 0; i < count; ++i) {
        const int pid = m_pidOfSlot[size_t(i)];
        const Reading reading = get_ecu_data(pid);
        const bool supported = displayRowOf(pid) != nullptr;
        // An unsupported slot is logged as 0; a parameter without a good reply has no number, and
        // its field stays empty rather than showing a 0 that was never measured.
        if (!supported)
            values << 0.0;
        else if (reading.valid)
            values << reading.value;
        else
            values << std::nullopt;
        displayValue[size_t(i)] = reading.text + QLatin1Char(' ') + m_p.context.pids.record.PID_units;
    }
    const double elapsed = m_p.timing.CurrentTime();
    m_samples.append(elapsed, values);
    if (m_recovery)
        m_recovery->append(logfile::row(values, elapsed), m_p.clock.tickMs());
    emit changed();
    if (afterSample)
        afterSample(counter);
}

void DataLogger::finishRun()
{
    setStatus(QStringLiteral("STOPPED"));
    m_savedTo.clear();
    beginEnabled = false;
    beginCaption = QStringLiteral("Recording");
    emit changed();
    if (m_samples.rowCount() > 0) {
        const QByteArray content = LogHeader::logger(intervalText, m_start, m_p.clock.wallTime().date(), loggedSlots()).bytes()
            + logfile::rows(m_samples, true);
        m_savedTo = logfile::save(m_p.prompts, QStringLiteral("Save Data Log"), QStringLiteral("quenta.log"), content,
                                  m_recovery);
    } else if (m_recovery) {
        m_recovery->remove();
    }
    m_recovery.reset();
    beginEnabled = true;
    beginCaption = QStringLiteral("Begin Log");
    m_running = false;
    if (m_saveFlag) {
        m_saveFlag = false;
        emit changed();
    } else {
        emit changed();
        if (saveSettings)
            saveSettings();
        emit hideRequested();
        emit showMainRequested();
    }
}

void DataLogger::Command2_Click()
{
    if (pauseCaption == QLatin1String("Pause")) {
        m_pause = true;
        pauseCaption = QStringLiteral("RESTART");
    } else {
        pauseCaption = QStringLiteral("Pause");
        m_pause = false;
    }
    emit changed();
    m_p.clock.wake();
}

void DataLogger::Command3_Click()
{
    QCoreApplication::processEvents();
    listsEnabled = true;
    pauseCaption = QStringLiteral("Pause");
    beginEnabled = true;
    pauseEnabled = saveEnabled = false;
    m_pause = false;
    m_p.context.settings.logger_stop = true;
    m_saveFlag = true;
    emit changed();
    m_p.clock.wake();
}

void DataLogger::Cancel_Click()
{
    QCoreApplication::processEvents();
    m_p.context.settings.logger_stop = true;
    listsEnabled = true;
    emit changed();
    m_p.clock.wake();
    emit hideRequested();
    emit showMainRequested();
}

} // namespace quenta
