#pragma once
// The program without its windows, composed: settings, the link, the decoded state, the models
// the windows show, and the operations built on them and wired together. The main window owns
// one; the CLI owns one; every test starts from a new one. Nothing below the mains includes it.
#include "core/Clock.h"
#include "core/Models.h"
#include "core/Settings.h"
#include "core/Timing.h"
#include "link/Indicator.h"
#include "link/PortDirectory.h"
#include "link/ScanToolLink.h"
#include "live/LiveParts.h"
#include "pids/PidContext.h"
#include "pids/PidState.h"
#include "platform/Preferences.h"
#include "platform/Prompts.h"
#include "services/ClearCodes.h"
#include "services/Connection.h"
#include "services/CurrentData.h"
#include "services/FreezeFrame.h"
#include "services/Mode6Monitor.h"
#include "services/TroubleCodeDefinitions.h"
#include "services/TroubleCodes.h"

#include <QObject>

namespace quenta {

class Program : public QObject {
    Q_OBJECT
    // The system clock, unless the program is handed another (a test's manual clock). First, as
    // every part below is built on it.
    Clock m_systemClock;
    Clock &m_clock;

public:
    Program(Prompts &prompts, PortDirectory ports, Clock *clock = nullptr, QObject *parent = nullptr);
    ~Program() override;

    // The start-up of the main window, after it is shown: defaults, indicator, definitions, COM probe.
    void startUp();

    Prompts &prompts;
    Settings settings;
    PidState pids;
    IndicatorModel indicator;
    StatusText status;
    VehicleData data;
    LoggerParameters logger;
    LinkInfo linkInfo;
    Controls controls;
    ScanToolLink link;
    Timing timing;
    TroubleCodeDefinitions definitions;
    Mode6State mode6;

    // What the decoders, the walk and the live loops work with.
    PidContext pidContext{link, settings, pids, status, data, logger};
    // The operations of the main window.
    CurrentData currentData{pidContext, controls, linkInfo, [this] { emit showMainWindow(); }};
    TroubleCodes troubleCodes{link, status, controls, prompts, definitions};
    ClearCodes clearCodes{link, status, controls};
    FreezeFrame freezeFrame{pidContext, controls};
    Connection connection;

    // What is remembered between runs.
    Preferences preferences;

    // The "ELM327 Adapter..." item: asks for the adapter (the last one named is offered), remembers
    // it and connects through it as the COM items connect.
    void connectAdapter();
    static inline const QString AdapterQuestion = QStringLiteral(
        "Serial device or Wi-Fi address of the ELM327 adapter\n(/dev/rfcomm0, /dev/ttyUSB0, /dev/ttyUSB0@38400, 192.168.0.10:35000):");
    static inline const QString AdapterTitle = QStringLiteral("ELM327 Adapter");

    // What the live loops and their windows work with.
    LiveParts liveParts() { return {pidContext, prompts, clock(), timing}; }

    // The one clock: of the link's bounds and waits, the live loops and the stopwatch.
    Clock &clock() const { return m_clock; }

signals:
    // The main window is to be shown (brought back when a secondary window hid it).
    void showMainWindow();

private:
    void showLinkInfo();
};

} // namespace quenta
