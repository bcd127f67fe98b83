#pragma once
// The on-board monitoring test window: the entries, "Get Test Results", the scan for supported
// tests, the result boxes, and the help behind the labels and the menu.
#include "services/Mode6Monitor.h"

#include <QHash>
#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace quenta {

class frmMode6 : public QWidget {
    Q_OBJECT
public:
    static inline const QString Caption = QStringLiteral("SAE-J1979 Service $06 ");
    static inline const QString Heading =
        QStringLiteral("Mode 6: Request On-Board Monitoring Test Results for Non-Continuously Monitored Systems");

    frmMode6(ScanToolLink &link, Mode6State &state, Prompts &prompts, QWidget *parent = nullptr);

    Mode6Monitor &tests() { return m_tests; }
    QLineEdit *field(const QString &name) const { return m_fields.value(name); }
    QLabel *labelBox(const QString &name) const { return m_labels.value(name); }

    // The help behind a label box or the menu, by the control's name.
    void showHelp(const QString &name);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void takeEntries();
    void showFields();
    void getTestResults();
    void scan();

    Prompts &m_prompts;
    Mode6Monitor m_tests;
    QHash<QString, QLineEdit *> m_fields;
    QHash<QString, QLabel *> m_labels;
    QListWidget *List1 = nullptr;
    bool m_running = false;
};

} // namespace quenta
