#pragma once
// The Chart window of the real-time display: the strip chart, the value and its name, and the
// Freeze, STOP, Show/Hide Toolbar, Reset and Clear buttons. It owns the display it shows.
#include "live/LiveParts.h"
#include "live/RealTimeDisplay.h"
#include "live/StripChart.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quenta {

class StripChartView;

class Chart : public QWidget {
    Q_OBJECT
public:
    static inline const QString Caption =
        QStringLiteral("Quenta Real Time Graphic Display  -  Velmor diagnostic tools");

    // The strip chart runs on the parts' clock.
    explicit Chart(const LiveParts &parts, QWidget *parent = nullptr);

    RealTimeDisplay &display() { return m_display; }
    StripChart &strip() { return m_strip; }

    StripChartView *iStripChartX1 = nullptr;
    QLineEdit *txbValue = nullptr;
    QLabel *lblValText = nullptr;
    QPushButton *cmdFreeze = nullptr;
    QPushButton *Stop1 = nullptr;
    QPushButton *cmdShowHideToolbar = nullptr;
    QPushButton *cmdResetChart = nullptr;
    QPushButton *cmdClearData = nullptr;
    QRadioButton *optFlag = nullptr;

protected:
    // Closing the window from its title bar stops the display, as STOP does.
    void closeEvent(QCloseEvent *event) override;

private:
    StripChart m_strip;
    RealTimeDisplay m_display;
    bool m_closing = false;

public:
    // The display ended: the window closes for good.
    void unload();
};

} // namespace quenta
