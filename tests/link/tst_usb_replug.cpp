// The USB scan tool through the real libusb against an emulated device, going away: attach, a
// second tool refused, detach and attach again, a transfer that hangs, a tool pulled out.
#include "OperationRig.h"
#include "UsbRig.h"

#include <QtTest>

using namespace quenta;

namespace {

const QString Refused = QStringLiteral("DeviceAttach: Received another attach - control is rejected\r\n"
                                       "because only one device control is supported");
const QString FoundAgain = QStringLiteral("\r\nScan tool found again on USB 1234:5678: connected again\r\n");
const QStringList PortError{QStringLiteral("Communication Error Reading Scan Tool Data")};

// Connected over USB to the steady car.
struct Connected : UsbRig {
    QString path;
    Connected() : UsbRig(operationsCar(2))
    {
        path = plug();
        startUpAlone(*program);
        program->connection.returnWatchMs = 50;
        connect();
        // The end of the listing's last reply may still be on its way: it is read first.
        waitFor([this] { program->link.OBDinput(); return program->link.OBDinbuffercount() == 0; });
    }
};

} // namespace

class tst_usb_replug : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!sim::EmulatedUsbTool::available())
            QFAIL("run under umockdev-wrapper: the emulated USB device needs its preload");
    }

    // Attach, a second tool refused, the first pulled out: the link ends as on a serial device that
    // went away. Plugged in again, the connection runs again on the new handle.
    void attachDetachReattach_data()
    {
        QTest::addColumn<bool>("enumeration");
        QTest::newRow("hotplug events") << false;
        QTest::newRow("periodic enumeration") << true;
    }
    void attachDetachReattach()
    {
        QFETCH(bool, enumeration);
        UsbRig rig(operationsCar(2));
        Program &p = *rig.program;
        startUpAlone(p);
        p.connection.usbWatch = enumeration ? UsbPort::Watch::Enumeration : UsbPort::Watch::Auto;
        p.connection.returnWatchMs = 50;
        QTimer::singleShot(0, [&] { rig.plug(); }); // plugged in while the connection waits for it
        rig.connect();
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));
        UsbPort *usb = rig.port();
        const QStringList listed = p.data.lines();
        const QString second = rig.plug();
        QVERIFY(UsbRig::waitFor([&] { return p.status.text() == Refused; }));
        rig.usb.unplug(QStringLiteral("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1"));
        QVERIFY(UsbRig::waitFor([&] { return !usb->hasDevice(); }));
        QVERIFY(p.link.lost());
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Off-Line"));
        QCOMPARE(rig.prompts.texts(), PortError);
        QVERIFY(!p.controls.enabled(names::Mode1));
        QCOMPARE(usb->OBDsync(), quint8(0)); // the transfers fail from now on
        rig.usb.unplug(second);
        p.data.clear();
        rig.plug();
        QVERIFY(UsbRig::waitFor([&] { return p.status.text().endsWith(FoundAgain); }, 30000));
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));
        QVERIFY(p.controls.enabled(names::Mode1));
        QCOMPARE(p.data.lines(), listed);
        QCOMPARE(usb->status(), 0);
        QCOMPARE(rig.prompts.texts(), PortError);
    }

    // A transfer that never completes holds the window no longer than the operation's bound, nothing else
    // asked; plugged in again, the tool is connected again. Pulled out mid-listing, it ends there, said once.
    void hungOrPulledOut_data()
    {
        QTest::addColumn<bool>("hang");
        QTest::newRow("transfer hangs") << true;
        QTest::newRow("pulled out during the listing") << false;
    }
    void hungOrPulledOut()
    {
        QFETCH(bool, hang);
        Connected rig;
        Program &p = *rig.program;
        p.link.operationBoundMs = 1000;
        rig.port()->setTransferBound(1000);
        const qint64 before = rig.usb.transfers();
        if (hang)
            rig.usb.hangNext = 1;
        else
            QObject::connect(p.data.model(), &QAbstractItemModel::rowsInserted, [&] { // after the first line
                if (rig.port()->hasDevice())
                    rig.usb.unplug(rig.path);
            });
        p.currentData.request();
        if (hang)
            QCOMPARE(rig.usb.transfers() - before, 1);
        QVERIFY(p.link.lost() && !rig.port()->hasDevice());
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Off-Line"));
        QCOMPARE(rig.prompts.texts(), PortError);
        if (!hang)
            return;
        rig.usb.unplug(rig.path);
        rig.plug();
        QVERIFY(UsbRig::waitFor([&] { return p.status.text().endsWith(FoundAgain); }, 30000));
        QVERIFY(p.data.count() > 5);
    }
};

QTEST_GUILESS_MAIN(tst_usb_replug)
#include "tst_usb_replug.moc"
