// What the platform asks and tells the user: the file-name question (the program's filter as the dialog shows it),
// and the line for a user who may not open a serial device, from its group and mode and the user's groups.
#include "platform/PortAccess.h"
#include "platform/widgets/QtPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QtTest>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quenta;

class tst_platform_user : public QObject {
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

    void portAdvice()
    {
        const QString said = QStringLiteral("no permission to open /dev/ttyUSB0: ");
        const QString join = said + "user alice is not in the group dialout; add it with \"sudo adduser alice dialout\", then log out and log in again";
        const QString relogin = said + "user alice is in the group dialout, but this login session began before it was added; log out and log in again";
        const QString modeOnly = said + "its permissions (crw-------, owner root, group dialout) do not let user alice read and write it";
        // groupMayUse, listedInGroup, sessionHasGroup: membership cannot help when the group may not use the device, or is held already.
        for (const auto &[groupMayUse, listed, session, advice] : QList<std::tuple<bool, bool, bool, QString>>{
                 {true, false, false, join}, {true, true, false, relogin}, {false, false, false, modeOnly}, {false, true, true, modeOnly}, {true, true, true, modeOnly}})
            QCOMPARE(permissionAdvice({"/dev/ttyUSB0", "alice", "root", "dialout", "crw-------", groupMayUse, listed, session}), advice);
    }

    // The facts read from a real file: its mode as ls shows it, and the groups of this process.
    void portFacts()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ttyTEST"));
        QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        const group *g = ::getgrgid(::getegid());
        const QString ownGroup = g ? QString::fromLocal8Bit(g->gr_name) : QString::number(::getegid());
        for (const auto &[mode, shown, groupMayUse] : QList<std::tuple<int, QString, bool>>{
                 {0660, "-rw-rw----", true}, {0600, "-rw-------", false}, {0640, "-rw-r-----", false}, {0777, "-rwxrwxrwx", true}}) {
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
            const std::optional<DeviceAccess> a = deviceAccess(path);
            QVERIFY(a);
            QCOMPARE(std::tuple(a->device, a->mode, a->groupMayUse, a->group), std::tuple(path, shown, groupMayUse, ownGroup));
            QVERIFY(a->sessionHasGroup); // a file this process made has its group
        }
        QVERIFY(!deviceAccess(QStringLiteral("/nonexistent/ttyUSB9")));
    }
};

QTEST_MAIN(tst_platform_user)
#include "tst_platform_user.moc"
