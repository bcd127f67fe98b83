// The desktop's file-name question: the filter the program gives as description|pattern pairs,
// as the file dialog shows it, and the dialog the question opens.
#include "platform/widgets/QtPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace quenta;

class tst_prompts : public QObject {
    Q_OBJECT
private slots:
    void dialogNameFilters_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("shown");
        QTest::newRow("description naming its pattern") << "PDF files (*.pdf)|*.pdf" << "PDF files (*.pdf)";
        QTest::newRow("log files and all files")
            << "OBD-II log files (*.log)|*.log|All files|*.*" << "OBD-II log files (*.log);;All files (*)";
        QTest::newRow("several patterns") << "Logs|*.log;*.txt" << "Logs (*.log *.txt)";
        QTest::newRow("already the dialog's form") << "PDF files (*.pdf)" << "PDF files (*.pdf)";
        QTest::newRow("none") << "" << "";
    }
    void dialogNameFilters()
    {
        QFETCH(QString, filter);
        QFETCH(QString, shown);
        QCOMPARE(quenta::dialogNameFilters(filter), shown);
    }

    void fileDialog_data()
    {
        QTest::addColumn<bool>("accept");
        QTest::newRow("a file chosen") << true;
        QTest::newRow("cancelled") << false;
    }
    void fileDialog()
    {
        QFETCH(bool, accept);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString chosen = dir.filePath(QStringLiteral("run.log"));
        QString title;
        QStringList filters;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            if (accept) {
                dialog->selectFile(chosen);
                QMetaObject::invokeMethod(dialog, "accept");
            } else {
                dialog->reject();
            }
        });
        QtPrompts prompts;
        const QString answer = prompts.askSaveFileName(QStringLiteral("Save the log"),
                                                       QStringLiteral("OBD-II log files (*.log)|*.log|All files|*.*"),
                                                       dir.filePath(QStringLiteral("suggested.log")));
        QCOMPARE(title, QStringLiteral("Save the log"));
        QCOMPARE(filters, (QStringList{"OBD-II log files (*.log)", "All files (*)"}));
        QCOMPARE(answer, accept ? chosen : QString());
    }
};

QTEST_MAIN(tst_prompts)
#include "tst_prompts.moc"
