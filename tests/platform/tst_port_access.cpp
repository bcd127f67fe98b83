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
    void advice_data()
    {
        QTest::addColumn<bool>("groupMayUse");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<bool>("session");
        QTest::addColumn<QString>("advice");
        const QString join = QStringLiteral("no permission to open /dev/ttyUSB0: user alice is not in the group dialout; "
                                            "add it with \"sudo adduser alice dialout\", then log out and log in again");
        const QString relogin = QStringLiteral("no permission to open /dev/ttyUSB0: user alice is in the group dialout, "
                                               "but this login session began before it was added; log out and log in again");
        const QString modeOnly = QStringLiteral("no permission to open /dev/ttyUSB0: its permissions (crw-------, owner "
                                                "root, group dialout) do not let user alice read and write it");
        QTest::newRow("not a member") << true << false << false << join;
        QTest::newRow("added after login") << true << true << false << relogin;
        // Group membership cannot help when the group may not use the device, or is held already.
        QTest::newRow("group without access, not a member") << false << false << false << modeOnly;
        QTest::newRow("group without access, a member") << false << true << true << modeOnly;
        QTest::newRow("member in this session, refused all the same") << true << true << true << modeOnly;
    }
    void advice()
    {
        QFETCH(bool, groupMayUse);
        QFETCH(bool, listed);
        QFETCH(bool, session);
        QFETCH(QString, advice);
        DeviceAccess a;
        a.device = QStringLiteral("/dev/ttyUSB0");
        a.user = QStringLiteral("alice");
        a.owner = QStringLiteral("root");
        a.group = QStringLiteral("dialout");
        a.mode = QStringLiteral("crw-------");
        a.groupMayUse = groupMayUse;
        a.listedInGroup = listed;
        a.sessionHasGroup = session;
        QCOMPARE(permissionAdvice(a), advice);
    }

    // The facts read from a real file: its mode as ls shows it, and the groups of this process.
    void facts_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("groupMayUse");
        QTest::newRow("serial port") << 0660 << "-rw-rw----" << true;
        QTest::newRow("owner only") << 0600 << "-rw-------" << false;
        QTest::newRow("group may only read") << 0640 << "-rw-r-----" << false;
        QTest::newRow("everything") << 0777 << "-rwxrwxrwx" << true;
    }
    void facts()
    {
        QFETCH(int, mode);
        QFETCH(QString, shown);
        QFETCH(bool, groupMayUse);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ttyTEST"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
        const std::optional<DeviceAccess> a = deviceAccess(path);
        QVERIFY(a);
        QCOMPARE(a->device, path);
        QCOMPARE(a->mode, shown);
        QCOMPARE(a->groupMayUse, groupMayUse);
        // A file this process made has its group: the session carries it.
        const group *g = ::getgrgid(::getegid());
        QCOMPARE(a->group, g ? QString::fromLocal8Bit(g->gr_name) : QString::number(::getegid()));
        QVERIFY(a->sessionHasGroup);
    }

    void goneDevice()
    {
        QVERIFY(!deviceAccess(QStringLiteral("/nonexistent/ttyUSB9")));
    }
};

QTEST_GUILESS_MAIN(tst_port_access)
#include "tst_port_access.moc"
