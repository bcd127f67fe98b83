#pragma once
// The simulated vehicle: what each ECU answers, read from a JSON profile.
#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <optional>

namespace quenta::sim {

// Data bytes of one PID: a fixed value, a list served in turn, or a sweep between two values.
struct PidValue {
    QList<QByteArray> values; // one entry for a fixed value
    bool sweep = false;
    int periodMs = 0;

    // The bytes to serve now; `turn` advances lists, `elapsedMs` drives sweeps.
    QByteArray bytes(int &turn, qint64 elapsedMs) const;
};

// One on-board monitoring (mode 6) test result: the test and component it answers, its value and
// its limit in counts, and whether the limit is a minimum or a maximum.
struct Mode6Result {
    quint8 test = 0;
    quint8 component = 0;
    quint16 value = 0;
    quint16 limit = 0;
    bool minimum = false;
    // The test's other limit, which a CAN ECU reports beside the first; none: no limit that way.
    std::optional<quint16> otherLimit = std::nullopt;
};

// The O2 sensor masks by name: "B1S1" is 01, "B1S2" 02, ... "B2S4" 80.
std::optional<int> o2SensorMask(const QString &name);
QString o2SensorName(int mask);

struct EcuProfile {
    quint8 address = 0x10;
    QMap<int, PidValue> pids;   // service 01 data bytes, A first
    QMap<int, PidValue> freeze; // service 02 data bytes; PID 02 holds the code that stored the frame
    QList<quint16> stored;      // service 03 codes, two bytes each
    QList<quint16> pending;     // service 07 codes
    bool silent = false;        // never answers vehicle requests
    bool codeData = true;       // false: services 03 and 07 answer "FF"
    QList<int> o2Services{0x05}; // the services that answer O2 sensor monitoring tests (05, 06)
    QMap<int, QMap<int, QByteArray>> o2Tests; // sensor mask -> test ID -> value [minimum maximum]
    QList<Mode6Result> mode6;   // on-board monitoring results, answered to the tool's packets
    bool freezeWithoutFrame = false; // answers freeze-frame requests without the frame byte only
    std::optional<quint32> canId;    // the CAN response ID; 7E8 + the ECU's place when absent
};

// Odd behaviour the tool can be switched to, from the profile ("faults") or by a test at run time.
struct Faults {
    int statusBeforeReply = 0; // the next N replies are preceded by a status "S"
    int sAtThird = 0;          // the next N replies carry "S" at position 3
    int cutRepliesTo = 0;      // replies are cut to this many characters (0: whole)
    bool garbled = false;      // replies hold non-hexadecimal characters
    bool quiet = false;        // the tool sends nothing at all
    bool blankAt10 = false;    // service 03/07 replies carry a blank at position 10
    bool pendingFE = false;    // service 07 answers "FE" (no pending data)
    bool negativeClear = false; // service 04 is refused (7F)
    bool cFirstCodes = false;  // stored and pending codes are sent with their first digit as "C"
    int unansweredService = -1; // requests of this service get no answer, and the tool falls silent
    bool passRefused = false;   // "F00504" is not acknowledged (the tool ignores it)
    bool mode6NoResponse = false; // every packet gets the ECU's refusal (reply byte 3 is 7F, not 46)
    int mode6ReplyBytes = 0;    // packet replies are cut to this many bytes (0: whole)
    bool o2Unsupported = false; // the ECU refuses O2 sensor tests on services 05 and 06
};

// The bus the vehicle speaks, as an ELM327 numbers it (ATSP / ATDPN): what the simulated ELM327
// finds; the simulated scan tool answers every profile in its own (legacy) form.
enum class Protocol { J1850Pwm = 1, J1850Vpw = 2, Iso9141 = 3, Kwp = 5, Can11 = 6, Can29 = 7 };

// How the simulated ELM327 behaves, from the profile's "adapter" object.
struct AdapterProfile {
    bool clone = false;      // echoes once more after ATE0, splits answers across writes, trailing blanks
    QString version = QStringLiteral("ELM327 v1.5"); // the banner and the ATI answer
    QString voltage = QStringLiteral("12.6V");       // the ATRV answer
    bool linefeeds = false;  // linefeeds after carriage returns after a reset (ATL1)
    int resetMs = 500;       // ATZ: the banner comes this long after the command
    int searchMs = 1500;     // the first request after ATSP0 finds the vehicle's bus after this long
};

struct VehicleProfile {
    QString firmware = QStringLiteral("3.40");
    bool vehicle = true;
    int statusPeriodMs = 10;
    int latencyMs = 2;
    std::optional<int> baud; // pace the line at this speed; unpaced when absent
    Protocol protocol = Protocol::Can11; // "protocol": can11, can29, iso9141, kwp, j1850pwm, j1850vpw
    int ecuResponseMs = 10;  // "ecu_response_ms": from a request on the bus to an ECU's first frame
    AdapterProfile adapter;
    char passHeader = '0';   // character 3 of the "F00504" acknowledgement: picks the packet's header bytes
    QList<EcuProfile> ecus;
    Faults faults;

    // Reads a profile; on failure `error` names the file and the problem.
    static std::optional<VehicleProfile> fromFile(const QString &path, QString *error);
    static std::optional<VehicleProfile> fromJson(const QByteArray &json, const QString &name, QString *error);
    // The profile shipped with the program (the believable car of the demo).
    static VehicleProfile defaultProfile();
    static QString defaultProfilePath();
};

// Parses a code as written in profiles: four hex digits ("0301") or a letter form ("P0301", "U0100").
std::optional<quint16> parseCode(const QString &text);

} // namespace quenta::sim
