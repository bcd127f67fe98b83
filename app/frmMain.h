#pragma once
// The main window: the control panel, the link indicator, the vehicle data window, the status
// window and the menu bar. It shows the program's models and forwards clicks; the work is done in
// the core.
#include "app/StatusColouring.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <functional>

class QAbstractButton;
class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QModelIndex;
class QPushButton;
class QTextEdit;

namespace quenta {

class Program;
class PrintTarget;
class ScanToolArt;
class frmUserCOM;
class Chart;
class frmFuel_Trim;
class DataLogMV;
class WRO2_Sensor_Log;
class frmMode5;
class frmMode6;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    static inline const QString Caption =
        QStringLiteral("Velmor  Version 1.00 ------------------------------ Quenta OBD-II Scan Tool Diagnostics");

    frmMain(Program &program, PrintTarget &printer, QWidget *parent = nullptr);
    ~frmMain() override;

    // Shows the window, starts the program (defaults, definitions, COM probe), then fills the
    // status window's keyword tables.
    void startUp();

    // How the program ends; QCoreApplication::exit unless replaced (tests record the call).
    void setExitFunction(std::function<void(int)> exitFunction) { m_exit = std::move(exitFunction); }

    // The COM5-COM9 picker; null until "COM 5 thru 9" first needs it.
    frmUserCOM *portPicker() const { return m_picker; }
    // The O2 sensor test and mode 6 test windows; null until first opened (the O2 one again
    // after "EXIT" closed it).
    frmMode5 *o2SensorTest() const;
    frmMode6 *mode6Tests() const { return m_mode6; }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    QPushButton *addButton(const QString &name, const QString &caption, bool latching, QWidget *parent);

    // Gives a control its name and lets the controls model reach it under that name; the kind of
    // control decides what its caption is.
    void bind(QAbstractButton *button, const QString &name);
    void bind(QLabel *label, const QString &name);
    void bind(QGroupBox *frame, const QString &name);
    void bind(QLineEdit *edit, const QString &name);
    void bind(QWidget *widget, const QString &name); // a control without a caption
    QAction *bind(QAction *action, const QString &name);

    // Model to window.
    void applyControl(const QString &name);
    void showIndicator();
    void showStatusText();
    void showDataColour();
    void showLinkInfo();

    // Handlers.
    void latch(const QString &button, const std::function<void()> &handler);
    void onChangeECU();
    void onPrint();
    void onExit();
    void onDebugMode();
    void showLegend();
    void showPortPicker();

    // Secondary windows (some arrive with later work).
    void openO2SensorTest();
    void openMultiView();
    void openMode6Tests();
    void openFuelTrimMonitor();
    void openWidebandDisplay();
    void openRealTimeDisplay(const QModelIndex &line);

    Program &m_program;
    PrintTarget &m_printer;
    std::function<void(int)> m_exit;
    bool m_exiting = false;

    // How the controls model reaches one named control.
    struct Bound {
        QWidget *widget = nullptr;
        QAction *action = nullptr;
        QAbstractButton *button = nullptr; // a two-state button shows the pressed state
        std::function<void(const QString &)> setCaption;
    };
    QHash<QString, Bound> m_bound;

    // The controls, under their names.
    QGroupBox *Frame1 = nullptr;
    QPushButton *Mode1 = nullptr;
    QPushButton *Mode2 = nullptr;
    QPushButton *Mode3 = nullptr;
    QPushButton *Mode4 = nullptr;
    QPushButton *Mode5 = nullptr;
    QPushButton *ChangeECU = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command1 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label5 = nullptr;
    QListView *List1 = nullptr;
    QLabel *Label2 = nullptr;
    QTextEdit *textECU = nullptr;
    QListWidget *List2 = nullptr;
    ScanToolArt *Picture1 = nullptr;
    QLabel *Label4 = nullptr;

    // The menu items, under their names.
    QAction *mnuDataLog = nullptr;
    QAction *mnuCom = nullptr;
    QAction *mnuUSB = nullptr;
    QAction *mnuConnectionCom1 = nullptr;
    QAction *mnuConnectionCom2 = nullptr;
    QAction *mnuConnectionCom3 = nullptr;
    QAction *mnuConnectionCom4 = nullptr;
    QAction *mnuConnectionComX = nullptr;
    QAction *mnuAdapter = nullptr;
    QAction *mnu9600 = nullptr;
    QAction *mnu19200 = nullptr;
    QAction *mnuMode6 = nullptr;
    QAction *mnuOpt = nullptr;
    QAction *mnuFTM = nullptr;
    QAction *mnuWBO2 = nullptr;
    QAction *mnuUnits = nullptr;
    QAction *mnuUnitsEnglish = nullptr;
    QAction *mnuUnitsMetric = nullptr;
    QAction *mnuDebugMode = nullptr;

    frmUserCOM *m_picker = nullptr;
    QPointer<Chart> m_chart;
    frmFuel_Trim *m_fuelTrim = nullptr;
    DataLogMV *m_logger = nullptr;
    QPointer<WRO2_Sensor_Log> m_wideband;
    QPointer<frmMode5> m_mode5;
    frmMode6 *m_mode6 = nullptr;
    StatusColouring m_colouring;
    TabKeeper *m_tabKeeper = nullptr;
};

} // namespace quenta
