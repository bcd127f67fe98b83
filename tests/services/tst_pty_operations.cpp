// Each operation over the real serial path (QSerialPort on a pseudo-terminal, the simulated tool in
// its own thread) reads as it does in-process, also after the line sat idle with the program busy;
// the on-board monitoring packet in binary mode. Bounds are generous: under load a byte may take a while.
#include "OperationRig.h"

#include <QtTest>

using namespace quenta;

class tst_pty_operations : public QObject {
    Q_OBJECT
private slots:
    void sameAsInProcess_data()
    {
        QTest::addColumn<Op>("op");
        QTest::addColumn<QString>("fault");
        QTest::newRow("current, idle while busy") << Op::Current << "busy";
        QTest::newRow("codes, status before reply") << Op::Codes << "status";
        QTest::newRow("O2") << Op::O2 << "";
    }
    void sameAsInProcess()
    {
        QFETCH(Op, op);
        QFETCH(QString, fault);
        const Screen expected = OperationRig(Line::InProcess, op).run(op);
        OperationRig rig(Line::Pty, op);
        rig.withTool([&](sim::SimulatedScanTool &tool) { tool.faults().statusBeforeReply = fault == QLatin1String("status") ? 1000 : 0; });
        // Busy long enough for a hundred status characters: more than the receive buffer holds.
        if (fault == QLatin1String("busy"))
            QThread::msleep(1000);
        const Screen seen = rig.run(op);
        QVERIFY2(seen == expected, qPrintable(shown(seen) + QLatin1String("\nin-process:\n") + shown(expected)));
    }

    // A car that is off reads as such over the pseudo-terminal too.
    void carOff()
    {
        OperationRig off(Line::Pty, Op::Clear);
        off.withTool([](sim::SimulatedScanTool &tool) { tool.setVehicle(false); });
        // The car is off once the line says so: a status sent before the switch may still be on its way.
        QString heard;
        QTRY_VERIFY_WITH_TIMEOUT((heard += off.program->link.OBDinput()).endsWith(QLatin1Char('P')), 10000);
        const Screen o = off.run(Op::Clear);
        QCOMPARE(o.indicator, ScanToolLink::NoVehicleText);
        QCOMPARE(o.status, ScanToolLink::NoVehicleText);
    }

    // The packet leaves in one write of 14 bytes with the port in binary mode, its reply arrives
    // whole, and the port is back in text mode for what follows, also after a pause.
    void binaryPacket()
    {
        OperationRig rig(Line::Pty, Op::Mode6);
        ScanToolPort *port = rig.program->connection.port();
        Mode6Monitor tests(rig.program->link, rig.program->mode6, rig.program->prompts);
        tests.fields.testId = QStringLiteral("10");
        tests.fields.componentId = QStringLiteral("17"); // line-feed and XON bytes in the packet
        tests.getTestResults();
        QList<QByteArray> packets;
        rig.withTool([&](sim::SimulatedScanTool &tool) { packets = tool.packets(); });
        QCOMPARE(packets.value(0).toHex().toUpper(), QByteArray("0106686AF1060A11000000000000"));
        QCOMPARE(tests.fields.returned, Mode6Monitor::NoResponseText); // the car has no such test
        QCOMPARE(port->inputMode(), ScanToolPort::InputMode::Text);
        QTRY_VERIFY_WITH_TIMEOUT(port->inBufferCount() >= 20, 10000); // status characters pile up
        // A reply cut short: no reply, text mode again, and the next request reads right.
        rig.withTool([](sim::SimulatedScanTool &tool) { tool.faults().mode6ReplyBytes = 3; });
        tests.fields.testId = QStringLiteral("5");
        tests.fields.componentId = QStringLiteral("17");
        tests.getTestResults();
        QCOMPARE(tests.fields.returned, Mode6Monitor::NoResponseText);
        rig.withTool([](sim::SimulatedScanTool &tool) { tool.faults().mode6ReplyBytes = 0; });
        const Screen seen = rig.run(Op::Mode6);
        QCOMPARE(seen.results, QStringLiteral("|8.32V||7.68V|FAIL| 5, 10"));
        QVERIFY(seen.messages.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_pty_operations)
#include "tst_pty_operations.moc"
