#pragma once
// The parameter decoders: one table row per PID (label, request, formula, units), one routine that
// runs a row. Each decoder asks the ECU for its PID, turns the reply's bytes into a value text and
// leaves it, with its label, units and a number, in the decoded-value record. The status decoders
// write lines to the status window instead. The named functions are the ones the rest of the
// program calls; each is a one-liner over the table.
#include "link/ScanToolLink.h"

#include <QList>
#include <QString>
#include <array>
#include <optional>

namespace quenta {

struct PidContext;
namespace decoding { struct Bytes; }

// One decoded parameter as the user sees it, with its number and when the reply was read: what
// the live windows, the logger and the CLI take, rather than the record every decoder overwrites.
struct Reading {
    int pid = 0;
    QString label; // padded with dashes, as the line shows it
    QString text;  // the value text
    QString units;
    double value = 0;       // the number the text shows: what logs, charts and meters take
    double recordValue = 0; // the decoded-value record's number (for some PIDs a scaled raw value)
    double time = 0;        // seconds on the monotonic clock
    ScanToolLink::Outcome outcome = ScanToolLink::Outcome::Answer; // how its request ended
    bool valid = true; // false: no good reply (no vehicle, no answer, a garbled line): text empty
    // The ECU's value came: a good reply that is not the ECU's silence.
    bool answered() const { return valid && outcome == ScanToolLink::Outcome::Answer; }
};

class Decoders {
public:
    explicit Decoders(PidContext &context) : m_p(context) {}

    // PID_list's number for the fuel-economy line (a computed value, not a request of PID 12).
    static constexpr int MileagePid = 0x12;

    // Runs the value decoder of `pid` (MileagePid: fuel economy) and returns its reading, which is
    // also left in the decoded-value record; for PID 05 the text is that of the whole number. A
    // PID without a value decoder asks nothing and gives an empty reading.
    Reading read(int pid);
    // The value text of read(pid); *isValue tells whether the PID has a value decoder.
    QString decodePid(int pid, bool *isValue = nullptr);
    // The formula alone, on data bytes A-D, without asking the ECU (nothing for a PID without one).
    static std::optional<Reading> evaluate(int pid, const std::array<int, 4> &bytes, bool metric);
    static bool hasValueDecoder(int pid);
    // The decoder's name, "" when there is none (for diagnostics and the CLI).
    static QString decoderName(int pid);
    // Every PID with a value decoder, in table order.
    static QList<int> valuePids();

    // Value decoders, PIDs 04 to 1F.
    QString get_cal_load();
    int get_coolant_temp(); // the whole number of its four-character text, halves to even
    QString get_fuel_press();
    QString get_MAP();
    QString get_RPM();
    QString get_speed();
    QString get_ignition_adv();
    QString get_air_temp();
    QString get_air_flow();
    QString get_mpg();
    QString get_TPS();
    QString get_O2b1s1();
    QString get_O2b1s2();
    QString get_O2b1s3();
    QString get_O2b1s4();
    QString get_O2b2s1();
    QString get_O2b2s2();
    QString get_O2b2s3();
    QString get_O2b2s4();
    QString get_Time_Since_Engine_Start();

    // Value decoders, PIDs 21 to 4E.
    QString get_dist_MIL();
    QString get_fuel_rail_press();
    QString get_fuel_rail_press_gauge();
    QString get_O2S1_lambda();
    QString get_O2S2_lambda();
    QString get_O2S3_lambda();
    QString get_O2S4_lambda();
    QString get_O2S5_lambda();
    QString get_O2S6_lambda();
    QString get_O2S7_lambda();
    QString get_O2S8_lambda();
    QString get_EGR_cmd();
    QString get_EGR_error();
    QString get_evap_purge();
    QString get_fuel_level();
    QString get_warm_ups();
    QString get_dist_clear();
    QString get_evap_press();
    QString get_baro();
    QString get_O2S1_AFR(const QString &mode, const QString &pid);
    QString get_O2S2_lambda_c();
    QString get_O2S3_lambda_c();
    QString get_O2S4_lambda_c();
    QString get_O2S5_lambda_c();
    QString get_O2S6_lambda_c();
    QString get_O2S7_lambda_c();
    QString get_O2S8_lambda_c();
    QString get_cat_temp_11();
    QString get_cat_temp_21();
    QString get_cat_temp_12();
    QString get_cat_temp_22();
    QString get_ctrl_volts();
    QString get_abs_load();
    QString get_equiv_ratio();
    QString get_rel_TPS();
    QString get_ambient_temp();
    QString get_abs_TPS_B();
    QString get_abs_TPS_C();
    QString get_pedal_D();
    QString get_pedal_E();
    QString get_pedal_F();
    QString get_throttle_cmd();
    QString get_MIL_minutes();
    QString get_clear_minutes();

    // Wide-range O2 sensors, asked with the given service and PID texts. get_lambda leaves only
    // PID_value and PID_string; get_WBO2_current returns the lambda text and leaves the sensor
    // current (mA) in PID_value.
    QString get_lambda(const QString &mode, const QString &pid);
    QString get_WBO2_current(const QString &mode, const QString &pid);
    // The same request as get_WBO2_current, as a reading of lambda and the sensor current (mA).
    struct Wideband {
        Reading lambda;
        double currentMa = 0;
    };
    Wideband wideband(const QString &mode, const QString &pid);

    // Status decoders: lines in the status window, the record untouched.
    void get_MIL();
    void get_trouble_codes();
    void get_fuel_status();
    void get_STFTB1();
    void get_LTFTB1();
    void get_STFTB2();
    void get_LTFTB2();
    void get_cmd_sec_air_stat();
    void get_O2_loc();
    void get_OBD();
    // Asks PID 13, sets `count` to the number of O2 sensors present and marks them in the presence list.
    // False when the reply could not be decoded.
    bool o2_presence_scan(int &count);

    // The numbers behind the status lines, for windows that show them their own way.
    // PID 01: the lamp, the stored-code count as the ECU gives it, and each supported monitor.
    struct Readiness {
        struct Monitor {
            QString name; // padded so that the state words line up
            bool complete;
            bool o2; // the O2 sensor monitor
        };
        bool milOn = false;
        int storedCodes = 0; // data byte A as it stands (the lamp bit included)
        QList<Monitor> monitors;
    };
    static Readiness readiness(const std::array<int, 4> &bytes);
    // PIDs 06 to 09: the trim in percent from data byte A (128 is 0 %).
    static double fuelTrimPercent(int a);

    struct Row;
    struct Request;

private:
    QString run(int pid);
    QString run(const Row &row, const Request *given = nullptr);
    Reading readRow(const Row &row, const Request *given = nullptr);
    static Reading readingOf(const Row &row, const decoding::Bytes &bytes, bool metric);
    const Reading &keep(const Reading &reading);
    // A reading of the row with its label and units and nothing more.
    static Reading labelled(const Row &row, bool metric);
    Reading unread(const Row &row, ScanToolLink::Outcome outcome) const;
    QString keepLambda(double lambda);
    double now() const;
    Reading mileage(const Row &row);
    void fuelTrim(int pid);
    PidContext &m_p;
};

} // namespace quenta
