#pragma once
// The simulated vehicle at message level: what each ECU sends back to one raw J1979 request (the
// service byte and its data bytes), read from the vehicle profile. The simulated scan tool wraps
// these messages in its reply framing; the simulated ELM327 in CAN or legacy frames.
//
// The messages per service, on the two kinds of bus:
//   01 PID            41 PID data. On CAN up to six PIDs in one request, answered as 41 P1 D1 P2 D2 ...
//                     for those the ECU has. Support bitmaps (00, 20, 40) are derived from the PIDs.
//   02 PID 00         42 PID 00 data (only frame 00 is stored). PID 02 is the code that stored it.
//                     An ECU with "freeze_without_frame" answers "02 PID" instead and ignores the
//                     three-byte form.
//   03 / 07           Legacy: 43 C1 C2 C3 in frames of three codes (padded with 0000), one message
//                     per frame, at least one. CAN: 43 N C1 ... CN, N the count (43 00: no codes).
//   04                44, and the ECU forgets codes, freeze frame and the lamp; 7F 04 22 when refused.
//   05 TID O2S        Legacy only: 45 TID O2S value [minimum maximum] (tests 05 to 09 carry the
//                     limits); TID 00 asks which tests: 45 00 O2S and four bitmap bytes, bit 7 of the
//                     first byte being test 01. O2S is the sensor mask (B1S1 01, B1S2 02, ... B2S4 80).
//                     CAN: 7F 05 11 (the service does not exist there).
//   06 TID O2S        Legacy: the O2 sensor tests on service 06 where the ECU offers them there
//                     ("o2_services"), in the service 05 layout with 46.
//   06 TID            Legacy on-board monitoring: one message per component, 46 TID CID VV VV LL LL,
//                     bit 7 of CID set when the limit is a minimum. TID 00, 20, 40 ... ask which
//                     tests: 46 TID 00 and four bitmap bytes (bit 0 announces the next range).
//   06 MID            CAN: 46 MID and records of TID, unit-and-scaling ID, value, minimum, maximum
//                     (two bytes each). MID 00, 20, 40 ... are support bitmaps: 46 MID and four bytes.
//                     The records come from the profile in this mapping:
//                       - O2 sensor tests: MID = the sensor, 01 = B1S1, 02 = B1S2, 03 = B1S3,
//                         04 = B1S4, 05 = B2S1 ... 08 = B2S4; TID = the O2 test ID (01 to 09).
//                         Tests 01-04, 07, 08 (0.005 V a count) are sent with unit ID 0B (0.001 V),
//                         the counts times 5; tests 05, 06 (0.004 s) with unit ID 10 (1 ms), times
//                         4; test 09 (0.04 s) with unit ID 10, times 40. A test without limits
//                         (01 to 04) has minimum 0000 and maximum FFFF.
//                       - Mode 6 results (test T, component C): MID = T, TID = 80 + C (the
//                         maker's range of test IDs, so they never meet the O2 test IDs), unit ID
//                         01 (raw counts). A maximum limit is sent as minimum 0000 and maximum the
//                         limit, a minimum limit as minimum the limit and maximum FFFF.
//   other services    CAN: 7F service 11. Legacy: no answer.
// A silent ECU, an absent vehicle (ignition off) or a PID the ECU lacks give no message; refused
// O2 tests and refused monitoring requests give 7F service 12.
#include "sim/VehicleProfile.h"

#include <QHash>
#include <QList>

namespace quenta::sim {

enum class Bus { Legacy, Can };

struct EcuMessage {
    int ecu = 0;      // the answering ECU's index in the profile
    QByteArray bytes; // one response message: service + 40 and its data, or 7F, service, reason
};

class SimulatedVehicle {
public:
    // The vehicle answers from `profile`, which it reads at every request (tests change it).
    explicit SimulatedVehicle(VehicleProfile &profile) : m_profile(profile) {}

    static constexpr int AllEcus = -1;
    // The messages sent back to `request` (service byte first) by every ECU (AllEcus, a functional
    // request) or by ECU `ecu` alone, ECU by ECU in profile order, each ECU's messages in order.
    // `elapsedMs` drives the sweeps.
    QList<EcuMessage> respond(const QByteArray &request, Bus bus, int ecu, qint64 elapsedMs);

private:
    QList<QByteArray> answer(int index, const QByteArray &request, Bus bus, qint64 elapsedMs);
    bool pidData(int index, const QMap<int, PidValue> &map, int service, int pid, qint64 elapsedMs, QByteArray *out);
    QList<QByteArray> codes(const QList<quint16> &list, int service, Bus bus) const;
    QList<QByteArray> o2Tests(const EcuProfile &ecu, int service, int tid, int sensor) const;
    QList<QByteArray> monitorTests(const EcuProfile &ecu, int tid) const;
    QList<QByteArray> monitorMid(const EcuProfile &ecu, int mid) const;

    VehicleProfile &m_profile;
    QHash<qint64, int> m_turns; // per ECU, service and PID: where a list of values stands
};

} // namespace quenta::sim
