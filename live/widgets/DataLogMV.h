#pragma once
// The MultiView data logger window: six parameter lists, the count, the interval, two triggers,
// six displays, and Begin Log, Pause, Save and QUIT (also the keys B, P, S and Q). Created once,
// then hidden and shown; the run itself is the DataLogger's.
#include "live/LiveParts.h"
#include "live/DataLogger.h"

#include <QWidget>
#include <array>

class QComboBox;
class QEventLoop;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QRadioButton;

namespace quenta {


class DataLogMV : public QWidget {
    Q_OBJECT
public:
    static inline const QString Caption = QStringLiteral("Quenta Data Logger");

    DataLogMV(const LiveParts &parts, LoggerParameters &parameters, QWidget *parent = nullptr);
    ~DataLogMV() override;

    DataLogger &logger() { return m_logger; }
    // The restore-settings switch: when on as the window loads, Settings.dat is read back.
    void setRestoreSettings() { m_restore = true; }
    void clearRestoreSettings() { m_restore = false; }

    std::array<QComboBox *, DataLogger::Slots> cboRTD{};
    std::array<QRadioButton *, 5> Option{}; // Option1 .. Option5
    QLineEdit *Text2 = nullptr;
    QComboBox *Combo1 = nullptr;
    QComboBox *Combo2 = nullptr;
    QComboBox *Combo3 = nullptr;
    QLineEdit *txtTRIG1 = nullptr;
    QLineEdit *txtTRIG2 = nullptr;
    QLabel *lblTRIG = nullptr;
    QLineEdit *txtTRIG = nullptr;
    QPushButton *cmdTRIG = nullptr;
    QLineEdit *Text1 = nullptr;
    QGroupBox *Triggering = nullptr;
    std::array<QGroupBox *, DataLogger::Slots> displayFrame{};
    std::array<QLineEdit *, DataLogger::Slots> displayName{};  // Display1_name ..
    std::array<QLineEdit *, DataLogger::Slots> displayValue{}; // Display1_value ..
    QLabel *Label7 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    QPushButton *Cancel = nullptr;
    QLineEdit *Text3 = nullptr;
    QMenuBar *menu = nullptr;

    void cboRTD_Click(int slot);
    void Option_Click(int option);
    void Combo_Click(int trigger); // 1 or 2
    void Combo3_Click();
    void cmdTRIG_Click();
    void mnuHelp_Click();
    // Waits (window events going on) for ENTER and returns the accepted value; nothing when the
    // window was closed meanwhile.
    std::optional<int> askTriggerValue(LogTrigger::Kind kind);

protected:
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // The main window is to come to the front.
    void showMainRequested();

private:
    void Form_Load();
    void showState();
    void setTriggerEntryVisible(bool on);
    void paintList(QComboBox *list, const QColor &colour);

    Prompts &m_prompts;
    DataLogger m_logger;
    bool m_restore = false;
    bool m_enterFlag = false;
    QEventLoop *m_entryLoop = nullptr;
};

} // namespace quenta
