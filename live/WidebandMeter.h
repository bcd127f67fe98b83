#pragma once
// The wideband O2 / tachometer meter: lambda, air/fuel ratio and engine speed ten times a second,
// every sample kept (and in a recovery file as it is taken), the log file at the end. The
// WRO2_Sensor_Log window and `quenta-cli wideband` run it.
#include "live/LiveParts.h"
#include "live/LogFile.h"
#include "live/Samples.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace quenta {


class WidebandMeter : public QObject {
    Q_OBJECT
public:
    // The sample counter starts at 0 and the run ends when it reaches this: at most 17999 samples.
    static constexpr int CounterLimit = 17999;
    static constexpr int PeriodMs = 100;
    static constexpr double CurrentSlope = 1.954929;    // air/fuel ratio per mA of sensor current
    static constexpr double CurrentOffset = 14.7304505; // the ratio at zero current
    static constexpr double LeanRatio = 14.731;         // above it the ratio comes from lambda, times this

    explicit WidebandMeter(const LiveParts &parts, QObject *parent = nullptr);
    ~WidebandMeter() override;

    // The air/fuel ratio from the sensor current (mA) and lambda.
    static double airFuelRatio(double currentMa, double lambda);

    void Command1_Click(); // Start
    void Command2_Click(); // Stop
    void Cancel_Click();   // EXIT

    // What the window shows.
    QString lambdaText;  // Display1_value
    QString ratioText;   // Display2_value
    QString rpmText;     // Text2
    QString status = QStringLiteral("Press Start To RUN"); // Label2
    bool startEnabled = true;
    bool running() const { return m_running; }

    // Samples: current (mA), lambda, ratio; time = the stopwatch's seconds.
    const Samples &samples() const { return m_samples; }
    QString savedTo() const { return m_savedTo; }
    std::function<void(int samples)> afterSample;

signals:
    void changed();
    // The run ended without Stop (EXIT or the sample limit): the window closes.
    void closeRequested();
    void showMainRequested();

private:
    void sample();
    void finishRun();

    LiveParts m_p;
    Samples m_samples;
    std::unique_ptr<RecoveryFile> m_recovery;
    QString m_savedTo;
    bool m_saveFlag = false;
    bool m_running = false;
};

} // namespace quenta
