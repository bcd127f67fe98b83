// The line a user who may not open a serial device gets: the reason and the fix follow from the
// device's group and mode and from the user's groups, in the database and in this session.
#include "platform/PortAccess.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quenta;

class tst_port_access : public QObject {
    Q_OBJECT
private slots:
    void advice()
    {
        const QString said = QStringLiteral("no permission to open /dev/ttyUSB0: ");
        const QString join = said + "user alice is not in the group dialout; add it with \"sudo adduser alice dialout\", then log out and log in again";
        const QString relogin = said + "user alice is in the group dialout, but this login session began before it was added; log out and log in again";
        const QString modeOnly = said + "its permissions (crw-------, owner root, group dialout) do not let user alice read and write it";
        // groupMayUse, listedInGroup, sessionHasGroup: membership cannot help when the group may not use the device, or is held already.
        const QList<std::tuple<bool, bool, bool, QString>> rows{{true, false, false, join},     {true, true, false, relogin},
                                                                {false, false, false, modeOnly}, {false, true, true, modeOnly},
                                                                {true, true, true, modeOnly}};
        for (const auto &[groupMayUse, listed, session, advice] : rows)
            QCOMPARE(permissionAdvice({"/dev/ttyUSB0", "alice", "root", "dialout", "crw-------", groupMayUse, listed, session}), advice);
    }

    // The facts read from a real file: its mode as ls shows it, and the groups of this process.
    void facts()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ttyTEST"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
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

QTEST_GUILESS_MAIN(tst_port_access)
#include "tst_port_access.moc"
