// The ECU number and the firmware identity: the model the connection and the current-data request
// write, its captions, and the main window's Label6 and Label7 that show it.
#include "NoPrinter.h"
#include "SimRig.h"

#include "app/frmMain.h"
#include "core/ControlNames.h"
#include "platform/widgets/Printer.h"

#include <QLabel>
#include <QSignalSpy>
#include <QtTest>

using namespace quenta;

namespace {
} // namespace

class TstLinkInfo : public QObject {
    Q_OBJECT

private slots:
    void unknownUntilRead()
    {
        LinkInfo info;
        QVERIFY(!info.hasEcuNumber());
        QVERIFY(!info.hasFirmware());
        QCOMPARE(info.ecuCaption(), QString());
        QCOMPARE(info.firmwareCaption(), QString());
    }

    void captions()
    {
        LinkInfo info;
        QSignalSpy changed(&info, &LinkInfo::changed);
        info.setEcuNumber(QStringLiteral("10"));
        info.setFirmware(QStringLiteral("S3.40"));
        QCOMPARE(info.ecuNumber(), QStringLiteral("10"));
        QCOMPARE(info.firmware(), QStringLiteral("S3.40"));
        QCOMPARE(info.ecuCaption(), QStringLiteral("ECU #=10\r\n"));
        QCOMPARE(info.firmwareCaption(), QStringLiteral("F/W: S3.40"));
        QCOMPARE(changed.count(), 2);
        info.setEcuNumber(QStringLiteral("10"));
        QCOMPARE(changed.count(), 2);
        // A reply too short to hold the number still names it, as an empty one.
        info.setEcuNumber(QString());
        QVERIFY(info.hasEcuNumber());
        QCOMPARE(info.ecuCaption(), QStringLiteral("ECU #=\r\n"));
        QCOMPARE(changed.count(), 3);
    }

    void labelsShowIt()
    {
        SimRig rig;
        NoPrinter printer;
        frmMain window(*rig.program, printer);
        auto *label6 = window.findChild<QLabel *>(names::Label6);
        auto *label7 = window.findChild<QLabel *>(names::Label7);
        QVERIFY(label6 && label7);
        rig.program->linkInfo.setFirmware(QStringLiteral("S4.00"));
        QCOMPARE(label7->text(), QStringLiteral("F/W: S4.00"));
        QCOMPARE(label6->text(), QString());
        QVERIFY(!rig.program->controls.state(names::Label6).hasCaption);
        rig.program->linkInfo.setEcuNumber(QStringLiteral("18"));
        QCOMPARE(label6->text(), QStringLiteral("ECU #=18\r\n"));
        QCOMPARE(rig.program->controls.caption(names::Label6), QStringLiteral("ECU #=18\r\n"));
        QCOMPARE(rig.program->controls.caption(names::Label7), QStringLiteral("F/W: S4.00"));
    }

    void connectionWritesIt()
    {
        SimRig rig;
        rig.program->startUp();
        rig.connect();
        const LinkInfo &info = rig.program->linkInfo;
        QCOMPARE(info.firmware(), QStringLiteral("S3.40"));
        QCOMPARE(info.ecuNumber(), QStringLiteral("10"));
    }
};

QTEST_MAIN(TstLinkInfo)
#include "tst_link_info.moc"
