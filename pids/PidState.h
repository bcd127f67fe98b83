#pragma once
// What a walk and the decoders leave behind for the rest of the program.
#include <QString>
#include <array>

namespace quenta {

// The decoded-value record: overwritten by every value decoder, read right after the call.
struct DecodedValue {
    double PID_value = 0;
    QString PID_string;
    QString PID_units;
    QString PID_label;
};

struct PidState {
    static constexpr int ListSize = 91;
    std::array<qint16, ListSize> PID_list{}; // PID number of each vehicle data line
    int PID_count = 0;                       // next line of the running walk
    bool has_STFTB1 = false;
    bool has_LTFTB1 = false;
    bool has_STFTB2 = false;
    bool has_LTFTB2 = false;
    bool no_freeze_frame = false;
    bool O2_monitor_complete = false;
    std::array<int, 8> o2_present{}; // Bank1 Sensor1 .. Bank2 Sensor4: 2^k once present, else 0
    DecodedValue record;
};

} // namespace quenta
