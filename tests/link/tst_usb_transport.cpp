// The USB transport through the real libusb against an emulated device: the vendor requests byte
// by byte, attach and detach, the connection and its failures, transfers that fail, and the ready
// wait that never shows yellow.
#include "LineRig.h"
#include "SimRig.h"
#include "UsbRig.h"

#include "core/ControlNames.h"
#include "services/CurrentData.h"
#include "services/Mode6Monitor.h"
#include "services/TroubleCodes.h"

#include <QtTest>

using namespace quenta;

namespace {

using Setup = std::array<quint8, 8>;

Setup setupOf(int request, int b2, int b3, int b4, int b5, int length)
{
    return Setup{0xC0, quint8(request), quint8(b2), quint8(b3), quint8(b4), quint8(b5), quint8(length), 0};
}

// The shipped car as it runs: a tool that takes 2 ms to start answering, its line at 38400 baud.
sim::VehicleProfile shippedCar()
{
    QString error;
    auto p = sim::VehicleProfile::fromFile(QStringLiteral(QUENTA_SOURCE_DATA_DIR "/default-vehicle.json"), &error);
    if (!p)
        qFatal("%s", qPrintable(error));
    return *p;
}

const QString Accepted = QStringLiteral("DeviceAttach: Received and accepted attach for \r\n"
                                        "vendor ID &H1234 product ID &H5678\r\ndevice handle &H%1");
const QString Refused = QStringLiteral("DeviceAttach: Received another attach - control is rejected\r\n"
                                       "because only one device control is supported");
const QString FoundAgain = QStringLiteral("\r\nScan tool found again on USB 1234:5678: connected again\r\n");
const QString PortError = QStringLiteral("Communication Error Reading Scan Tool Data");

} // namespace

class tst_usb_transport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!sim::EmulatedUsbTool::available())
            QFAIL("run under umockdev-wrapper: the emulated USB device needs its preload");
    }

    // "010009" goes out as requests 12, 13 and 15 of the short form, each reading one byte; the
    // tool's reply then comes back through the count and the read.
    void commandTransfers()
    {
        UsbRig rig(shippedCar());
        rig.plug();
        rig.connect();
        QCOMPARE(rig.program->indicator.color(), colors::Green);
        // The end of the listing's last reply may still be on its way: it is read first.
        QVERIFY(UsbRig::waitFor([&] {
            rig.program->link.OBDinput();
            return rig.program->link.OBDinbuffercount() == 0;
        }));
        rig.usb.clearSetups();
        rig.port()->send_OBD_usb("010009");
        QCOMPARE(rig.usb.setups(), (QList<Setup>{setupOf(12, 0x30, 0x31, 0x30, 0x30, 1),
                                                 setupOf(13, 0x30, 0x39, 0x30, 0x30, 1),
                                                 setupOf(15, 0x30, 0x31, 0x30, 0x00, 1)}));
        QVERIFY(UsbRig::waitFor([&] { return rig.program->link.OBDinbuffercount() > 18; }));
        QVERIFY(rig.port()->READ_OBD_BUFFER().startsWith("R486B1041"));
        QCOMPARE(rig.usb.setups().last(), setupOf(10, 0, 0, 0, 0, 32));
    }

    // With nothing waiting the read moves no byte and gives nothing (not 32 zeros).
    void readAfterEmptyTransfer()
    {
        UsbRig rig(shippedCar());
        rig.plug();
        rig.connect();
        rig.program->link.OBDinput();
        QCOMPARE(rig.port()->READ_OBD_BUFFER(), QByteArray());
        QCOMPARE(rig.program->link.OBDinput(), QString());
        QCOMPARE(rig.port()->status(), 0);
    }

    // Connection and a whole current-data listing: the same lines, status window and indicator as
    // the same car gives over the serial line through QSerialPort.
    void listingMatchesSerial()
    {
        sim::VehicleProfile car = SimRig::steadyProfile(10);
        car.latencyMs = 2;
        car.baud = 38400;
        LineRig serial(Line::Pty, car);
        serial.program->startUp();
        serial.program->connection.connectCom(1);
        QVERIFY(!serial.program->data.lines().isEmpty());

        UsbRig rig(car);
        rig.plug();
        Program &p = *rig.program;
        p.startUp();
        rig.connect();
        QVERIFY(!p.link.serial_link());
        QCOMPARE(p.data.lines(), serial.program->data.lines());
        QCOMPARE(p.status.text(), serial.program->status.text());
        QCOMPARE(p.indicator.text(), serial.program->indicator.text());
        QCOMPARE(p.indicator.color(), colors::Green);
        QCOMPARE(p.controls.caption(names::Label7), QStringLiteral("F/W: S3.40"));
        QCOMPARE(p.controls.caption(names::Label6), serial.program->controls.caption(names::Label6));
        for (const QString &b : {names::Mode1, names::Mode2, names::Mode3, names::Mode4, names::ChangeECU})
            QVERIFY2(p.controls.enabled(b), qPrintable(b));
        QVERIFY(p.controls.visible(names::Mode5));
        // The connection menu stays as it was on USB.
        QVERIFY(p.controls.enabled(names::mnuCom));
        QVERIFY(rig.prompts.texts().isEmpty());

        // A second request on the same link, after a pause in which the tool sat idle.
        QTest::qWait(300);
        p.currentData.request();
        QCOMPARE(p.data.lines(), serial.program->data.lines());
    }

    void troubleCodesAndMode6Packet()
    {
        UsbRig rig(shippedCar());
        rig.plug();
        Program &p = *rig.program;
        p.startUp();
        rig.connect();
        p.troubleCodes.request();
        QVERIFY2(p.status.text().contains(QStringLiteral("P0301")), qPrintable(p.status.text()));
        QVERIFY(p.status.text().contains(QStringLiteral("P0420")));

        Mode6Monitor tests(p.link, p.mode6, p.prompts);
        tests.fields.testId = QStringLiteral("$05");
        tests.fields.componentId = QStringLiteral("$11");
        tests.fields.scale = QStringLiteral("0.01");
        tests.fields.units = QStringLiteral("V");
        rig.usb.clearSetups();
        tests.getTestResults();
        QCOMPARE(tests.fields.value, QStringLiteral("8.32V"));
        QCOMPARE(tests.fields.max, QStringLiteral("7.68V"));
        QCOMPARE(tests.fields.passFail, QStringLiteral("FAIL"));
        // The packet 01 06 68 6A F1 06 05 11 0 ... as requests 12, 13, 14 and 15 of the extended form.
        const QList<Setup> setups = rig.usb.setups();
        const Setup ext[] = {setupOf(12, 0x01, 0x06, 0x68, 0x6A, 1), setupOf(13, 0xF1, 0x06, 0x05, 0x05, 1),
                             setupOf(14, 0x11, 0, 0, 0, 1), setupOf(15, 0, 0, 0, 1, 1)};
        const qsizetype at = setups.indexOf(ext[0]);
        QVERIFY(at >= 0);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(setups.value(at + i), ext[i]);
        QList<QByteArray> packets;
        rig.usb.inToolThread([&] { packets = rig.usb.tool()->packets(); });
        QCOMPARE(packets.last().toHex().toUpper(), QByteArray("010668 6AF1060511000000000000").replace(' ', ""));

        tests.scan();
        QCOMPARE(tests.fields.supported.size(), 5);
    }

    // Attach, a second tool refused, the first pulled out: the link ends as on a serial device that
    // went away. Plugged in again, the tool is accepted and the connection runs again on its new
    // handle.
    void attachDetachReattach_data()
    {
        QTest::addColumn<bool>("enumeration");
        QTest::newRow("hotplug events") << false;
        QTest::newRow("periodic enumeration") << true;
    }
    void attachDetachReattach()
    {
        QFETCH(bool, enumeration);
        UsbRig rig(shippedCar());
        Program &p = *rig.program;
        p.connection.usbWatch = enumeration ? UsbPort::Watch::Enumeration : UsbPort::Watch::Auto;
        p.connection.returnWatchMs = 50;
        // No device yet: the connection waits, saying so, until the tool is plugged in.
        QTimer::singleShot(300, [&] { rig.plug(); });
        rig.connect();
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));
        UsbPort *usb = rig.port();
        QVERIFY(usb->hasDevice());
        const int listed = p.data.count();
        QVERIFY(listed > 10);

        const QString second = rig.plug();
        QVERIFY(UsbRig::waitFor([&] { return p.status.text() == Refused; }));
        QVERIFY(usb->hasDevice());

        rig.usb.unplug(QStringLiteral("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-1"));
        QVERIFY(UsbRig::waitFor([&] { return !usb->hasDevice(); }));
        QVERIFY(p.link.lost());
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Off-Line"));
        QCOMPARE(p.indicator.color(), colors::Red);
        QCOMPARE(rig.prompts.texts(), QStringList{PortError});
        QVERIFY(!p.controls.enabled(names::Mode1));
        // The transfers fail from now on, reading zeros.
        QCOMPARE(usb->OBDsync(), quint8(0));
        QVERIFY(usb->status() != 0);

        rig.usb.unplug(second);
        QStringList said;
        QObject::connect(&p.status, &StatusText::textChanged, [&] { said << p.status.text(); });
        p.data.clear();
        rig.usb.clearSetups();
        rig.plug();
        QVERIFY(UsbRig::waitFor([&] { return p.status.text().endsWith(FoundAgain); }, 30000));
        QVERIFY2(said.contains(Accepted.arg(QStringLiteral("104"))), qPrintable(said.join(QLatin1Char('|'))));
        QVERIFY(usb->usb_attached());
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));
        QCOMPARE(p.indicator.color(), colors::Green);
        QVERIFY(p.controls.enabled(names::Mode1));
        QCOMPARE(p.data.count(), listed);
        // All of it through the new handle: the devices pulled out answer nothing.
        QVERIFY(rig.usb.setups().contains(setupOf(9, 0, 0, 0, 0, 1)));
        QCOMPARE(usb->status(), 0);
        QCOMPARE(rig.prompts.texts(), QStringList{PortError});
    }

    // A tool that stops answering holds the window for no more than one transfer of the
    // operation's bound: that transfer is given up, nothing else is asked of the tool, the link
    // ends as for a tool that went away, and plugged in again the tool is connected again.
    void transferThatNeverCompletes()
    {
        UsbRig rig(shippedCar());
        const QString path = rig.plug();
        Program &p = *rig.program;
        p.link.operationBoundMs = 1000;
        p.connection.returnWatchMs = 50;
        rig.connect();
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));
        QCOMPARE(rig.port()->transferBound(), 1000);

        const qint64 before = rig.usb.transfers();
        rig.usb.hangNext = 1;
        p.currentData.request();
        QCOMPARE(rig.usb.discarded(), 1);
        QCOMPARE(rig.usb.transfers() - before, 1);
        QVERIFY(p.link.lost());
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Off-Line"));
        QCOMPARE(rig.prompts.texts(), QStringList{PortError});
        QVERIFY(!rig.port()->hasDevice());

        rig.usb.unplug(path);
        rig.plug();
        QVERIFY(UsbRig::waitFor([&] { return p.status.text().endsWith(FoundAgain); }, 30000));
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));
        QVERIFY(p.data.count() > 10);
    }

    // Only the named device is claimed: another one is left alone.
    void claimsOnlyTheNamedDevice()
    {
        UsbRig rig(shippedCar());
        rig.plug({0x046D, 0xC31C, 1, false}); // a keyboard
        Program &p = *rig.program;
        rig.connect(800);
        QCOMPARE(p.status.text(), QStringLiteral("Please verify that the device is attached...\r\n"));
        QVERIFY(!rig.port()->hasDevice());
    }

    void deviceThatCannotBeUsed_data()
    {
        QTest::addColumn<int>("endpoints");
        QTest::addColumn<bool>("refuseClaim");
        QTest::addColumn<QString>("status");
        QTest::newRow("no endpoint besides the control pipe") << 0 << false << "USB driver not found";
        QTest::newRow("interface held by another program")
            << 2 << true
            << "DeviceAttach: WDU_SetInterface failed\r\n(num.  0 alternate  0)\r\n"
               "device &H102: error &HFFFFFFFA\r\n(Resource busy)";
    }
    void deviceThatCannotBeUsed()
    {
        QFETCH(int, endpoints);
        QFETCH(bool, refuseClaim);
        QFETCH(QString, status);
        UsbRig rig(shippedCar());
        rig.plug({UsbRig::Vendor, UsbRig::Product, endpoints, refuseClaim});
        Program &p = *rig.program;
        p.startUp();
        rig.connect(refuseClaim ? 800 : 20000);
        QCOMPARE(p.status.text(), status);
        QVERIFY(!p.controls.enabled(names::Mode1));
        QVERIFY(p.indicator.text() != QStringLiteral("ECU CONNECT"));
        QCOMPARE(rig.port()->hasDevice(), !refuseClaim);
    }

    // A failing transfer reads zeros; debug mode says so in the status window.
    void failingTransfer_data()
    {
        QTest::addColumn<bool>("debug");
        QTest::newRow("silent") << false;
        QTest::newRow("debug mode") << true;
    }
    void failingTransfer()
    {
        QFETCH(bool, debug);
        UsbRig rig(shippedCar());
        rig.plug();
        Program &p = *rig.program;
        rig.connect();
        p.status.setText(QStringLiteral("before"));
        p.settings.debug_mode = debug;
        // Whatever the tool still had to say is read first.
        QVERIFY(UsbRig::waitFor([&] { p.link.OBDinput(); return p.link.OBDinbuffercount() == 0; }));
        rig.usb.failNext = 1;
        QCOMPARE(rig.port()->OBDsync(), quint8(0));
        QCOMPARE(p.status.text(), debug ? QStringLiteral("ReadWritePipesMenu: WDU_Transfer() failed: error &HFFFFFFF7 (Pipe error)")
                                        : QStringLiteral("before"));
        QVERIFY(rig.prompts.texts().isEmpty());
        // The tool is fine after it: the next exchange works.
        p.link.setOBD_stop(false);
        const QString reply = p.link.get_ecu_PID(ToolCommand{0x01, 0x0D, 0x06}).reply;
        QCOMPARE(reply.mid(7, 4), QStringLiteral("410D"));
    }

    // On USB the ready wait never shows yellow nor raises the stop flag: without a vehicle the ECU
    // simply does not answer; a tool that stays not ready is asked until the program gives up.
    void neverYellow()
    {
        sim::VehicleProfile car = shippedCar();
        UsbRig rig(car);
        rig.plug();
        Program &p = *rig.program;
        rig.connect();
        int yellow = 0;
        QObject::connect(&p.indicator, &IndicatorModel::changed, [&] { yellow += p.indicator.color() == colors::Yellow; });

        rig.usb.inToolThread([&] { rig.usb.tool()->setVehicle(false); });
        p.link.wait_OBD_ready();
        QVERIFY(!p.link.OBD_stop());
        QCOMPARE(p.indicator.color(), colors::Green);
        const QString reply = p.link.get_ecu_PID(ToolCommand{0x01, 0x0C, 0x07}).reply;
        QCOMPARE(reply.mid(1, 1), QStringLiteral("S"));
        QVERIFY(reply != ScanToolLink::NoVehicleReply);

        rig.usb.inToolThread([&] { rig.usb.tool()->faults().quiet = true; });
        rig.usb.clearSetups();
        QTimer::singleShot(400, [&] { p.link.abandon(); });
        QElapsedTimer t;
        t.start();
        p.link.wait_OBD_ready();
        QVERIFY(t.elapsed() >= 390);
        QVERIFY(!p.link.OBD_stop() || p.link.state() == ScanToolLink::State::Abandoned);
        QCOMPARE(yellow, 0);
        // It kept asking, without flooding the bus: a question every couple of milliseconds.
        const qsizetype asked = rig.usb.setups().count(setupOf(9, 0, 0, 0, 0, 1));
        QVERIFY2(asked >= 20 && asked <= 400, qPrintable(QString::number(asked)));
    }

    // The tool pulled out in the middle of a listing: the listing ends there, says so once, and
    // the tool is not asked again.
    void pulledOutDuringListing()
    {
        UsbRig rig(shippedCar());
        const QString path = rig.plug();
        Program &p = *rig.program;
        rig.connect();
        QTimer::singleShot(40, [&] { rig.usb.unplug(path); });
        p.currentData.request();
        QVERIFY(!rig.port()->hasDevice());
        QVERIFY(p.link.lost());
        QCOMPARE(p.indicator.color(), colors::Red);
        QCOMPARE(rig.prompts.texts(), QStringList{PortError});
        QVERIFY(p.data.lines().size() < 10);
    }

    // Exit while no device ever attaches ends the wait at once.
    void abandonEndsTheAttachWait()
    {
        UsbRig rig(shippedCar());
        QElapsedTimer t;
        t.start();
        rig.connect(200);
        QVERIFY(t.elapsed() < 2000);
        QCOMPARE(rig.program->status.text(), QStringLiteral("Please verify that the device is attached...\r\n"));
        rig.program->connection.unload();
        QCOMPARE(rig.port()->driverHandle(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_usb_transport)
#include "tst_usb_transport.moc"
#include "platform/UsbPort.h"
