#pragma once
// The O2 sensor test window: the present sensors, "Get Test Results", the result and limit boxes
// of tests 01 to 09, and the menus that open the picture windows.
#include "pids/PidContext.h"
#include "platform/Prompts.h"
#include "services/O2Monitor.h"
#include "services/widgets/O2Pictures.h"

#include <QHash>
#include <QPointer>
#include <QWidget>

class QLineEdit;
class QListWidget;
class QPushButton;
class QMenuBar;

namespace quenta {

class frmMode5 : public QWidget {
    Q_OBJECT
public:
    static inline const QString Caption = QStringLiteral("O2 Sensor Test");

    frmMode5(PidContext &context, Prompts &prompts, QWidget *parent = nullptr);

    // The window's load: fills the sensor list. False when the results are not available (the
    // message was shown); the window is then not to be shown.
    bool load();

    O2Monitor &tests() { return m_tests; }
    QLineEdit *box(const QString &name) const { return m_boxes.value(name); }
    // The picture window of that kind, opened (created on first use).
    O2Picture *openPicture(O2Picture::Kind kind);
    O2Picture *picture(O2Picture::Kind kind) const { return m_pictures.value(int(kind)); }

protected:
    // "EXIT" or the window's close button: the window goes away, but not under a run in progress.
    void closeEvent(QCloseEvent *event) override;

private:
    void showBox(const QString &name);
    void getTestResults();

    O2Monitor m_tests;
    QList<O2Monitor::Sensor> m_sensors;
    QListWidget *List1 = nullptr;
    QPushButton *cmdGetResults = nullptr;
    QPushButton *cmdExit = nullptr;
    QHash<QString, QLineEdit *> m_boxes;
    QHash<int, QPointer<O2Picture>> m_pictures;
    bool m_running = false;
    bool m_closePending = false;
};

} // namespace quenta
