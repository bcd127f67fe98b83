#pragma once
// The real-time display of one parameter: asks the ECU for it over and over, as fast as the tool
// answers, and shows each reading on the strip chart, in the value box and in the label, until
// the stop flag is set. The Chart window and `quenta-cli watch` both run it.
#include "live/LiveParts.h"
#include "live/ParameterDisplay.h"
#include "pids/Decoders.h"

#include <QObject>
#include <QString>
#include <functional>

namespace quenta {

class StripChart;

class RealTimeDisplay : public QObject {
    Q_OBJECT
public:
    static inline const QString NoDataSelected = QStringLiteral("No Data Selected");

    RealTimeDisplay(const LiveParts &parts, StripChart &chart, QObject *parent = nullptr);

    // Before the window shows: an empty trace, x restarted, the flag clear, the chart set up.
    void start();
    // Runs the display of `pid` (a PID_list entry) until the stop flag is set or the tool is gone.
    // A PID the display does not show: "No Data Selected", and false.
    bool run(int pid);

    // The stop flag (the hidden option button optFlag).
    bool stopFlag() const { return m_stop; }
    void setStopFlag(bool on);

    // The window's buttons.
    void Stop1_Click();
    void cmdFreeze_Click() { setStopFlag(!m_stop); }
    void cmdShowHideToolbar_Click();
    void cmdResetChart_Click();
    void cmdClearData_Click();

    void setup_chart();
    void plot_point();
    void show_wide_range_lambda();

    // What the value box (txbValue) and the label (lblValText) show.
    QString txbValue() const { return m_txbValue; }
    QString lblValText() const { return m_lblValText; }
    // The y of the last point plotted; nothing when the last pass had no good reply.
    std::optional<double> lastPoint() const { return m_lastPoint; }
    // The chart's x read for the last point (whole seconds since the restart).
    int lastX() const { return m_lastX; }

    // Called after every pass with its reading (the CLI prints it).
    std::function<void(const Reading &)> afterPass;

signals:
    void textsChanged();
    void stopFlagChanged(bool on);
    // STOP was pressed: the window hides while the request in progress finishes.
    void hideRequested();

private:
    LiveParts m_p;
    StripChart &m_chart;
    bool m_stop = false;
    const DisplayRow *m_row = nullptr;
    Reading m_reading;
    QString m_txbValue;
    QString m_lblValText;
    std::optional<double> m_lastPoint;
    int m_lastX = 0;
};

} // namespace quenta
