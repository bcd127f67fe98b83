// The main window with the scan tool on USB: the hidden "USB" item, and Exit, which lets the
// device go and gives it two seconds before the program ends.
#include "NoPrinter.h"
#include "UsbRig.h"

#include "app/frmMain.h"
#include "core/ControlNames.h"

#include <QtTest>
#include <QtWidgets>

using namespace quenta;

namespace {
// The system clock while the emulated device answers in real time; once `skipping`, every wait
// passes at once and only moves the clock, so the two seconds at Exit are counted, not slept.
struct SkippingClock : Clock {
    bool skipping = false;
    std::int64_t skipped = 0;
    std::function<void()> onWait;
    std::int64_t tickMs() const override { return Clock::tickMs() + skipped; }
    std::int64_t tickUs() const override { return Clock::tickUs() + skipped * 1000; }
    void sleep(int ms, Waker &waker) override
    {
        if (onWait)
            onWait();
        if (skipping)
            skipped += ms;
        else
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

    void exitOnUsbGivesTheDeviceTwoSeconds()
    {
        SkippingClock clock;
        UsbRig rig(sim::VehicleProfile::defaultProfile(), &clock);
        rig.plug();
        NoPrinter printer;
        frmMain window(*rig.program, printer);
        QList<std::int64_t> exits;
        window.setExitFunction([&](int) { exits << clock.tickMs(); });
        window.startUp();
        rig.connect();
        QVERIFY(rig.program->controls.enabled(names::Mode1));
        QAction *usbItem = window.findChild<QAction *>(names::mnuUSB);
        QVERIFY(usbItem && !usbItem->isVisible() && !usbItem->isEnabled());

        UsbPort *usb = rig.port();
        int openWhileWaiting = -1;
        clock.onWait = [&] { openWhileWaiting = usb->driverHandle(); };
        clock.skipping = true;
        const std::int64_t start = clock.tickMs();
        window.findChild<QPushButton *>(names::Command1)->click();
        // Two seconds and no wait past them; the driver was closed before the wait began.
        QVERIFY2(exits.size() == 1 && exits[0] - start > 2000 && clock.skipped <= 2050, qPrintable(QString::number(clock.skipped)));
        QVERIFY(openWhileWaiting == 0 && usb->driverHandle() == 0);
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
        QVERIFY(!rig.program->connection.usbPort() && rig.program->link.serial_link());
    }
};

QTEST_MAIN(tst_usb_window)
#include "tst_usb_window.moc"
