#pragma once
// The fuel trim monitor: short- and long-term trims of both banks, asked again and again until
// EXIT. A row shows only when the last walk met its PID. The frmFuel_Trim window and
// `quenta-cli trims` both run it.
#include "live/LiveParts.h"
#include "live/Samples.h"
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace quenta {


class FuelTrimMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr int Rows = 4;
    static inline const QString Heading = QStringLiteral("Fuel Trim Monitor Window");

    explicit FuelTrimMonitor(const LiveParts &parts, QObject *parent = nullptr);

    // Runs until the stop flag is set (EXIT) or the tool is gone; `passes` > 0 ends it after
    // that many passes instead (the CLI).
    void fuel_trim_monitor(int passes = 0);
    bool running() const { return m_running; }

    // EXIT (Command1) and the hidden option button (Option1).
    void Command1_Click();
    void Option1_Click() { m_stop = true; }
    bool stopFlag() const { return m_stop; }

    // The texts of Label1 to Label4 (empty until a run writes them).
    QStringList labels() const { return m_labels; }
    // The trims of every pass that asked something, in percent, one column per row (empty where
    // the row is not supported or had no good reply).
    const Samples &samples() const { return m_samples; }

    // The trim of data byte A: the whole part of A / 128 * 100, minus 100.
    static int trimPercent(int a);

    // Called after every pass.
    std::function<void()> afterPass;

signals:
    void labelsChanged();
    // The window is to repaint now (the monitor starts), and to hide (it ended).
    void repaintRequested();
    void hideRequested();
    void optionChosen();

private:
    void idlePass();

    LiveParts m_p;
    bool m_stop = false;
    bool m_running = false;
    QStringList m_labels{QString(), QString(), QString(), QString()};
    Samples m_samples;
};

} // namespace quenta
