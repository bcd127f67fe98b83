// Every operation against every odd behaviour of the tool and the car, on the manual clock: what
// the user sees, and never a faulty exchange shown as a good reading.
#include "OperationRig.h"

#include <QtTest>

using namespace quenta;

namespace {

enum class Fault { StatusFirst, SAtThird, Idle, Garbled, Cut, NoVehicle, Quiet, Unanswered, SilentEcu, PortLost };

// How a fault must show.
enum class Shows {
    Same,      // the tool's quirk, handled: the screen is the one without it
    Garbled,   // the read-error box once, nothing decoded
    NoVehicle, // "ECU not Communicating" on yellow, nothing decoded
    OffLine,   // the tool is gone: "ECU Off-Line" on red, the connection offered again
    Timeout,   // the ECU did not answer: red, nothing decoded
};

const struct { const char *name; Shows shows; } Faults[] = {
    {"status before reply", Shows::Same}, {"S at third", Shows::Same},   {"sat idle", Shows::Same},
    {"garbled", Shows::Garbled},          {"cut to 11", Shows::Garbled}, {"no vehicle", Shows::NoVehicle},
    {"quiet tool", Shows::OffLine},       {"unanswered service", Shows::OffLine}, {"silent ECU", Shows::Timeout},
    {"port lost", Shows::OffLine},
};

void inject(OperationRig &rig, Op op, Fault fault)
{
    if (fault == Fault::Idle) {
        // Hundreds of status characters: the 80-character receive buffer overflows many times over.
        rig.program->clock().wait(800);
        return;
    }
    if (fault == Fault::PortLost) {
        rig.clock.after(1, [&rig] { static_cast<sim::SimPort *>(rig.program->connection.port())->simulateLoss(); });
        return;
    }
    rig.withTool([&](sim::SimulatedScanTool &tool) {
        sim::Faults &f = tool.faults();
        switch (fault) {
        case Fault::StatusFirst: f.statusBeforeReply = 1000; break;
        case Fault::SAtThird: f.sAtThird = 1; break;
        case Fault::Garbled: f.garbled = true; break;
        case Fault::Cut: f.cutRepliesTo = 11; break;
        case Fault::NoVehicle: tool.setVehicle(false); break;
        case Fault::Quiet: f.quiet = true; break;
        case Fault::Unanswered: f.unansweredService = OpServices[int(op)]; break;
        case Fault::SilentEcu:
            for (sim::EcuProfile &ecu : tool.profile().ecus)
                ecu.silent = true;
            break;
        default: break;
        }
    });
}

// Anything on the screen that only a decoded reply could have put there.
bool showsDecodedValues(const Screen &s)
{
    for (const char *mark : {"MIL is", "TC1 -", "Pending Code", "Trouble Codes Cleared", "ECU #=", "Freeze Frame T.C.",
                             "No Codes to Report", "Not Supported by this ECU", "Operation Failed"})
        if (s.status.contains(QLatin1String(mark)))
            return true;
    return !s.data.isEmpty() || s.results.contains(QRegularExpression(QStringLiteral("[0-9]")));
}

} // namespace

class tst_operations : public QObject {
    Q_OBJECT
private slots:
    void everyFaultEveryOperation_data()
    {
        QTest::addColumn<Op>("op");
        QTest::addColumn<Fault>("fault");
        for (int op = 0; op <= int(Op::ChangeEcu); ++op)
            for (int f = 0; f <= int(Fault::PortLost); ++f)
                QTest::addRow("%s, %s", OpNames[op], Faults[f].name) << Op(op) << Fault(f);
    }
    void everyFaultEveryOperation()
    {
        QFETCH(Op, op);
        QFETCH(Fault, fault);
        Shows shows = Faults[int(fault)].shows;
        const bool monitor = op == Op::O2 || op == Op::Mode6;
        // The tool's own words around the packet and the packet itself are not garbled; nor is a
        // clear reply, which ends before the characters the line garbles or cuts.
        if (shows == Shows::Garbled && (op == Op::Mode6 || op == Op::Clear))
            shows = Shows::Same;
        OperationRig rig(Line::InProcess, op);
        inject(rig, op, fault);
        const Screen seen = rig.run(op);
        if (shows == Shows::Same) {
            OperationRig clean(Line::InProcess, op);
            QCOMPARE(seen, clean.run(op));
            return;
        }
        const QString what = shown(seen);
        const QStringList readError{QStringLiteral("Communication Error Reading Scan Tool Data")};
        // Nothing the program did not get from the car may stand as a reading.
        if (op == Op::Codes && fault == Fault::Unanswered) // the MIL status came before the codes went unanswered
            QVERIFY2(!seen.status.contains(QLatin1String("TC1 -")) && !seen.status.contains(QLatin1String("Pending")), qPrintable(seen.status));
        else
            QVERIFY2(!showsDecodedValues(seen), qPrintable(what));
        if (fault == Fault::PortLost)
            QCOMPARE(seen.messages.mid(0, 1), readError);
        if (op == Op::O2 && shows != Shows::Garbled)
            QCOMPARE(seen.messages.last(), O2Monitor::TimeoutText);
        if (op == Op::Mode6)
            QVERIFY2(seen.results.startsWith(Mode6Monitor::NoResponseText), qPrintable(what));
        switch (shows) {
        case Shows::Same:
            break;
        case Shows::Garbled:
            QCOMPARE(seen.messages, readError);
            break;
        case Shows::NoVehicle:
            // The connection waits for the car; a monitor says why it ended, the others say the car is off.
            QCOMPARE(seen.indicator, op == Op::Connect ? QStringLiteral("Waiting for ECU") : monitor ? QStringLiteral("ECU Connected") : ScanToolLink::NoVehicleText);
            QCOMPARE(seen.colour, rgbName(colors::Yellow));
            if (op == Op::Mode6)
                QCOMPARE(seen.messages, QStringList(2, Mode6Monitor::NotAcknowledgedText));
            break;
        case Shows::OffLine:
            // A connection waits for a tool that never spoke; one that stopped speaking is gone.
            if (op == Op::Connect && fault == Fault::Quiet) {
                QCOMPARE(seen.indicator, QStringLiteral("Waiting for ECU"));
                break;
            }
            QCOMPARE(seen.indicator, QStringLiteral("ECU Off-Line"));
            QCOMPARE(seen.colour, rgbName(colors::Red));
            QVERIFY(rig.program->controls.enabled(names::mnuCom));
            QVERIFY(!rig.program->controls.enabled(names::Mode1));
            if (op == Op::Connect)
                QCOMPARE(seen.messages.last(), QStringLiteral("Invalid COM PORT"));
            break;
        case Shows::Timeout:
            // The tool is connected and says the ECU is silent: red, or the monitor's own words on green.
            QCOMPARE(seen.indicator, op == Op::Connect || monitor ? QStringLiteral("ECU Connected")
                                     : op == Op::Freeze ? QStringLiteral("ECU Timeout, Freeze Frame not Supported")
                                                         : QStringLiteral("ECU Timeout"));
            QCOMPARE(seen.colour, rgbName(monitor ? colors::Green : colors::Red));
            if (op == Op::Connect || op == Op::Firmware || op == Op::ChangeEcu)
                QCOMPARE(seen.ecu, QStringLiteral("ECU #=00\r\n"));
            break;
        }
    }

    // The firmware's version unlocks the O2 sensor and mode 6 tests; one that is no number does not.
    void firmwareUnlocksTests()
    {
        for (const auto &[firmware, unlocked] : {std::pair{"3.09", false}, {"3.10", true}, {"x.yz", false}}) {
            sim::VehicleProfile car = operationsCar(2);
            car.firmware = QLatin1String(firmware);
            OperationRig rig(Line::InProcess, Op::Current, car);
            const Controls &c = rig.program->controls;
            QCOMPARE(c.caption(names::Label7), "F/W: S" + car.firmware);
            QCOMPARE(QList<bool>({c.visible(names::Mode5), c.enabled(names::mnuMode6)}), QList<bool>(2, unlocked));
        }
    }

    // The connection waits on yellow while the car is off, and goes on once it is on.
    void carSwitchedOnDuringTheConnection()
    {
        OperationRig rig(Line::InProcess, Op::Connect);
        rig.tool->setVehicle(false);
        QList<Rgb> colours;
        connect(&rig.program->indicator, &IndicatorModel::changed, this, [&] { colours << rig.program->indicator.color(); });
        rig.clock.after(300, [&] { rig.tool->setVehicle(true); });
        QCOMPARE(rig.run(Op::Connect).indicator, QStringLiteral("ECU Connected"));
        QVERIFY(colours.contains(colors::Yellow) && colours.indexOf(colors::Yellow) < colours.indexOf(colors::Green));
    }

    // At start-up a port that cannot be opened is greyed out; chosen anyway, it fails with the
    // message and the port items are offered again.
    void portThatCannotBeOpened()
    {
        OperationRig rig(Line::InProcess, Op::Connect);
        Program &p = *rig.program;
        p.connection.ports.mapDevice(1, QStringLiteral("/dev/quenta-no-such-device"));
        p.startUp();
        QVERIFY(!p.controls.enabled(names::mnuConnectionCom1) && p.controls.enabled(names::mnuConnectionComX));
        p.connection.connectCom(1);
        QCOMPARE(rig.prompts.texts(), QStringList{QStringLiteral("Invalid COM PORT")});
        QVERIFY(p.controls.enabled(names::mnuConnectionCom1) && !p.controls.enabled(names::Mode1));
    }
};

QTEST_GUILESS_MAIN(tst_operations)
#include "tst_operations.moc"
