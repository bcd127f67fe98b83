// Every odd behaviour of the tool against every operation, in-process and over a pseudo-terminal:
// what the user sees, and never a faulty exchange shown as a good reading.
#include "LineRig.h"
#include "SimRig.h"

#include "services/ClearCodes.h"
#include "services/CurrentData.h"
#include "services/FreezeFrame.h"
#include "services/TroubleCodes.h"

#include <functional>
#include <optional>
#include <QtTest>

using namespace quenta;

namespace {

using Operation = std::function<void(Program &)>;
const Operation Operations[] = {
    [](Program &p) { p.currentData.request(); }, [](Program &p) { p.troubleCodes.request(); },
    [](Program &p) { p.clearCodes.clear(); }, [](Program &p) { p.freezeFrame.request(); }};
const char *const OperationNames[] = {"current", "codes", "clear", "freeze"};
const int OperationServices[] = {0x01, 0x01, 0x04, 0x02};

// How a fault must show.
enum class Shows {
    SameAsWithout, // the tool's own quirk, handled: the result is the one without it
    NoVehicle,     // "ECU not Communicating" on yellow, nothing decoded
    Garbled,       // the read-error box once, nothing decoded
    OffLine,       // the tool went quiet: "ECU Off-Line" on red, the connection offered again
    EcuTimeout,    // the ECU did not answer: red, nothing decoded
    Quirk,         // a documented odd reply of the tool: handled as such, never as a garbled line
};

struct Screen {
    QString indicator;
    Rgb colour;
    QString status;
    QStringList data;
    QStringList messages;
};

struct Rig : LineRig {
    explicit Rig(Line line) : LineRig(line, SimRig::steadyProfile(line == Line::Pty ? 10 : 2))
    {
        // In-process the bound passes on the manual clock; over the pseudo-terminal it is generous,
        // since a loaded machine may hold either side for a while.
        program->link.operationBoundMs = line == Line::Pty ? 5000 : 500;
        program->connection.setPort(program->connection.ports.create(1));
        program->connection.port()->setLineSettings(*parseLineSettings(QStringLiteral("38400,N,8,1")), nullptr);
        if (!program->connection.port()->open(nullptr))
            qFatal("port");
        prompts.answers = {true, true};
    }
    Screen run(Operation op)
    {
        op(*program);
        const Program &p = *program;
        return {p.indicator.text(), p.indicator.color(), p.status.text(), p.data.lines(), prompts.texts()};
    }
};

// Anything on the screen that only a decoded reply could have put there.
bool showsDecodedValues(const Screen &s)
{
    for (const char *mark : {"MIL is", "TC1 -", "Pending Code", "Trouble Codes Cleared", "ECU #=", "Freeze Frame T.C.",
                             "No Codes to Report", "Not Supported by this ECU", "Operation Failed"})
        if (s.status.contains(QLatin1String(mark)))
            return true;
    return !s.data.isEmpty();
}

} // namespace

class tst_fault_matrix : public QObject {
    Q_OBJECT
private slots:
    void everyFaultEveryOperation_data()
    {
        QTest::addColumn<Line>("line");
        QTest::addColumn<int>("operation");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<Shows>("shows");
        const struct { const char *name; Shows shows; } faults[] = {
            {"status_before_reply", Shows::SameAsWithout}, {"s_at_third", Shows::SameAsWithout},
            {"garbled", Shows::Garbled},                   {"cut_replies_to", Shows::Garbled},
            {"no vehicle", Shows::NoVehicle},               {"quiet", Shows::OffLine},
            {"unanswered_service", Shows::OffLine},         {"silent ECU", Shows::EcuTimeout},
            {"blank_at_10", Shows::Quirk},                  {"pending_fe", Shows::Quirk},
            {"negative_clear", Shows::Quirk},               {"c_first_codes", Shows::Quirk},
        };
        for (const Line line : {Line::InProcess, Line::Pty})
            for (int op = 0; op < 4; ++op)
                for (const auto &f : faults)
                    // A fault whose result is the bound passing is shown on the manual clock only.
                    if (line == Line::InProcess || (f.shows != Shows::OffLine && f.shows != Shows::EcuTimeout))
                        QTest::addRow("%s, %s, %s", line == Line::Pty ? "pty" : "in-process", OperationNames[op], f.name)
                        << line << op << QString::fromLatin1(f.name) << f.shows;
    }
    void everyFaultEveryOperation()
    {
        QFETCH(Line, line);
        QFETCH(int, operation);
        QFETCH(QString, fault);
        QFETCH(Shows, shows);
        // A clear reply ends before the characters the line garbles or cuts: it arrives whole.
        if (operation == 2 && (fault == QLatin1String("garbled") || fault == QLatin1String("cut_replies_to")))
            shows = Shows::SameAsWithout;
        // What each quirk shows where it applies; elsewhere it changes nothing.
        QString quirk;
        if (fault == QLatin1String("blank_at_10"))
            shows = Shows::SameAsWithout; // the codes are moved back into place
        else if (fault == QLatin1String("pending_fe") && operation == 1)
            quirk = QStringLiteral("No pending codes reported");
        else if (fault == QLatin1String("negative_clear") && operation == 2)
            quirk = QStringLiteral("Operation Failed");
        else if (fault == QLatin1String("c_first_codes") && operation == 1)
            quirk = QStringLiteral("TC1 -U0133");
        else if (shows == Shows::Quirk)
            shows = Shows::SameAsWithout;
        Screen without;
        if (shows == Shows::SameAsWithout) {
            Rig clean(line);
            without = clean.run(Operations[operation]);
        }
        Rig rig(line);
        rig.withTool([&](sim::SimulatedScanTool &tool) {
            sim::Faults &f = tool.faults();
            if (fault == QLatin1String("status_before_reply"))
                f.statusBeforeReply = 1000;
            else if (fault == QLatin1String("s_at_third"))
                f.sAtThird = 1;
            else if (fault == QLatin1String("garbled"))
                f.garbled = true;
            else if (fault == QLatin1String("cut_replies_to"))
                f.cutRepliesTo = 11;
            else if (fault == QLatin1String("no vehicle"))
                tool.setVehicle(false);
            else if (fault == QLatin1String("quiet"))
                f.quiet = true;
            else if (fault == QLatin1String("unanswered_service"))
                f.unansweredService = OperationServices[operation];
            else if (fault == QLatin1String("blank_at_10"))
                f.blankAt10 = true;
            else if (fault == QLatin1String("pending_fe"))
                f.pendingFE = true;
            else if (fault == QLatin1String("negative_clear"))
                f.negativeClear = true;
            else if (fault == QLatin1String("c_first_codes"))
                f.cFirstCodes = true;
            else if (fault == QLatin1String("silent ECU"))
                for (sim::EcuProfile &ecu : tool.profile().ecus)
                    ecu.silent = true;
        });
        if (fault == QLatin1String("no vehicle") && line == Line::Pty) {
            // The car is off once the line says so: a status sent before the switch may still be on
            // its way, and would rightly read as a car that answers.
            QString heard;
            QTRY_VERIFY_WITH_TIMEOUT((heard += rig.program->link.OBDinput()).endsWith(QLatin1Char('P')), 10000);
        }
        const Screen seen = rig.run(Operations[operation]);
        const QString shown = seen.indicator + QLatin1Char('|') + seen.status + QLatin1Char('|') + seen.data.join(QLatin1Char('|'));
        switch (shows) {
        case Shows::SameAsWithout:
            QCOMPARE(seen.status, without.status);
            QCOMPARE(seen.data, without.data);
            QCOMPARE(seen.indicator, without.indicator);
            QCOMPARE(seen.messages, without.messages);
            return;
        case Shows::NoVehicle:
            QCOMPARE(seen.indicator, QStringLiteral("ECU not Communicating"));
            QCOMPARE(seen.colour, colors::Yellow);
            break;
        case Shows::Garbled:
            QCOMPARE(seen.messages.count(QStringLiteral("Communication Error Reading Scan Tool Data")), 1);
            break;
        case Shows::OffLine:
            QCOMPARE(seen.indicator, QStringLiteral("ECU Off-Line"));
            QCOMPARE(seen.colour, colors::Red);
            QVERIFY(rig.program->controls.enabled(names::mnuCom));
            break;
        case Shows::EcuTimeout:
            QVERIFY2(seen.indicator.startsWith(QLatin1String("ECU Timeout")), qPrintable(shown));
            QCOMPARE(seen.colour, colors::Red);
            break;
        case Shows::Quirk:
            QVERIFY2(seen.status.contains(quirk), qPrintable(shown));
            QVERIFY(seen.messages.isEmpty());
            return;
        }
        // The one thing that must never happen: a faulty exchange shown as a good reading.
        const bool green = seen.indicator == QLatin1String("ECU Connected") && seen.colour == colors::Green;
        QVERIFY2(!(green && showsDecodedValues(seen)), qPrintable(shown));
        if (shows != Shows::EcuTimeout)
            QVERIFY2(!showsDecodedValues(seen), qPrintable(shown));
    }
};

QTEST_GUILESS_MAIN(tst_fault_matrix)
#include "tst_fault_matrix.moc"
