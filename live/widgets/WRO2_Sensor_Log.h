#pragma once
// The wideband O2 / tachometer window: lambda, air/fuel ratio and engine speed, Start, Stop and
// EXIT. Made afresh at each opening; it goes away when EXIT or the end of a run closes it.
#include "live/LiveParts.h"
#include "live/WidebandMeter.h"

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace quenta {


class WRO2_Sensor_Log : public QWidget {
    Q_OBJECT
public:
    static inline const QString Caption = QStringLiteral("Wide Band O2 Sensor Lambda Meter");
    static inline const QString Heading = QStringLiteral("Lambda / Tachometer with Data Log");

    explicit WRO2_Sensor_Log(const LiveParts &parts, QWidget *parent = nullptr);

    WidebandMeter &meter() { return m_meter; }

    QLabel *heading = nullptr;
    QLineEdit *Display1_name = nullptr;
    QLineEdit *Display1_value = nullptr;
    QLineEdit *Display2_name = nullptr;
    QLineEdit *Display2_value = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Cancel = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

signals:
    // The main window is to come to the front.
    void showMainRequested();

private:
    void showState();
    // Closes the window, once no run is going on inside its Start button.
    void closeWhenIdle();

    WidebandMeter m_meter;
    bool m_closing = false;
};

} // namespace quenta
