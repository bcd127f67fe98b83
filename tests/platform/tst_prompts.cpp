// The desktop's file-name question: the program's description|pattern filter as the file dialog
// shows it, and the dialog the question opens, chosen from or cancelled.
#include "platform/widgets/QtPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QtTest>

using namespace quenta;

class tst_prompts : public QObject {
    Q_OBJECT
private slots:
    void dialogNameFilters()
    {
        for (const auto &[filter, shown] : QList<std::pair<QString, QString>>{{"PDF files (*.pdf)|*.pdf", "PDF files (*.pdf)"},
                                                                             {"Logs|*.log;*.txt", "Logs (*.log *.txt)"},
                                                                             {"PDF files (*.pdf)", "PDF files (*.pdf)"}, // the dialog's form
                                                                             {"", ""}})
            QCOMPARE(quenta::dialogNameFilters(filter), shown);
    }

    void fileDialog()
    {
        QTemporaryDir dir;
        const QString chosen = dir.filePath(QStringLiteral("run.log"));
        for (const bool accept : {true, false}) {
            QString title;
            QStringList filters;
            QTimer::singleShot(0, this, [&] { // runs once the dialog is up
                auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                title = dialog->windowTitle();
                filters = dialog->nameFilters();
                if (accept)
                    dialog->selectFile(chosen);
                QMetaObject::invokeMethod(dialog, accept ? "accept" : "reject");
            });
            QCOMPARE(QtPrompts().askSaveFileName(QStringLiteral("Save the log"), QStringLiteral("OBD-II log files (*.log)|*.log|All files|*.*"),
                                                 dir.filePath(QStringLiteral("suggested.log"))),
                     accept ? chosen : QString());
            QCOMPARE(title, QStringLiteral("Save the log"));
            QCOMPARE(filters, (QStringList{"OBD-II log files (*.log)", "All files (*)"}));
        }
    }
};

QTEST_MAIN(tst_prompts)
#include "tst_prompts.moc"
