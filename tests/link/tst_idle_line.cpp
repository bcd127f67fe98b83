// The line after the program sat idle: the tool's status characters kept arriving, far more than the
// 80-character receive buffer holds, and every operation must still give what it gives at once.
#include "LineRig.h"
#include "SimRig.h"

#include "program/Program.h"
#include "platform/SerialPort.h"
#include "services/ClearCodes.h"
#include "services/Connection.h"
#include "services/CurrentData.h"
#include "services/FreezeFrame.h"
#include "services/TroubleCodes.h"

#include <functional>
#include <optional>
#include <QtTest>
#include <fcntl.h>
#include <unistd.h>

using namespace quenta;

namespace {

sim::VehicleProfile steadyCar(int statusPeriodMs = 2)
{
    return SimRig::steadyProfile(statusPeriodMs);
}

// Over the pty the tool runs in its own thread at the real tool's period: at 2 ms a rare slow
// reaction lets a status character slip in before a reply, which is another matter than idling.
constexpr int PtyStatusPeriodMs = 10;

enum class Idle { EventLoop, Busy };
using Operation = std::function<void(Program &)>;

// Everything the user sees after an operation.
struct Screen {
    QString indicator, colour, ecu, firmware, status;
    QStringList data, messages;
    bool operator==(const Screen &) const = default;
};

Screen screenOf(const Program &p, const ScriptedPrompts &prompts)
{
    return {p.indicator.text(), rgbName(p.indicator.color()), p.linkInfo.ecuCaption(), p.linkInfo.firmwareCaption(),
            p.status.text(), p.data.lines(), prompts.texts()};
}

// A program connected on COM1 to the steady car.
struct Rig : LineRig {
    explicit Rig(Line line) : LineRig(line, steadyCar(line == Line::Pty ? PtyStatusPeriodMs : 2))
    {
        program->startUp();
        QTimer::singleShot(20000, program.get(), [p = program.get()] { p->link.abandon(); });
        program->connection.connectCom(1);
        prompts.answers = {true, true, true};
    }

    Screen run(Operation op)
    {
        prompts.shown.clear();
        op(*program);
        return screenOf(*program, prompts);
    }
};

// On the program's clock: in-process the rig's manual clock moves the tool's time with it.
void sitIdle(Program &p, Idle how, int ms)
{
    if (how == Idle::EventLoop) {
        p.clock().wait(ms);
    } else {
        QThread::msleep(ulong(ms));
    }
}

// A pseudo-terminal pair: the test writes to the master, the port reads the other end.
struct PtyPair {
    int master = -1;
    QString slave;
    PtyPair()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0)
            slave = QString::fromLocal8Bit(ptsname(master));
    }
    ~PtyPair()
    {
        if (master >= 0)
            ::close(master);
    }
    void write(const QByteArray &data) { QCOMPARE(::write(master, data.constData(), size_t(data.size())), ssize_t(data.size())); }
};

} // namespace

class tst_idle_line : public QObject {
    Q_OBJECT
private slots:
    void everyOperationAfterIdle_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<Line>("line");
        QTest::addColumn<Idle>("idle");
        const struct { const char *name; Line line; Idle idle; } ways[] = {
            {"in-process, reading the screen", Line::InProcess, Idle::EventLoop},
            {"pty, reading the screen", Line::Pty, Idle::EventLoop},
            {"pty, program busy", Line::Pty, Idle::Busy},
        };
        const char *ops[] = {"current", "codes", "clear", "freeze", "Change ECU"};
        for (const auto &w : ways)
            for (int op = 0; op < 5; ++op)
                QTest::addRow("%s, %s", ops[op], w.name) << op << w.line << w.idle;
    }
    void everyOperationAfterIdle()
    {
        QFETCH(int, operation);
        QFETCH(Line, line);
        QFETCH(Idle, idle);
        const Operation ops[] = {[](Program &p) { p.currentData.request(); },
                                 [](Program &p) { p.troubleCodes.request(); },
                                 [](Program &p) { p.clearCodes.clear(); },
                                 [](Program &p) { p.freezeFrame.request(); },
                                 [](Program &p) { p.connection.changeEcu(); }};
        Rig atOnce(line);
        const Screen expected = atOnce.run(ops[operation]);
        Rig later(line);
        // Long enough for hundreds of status characters: the 80-character buffer overflows many
        // times over, more than the discards of one synchronisation could empty.
        sitIdle(*later.program, idle, line == Line::Pty ? 150 * PtyStatusPeriodMs : 400 * 2);
        const Screen seen = later.run(ops[operation]);
        QCOMPARE(seen.indicator, expected.indicator);
        QCOMPARE(seen.colour, expected.colour);
        QCOMPARE(seen.ecu, expected.ecu);
        QCOMPARE(seen.status, expected.status);
        QCOMPARE(seen.data, expected.data);
        QCOMPARE(seen.messages, expected.messages);
        QCOMPARE(seen.indicator, QStringLiteral("ECU Connected"));
        QVERIFY(!seen.status.contains(QLatin1String("SSSS")));
    }

    void freezeFrameCodeWhereTheReplyCarriesIt_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("freezeRun");
        for (const char *code : {"0133", "0100"}) {
            QTest::addRow("%s, current data", code) << code << false;
            QTest::addRow("%s, freeze frame", code) << code << true;
        }
    }
    void freezeFrameCodeWhereTheReplyCarriesIt()
    {
        QFETCH(QString, code);
        QFETCH(bool, freezeRun);
        SimRig rig(SimRig::profileWith({{"01", "00076504"}, {"02", "0000"}, {"03", "0200"}, {"05", "7B"}}));
        rig.tool.profile().ecus[0].freeze.insert(0x02, sim::PidValue{{QByteArray::fromHex(code.toLatin1())}});
        rig.tool.profile().ecus[0].freeze.insert(0x03, sim::PidValue{{QByteArray::fromHex("0200")}});
        rig.tool.profile().ecus[0].freeze.insert(0x05, sim::PidValue{{QByteArray::fromHex("82")}});
        rig.openPort();
        Program &p = *rig.program;
        if (freezeRun)
            p.freezeFrame.request();
        else
            p.currentData.request();
        QVERIFY2(p.status.text().contains(QStringLiteral("\r\nFreeze Frame T.C. -P") + code + QStringLiteral("\r\n")),
                 qPrintable(p.status.text()));
        // The rest of bitmap byte A goes on: the fuel system line follows the code.
        QVERIFY(p.status.text().contains(QStringLiteral("Fuel Sys1-Closed Loop Mode")));
        QCOMPARE(p.data.color(), colors::Red);
        QVERIFY(!p.pids.no_freeze_frame);
    }

    void receiveBufferDropsWhatArrivesWhenFull_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::addColumn<int>("arriving");
        for (const bool serial : {false, true})
            for (const int n : {79, 80, 81, 500})
                QTest::addRow("%s, %d waiting", serial ? "QSerialPort" : "in-process", n) << serial << n;
    }
    void receiveBufferDropsWhatArrivesWhenFull()
    {
        QFETCH(bool, serial);
        QFETCH(int, arriving);
        QByteArray sent;
        for (int i = 0; i < arriving; ++i)
            sent.append(char('A' + i % 26));
        PtyPair pty;
        sim::SimulatedScanTool tool(steadyCar());
        tool.faults().quiet = true;
        std::unique_ptr<ScanToolPort> port;
        std::function<void(const QByteArray &)> arrive;
        if (serial) {
            QVERIFY(!pty.slave.isEmpty());
            port = std::make_unique<SerialPort>(pty.slave);
            arrive = [&](const QByteArray &d) { pty.write(d); QThread::msleep(50); };
        } else {
            port = std::make_unique<sim::SimPort>(&tool);
            arrive = [&](const QByteArray &d) { emit tool.transmit(d); };
        }
        QString error;
        QVERIFY2(port->open(&error), qPrintable(error));
        port->setInBufferSize(80);
        arrive(sent);
        const int kept = qMin(arriving, 80);
        QCOMPARE(port->inBufferCount(), kept);
        QByteArray read;
        QVERIFY(port->input(&read, &error));
        QCOMPARE(read, sent.left(kept));
        // One discard leaves nothing: what comes next is only what comes next.
        QCOMPARE(port->inBufferCount(), 0);
        arrive("R486B10");
        QVERIFY(port->input(&read, &error));
        QCOMPARE(read, QByteArray("R486B10"));
    }
};

QTEST_GUILESS_MAIN(tst_idle_line)
#include "tst_idle_line.moc"
