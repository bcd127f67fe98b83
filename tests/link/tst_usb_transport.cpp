// The USB transport through the real libusb against an emulated device: the requests byte by byte, the
// operations, failing transfers, devices that cannot be used, and a ready wait that never shows yellow.
#include "OperationRig.h"
#include "UsbRig.h"

#include <QtTest>

using namespace quenta;

namespace {

using Setup = std::array<quint8, 8>;
Setup setupOf(int request, int b2, int b3, int b4, int b5, int length)
{
    return Setup{0xC0, quint8(request), quint8(b2), quint8(b3), quint8(b4), quint8(b5), quint8(length), 0};
}

} // namespace

class tst_usb_transport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!sim::EmulatedUsbTool::available())
            QFAIL("run under umockdev-wrapper: the emulated USB device needs its preload");
    }

    // The operations read what they read on the serial line; requests go out byte by byte; failures read zeros.
    void operationsOverUsb()
    {
        UsbRig rig(operationsCar(2));
        Program &p = *rig.program;
        rig.plug();
        startUpAlone(p);
        p.connection.returnWatchMs = 50;
        rig.connect();
        // The end of the listing's last reply may still be on its way: it is read first.
        UsbRig::waitFor([&] { p.link.OBDinput(); return p.link.OBDinbuffercount() == 0; });
        OperationRig serial(Line::InProcess, Op::Current);
        QVERIFY(!p.link.serial_link());
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));
        QCOMPARE(p.data.lines(), serial.program->data.lines());
        QCOMPARE(p.status.text(), serial.program->status.text());
        QCOMPARE(p.controls.caption(names::Label7), QStringLiteral("F/W: S3.40"));
        QVERIFY(p.controls.enabled(names::Mode1) && p.controls.visible(names::Mode5));
        QVERIFY(p.controls.enabled(names::mnuCom)); // the connection menu stays as it was on USB

        // "010009" as requests 12, 13 and 15 of the short form, each reading one byte; the reply
        // comes back through the count and the read; with nothing waiting the read gives nothing.
        rig.usb.clearSetups();
        rig.port()->send_OBD_usb("010009");
        QCOMPARE(rig.usb.setups(), (QList<Setup>{setupOf(12, 0x30, 0x31, 0x30, 0x30, 1), setupOf(13, 0x30, 0x39, 0x30, 0x30, 1),
                                                 setupOf(15, 0x30, 0x31, 0x30, 0x00, 1)}));
        QVERIFY(UsbRig::waitFor([&] { return p.link.OBDinbuffercount() > 18; }));
        QVERIFY(rig.port()->READ_OBD_BUFFER().startsWith("R486B1041"));
        QCOMPARE(rig.usb.setups().last(), setupOf(10, 0, 0, 0, 0, 32));
        QCOMPARE(rig.port()->READ_OBD_BUFFER(), QByteArray());
        QCOMPARE(p.link.OBDinput(), QString());

        const Screen codes = runOperation(p, rig.prompts, Op::Codes), serialCodes = serial.run(Op::Codes);
        QCOMPARE(shown(codes), shown(serialCodes));
        QCOMPARE(codes.status, serialCodes.status);
        // The packet 01 06 68 6A F1 06 05 11 0 ... as requests 12 to 15 of the extended form.
        rig.usb.clearSetups();
        QCOMPARE(runOperation(p, rig.prompts, Op::Mode6), serial.run(Op::Mode6));
        const QList<Setup> setups = rig.usb.setups();
        const qsizetype at = setups.indexOf(setupOf(12, 0x01, 0x06, 0x68, 0x6A, 1));
        QCOMPARE(setups.mid(at, 4), (QList<Setup>{setupOf(12, 0x01, 0x06, 0x68, 0x6A, 1), setupOf(13, 0xF1, 0x06, 0x05, 0x05, 1),
                                                  setupOf(14, 0x11, 0, 0, 0, 1), setupOf(15, 0, 0, 0, 1, 1)}));

        // A failing transfer reads zeros, in debug mode with its text; the next exchange works.
        for (const bool debug : {false, true}) {
            p.status.setText(QStringLiteral("before"));
            p.settings.debug_mode = debug;
            rig.usb.failNext = 1;
            QCOMPARE(rig.port()->OBDsync(), quint8(0));
            QCOMPARE(p.status.text(), debug ? QStringLiteral("ReadWritePipesMenu: WDU_Transfer() failed: error &HFFFFFFF7 (Pipe error)")
                                            : QStringLiteral("before"));
            p.link.setOBD_stop(false);
            QCOMPARE(p.link.get_ecu_PID(ToolCommand{0x01, 0x0D, 0x06}).reply.mid(7, 4), QStringLiteral("410D"));
        }
        QVERIFY(rig.prompts.texts().isEmpty());

        // Without a car the ECU does not answer; a tool that stays not ready is asked, unhurried, until given up,
        // and the wait never shows yellow.
        int yellow = 0;
        QObject::connect(&p.indicator, &IndicatorModel::changed, [&] { yellow += p.indicator.color() == colors::Yellow; });
        rig.usb.inToolThread([&] { rig.usb.tool()->setVehicle(false); });
        p.link.wait_OBD_ready();
        QVERIFY(!p.link.OBD_stop());
        QCOMPARE(p.link.get_ecu_PID(ToolCommand{0x01, 0x0C, 0x07}).reply.mid(1, 1), QStringLiteral("S"));
        rig.usb.inToolThread([&] { rig.usb.tool()->faults().quiet = true; });
        rig.usb.clearSetups();
        QElapsedTimer t;
        t.start();
        QTimer::singleShot(400, [&] { p.link.abandon(); });
        p.link.wait_OBD_ready();
        const qsizetype asked = rig.usb.setups().count(setupOf(9, 0, 0, 0, 0, 1));
        QVERIFY2(asked >= 1 && asked <= t.elapsed(), qPrintable(QString::number(asked)));
        QCOMPARE(yellow, 0);
    }

    // Only the named device is claimed, and only one that can be used; Exit ends the wait for it.
    void devicesNotUsed_data()
    {
        QTest::addColumn<int>("vendor");
        QTest::addColumn<int>("endpoints");
        QTest::addColumn<bool>("refuseClaim");
        QTest::addColumn<QString>("status");
        QTest::newRow("a keyboard") << 0x046D << 1 << false << "Please verify that the device is attached...\r\n";
        QTest::newRow("no endpoint besides the control pipe") << int(UsbRig::Vendor) << 0 << false << "USB driver not found";
        QTest::newRow("interface held by another program") << int(UsbRig::Vendor) << 2 << true
            << "DeviceAttach: WDU_SetInterface failed\r\n(num.  0 alternate  0)\r\ndevice &H102: error &HFFFFFFFA\r\n(Resource busy)";
    }
    void devicesNotUsed()
    {
        QFETCH(int, vendor);
        QFETCH(int, endpoints);
        QFETCH(bool, refuseClaim);
        QFETCH(QString, status);
        UsbRig rig(operationsCar(2));
        startUpAlone(*rig.program);
        rig.plug({quint16(vendor), vendor == UsbRig::Vendor ? UsbRig::Product : quint16(0xC31C), endpoints, refuseClaim});
        rig.connect(endpoints == 0 ? 20000 : 300);
        QCOMPARE(rig.program->status.text(), status);
        QVERIFY(!rig.program->controls.enabled(names::Mode1));
        QCOMPARE(rig.port()->hasDevice(), vendor == UsbRig::Vendor && !refuseClaim);
        rig.program->connection.unload();
        QCOMPARE(rig.port()->driverHandle(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_usb_transport)
#include "tst_usb_transport.moc"
