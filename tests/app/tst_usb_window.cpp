// The main window with the scan tool on USB: the hidden "USB" item, and Exit, which lets the
// device go and waits two seconds on the stopwatch before the program ends.
#include "NoPrinter.h"
#include "ManualClock.h"
#include "UsbRig.h"

#include "app/frmMain.h"
#include "core/ControlNames.h"
#include "platform/widgets/Printer.h"

#include <QAction>
#include <QPushButton>
#include <QtTest>

using namespace quenta;

namespace {
// The system clock, telling when a wait begins: the emulated device runs in real time, so the
// program does too.
struct WatchedClock : Clock {
    std::function<void()> onWait;
    void sleep(int ms, Waker &waker) override
    {
        if (onWait)
            onWait();
        Clock::sleep(ms, waker);
    }
};
} // namespace

class tst_usb_window : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!sim::EmulatedUsbTool::available())
            QFAIL("run under umockdev-wrapper: the emulated USB device needs its preload");
    }

    void exitOnUsbWaitsTwoSeconds()
    {
        WatchedClock clock;
        UsbRig rig(sim::VehicleProfile::defaultProfile(), &clock);
        rig.plug();
        NoPrinter printer;
        frmMain window(*rig.program, printer);
        QList<std::int64_t> exits;
        window.setExitFunction([&](int) { exits << clock.tickMs(); });
        window.startUp();
        rig.connect();
        QVERIFY(rig.program->controls.enabled(names::Mode1));
        // The item that would start it stays hidden and disabled.
        QAction *usbItem = window.findChild<QAction *>(names::mnuUSB);
        QVERIFY(usbItem && !usbItem->isVisible() && !usbItem->isEnabled());

        UsbPort *usb = rig.port();
        int openWhileWaiting = -1;
        clock.onWait = [&] { openWhileWaiting = usb->driverHandle(); };
        const std::int64_t start = clock.tickMs();
        window.findChild<QPushButton *>(names::Command1)->click();
        QCOMPARE(exits.size(), 1);
        const std::int64_t waited = exits[0] - start;
        QVERIFY2(waited > 2000 && waited < 2500, qPrintable(QString::number(waited)));
        // The driver was closed before the wait began.
        QCOMPARE(openWhileWaiting, 0);
        QCOMPARE(usb->driverHandle(), 0);
    }

    // Were the hidden item chosen without a device named, it says so and claims nothing.
    void usbItemWithoutIds()
    {
        UsbRig rig(sim::VehicleProfile::defaultProfile());
        rig.plug();
        rig.program->connection.usbIds.reset();
        NoPrinter printer;
        frmMain window(*rig.program, printer);
        window.findChild<QAction *>(names::mnuUSB)->trigger();
        QCOMPARE(rig.program->status.text(), NoUsbDeviceText);
        QVERIFY(!rig.program->connection.usbPort());
        QVERIFY(rig.program->link.serial_link());
    }

    void exitOnSerialIsImmediate()
    {
        ManualClock clock;
        UsbRig rig(sim::VehicleProfile::defaultProfile(), &clock);
        NoPrinter printer;
        frmMain window(*rig.program, printer);
        QList<std::int64_t> exits;
        window.setExitFunction([&](int) { exits << clock.now; });
        window.findChild<QPushButton *>(names::Command1)->click();
        QCOMPARE(exits, QList<std::int64_t>{0});
        QCOMPARE(clock.waits, 0);
    }
};

QTEST_MAIN(tst_usb_window)
#include "tst_usb_window.moc"
#include "platform/UsbPort.h"
