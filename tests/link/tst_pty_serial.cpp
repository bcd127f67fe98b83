// QSerialPort on a pseudo-terminal: the speeds, the receive buffer, and a device that goes away and
// comes back. Bounds are generous: under load a byte may take a while.
#include "OperationRig.h"
#include "PtySim.h"

#include "platform/SerialPort.h"
#include "sim/PtySimServer.h"

#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <unistd.h>

using namespace quenta;

class tst_pty_serial : public QObject {
    Q_OBJECT
private slots:
    void speeds_data()
    {
        QTest::addColumn<int>("toolBaud");
        QTest::addColumn<float>("programBaud");
        QTest::newRow("19200 both") << 19200 << 19200.f;
        QTest::newRow("program at 38400, tool at 19200") << 19200 << 38400.f;
    }
    void speeds()
    {
        QFETCH(int, toolBaud);
        QFETCH(float, programBaud);
        PtySim sim;
        QVERIFY(sim.start({QStringLiteral("--baud"), QString::number(toolBaud)}));
        ScriptedPrompts prompts;
        PortDirectory ports;
        ports.mapDevice(1, sim.device);
        Program p(prompts, std::move(ports));
        p.definitions.setPlaces({QStringLiteral(QUENTA_SOURCE_DATA_DIR "/troublecode.tcf")});
        p.settings.baud_rate = programBaud;
        const bool connects = float(toolBaud) == programBaud;
        // At the wrong speed the tool's "S" never arrives as such: the connection waits until given up.
        QTimer::singleShot(connects ? 30000 : 800, &p, [&p] { p.link.abandon(); });
        p.connection.connectCom(1);
        QCOMPARE(p.indicator.text(), connects ? QStringLiteral("ECU Connected") : QStringLiteral("Waiting for ECU"));
        QCOMPARE(p.controls.enabled(names::Mode1), connects);
        if (connects)
            QCOMPARE(p.controls.caption(names::Label7), QStringLiteral("F/W: S3.40"));
    }

    // What arrives while the 80-character receive buffer is full is lost: one discard after a long
    // idle leaves nothing stale.
    void receiveBufferDropsWhatArrivesWhenFull()
    {
        const int master = posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
        SerialPort port(QString::fromLocal8Bit(ptsname(master)));
        QString error;
        QVERIFY2(port.open(&error), qPrintable(error));
        port.setInBufferSize(80);
        auto arrive = [master](const QByteArray &d) { return ::write(master, d.constData(), size_t(d.size())) == d.size(); };
        QByteArray sent;
        for (int i = 0; i < 81; ++i)
            sent.append(char('A' + i % 26));
        QVERIFY(arrive(sent));
        QTRY_COMPARE_WITH_TIMEOUT(port.inBufferCount(), 80, 10000);
        QByteArray read;
        QVERIFY(port.input(&read, &error));
        QCOMPARE(read, sent.left(80));
        QCOMPARE(port.inBufferCount(), 0);
        QVERIFY(arrive("R486B10"));
        QTRY_COMPARE_WITH_TIMEOUT(port.inBufferCount(), 7, 10000);
        QVERIFY(port.input(&read, &error));
        QCOMPARE(read, QByteArray("R486B10"));
        ::close(master);
    }

    // A USB serial adapter pulled out and plugged in again under a new kernel name: found again and
    // connected without a restart; a line closed under the program ends its wait.
    void deviceGoesAwayAndComesBack()
    {
        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("scan-tool"));
        sim::SimulatedScanTool tool{operationsCar(10)};
        auto first = std::make_unique<sim::PtySimServer>(&tool, 38400);
        QString error;
        QVERIFY2(first->start(&error), qPrintable(error));
        QVERIFY(QFile::link(first->devicePath(), device));
        ScriptedPrompts prompts;
        PortDirectory ports;
        ports.mapDevice(1, device);
        Program p(prompts, std::move(ports));
        p.connection.returnWatchMs = 100;
        QTimer::singleShot(60000, &p, [&p] { p.link.abandon(); });
        p.connection.connectCom(1);
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));
        QSignalSpy lost(&p.link, &ScanToolLink::stateChanged);
        first->closeLine();
        p.link.wait_OBD_ready();
        QCOMPARE(lost.count(), 1);
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Off-Line"));
        QCOMPARE(p.indicator.color(), colors::Red);
        first.reset();

        sim::PtySimServer second(&tool, 38400);
        QVERIFY2(second.start(&error), qPrintable(error));
        QVERIFY(QFile::remove(device) && QFile::link(second.devicePath(), device));
        QTRY_VERIFY_WITH_TIMEOUT(p.status.text().contains(QStringLiteral("Scan tool found again on COM1")), 30000);
        QCOMPARE(p.indicator.text(), QStringLiteral("ECU Connected"));
        QVERIFY(p.controls.enabled(names::Mode1));
        p.currentData.request(); // the link works on the new device
        QVERIFY2(!p.data.lines().isEmpty(), qPrintable(prompts.texts().join(QLatin1Char('|'))));
    }
};

QTEST_GUILESS_MAIN(tst_pty_serial)
#include "tst_pty_serial.moc"
