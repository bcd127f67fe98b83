// The on-board monitoring packet over a pseudo-terminal through QSerialPort, with the simulated
// tool in its own thread: the port goes to binary input for the packet and back to text, the 14
// bytes leave in one write, and the binary reply arrives whole. The O2 tests run over the same line.
#include "SimRig.h"

#include "program/Program.h"
#include "platform/SerialPort.h"
#include "services/Connection.h"
#include "services/Mode6Monitor.h"
#include "services/O2Monitor.h"
#include "sim/ThreadedSim.h"

#include <QtTest>

using namespace quenta;

namespace {

// The real serial port, recording what the program asks of it.
struct RecordingSerialPort : SerialPort {
    using SerialPort::SerialPort;
    QList<QByteArray> *writes = nullptr;
    QList<InputMode> *modes = nullptr;
    bool output(const QByteArray &data, QString *error) override
    {
        *writes << data;
        return SerialPort::output(data, error);
    }
    void setInputMode(InputMode mode) override
    {
        *modes << mode;
        SerialPort::setInputMode(mode);
    }
};

struct PtyRig {
    ThreadedSim sim;
    ScriptedPrompts prompts;
    QList<QByteArray> writes;
    QList<ScanToolPort::InputMode> modes;
    std::unique_ptr<Program> program;

    PtyRig()
    {
        sim::VehicleProfile profile = SimRig::testProfile();
        profile.statusPeriodMs = 10;
        if (!sim.start(profile, 38400))
            qFatal("no pseudo-terminal");
        PortDirectory ports;
        ports.mapFactory(1, [this] {
            auto port = std::make_unique<RecordingSerialPort>(sim.device);
            port->writes = &writes;
            port->modes = &modes;
            return port;
        }, QStringLiteral("pty"));
        program = std::make_unique<Program>(prompts, std::move(ports));
        program->definitions.setPlaces({QStringLiteral(QUENTA_SOURCE_DATA_DIR "/troublecode.tcf")});
        program->startUp();
        QTimer::singleShot(30000, program.get(), [p = program.get()] { p->link.abandon(); });
        program->connection.connectCom(1);
        writes.clear();
        modes.clear();
    }
    QList<QByteArray> packetsSeen()
    {
        QList<QByteArray> out;
        sim.inToolThread([&] { out = sim.tool->packets(); });
        return out;
    }
};

} // namespace

class tst_binary_line : public QObject {
    Q_OBJECT
private slots:
    void packetOverPty()
    {
        PtyRig r;
        QVERIFY(r.program->controls.enabled(names::mnuMode6));
        Mode6Monitor tests(r.program->link, r.program->mode6, r.program->prompts);
        tests.fields.testId = QStringLiteral("$05");
        tests.fields.componentId = QStringLiteral("$11");
        tests.fields.scale = QStringLiteral("0.01");
        tests.fields.units = QStringLiteral("V");
        tests.getTestResults();
        // "F00504" as text, then the packet as one write of 14 bytes.
        QCOMPARE(r.writes.size(), 2);
        QCOMPARE(r.writes[0], QByteArray("F00504"));
        QCOMPARE(r.writes[1].size(), Mode6Monitor::PacketSize);
        QCOMPARE(r.writes[1].toHex().toUpper(), QByteArray("0106686AF1060511000000000000"));
        QCOMPARE(r.packetsSeen(), QList<QByteArray>{r.writes[1]});
        QCOMPARE(r.modes, (QList<ScanToolPort::InputMode>{ScanToolPort::InputMode::Binary, ScanToolPort::InputMode::Text}));
        QCOMPARE(tests.fields.value, QStringLiteral("8.32V"));
        QCOMPARE(tests.fields.max, QStringLiteral("7.68V"));
        QCOMPARE(tests.fields.passFail, QStringLiteral("FAIL"));
        QVERIFY(r.prompts.shown.isEmpty());

        // Line-feed and XON bytes in the packet pass the line unchanged (test 0A, component 11).
        tests.fields.testId = QStringLiteral("10");
        tests.fields.componentId = QStringLiteral("17");
        tests.getTestResults();
        QCOMPARE(r.packetsSeen().last().toHex().toUpper(), QByteArray("0106686AF1060A11000000000000"));
        QCOMPARE(tests.fields.returned, Mode6Monitor::NoResponseText); // the car has no such test

        // After the binary exchange the line is text again: the other requests read as before,
        // also after a pause in which the tool's status characters pile up.
        QTest::qWait(300);
        tests.scan();
        QCOMPARE(tests.fields.supported, (QStringList{" 1", " 2", " 5", " 10", " 33"}));
        QCOMPARE(r.modes.size(), 8); // two tests and the scan's two requests, each binary and back
        QCOMPARE(r.modes.last(), ScanToolPort::InputMode::Text);
        O2Monitor o2(r.program->pidContext, r.program->prompts);
        r.program->pids.o2_present[0] = 1;
        r.program->pids.O2_monitor_complete = true;
        o2.o2_test_request(1);
        QCOMPARE(o2.box(names::mode5::result(1)).text, QStringLiteral(" .45 V"));
        QCOMPARE(o2.box(names::mode5::maximum(8)).text, QStringLiteral(" 1.275 V"));
        QVERIFY(r.prompts.shown.isEmpty());
    }

    // A binary reply cut short on the real line: what follows it is no reply, the port is back in
    // text mode and the next request is read correctly.
    void shortReplyOverPty()
    {
        PtyRig r;
        r.program->link.operationBoundMs = 500;
        r.sim.inToolThread([&] { r.sim.tool->faults().mode6ReplyBytes = 3; });
        Mode6Monitor tests(r.program->link, r.program->mode6, r.program->prompts);
        tests.fields.testId = QStringLiteral("1");
        tests.fields.componentId = QStringLiteral("1");
        tests.fields.scale = QStringLiteral("0.01");
        tests.getTestResults();
        QCOMPARE(tests.fields.returned, Mode6Monitor::NoResponseText);
        QCOMPARE(r.modes.last(), ScanToolPort::InputMode::Text);
        r.sim.inToolThread([&] { r.sim.tool->faults().mode6ReplyBytes = 0; });
        tests.getTestResults();
        QCOMPARE(tests.fields.returned, QString());
        QCOMPARE(tests.fields.value, QStringLiteral("5"));
        QCOMPARE(tests.fields.passFail, QStringLiteral("PASS"));
    }
};

QTEST_GUILESS_MAIN(tst_binary_line)
#include "tst_binary_line.moc"
