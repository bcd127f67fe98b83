#pragma once
// The user's operations on a program connected to a steady car, and everything the user sees
// after one: for the end-to-end tables, in-process (on the manual clock) and over a pseudo-terminal.
#include "LineRig.h"
#include "SimRig.h"

#include "core/ControlNames.h"
#include "services/Mode6Monitor.h"
#include "services/O2Monitor.h"

#include <QTimer>
#include <optional>

enum class Op { Connect, Current, Codes, Clear, Freeze, O2, Mode6, Firmware, ChangeEcu };
inline const char *const OpNames[] = {"connect", "current", "codes", "clear", "freeze", "O2", "mode 6", "firmware", "Change ECU"};
// The service each operation's vehicle requests use (the tool's own commands for the others).
inline const int OpServices[] = {0x01, 0x01, 0x03, 0x04, 0x02, 0x05, 0xF0, 0x01, 0x80};

struct Screen {
    QString indicator, colour, status, ecu, firmware;
    QStringList data, messages;
    QString results; // the monitor window's boxes
    bool operator==(const Screen &) const = default;
};

// The steady car with O2 sensor tests for Bank1, Sensor1 and two on-board monitoring results.
inline quenta::sim::VehicleProfile operationsCar(int statusPeriodMs)
{
    quenta::sim::VehicleProfile p = SimRig::steadyProfile(statusPeriodMs);
    quenta::sim::EcuProfile &ecu = p.ecus[0];
    ecu.o2Services = {0x05, 0x06};
    ecu.o2Tests[1] = {{0x01, QByteArray::fromHex("2D")}, {0x05, QByteArray::fromHex("190064")}};
    ecu.mode6 = {{0x05, 0x11, 0x0340, 0x0300, false}, {0x0A, 0x21, 0x0200, 0x0100, true}};
    return p;
}

// The start-up with nothing behind COM`from` to COM4: its probe never reaches the machine's own ports.
inline void startUpAlone(quenta::Program &p, int from = 1)
{
    for (int com = from; com <= 4; ++com)
        p.connection.ports.mapFactory(com, [] { return nullptr; }, QStringLiteral("none"));
    p.startUp();
}

// The connection, given up after a minute of the program's clock (as Exit would).
inline void connectGivingUp(quenta::Program &p)
{
    quenta::ClockTimer giveUp(p.clock());
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &quenta::ClockTimer::timeout, &p, [&p] { p.link.abandon(); });
    giveUp.start(60000);
    p.connection.connectCom(1);
}

// Runs the operation and returns what the user sees after it.
inline Screen runOperation(quenta::Program &p, ScriptedPrompts &prompts, Op op)
{
    prompts.shown.clear();
    p.data.clear();
    p.status.setText(QStringLiteral("earlier"));
    QString results;
    switch (op) {
    case Op::Connect: connectGivingUp(p); break;
    case Op::Current: p.currentData.request(); break;
    case Op::Codes: p.troubleCodes.request(); break;
    case Op::Clear: p.clearCodes.clear(); break;
    case Op::Freeze: p.freezeFrame.request(); break;
    case Op::Firmware: p.connection.read_firmware_id(); break;
    case Op::ChangeEcu: p.connection.changeEcu(); break;
    case Op::O2: {
        quenta::O2Monitor o2(p.pidContext, p.prompts);
        o2.o2_test_request(1);
        namespace m5 = quenta::names::mode5;
        for (const QString &box : {m5::result(1), m5::result(5), m5::minimum(5), m5::maximum(5)})
            results += o2.box(box).text + QLatin1Char('|');
        break;
    }
    case Op::Mode6: {
        quenta::Mode6Monitor m6(p.link, p.mode6, p.prompts);
        m6.fields.testId = QStringLiteral("$05");
        m6.fields.componentId = QStringLiteral("$11");
        m6.fields.scale = QStringLiteral("0.01");
        m6.fields.units = QStringLiteral("V");
        m6.getTestResults();
        m6.scan();
        const auto &f = m6.fields;
        results = QStringList{f.returned, f.value, f.min, f.max, f.passFail, f.supported.join(QLatin1Char(','))}.join(QLatin1Char('|'));
        break;
    }
    }
    return {p.indicator.text(), quenta::rgbName(p.indicator.color()), p.status.text(), p.controls.caption(quenta::names::Label6),
            p.controls.caption(quenta::names::Label7), p.data.lines(), prompts.texts(), results};
}

struct OperationRig : LineRig {
    // Connected, unless the operation is the connection itself; to the given car or the steady one.
    OperationRig(Line line, Op op, std::optional<quenta::sim::VehicleProfile> car = std::nullopt)
        : LineRig(line, car ? *car : operationsCar(line == Line::Pty ? 10 : 2))
    {
        quenta::Program &p = *program;
        // Over the pseudo-terminal the bound is generous: a loaded machine may hold either side.
        p.link.operationBoundMs = line == Line::Pty ? 5000 : 500;
        startUpAlone(p, 2);
        if (op != Op::Connect) {
            connectGivingUp(p);
            if (p.indicator.text() != QLatin1String("ECU Connected"))
                qFatal("not connected: %s", qPrintable(p.indicator.text()));
        }
        prompts.answers = {true, true};
    }
    Screen run(Op op) { return runOperation(*program, prompts, op); }
};

// Everything but the status window on one line, for failure messages.
inline QString shown(const Screen &s)
{
    return QStringList{s.indicator, s.colour, s.ecu, s.firmware, s.data.join(QLatin1Char('/')), s.messages.join(QLatin1Char('/')), s.results}
        .join(QLatin1Char('|'));
}
