#include "pids/Decoders.h"

#include "pids/PidContext.h"
#include "link/Reply.h"
#include "pids/numtext.h"

#include <array>
#include <cmath>

namespace quenta {

namespace decoding {

// Data bytes A to D of a reply (0 where the reply is short).
struct Bytes {
    std::array<int, 4> at{};
    int A() const { return at[0]; }
    int B() const { return at[1]; }
    int C() const { return at[2]; }
    int D() const { return at[3]; }
    int AB() const { return A() * 256 + B(); }
};

// What a formula gives: the value text and the record's number.
struct Value {
    QString text;
    double value;
};

using Formula = Value (*)(const Bytes &, bool metric);

// How a decoder asks for its PID.
enum class Ask {
    Mode,      // service PID_mode: the freeze frame's value in a freeze-frame run
    Current,   // service 01 always: the current value even in a freeze-frame listing
    Service,   // service 01, and PID_mode becomes "01"
    Plain01,   // service 01, PID_mode left alone
    Composite, // no request of its own (fuel economy)
};

} // namespace decoding

using namespace decoding;
using numtext::first;
using numtext::format;
using numtext::leadingNumber;
using numtext::text;
using numtext::textSingle;

struct Decoders::Row {
    int pid = 0;
    const char *name = "";
    const char *label = "";
    const char *labelMetric = nullptr; // nullptr: the same label in both unit systems
    Ask ask = Ask::Mode;
    int length = 0; // the request's length before any frame byte
    Formula formula = nullptr;
    const char *units = "";
    const char *unitsMetric = nullptr; // nullptr: the same units in both unit systems
    bool wideband = false; // a wide-range O2 sensor: remembered in WBO2_PID before the request
    bool whole = false;    // callers show the value rounded to a whole number

    QString labelFor(bool metric) const { return QString::fromLatin1(metric && labelMetric ? labelMetric : label); }
    QString unitsFor(bool metric) const { return QString::fromLatin1(metric && unitsMetric ? unitsMetric : units); }
};

struct Decoders::Request {
    QString mode;
    QString pid;
};

namespace {

const QString CrLf = QStringLiteral("\r\n");

QString pidText(int pid)
{
    return QStringLiteral("%1").arg(pid, 2, 16, QLatin1Char('0')).toUpper();
}

// Asks one PID and cuts bytes A to D. Only a service 02 reply carries the frame byte, so only
// requests of the frame's own service are lengthened and read two characters later; a service 01
// request in a freeze-frame run is read as the current data it is.
int frameShift(const PidContext &p, int service)
{
    return service == 0x01 ? 0 : p.settings.frame_flag;
}

// The service of a listing (PID_mode, "01" or "02") or of a request given by its texts.
int serviceOf(const QString &mode)
{
    return conv_hex(mode);
}

// One request and what came of it: the bytes when the reply can be decoded.
struct Fetched {
    ScanToolLink::Outcome outcome = ScanToolLink::Outcome::NoAnswer;
    std::optional<Bytes> bytes; // nothing: no vehicle, no answer, or a garbled line
    Reply reply;
};

// A freeze-frame request is one byte longer (the frame number), unless its length is given whole.
enum class Length { PlusFrame, AsGiven };

Fetched fetchReply(PidContext &p, int service, int pid, int n, Length length = Length::PlusFrame)
{
    const int shift = frameShift(p, service);
    const int asked = length == Length::PlusFrame ? n + shift : n;
    const ScanToolLink::Answer answer = p.link.get_ecu_PID(ToolCommand{quint8(service), quint8(pid), quint8(asked)});
    Fetched f{answer.outcome, std::nullopt, Reply(answer.reply, shift)};
    if (!answer.decodable())
        return f;
    Bytes b;
    for (int i = 0; i < 4; ++i)
        b.at[size_t(i)] = f.reply.byte(i);
    f.bytes = b;
    return f;
}

std::optional<Bytes> fetch(PidContext &p, int service, int pid, int n)
{
    return fetchReply(p, service, pid, n).bytes;
}

double lambdaOf(const Bytes &b) { return b.AB() * 0.0000305; }

// Sensor current in mA: 1/256 mA per bit around an offset of 128 mA.
double currentOf(const Bytes &b) { return (b.C() * 256 + b.D() - 32768) * 0.00390625; }

// Temperatures shown as the first four characters of their text. "Single" values are worked out
// in double and kept in single precision once, so no float rounding builds up (28 C is 82.4 F).
QString temperatureSingle(double celsius, bool metric)
{
    return first(textSingle(float(metric ? celsius : celsius * 1.8 + 32.0)), 4);
}

// --- Formulas, PIDs 04 to 1F ---

Value calculatedLoad(const Bytes &b, bool)
{
    return {textSingle(float(std::floor(b.A() / 255.0 * 100.0))), double(b.A())};
}

Value coolant(const Bytes &b, bool metric)
{
    return {temperatureSingle(b.A() - 40, metric), double(b.A())};
}

Value fuelPressure(const Bytes &b, bool)
{
    return {text(765.0 / 255.0 * b.A()), double(b.A())};
}

Value manifoldPressure(const Bytes &b, bool metric)
{
    return {first(text(metric ? double(b.A()) : b.A() * 0.29613), 5), double(b.A())};
}

Value engineSpeed(const Bytes &b, bool)
{
    const double rpm = b.AB() / 4.0;
    return {text(rpm), rpm / 25};
}

Value vehicleSpeed(const Bytes &b, bool metric)
{
    return {text(metric ? double(b.A()) : b.A() * 0.61), double(b.A())};
}

Value ignitionAdvance(const Bytes &b, bool)
{
    return {first(textSingle(float(b.A()) / 2.0f - 64.0f), 5), double(b.A())};
}

Value intakeAirTemperature(const Bytes &b, bool metric)
{
    // Readings above 150 are taken as a sensor fault and shown as 20.
    const int a = b.A() > 150 ? 20 : b.A();
    return {temperatureSingle(a - 40, metric), double(a)};
}

Value airFlow(const Bytes &b, bool)
{
    const double flow = b.AB() / 100.0;
    return {text(flow), flow / 4};
}

Value throttlePosition(const Bytes &b, bool)
{
    const double p = numtext::roundHalfEven(b.A() * 100.0 / 255.0);
    return {text((p - 12) * 1.5), double(b.A())};
}

Value o2Voltage(const Bytes &b, bool)
{
    return {text(b.A() / 200.0), double(b.A())};
}

Value secondsSinceStart(const Bytes &b, bool)
{
    const float s = float(b.AB());
    return {textSingle(s), double(s)};
}

// --- Formulas, PIDs 21 to 4E ---

Value distance(const Bytes &b, bool metric)
{
    const double d = b.AB();
    return {text(metric ? d : std::floor(d * 0.61)), d};
}

Value fuelRailPressure(const Bytes &b, bool metric)
{
    const double p = b.AB();
    return {metric ? format(std::floor(p * 0.079), QStringLiteral(" 000.0"))
                   : format(p * 0.145 * 0.079, QStringLiteral(" ##0.0")),
            p};
}

Value fuelRailGauge(const Bytes &b, bool metric)
{
    const double p = b.AB();
    return {text(std::floor(metric ? p * 10 : p * 0.0145)), p};
}

Value lambdaSensor(const Bytes &b, bool)
{
    const double lambda = leadingNumber(text(lambdaOf(b)));
    return {text(lambda), lambda};
}

Value percentOfByte(const Bytes &b, bool)
{
    return {text(std::floor(b.A() / 255.0 * 100)), double(b.A())};
}

Value count(const Bytes &b, bool)
{
    return {text(b.A()), double(b.A())};
}

Value evapPressure(const Bytes &b, bool metric)
{
    int v = b.AB();
    if (v > 32767)
        v -= 65536;
    return {text(metric ? v * 0.25 : v * 0.001003), double(v)};
}

Value barometricPressure(const Bytes &b, bool metric)
{
    return {text(metric ? double(b.A()) : b.A() * 0.2953), double(b.A())};
}

Value airFuelRatio(const Bytes &b, bool)
{
    const double current = currentOf(b);
    double ratio = current * 1.9549292646424 + 14.730450478127;
    if (ratio > 14.731)
        ratio = current * 14.731;
    return {first(text(ratio), 6), ratio};
}

Value catalystTemperature(const Bytes &b, bool metric)
{
    const float t = float(b.AB() * 0.1);
    const double celsius = double(t) - 40.0;
    return {metric ? format(celsius, QStringLiteral(" ###0")) : format(celsius * 1.8 + 32.0, QStringLiteral(" ####0")),
            double(t)};
}

Value controlVoltage(const Bytes &b, bool)
{
    const double v = b.AB() * 0.001;
    return {text(v), v};
}

Value absoluteLoad(const Bytes &b, bool)
{
    const float v = float(b.AB() * 100.0 / 255.0);
    return {textSingle(v), double(v)};
}

Value equivalenceRatio(const Bytes &b, bool)
{
    const float v = float(b.AB() * 0.0000305);
    return {textSingle(v), double(v)};
}

Value relativePercent(const Bytes &b, bool)
{
    const float v = float(b.A() * 100.0 / 255.0);
    return {textSingle(v), double(v)};
}

Value ambientTemperature(const Bytes &b, bool metric)
{
    const double celsius = b.A() - 40;
    return {first(text(metric ? celsius : celsius * 1.8 + 32), 4), double(b.A())};
}

Value minutes(const Bytes &b, bool)
{
    const float v = float(b.AB());
    return {textSingle(v), double(v)};
}

using Row = Decoders::Row;

// One row per parameter PID, ascending:
//   pid, decoder name, line label (English; metric when it differs), how the PID is asked,
//   request length before any frame byte, formula over bytes A-D, units (English; metric when they
//   differ), a wide-range O2 sensor, shown as a whole number.
// clang-format off
const Row Table[] = {
    {.pid = 0x04, .name = "get_cal_load", .label = "Calculated Load -------- ", .ask = Ask::Mode, .length = 6, .formula = calculatedLoad, .units = "%"},
    {.pid = 0x05, .name = "get_coolant_temp", .label = "Coolant Temp -----------  ", .ask = Ask::Mode, .length = 6, .formula = coolant, .units = "Deg F", .unitsMetric = "Deg C", .whole = true},
    {.pid = 0x0A, .name = "get_fuel_press", .label = "Fuel Pressure ---------- ", .ask = Ask::Mode, .length = 6, .formula = fuelPressure, .units = "KPa"},
    {.pid = 0x0B, .name = "get_MAP", .label = "Manifold Absolute Pres.- ", .ask = Ask::Mode, .length = 6, .formula = manifoldPressure, .units = "inHg", .unitsMetric = "KPaA"},
    {.pid = 0x0C, .name = "get_RPM", .label = "Engine RPM ------------- ", .ask = Ask::Mode, .length = 7, .formula = engineSpeed, .units = "RPM"},
    {.pid = 0x0D, .name = "get_speed", .label = "Speed ------------------ ", .ask = Ask::Mode, .length = 6, .formula = vehicleSpeed, .units = "MPH", .unitsMetric = "KPH"},
    {.pid = 0x0E, .name = "get_ignition_adv", .label = "Ignition Advance ------- ", .ask = Ask::Current, .length = 6, .formula = ignitionAdvance, .units = "Deg"},
    {.pid = 0x0F, .name = "get_air_temp", .label = "Intake Air Temp --------  ", .ask = Ask::Current, .length = 6, .formula = intakeAirTemperature, .units = "Deg F", .unitsMetric = "Deg C"},
    {.pid = 0x10, .name = "get_air_flow", .label = "Air Flow --------------- ", .ask = Ask::Current, .length = 7, .formula = airFlow, .units = "gm/sec"},
    {.pid = 0x11, .name = "get_TPS", .label = "Throttle Position ------ ", .ask = Ask::Mode, .length = 6, .formula = throttlePosition, .units = "%"},
    {.pid = 0x12, .name = "get_mpg", .label = "Gas Mileage ------------ ", .labelMetric = "Fuel Consumption ------- ", .ask = Ask::Composite, .units = "MPG", .unitsMetric = "Km/L"},
    {.pid = 0x14, .name = "get_O2b1s1", .label = "O2 Sensor1 Val --------- ", .ask = Ask::Current, .length = 6, .formula = o2Voltage, .units = " Volts"},
    {.pid = 0x15, .name = "get_O2b1s2", .label = "O2 Sensor2 Val --------- ", .ask = Ask::Current, .length = 6, .formula = o2Voltage, .units = " Volts"},
    {.pid = 0x16, .name = "get_O2b1s3", .label = "O2 Sensor3 Val --------- ", .ask = Ask::Current, .length = 6, .formula = o2Voltage, .units = " Volts"},
    {.pid = 0x17, .name = "get_O2b1s4", .label = "O2 Sensor4 Val --------- ", .ask = Ask::Current, .length = 6, .formula = o2Voltage, .units = " Volts"},
    {.pid = 0x18, .name = "get_O2b2s1", .label = "O2 Sensor1b Val -------- ", .ask = Ask::Current, .length = 6, .formula = o2Voltage, .units = " Volts"},
    {.pid = 0x19, .name = "get_O2b2s2", .label = "O2 Sensor2b Val -------- ", .ask = Ask::Current, .length = 6, .formula = o2Voltage, .units = " Volts"},
    {.pid = 0x1A, .name = "get_O2b2s3", .label = "O2 Sensor3b Val -------- ", .ask = Ask::Current, .length = 6, .formula = o2Voltage, .units = " Volts"},
    {.pid = 0x1B, .name = "get_O2b2s4", .label = "O2 Sensor4b Val -------- ", .ask = Ask::Current, .length = 6, .formula = o2Voltage, .units = " Volts"},
    {.pid = 0x1F, .name = "get_Time_Since_Engine_Start", .label = "Seconds Since Start -- ", .ask = Ask::Mode, .length = 9, .formula = secondsSinceStart, .units = "Sec."},

    {.pid = 0x21, .name = "get_dist_MIL", .label = "Distance with MIL ----- ", .ask = Ask::Plain01, .length = 9, .formula = distance, .units = "Mi", .unitsMetric = "Km"},
    {.pid = 0x22, .name = "get_fuel_rail_press", .label = "Fuel press. ----------- ", .ask = Ask::Service, .length = 9, .formula = fuelRailPressure, .units = " PSI", .unitsMetric = " kPa"},
    {.pid = 0x23, .name = "get_fuel_rail_press_gauge", .label = "Fuel press. ----------- ", .ask = Ask::Service, .length = 9, .formula = fuelRailGauge, .units = " PSI", .unitsMetric = "kPa"},
    {.pid = 0x24, .name = "get_O2S1_lambda", .label = "O2S1 Sensor ----------- ", .ask = Ask::Plain01, .length = 9, .formula = lambdaSensor, .units = " Lambda", .wideband = true},
    {.pid = 0x25, .name = "get_O2S2_lambda", .label = "O2S2 Sensor ----------- ", .ask = Ask::Plain01, .length = 9, .formula = lambdaSensor, .units = " Lambda", .wideband = true},
    {.pid = 0x26, .name = "get_O2S3_lambda", .label = "O2S3 Sensor ----------- ", .ask = Ask::Plain01, .length = 9, .formula = lambdaSensor, .units = " Lambda", .wideband = true},
    {.pid = 0x27, .name = "get_O2S4_lambda", .label = "O2S4 Sensor ----------- ", .ask = Ask::Plain01, .length = 9, .formula = lambdaSensor, .units = " Lambda", .wideband = true},
    {.pid = 0x28, .name = "get_O2S5_lambda", .label = "O2S5 Sensor ----------- ", .ask = Ask::Plain01, .length = 9, .formula = lambdaSensor, .units = " Lambda", .wideband = true},
    {.pid = 0x29, .name = "get_O2S6_lambda", .label = "O2S6 Sensor ----------- ", .ask = Ask::Plain01, .length = 9, .formula = lambdaSensor, .units = " Lambda", .wideband = true},
    {.pid = 0x2A, .name = "get_O2S7_lambda", .label = "O2S7 Sensor ----------- ", .ask = Ask::Plain01, .length = 9, .formula = lambdaSensor, .units = " Lambda", .wideband = true},
    {.pid = 0x2B, .name = "get_O2S8_lambda", .label = "O2S8 Sensor ----------- ", .ask = Ask::Plain01, .length = 9, .formula = lambdaSensor, .units = " Lambda", .wideband = true},
    {.pid = 0x2C, .name = "get_EGR_cmd", .label = "CMD EGR open ---------- ", .ask = Ask::Service, .length = 6, .formula = percentOfByte, .units = "%"},
    {.pid = 0x2D, .name = "get_EGR_error", .label = "EGR Error ------------- ", .ask = Ask::Service, .length = 6, .formula = percentOfByte, .units = "%"},
    {.pid = 0x2E, .name = "get_evap_purge", .label = "CMD EVAP Purge -------- ", .ask = Ask::Service, .length = 6, .formula = percentOfByte, .units = "%"},
    {.pid = 0x2F, .name = "get_fuel_level", .label = "Fuel Level ------------ ", .ask = Ask::Service, .length = 6, .formula = percentOfByte, .units = "%"},
    {.pid = 0x30, .name = "get_warm_ups", .label = "Num. Warm Ups --------- ", .ask = Ask::Service, .length = 6, .formula = count, .units = "Times"},
    {.pid = 0x31, .name = "get_dist_clear", .label = "Dist. since CLR ------- ", .ask = Ask::Service, .length = 7, .formula = distance, .units = "Mi.", .unitsMetric = "kM"},
    {.pid = 0x32, .name = "get_evap_press", .label = "EVAP press. ----------- ", .ask = Ask::Service, .length = 7, .formula = evapPressure, .units = "inH2O.", .unitsMetric = "Pa"},
    {.pid = 0x33, .name = "get_baro", .label = "BARO press. ----------- ", .ask = Ask::Service, .length = 6, .formula = barometricPressure, .units = "InHg", .unitsMetric = "kPa"},
    {.pid = 0x34, .name = "get_O2S1_AFR", .label = "O2S1 Sensor ----------- ", .ask = Ask::Plain01, .length = 9, .formula = airFuelRatio, .units = "AFR", .wideband = true},
    {.pid = 0x35, .name = "get_O2S2_lambda_c", .label = "O2S2 Sensor ----------- ", .ask = Ask::Plain01, .length = 9, .formula = lambdaSensor, .units = " Lambda", .wideband = true},
    {.pid = 0x36, .name = "get_O2S3_lambda_c", .label = "O2S3 Sensor ----------- ", .ask = Ask::Plain01, .length = 9, .formula = lambdaSensor, .units = " Lambda", .wideband = true},
    {.pid = 0x37, .name = "get_O2S4_lambda_c", .label = "O2S4 Sensor ----------- ", .ask = Ask::Plain01, .length = 9, .formula = lambdaSensor, .units = " Lambda", .wideband = true},
    {.pid = 0x38, .name = "get_O2S5_lambda_c", .label = "O2S5 Sensor ----------- ", .ask = Ask::Plain01, .length = 9, .formula = lambdaSensor, .units = " Lambda", .wideband = true},
    {.pid = 0x39, .name = "get_O2S6_lambda_c", .label = "O2S6 Sensor ----------- ", .ask = Ask::Plain01, .length = 9, .formula = lambdaSensor, .units = " Lambda", .wideband = true},
    {.pid = 0x3A, .name = "get_O2S7_lambda_c", .label = "O2S7 Sensor ----------- ", .ask = Ask::Plain01, .length = 9, .formula = lambdaSensor, .units = " Lambda", .wideband = true},
    {.pid = 0x3B, .name = "get_O2S8_lambda_c", .label = "O2S8 Sensor ----------- ", .ask = Ask::Plain01, .length = 9, .formula = lambdaSensor, .units = " Lambda", .wideband = true},
    {.pid = 0x3C, .name = "get_cat_temp_11", .label = "CAT11 Temp ------------ ", .ask = Ask::Service, .length = 7, .formula = catalystTemperature, .units = "Deg F", .unitsMetric = "Deg C"},
    {.pid = 0x3D, .name = "get_cat_temp_21", .label = "CAT21 Temp ------------ ", .ask = Ask::Service, .length = 7, .formula = catalystTemperature, .units = "Deg F", .unitsMetric = "Deg C"},
    {.pid = 0x3E, .name = "get_cat_temp_12", .label = "CAT12 Temp ------------ ", .ask = Ask::Service, .length = 7, .formula = catalystTemperature, .units = "Deg F", .unitsMetric = "Deg C"},
    {.pid = 0x3F, .name = "get_cat_temp_22", .label = "CAT22 Temp ------------ ", .ask = Ask::Service, .length = 7, .formula = catalystTemperature, .units = "Deg F", .unitsMetric = "Deg C"},
    {.pid = 0x42, .name = "get_ctrl_volts", .label = "Control Mod. Voltage--- ", .ask = Ask::Service, .length = 9, .formula = controlVoltage, .units = "Volts"},
    {.pid = 0x43, .name = "get_abs_load", .label = "Absolute Load --------- ", .ask = Ask::Service, .length = 9, .formula = absoluteLoad, .units = "%"},
    {.pid = 0x44, .name = "get_equiv_ratio", .label = "Cmd Equiv. Ratio ------ ", .ask = Ask::Service, .length = 9, .formula = equivalenceRatio, .units = " "},
    {.pid = 0x45, .name = "get_rel_TPS", .label = "Rel. Throttle Position- ", .ask = Ask::Service, .length = 9, .formula = relativePercent, .units = "%"},
    {.pid = 0x46, .name = "get_ambient_temp", .label = "Ambiant Air Temp ------ ", .ask = Ask::Service, .length = 9, .formula = ambientTemperature, .units = "Deg F", .unitsMetric = "Deg C"},
    {.pid = 0x47, .name = "get_abs_TPS_B", .label = "Abs. Throttle PositionB- ", .ask = Ask::Service, .length = 9, .formula = relativePercent, .units = "%"},
    {.pid = 0x48, .name = "get_abs_TPS_C", .label = "Abs. Throttle PositionC- ", .ask = Ask::Service, .length = 9, .formula = relativePercent, .units = "%"},
    {.pid = 0x49, .name = "get_pedal_D", .label = "Accelerator PositionD-- ", .ask = Ask::Service, .length = 9, .formula = relativePercent, .units = "%"},
    {.pid = 0x4A, .name = "get_pedal_E", .label = "Accelerator PositionE-- ", .ask = Ask::Service, .length = 9, .formula = relativePercent, .units = "%"},
    {.pid = 0x4B, .name = "get_pedal_F", .label = "Accelerator PositionF-- ", .ask = Ask::Service, .length = 9, .formula = relativePercent, .units = "%"},
    {.pid = 0x4C, .name = "get_throttle_cmd", .label = "Cmd. Throt. Actuator--- ", .ask = Ask::Service, .length = 9, .formula = relativePercent, .units = "%"},
    {.pid = 0x4D, .name = "get_MIL_minutes", .label = "Minutes Run with MIL-- ", .ask = Ask::Service, .length = 9, .formula = minutes, .units = "Min."},
    {.pid = 0x4E, .name = "get_clear_minutes", .label = "Min. Since TC Clear--- ", .ask = Ask::Service, .length = 9, .formula = minutes, .units = "Min."},
};
// clang-format on

const Row *rowOf(int pid)
{
    for (const Row &row : Table)
        if (row.pid == pid)
            return &row;
    return nullptr;
}

int wholeNumber(const QString &text)
{
    return int(numtext::roundHalfEven(leadingNumber(text)));
}

// The readiness lines of PID 01: a monitor is listed when its supported bit is set, and is
// incomplete while its not-complete bit is set.
struct Monitor {
    int supportedByte, supportedBit, pendingByte, pendingBit;
    const char *name; // padded so that the state words line up
    bool o2;
};

const Monitor Monitors[] = {
    {1, 0, 1, 4, "Misfire Monitoring            ", false},
    {1, 1, 1, 5, "Fuel Sys. Monitoring          ", false},
    {1, 2, 1, 6, "Component Monitoring          ", false},
    {2, 0, 3, 0, "Catalyst Monitoring           ", false},
    {2, 1, 3, 1, "Heated Catalyst Monitoring    ", false},
    {2, 2, 3, 2, "Evaporative System Monitoring ", false},
    {2, 3, 3, 3, "Sec. Air System Monitoring    ", false},
    {2, 4, 3, 4, "A/C Refrigerant Monitoring    ", false},
    {2, 5, 3, 5, "O2 Sensor Monitoring          ", true},
    {2, 6, 3, 6, "O2 Sensor Heater Monitoring   ", false},
    {2, 7, 3, 7, "EGR Monitoring                ", false},
};

// Fuel system status values of PID 03 that have a line.
struct FuelSystemState {
    int value;
    const char *text;
};

const FuelSystemState FuelSystemStates[] = {
    {1, "Open Loop Mode"},       {2, "Closed Loop Mode"},       {4, "Open Loop Driving"},
    {8, "Open Loop with Fault"}, {16, "Closed Loop with Fault"},
};

struct FuelTrim {
    int pid;
    const char *label;
};

const FuelTrim FuelTrims[] = {
    {0x06, "Short Term Fuel Trim---- "},
    {0x07, "Long Term FT,B1 -------- "},
    {0x08, "Short Term FT,B2 ------- "},
    {0x09, "Long Term FT,B2 -------- "},
};

} // namespace

// --- The table's routine ---

Reading Decoders::labelled(const Row &row, bool metric)
{
    Reading r;
    r.pid = row.pid;
    r.label = row.labelFor(metric);
    r.units = row.unitsFor(metric);
    return r;
}

QString Decoders::run(int pid)
{
    const Row *row = rowOf(pid);
    Q_ASSERT(row);
    return run(*row);
}

QString Decoders::run(const Row &row, const Request *given)
{
    return keep(readRow(row, given)).text;
}

Reading Decoders::readingOf(const Row &row, const Bytes &bytes, bool metric)
{
    const Value v = row.formula(bytes, metric);
    Reading r = labelled(row, metric);
    r.text = v.text;
    // The number the text shows is what logs and charts take; the record keeps the formula's.
    r.value = leadingNumber(v.text);
    r.recordValue = v.value;
    return r;
}

Reading Decoders::readRow(const Row &row, const Request *given)
{
    if (row.ask == Ask::Composite)
        return mileage(row);
    Settings &s = m_p.settings;
    if (row.wideband)
        s.WBO2_PID = pidText(row.pid);
    QString service = s.PID_mode;
    if (row.ask != Ask::Mode)
        service = QStringLiteral("01");
    if (row.ask == Ask::Service)
        s.PID_mode = service;
    if (given)
        service = given->mode;
    const Fetched f = fetchReply(m_p, serviceOf(service), given ? conv_hex(given->pid) : row.pid, row.length);
    if (!f.bytes)
        return unread(row, f.outcome);
    Reading reading = readingOf(row, *f.bytes, s.units_metric);
    reading.outcome = f.outcome;
    reading.time = now();
    return reading;
}

const Reading &Decoders::keep(const Reading &reading)
{
    DecodedValue &record = m_p.pids.record;
    record.PID_value = reading.recordValue;
    record.PID_string = reading.text;
    record.PID_units = reading.units;
    record.PID_label = reading.label;
    return reading;
}

Reading Decoders::unread(const Row &row, ScanToolLink::Outcome outcome) const
{
    const bool metric = m_p.settings.units_metric;
    Reading r = labelled(row, metric);
    r.time = now();
    r.outcome = outcome;
    r.valid = false;
    return r;
}

double Decoders::now() const
{
    return double(m_p.link.clock().tickMs()) / 1000.0;
}

// Fuel economy from air flow and speed, corrected by the wide-range O2 sensor's lambda when the
// last walk found one.
Reading Decoders::mileage(const Row &row)
{
    const bool metric = m_p.settings.units_metric;
    const Reading airFlow = readRow(*rowOf(0x10));
    const Reading vehicleSpeed = readRow(*rowOf(0x0D));
    if (!airFlow.valid || !vehicleSpeed.valid)
        return unread(row, vehicleSpeed.outcome);
    double flow = airFlow.value;
    if (flow == 0)
        flow = 0.01;
    const float speed = float(vehicleSpeed.value);
    double e = double(speed) / ((flow + 0.001) * 0.0642);
    if (metric)
        e = e / 3.76 * 0.61;
    const QString wideband = m_p.settings.WBO2_PID;
    if (wideband.startsWith(QLatin1Char('2')) || wideband.startsWith(QLatin1Char('3'))) {
        const Fetched f = fetchReply(m_p, 0x01, conv_hex(wideband), 9);
        if (!f.bytes)
            return unread(row, f.outcome);
        e *= leadingNumber(keepLambda(lambdaOf(*f.bytes)));
    }
    Reading r = labelled(row, metric);
    r.text = first(text(e), 5);
    r.value = r.recordValue = leadingNumber(r.text);
    r.time = now();
    return r;
}

Reading Decoders::read(int pid)
{
    const Row *row = rowOf(pid);
    if (!row) {
        Reading none;
        none.pid = pid;
        none.time = now();
        return none;
    }
    Reading reading = readRow(*row);
    if (row->whole && reading.valid) {
        reading.value = wholeNumber(reading.text);
        reading.text = QString::number(int(reading.value));
    }
    return keep(reading);
}

std::optional<Reading> Decoders::evaluate(int pid, const std::array<int, 4> &bytes, bool metric)
{
    const Row *row = rowOf(pid);
    if (!row || !row->formula)
        return std::nullopt;
    Bytes b;
    b.at = bytes;
    Reading reading = readingOf(*row, b, metric);
    if (row->whole)
        reading.text = QString::number(wholeNumber(reading.text));
    return reading;
}

QString Decoders::decodePid(int pid, bool *isValue)
{
    if (isValue)
        *isValue = hasValueDecoder(pid);
    return hasValueDecoder(pid) ? read(pid).text : QString();
}

bool Decoders::hasValueDecoder(int pid)
{
    return rowOf(pid) != nullptr;
}

QString Decoders::decoderName(int pid)
{
    const Row *row = rowOf(pid);
    return row ? QString::fromLatin1(row->name) : QString();
}

QList<int> Decoders::valuePids()
{
    QList<int> pids;
    for (const Row &row : Table)
        pids << row.pid;
    return pids;
}

// --- Value decoders by name ---

QString Decoders::get_cal_load() { return run(0x04); }
int Decoders::get_coolant_temp() { return wholeNumber(run(0x05)); }
QString Decoders::get_fuel_press() { return run(0x0A); }
QString Decoders::get_MAP() { return run(0x0B); }
QString Decoders::get_RPM() { return run(0x0C); }
QString Decoders::get_speed() { return run(0x0D); }
QString Decoders::get_ignition_adv() { return run(0x0E); }
QString Decoders::get_air_temp() { return run(0x0F); }
QString Decoders::get_air_flow() { return run(0x10); }
QString Decoders::get_mpg() { return run(MileagePid); }
QString Decoders::get_TPS() { return run(0x11); }
QString Decoders::get_O2b1s1() { return run(0x14); }
QString Decoders::get_O2b1s2() { return run(0x15); }
QString Decoders::get_O2b1s3() { return run(0x16); }
QString Decoders::get_O2b1s4() { return run(0x17); }
QString Decoders::get_O2b2s1() { return run(0x18); }
QString Decoders::get_O2b2s2() { return run(0x19); }
QString Decoders::get_O2b2s3() { return run(0x1A); }
QString Decoders::get_O2b2s4() { return run(0x1B); }
QString Decoders::get_Time_Since_Engine_Start() { return run(0x1F); }

QString Decoders::get_dist_MIL() { return run(0x21); }
QString Decoders::get_fuel_rail_press() { return run(0x22); }
QString Decoders::get_fuel_rail_press_gauge() { return run(0x23); }
QString Decoders::get_O2S1_lambda() { return run(0x24); }
QString Decoders::get_O2S2_lambda() { return run(0x25); }
QString Decoders::get_O2S3_lambda() { return run(0x26); }
QString Decoders::get_O2S4_lambda() { return run(0x27); }
QString Decoders::get_O2S5_lambda() { return run(0x28); }
QString Decoders::get_O2S6_lambda() { return run(0x29); }
QString Decoders::get_O2S7_lambda() { return run(0x2A); }
QString Decoders::get_O2S8_lambda() { return run(0x2B); }
QString Decoders::get_EGR_cmd() { return run(0x2C); }
QString Decoders::get_EGR_error() { return run(0x2D); }
QString Decoders::get_evap_purge() { return run(0x2E); }
QString Decoders::get_fuel_level() { return run(0x2F); }
QString Decoders::get_warm_ups() { return run(0x30); }
QString Decoders::get_dist_clear() { return run(0x31); }
QString Decoders::get_evap_press() { return run(0x32); }
QString Decoders::get_baro() { return run(0x33); }
QString Decoders::get_O2S1_AFR(const QString &mode, const QString &pid)
{
    const Request given{mode, pid};
    return run(*rowOf(0x34), &given);
}
QString Decoders::get_O2S2_lambda_c() { return run(0x35); }
QString Decoders::get_O2S3_lambda_c() { return run(0x36); }
QString Decoders::get_O2S4_lambda_c() { return run(0x37); }
QString Decoders::get_O2S5_lambda_c() { return run(0x38); }
QString Decoders::get_O2S6_lambda_c() { return run(0x39); }
QString Decoders::get_O2S7_lambda_c() { return run(0x3A); }
QString Decoders::get_O2S8_lambda_c() { return run(0x3B); }
QString Decoders::get_cat_temp_11() { return run(0x3C); }
QString Decoders::get_cat_temp_21() { return run(0x3D); }
QString Decoders::get_cat_temp_12() { return run(0x3E); }
QString Decoders::get_cat_temp_22() { return run(0x3F); }
QString Decoders::get_ctrl_volts() { return run(0x42); }
QString Decoders::get_abs_load() { return run(0x43); }
QString Decoders::get_equiv_ratio() { return run(0x44); }
QString Decoders::get_rel_TPS() { return run(0x45); }
QString Decoders::get_ambient_temp() { return run(0x46); }
QString Decoders::get_abs_TPS_B() { return run(0x47); }
QString Decoders::get_abs_TPS_C() { return run(0x48); }
QString Decoders::get_pedal_D() { return run(0x49); }
QString Decoders::get_pedal_E() { return run(0x4A); }
QString Decoders::get_pedal_F() { return run(0x4B); }
QString Decoders::get_throttle_cmd() { return run(0x4C); }
QString Decoders::get_MIL_minutes() { return run(0x4D); }
QString Decoders::get_clear_minutes() { return run(0x4E); }

// --- Wide-range O2 sensors ---

QString Decoders::get_lambda(const QString &mode, const QString &pid)
{
    const std::optional<Bytes> bytes = fetch(m_p, serviceOf(mode), conv_hex(pid), 9);
    if (!bytes)
        return QString();
    return keepLambda(lambdaOf(*bytes));
}

QString Decoders::keepLambda(double lambda)
{
    DecodedValue &record = m_p.pids.record;
    record.PID_value = lambda;
    record.PID_string = text(lambda);
    return record.PID_string;
}

QString Decoders::get_WBO2_current(const QString &mode, const QString &pid)
{
    return wideband(mode, pid).lambda.text;
}

Decoders::Wideband Decoders::wideband(const QString &mode, const QString &pid)
{
    m_p.settings.WBO2_PID = QStringLiteral("34");
    Wideband w;
    const Fetched f = fetchReply(m_p, serviceOf(mode), conv_hex(pid), 9);
    w.lambda.pid = conv_hex(pid);
    w.lambda.outcome = f.outcome;
    w.lambda.time = now();
    w.lambda.valid = f.bytes.has_value();
    if (!f.bytes)
        return w;
    DecodedValue &record = m_p.pids.record;
    w.lambda.text = record.PID_string = text(lambdaOf(*f.bytes));
    w.lambda.value = leadingNumber(w.lambda.text);
    w.currentMa = record.PID_value = leadingNumber(text(currentOf(*f.bytes)));
    return w;
}

// --- Status decoders ---

Decoders::Readiness Decoders::readiness(const std::array<int, 4> &bytes)
{
    Readiness r;
    r.milOn = bytes[0] >= 128;
    r.storedCodes = bytes[0];
    for (const Monitor &m : Monitors) {
        if (!(bytes[size_t(m.supportedByte)] & (1 << m.supportedBit)))
            continue;
        const bool complete = !(bytes[size_t(m.pendingByte)] & (1 << m.pendingBit));
        r.monitors.push_back({QString::fromLatin1(m.name), complete, m.o2});
    }
    return r;
}

void Decoders::get_MIL()
{
    const std::optional<Bytes> bytes = fetch(m_p, 0x01, 0x01, 9);
    if (!bytes)
        return;
    const Readiness r = readiness(bytes->at);
    StatusText &status = m_p.status;
    status.setText(QString());
    if (!r.milOn)
        status.append(QStringLiteral("MIL is OFF ") + QString::number(r.storedCodes) + QStringLiteral(" stored Trouble Code(s)"));
    else
        status.append(QStringLiteral("MIL is ON Stored Trouble Codes Present"));
    status.append(CrLf);
    for (const Readiness::Monitor &m : r.monitors) {
        status.append(m.name + (m.complete ? QStringLiteral("Complete") : QStringLiteral("Incomplete")));
        status.append(CrLf);
        if (m.o2)
            m_p.pids.O2_monitor_complete = m.complete;
    }
}

void Decoders::get_trouble_codes()
{
    m_p.pids.no_freeze_frame = false;
    // The length stays 8 in both runs. The code is data bytes A and B: after the frame byte in a
    // service 02 reply, right after the PID in a service 01 reply.
    const Fetched f = fetchReply(m_p, serviceOf(m_p.settings.PID_mode), 0x02, 8, Length::AsGiven);
    if (!f.bytes)
        return;
    const Reply &reply = f.reply;
    StatusText &status = m_p.status;
    const QString noFrame = QStringLiteral("\r\n No Freeze Frame Data Stored");
    if (reply.ecuSilent()) {
        status.append(noFrame);
        return;
    }
    const QString code = reply.pair(0) + reply.pair(1);
    if (code == QLatin1String("0000")) {
        status.setText(CrLf);
        status.append(noFrame);
        status.append(CrLf);
        m_p.pids.no_freeze_frame = true;
        return;
    }
    status.append(QStringLiteral("\r\nFreeze Frame T.C. -P") + code);
    status.append(CrLf);
    m_p.data.setColor(colors::Red);
}

void Decoders::get_fuel_status()
{
    const std::optional<Bytes> b = fetch(m_p, serviceOf(m_p.settings.PID_mode), 0x03, 7);
    if (!b)
        return;
    const int systems[] = {b->A(), b->B()};
    for (int i = 0; i < 2; ++i) {
        for (const FuelSystemState &state : FuelSystemStates) {
            if (systems[i] == state.value) {
                m_p.status.append(QStringLiteral("Fuel Sys%1-").arg(i + 1) + QString::fromLatin1(state.text));
                m_p.status.append(CrLf);
            }
        }
    }
    m_p.status.append(CrLf);
}

void Decoders::fuelTrim(int pid)
{
    const char *label = nullptr;
    for (const FuelTrim &t : FuelTrims)
        if (t.pid == pid)
            label = t.label;
    Q_ASSERT(label);
    const std::optional<Bytes> b = fetch(m_p, serviceOf(m_p.settings.PID_mode), pid, 6);
    if (!b)
        return;
    m_p.status.append(QString::fromLatin1(label) + text(fuelTrimPercent(b->A())) + QStringLiteral("%"));
    m_p.status.append(CrLf);
}

double Decoders::fuelTrimPercent(int a)
{
    return std::floor(a / 128.0 * 100) - 100;
}

void Decoders::get_STFTB1() { fuelTrim(0x06); }
void Decoders::get_LTFTB1() { fuelTrim(0x07); }
void Decoders::get_STFTB2() { fuelTrim(0x08); }
void Decoders::get_LTFTB2() { fuelTrim(0x09); }

void Decoders::get_cmd_sec_air_stat()
{
    const std::optional<Bytes> b = fetch(m_p, 0x01, 0x12, 6);
    if (!b)
        return;
    m_p.status.append(QStringLiteral("Cmd Sec. Air Status ---- ") + QString::number(b->A()));
    m_p.status.append(CrLf);
}

bool Decoders::o2_presence_scan(int &count)
{
    const ScanToolLink::Answer answer = m_p.link.get_ecu_PID(ToolCommand{0x01, 0x13, 6});
    const QString &reply = answer.reply;
    count = 0;
    if (!answer.decodable())
        return false;
    const int a = hex_pair_value(cut(reply, 12, 2));
    // Bit k stands for sensor position k: Bank1 Sensor1 (bit 0) to Bank2 Sensor4 (bit 7).
    for (int k = 7; k >= 0; --k) {
        if (a & (1 << k)) {
            ++count;
            m_p.pids.o2_present[size_t(k)] = 1 << k;
        }
    }
    return true;
}

void Decoders::get_O2_loc()
{
    int count = 0;
    if (!o2_presence_scan(count))
        return;
    m_p.status.append(QStringLiteral("# of O2 Sensors -------- ") + QString::number(count));
    m_p.status.append(CrLf);
}

void Decoders::get_OBD()
{
    m_p.status.append(QStringLiteral("OBDII"));
    m_p.status.append(CrLf);
}

} // namespace quenta
