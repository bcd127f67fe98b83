#pragma once
// The fuel trim monitor window: the heading, a row per trim and EXIT. Created once, then only
// hidden and shown again.
#include "live/LiveParts.h"
#include "live/FuelTrimMonitor.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QRadioButton;

namespace quenta {


class frmFuel_Trim : public QWidget {
    Q_OBJECT
public:
    explicit frmFuel_Trim(const LiveParts &parts, QWidget *parent = nullptr);

    FuelTrimMonitor &monitor() { return m_monitor; }

    QLabel *Label5 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QPushButton *Command1 = nullptr;
    QRadioButton *Option1 = nullptr;

protected:
    // Closing from the title bar ends the monitor as EXIT does.
    void closeEvent(QCloseEvent *event) override;

private:
    FuelTrimMonitor m_monitor;
};

} // namespace quenta
