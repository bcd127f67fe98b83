#pragma once
// The MultiView data logger without its window: up to six parameters sampled at an interval,
// after an optional trigger, into the sample model; at the end the log file, and all the while a
// recovery file so that nothing recorded is lost. The DataLogMV window and `quenta-cli log` run it.
#include "live/LiveParts.h"
#include "live/LogFile.h"
#include "live/Samples.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>

namespace quenta {


struct LogTrigger {
    enum class Kind { None, SystemTime, Speed, Rpm };
    Kind kind = Kind::None;
    int value = 0;
    bool isSet() const { return kind != Kind::None; }
};

class DataLogger : public QObject {
    Q_OBJECT
public:
    static constexpr int Slots = 6;
    // The sample counter starts at 1 and the run ends when it reaches this: at most 17998 samples.
    static constexpr int CounterLimit = 17999;
    static constexpr double FirstSampleS = 0.1;
    static inline const QString NoDataSelected = QStringLiteral("No Data Selected");

    enum class Combine { None, And, Or };

    // Asking for a trigger value: the prompt, and the check of what was entered (0 to the
    // maximum; the refusal message otherwise).
    static QString triggerPrompt(LogTrigger::Kind kind);
    static std::optional<int> triggerValue(LogTrigger::Kind kind, const QString &entered, QString *refusal);
    static inline const QString HelpText = QStringLiteral(
        "Select number of items to log, 2,4,5 or 6.  Default is 4.  Trigger is optional. If Sample time too small "
        "the log will be as fast as the vehicle will allow");

    explicit DataLogger(const LiveParts &parts, QObject *parent = nullptr);
    ~DataLogger() override;

    // What the window's controls set.
    int count = 4;                              // parameters logged: 2 to 6
    std::array<int, Slots> selection{};         // item index chosen in each slot's list
    std::array<QString, Slots> slotText;        // each slot's list text (its label with dashes)
    QString intervalText = QStringLiteral("0.100");
    LogTrigger trigger1, trigger2;
    Combine combine = Combine::None;
    // Run the window's Settings.dat save at the end of a run that was not ended by Save.
    std::function<void()> saveSettings;

    // The run ("Begin Log"), from the trigger wait to the file.
    void Command1_Click();
    // Pause / RESTART.
    void Command2_Click();
    // Save: ends the run, keeps the window.
    void Command3_Click();
    // QUIT: ends the run, hides the window.
    void Cancel_Click();

    // The window's state, for the window to show.
    QString status;                   // Label7
    std::array<QString, Slots> displayName, displayValue;
    bool beginEnabled = true, pauseEnabled = false, saveEnabled = false, listsEnabled = true;
    QString beginCaption = QStringLiteral("Begin Log");
    QString pauseCaption = QStringLiteral("Pause");
    bool running() const { return m_running; }
    bool paused() const { return m_pause; }

    // The samples of the last run: one column per slot in use, time = elapsed seconds.
    const Samples &samples() const { return m_samples; }
    QDateTime startTime() const { return m_start; }
    // Where the samples of the running (or last unsaved) run are kept.
    QString recoveryPath() const { return m_recovery ? m_recovery->path() : QString(); }

    // The file the last run was saved to; empty when it was not saved.
    QString savedTo() const { return m_savedTo; }

    // Called after every sample (the CLI stops after N).
    std::function<void(int samples)> afterSample;

    // The reading of one parameter, by PID: no value for a PID the logger does not show (the run
    // says "No Data Selected" once before it starts); not valid, and no text, when the request
    // brought no good reply.
    Reading get_ecu_data(int pid);

signals:
    void changed();
    void hideRequested();
    void showMainRequested();

private:
    bool stopped() const;
    // The list texts of the slots in use.
    QStringList loggedSlots() const;
    void setStatus(const QString &text);
    // Waits for the start condition; false when the run was ended meanwhile.
    bool waitForTrigger();
    bool Single_Trigger();
    bool combinedTrigger();
    // One look at a trigger's condition; nothing when it could not be read (no good reply).
    std::optional<bool> holds(const LogTrigger &trigger);
    void sample(int counter);
    void finishRun();

    LiveParts m_p;
    Samples m_samples;
    std::unique_ptr<RecoveryFile> m_recovery;
    QDateTime m_start;
    QString m_savedTo;
    bool m_pause = false;
    bool m_saveFlag = false;
    bool m_running = false;
    bool m_waiting = false;
    std::array<int, Slots> m_pidOfSlot{};
};

} // namespace quenta
