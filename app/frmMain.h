#pragma once
// The main window: the control panel, the link indicator, the vehicle data window, the status
// window and the menu bar. It shows the program's models and forwards clicks; the work is done in
// the core.
#include "app/StatusColouring.h"

#include <QHash>
#include <QMainWindow>
#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QModelIndex;
class QTextEdit;

namespace quenta {

class Program;
class PrintTarget;
class frmUserCOM;

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

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    void addWidget(QWidget *widget, const QString &name);
    QAction *addAction(QAction *action, const QString &name);

    // Model to window.
    void applyControl(const QString &name);
    void showIndicator();
    void showStatusText();
    void showDataColour();

    // Handlers.
    void latch(const QString &button, void (*handler)(Program &));
    void onChangeECU();
    void onPrint();
    void onExit();
    void onDebugMode();
    void showLegend();
    void showPortPicker();

    // Windows that arrive with later work.
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

    QHash<QString, QWidget *> m_widgets;
    QHash<QString, QAction *> m_actions;
    QLabel *m_label1 = nullptr;
    QLineEdit *m_text1 = nullptr;
    QListView *m_list1 = nullptr;
    QListWidget *m_list2 = nullptr;
    QTextEdit *m_textECU = nullptr;
    frmUserCOM *m_picker = nullptr;

    StatusColouring m_colouring;
    TabKeeper *m_tabKeeper = nullptr;
};

} // namespace quenta
