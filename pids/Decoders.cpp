#include "pids/Decoders.h"

#include "core/Program.h"
#include "pids/Hex.h"
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
    int pid;
    const char *name;
    const char *labelEnglish;
    const char *labelMetric; // nullptr: the same label in both unit systems
    Ask ask;
    int n; // the request's length before any frame byte
    Formula formula;
    const char *unitsEnglish;
    const char *unitsMetric;
    bool wideband = false; // a wide-range O2 sensor: remembered in WBO2_PID before the request
    bool whole = false;    // callers show the value rounded to a whole number
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
int frameShift(const Program &p, const QString &service)
{
    return service == QLatin1String("01") ? 0 : p.settings.frame_flag;
}

Bytes fetch(Program &p, const QString &service, const QString &pid, int n)
{
    const int shift = frameShift(p, service);
    const QString reply = p.link.get_ecu_PID(service, pid, lengthText(n + shift));
    Bytes b;
    for (int i = 0; i < 4; ++i)
        b.at[size_t(i)] = conv_hex(cut(reply, 12 + 2 * shift + 2 * i, 2));
    return b;
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
constexpr Ask M = Ask::Mode, F = Ask::Current, S = Ask::Service, P01 = Ask::Plain01;

// clang-format off
const Row Table[] = {
    {0x04, "get_cal_load", "Calculated Load -------- ", nullptr, M, 6, calculatedLoad, "%", "%"},
    {0x05, "get_coolant_temp", "Coolant Temp -----------  ", nullptr, M, 6, coolant, "Deg F", "Deg C", false, true},
    {0x0A, "get_fuel_press", "Fuel Pressure ---------- ", nullptr, M, 6, fuelPressure, "KPa", "KPa"},
    {0x0B, "get_MAP", "Manifold Absolute Pres.- ", nullptr, M, 6, manifoldPressure, "inHg", "KPaA"},
    {0x0C, "get_RPM", "Engine RPM ------------- ", nullptr, M, 7, engineSpeed, "RPM", "RPM"},
    {0x0D, "get_speed", "Speed ------------------ ", nullptr, M, 6, vehicleSpeed, "MPH", "KPH"},
    {0x0E, "get_ignition_adv", "Ignition Advance ------- ", nullptr, F, 6, ignitionAdvance, "Deg", "Deg"},
    {0x0F, "get_air_temp", "Intake Air Temp --------  ", nullptr, F, 6, intakeAirTemperature, "Deg F", "Deg C"},
    {0x10, "get_air_flow", "Air Flow --------------- ", nullptr, F, 7, airFlow, "gm/sec", "gm/sec"},
    {0x11, "get_TPS", "Throttle Position ------ ", nullptr, M, 6, throttlePosition, "%", "%"},
    {0x12, "get_mpg", "Gas Mileage ------------ ", "Fuel Consumption ------- ", Ask::Composite, 0, nullptr, "MPG", "Km/L"},
    {0x14, "get_O2b1s1", "O2 Sensor1 Val --------- ", nullptr, F, 6, o2Voltage, " Volts", " Volts"},
    {0x15, "get_O2b1s2", "O2 Sensor2 Val --------- ", nullptr, F, 6, o2Voltage, " Volts", " Volts"},
    {0x16, "get_O2b1s3", "O2 Sensor3 Val --------- ", nullptr, F, 6, o2Voltage, " Volts", " Volts"},
    {0x17, "get_O2b1s4", "O2 Sensor4 Val --------- ", nullptr, F, 6, o2Voltage, " Volts", " Volts"},
    {0x18, "get_O2b2s1", "O2 Sensor1b Val -------- ", nullptr, F, 6, o2Voltage, " Volts", " Volts"},
    {0x19, "get_O2b2s2", "O2 Sensor2b Val -------- ", nullptr, F, 6, o2Voltage, " Volts", " Volts"},
    {0x1A, "get_O2b2s3", "O2 Sensor3b Val -------- ", nullptr, F, 6, o2Voltage, " Volts", " Volts"},
    {0x1B, "get_O2b2s4", "O2 Sensor4b Val -------- ", nullptr, F, 6, o2Voltage, " Volts", " Volts"},
    {0x1F, "get_Time_Since_Engine_Start", "Seconds Since Start -- ", nullptr, M, 9, secondsSinceStart, "Sec.", "Sec."},

    {0x21, "get_dist_MIL", "Distance with MIL ----- ", nullptr, P01, 9, distance, "Mi", "Km"},
    {0x22, "get_fuel_rail_press", "Fuel press. ----------- ", nullptr, S, 9, fuelRailPressure, " PSI", " kPa"},
    {0x23, "get_fuel_rail_press_gauge", "Fuel press. ----------- ", nullptr, S, 9, fuelRailGauge, " PSI", "kPa"},
    {0x24, "get_O2S1_lambda", "O2S1 Sensor ----------- ", nullptr, P01, 9, lambdaSensor, " Lambda", " Lambda", true},
    {0x25, "get_O2S2_lambda", "O2S2 Sensor ----------- ", nullptr, P01, 9, lambdaSensor, " Lambda", " Lambda", true},
    {0x26, "get_O2S3_lambda", "O2S3 Sensor ----------- ", nullptr, P01, 9, lambdaSensor, " Lambda", " Lambda", true},
    {0x27, "get_O2S4_lambda", "O2S4 Sensor ----------- ", nullptr, P01, 9, lambdaSensor, " Lambda", " Lambda", true},
    {0x28, "get_O2S5_lambda", "O2S5 Sensor ----------- ", nullptr, P01, 9, lambdaSensor, " Lambda", " Lambda", true},
    {0x29, "get_O2S6_lambda", "O2S6 Sensor ----------- ", nullptr, P01, 9, lambdaSensor, " Lambda", " Lambda", true},
    {0x2A, "get_O2S7_lambda", "O2S7 Sensor ----------- ", nullptr, P01, 9, lambdaSensor, " Lambda", " Lambda", true},
    {0x2B, "get_O2S8_lambda", "O2S8 Sensor ----------- ", nullptr, P01, 9, lambdaSensor, " Lambda", " Lambda", true},
    {0x2C, "get_EGR_cmd", "CMD EGR open ---------- ", nullptr, S, 6, percentOfByte, "%", "%"},
    {0x2D, "get_EGR_error", "EGR Error ------------- ", nullptr, S, 6, percentOfByte, "%", "%"},
    {0x2E, "get_evap_purge", "CMD EVAP Purge -------- ", nullptr, S, 6, percentOfByte, "%", "%"},
    {0x2F, "get_fuel_level", "Fuel Level ------------ ", nullptr, S, 6, percentOfByte, "%", "%"},
    {0x30, "get_warm_ups", "Num. Warm Ups --------- ", nullptr, S, 6, count, "Times", "Times"},
    {0x31, "get_dist_clear", "Dist. since CLR ------- ", nullptr, S, 7, distance, "Mi.", "kM"},
    {0x32, "get_evap_press", "EVAP press. ----------- ", nullptr, S, 7, evapPressure, "inH2O.", "Pa"},
    {0x33, "get_baro", "BARO press. ----------- ", nullptr, S, 6, barometricPressure, "InHg", "kPa"},
    {0x34, "get_O2S1_AFR", "O2S1 Sensor ----------- ", nullptr, P01, 9, airFuelRatio, "AFR", "AFR", true},
    {0x35, "get_O2S2_lambda_c", "O2S2 Sensor ----------- ", nullptr, P01, 9, lambdaSensor, " Lambda", " Lambda", true},
    {0x36, "get_O2S3_lambda_c", "O2S3 Sensor ----------- ", nullptr, P01, 9, lambdaSensor, " Lambda", " Lambda", true},
    {0x37, "get_O2S4_lambda_c", "O2S4 Sensor ----------- ", nullptr, P01, 9, lambdaSensor, " Lambda", " Lambda", true},
    {0x38, "get_O2S5_lambda_c", "O2S5 Sensor ----------- ", nullptr, P01, 9, lambdaSensor, " Lambda", " Lambda", true},
    {0x39, "get_O2S6_lambda_c", "O2S6 Sensor ----------- ", nullptr, P01, 9, lambdaSensor, " Lambda", " Lambda", true},
    {0x3A, "get_O2S7_lambda_c", "O2S7 Sensor ----------- ", nullptr, P01, 9, lambdaSensor, " Lambda", " Lambda", true},
    {0x3B, "get_O2S8_lambda_c", "O2S8 Sensor ----------- ", nullptr, P01, 9, lambdaSensor, " Lambda", " Lambda", true},
    {0x3C, "get_cat_temp_11", "CAT11 Temp ------------ ", nullptr, S, 7, catalystTemperature, "Deg F", "Deg C"},
    {0x3D, "get_cat_temp_21", "CAT21 Temp ------------ ", nullptr, S, 7, catalystTemperature, "Deg F", "Deg C"},
    {0x3E, "get_cat_temp_12", "CAT12 Temp ------------ ", nullptr, S, 7, catalystTemperature, "Deg F", "Deg C"},
    {0x3F, "get_cat_temp_22", "CAT22 Temp ------------ ", nullptr, S, 7, catalystTemperature, "Deg F", "Deg C"},
    {0x42, "get_ctrl_volts", "Control Mod. Voltage--- ", nullptr, S, 9, controlVoltage, "Volts", "Volts"},
    {0x43, "get_abs_load", "Absolute Load --------- ", nullptr, S, 9, absoluteLoad, "%", "%"},
    {0x44, "get_equiv_ratio", "Cmd Equiv. Ratio ------ ", nullptr, S, 9, equivalenceRatio, " ", " "},
    {0x45, "get_rel_TPS", "Rel. Throttle Position- ", nullptr, S, 9, relativePercent, "%", "%"},
    {0x46, "get_ambient_temp", "Ambiant Air Temp ------ ", nullptr, S, 9, ambientTemperature, "Deg F", "Deg C"},
    {0x47, "get_abs_TPS_B", "Abs. Throttle PositionB- ", nullptr, S, 9, relativePercent, "%", "%"},
    {0x48, "get_abs_TPS_C", "Abs. Throttle PositionC- ", nullptr, S, 9, relativePercent, "%", "%"},
    {0x49, "get_pedal_D", "Accelerator PositionD-- ", nullptr, S, 9, relativePercent, "%", "%"},
    {0x4A, "get_pedal_E", "Accelerator PositionE-- ", nullptr, S, 9, relativePercent, "%", "%"},
    {0x4B, "get_pedal_F", "Accelerator PositionF-- ", nullptr, S, 9, relativePercent, "%", "%"},
    {0x4C, "get_throttle_cmd", "Cmd. Throt. Actuator--- ", nullptr, S, 9, relativePercent, "%", "%"},
    {0x4D, "get_MIL_minutes", "Minutes Run with MIL-- ", nullptr, S, 9, minutes, "Min.", "Min."},
    {0x4E, "get_clear_minutes", "Min. Since TC Clear--- ", nullptr, S, 9, minutes, "Min.", "Min."},
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

QString Decoders::run(int pid)
{
    const Row *row = rowOf(pid);
    Q_ASSERT(row);
    return run(*row);
}

QString Decoders::run(const Row &row, const Request *given)
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
    const Bytes bytes = fetch(m_p, service, given ? given->pid : pidText(row.pid), row.n);
    const Value v = row.formula(bytes, s.units_metric);

    DecodedValue &record = m_p.pids.record;
    record.PID_value = v.value;
    record.PID_string = v.text;
    record.PID_units = QString::fromLatin1(s.units_metric ? row.unitsMetric : row.unitsEnglish);
    record.PID_label = QString::fromLatin1(s.units_metric && row.labelMetric ? row.labelMetric : row.labelEnglish);
    return record.PID_string;
}

// Fuel economy from air flow and speed, corrected by the wide-range O2 sensor's lambda when the
// last walk found one.
QString Decoders::mileage(const Row &row)
{
    const bool metric = m_p.settings.units_metric;
    double flow = leadingNumber(get_air_flow());
    if (flow == 0)
        flow = 0.01;
    const float speed = float(leadingNumber(get_speed()));
    double e = double(speed) / ((flow + 0.001) * 0.0642);
    if (metric)
        e = e / 3.76 * 0.61;
    const QString wideband = m_p.settings.WBO2_PID;
    if (wideband.startsWith(QLatin1Char('2')) || wideband.startsWith(QLatin1Char('3')))
        e *= leadingNumber(get_lambda(QStringLiteral("01"), wideband));

    DecodedValue &record = m_p.pids.record;
    record.PID_string = first(text(e), 5);
    record.PID_units = QString::fromLatin1(metric ? row.unitsMetric : row.unitsEnglish);
    record.PID_label = QString::fromLatin1(metric ? row.labelMetric : row.labelEnglish);
    record.PID_value = leadingNumber(record.PID_string);
    return record.PID_string;
}

QString Decoders::decodePid(int pid, bool *isValue)
{
    const Row *row = rowOf(pid);
    if (isValue)
        *isValue = row != nullptr;
    if (!row)
        return QString();
    QString value = run(*row);
    if (row->whole) {
        value = QString::number(wholeNumber(value));
        m_p.pids.record.PID_string = value;
    }
    return value;
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
    const double lambda = lambdaOf(fetch(m_p, mode, pid, 9));
    DecodedValue &record = m_p.pids.record;
    record.PID_value = lambda;
    record.PID_string = text(lambda);
    return record.PID_string;
}

QString Decoders::get_WBO2_current(const QString &mode, const QString &pid)
{
    m_p.settings.WBO2_PID = QStringLiteral("34");
    const Bytes bytes = fetch(m_p, mode, pid, 9);
    DecodedValue &record = m_p.pids.record;
    record.PID_string = text(lambdaOf(bytes));
    record.PID_value = leadingNumber(text(currentOf(bytes)));
    return record.PID_string;
}

// --- Status decoders ---

void Decoders::get_MIL()
{
    const Bytes b = fetch(m_p, QStringLiteral("01"), QStringLiteral("01"), 9);
    StatusText &status = m_p.status;
    status.setText(QString());
    if (b.A() < 128)
        status.append(QStringLiteral("MIL is OFF ") + QString::number(b.A()) + QStringLiteral(" stored Trouble Code(s)"));
    else
        status.append(QStringLiteral("MIL is ON Stored Trouble Codes Present"));
    status.append(CrLf);
    for (const Monitor &m : Monitors) {
        if (!(b.at[size_t(m.supportedByte)] & (1 << m.supportedBit)))
            continue;
        const bool complete = !(b.at[size_t(m.pendingByte)] & (1 << m.pendingBit));
        status.append(QString::fromLatin1(m.name) + (complete ? QStringLiteral("Complete") : QStringLiteral("Incomplete")));
        status.append(CrLf);
        if (m.o2)
            m_p.pids.O2_monitor_complete = complete;
    }
}

void Decoders::get_trouble_codes()
{
    m_p.pids.no_freeze_frame = false;
    // The length stays 8 in both runs. The code is data bytes A and B: after the frame byte in a
    // service 02 reply, right after the PID in a service 01 reply.
    const QString reply = m_p.link.get_ecu_PID(m_p.settings.PID_mode, QStringLiteral("02"), lengthText(8));
    const int a = 12 + 2 * frameShift(m_p, m_p.settings.PID_mode);
    StatusText &status = m_p.status;
    const QString noFrame = QStringLiteral("\r\n No Freeze Frame Data Stored");
    if (charAt(reply, 2) == QLatin1Char('S')) {
        status.append(noFrame);
        return;
    }
    const QString code = cut(reply, a, 2) + cut(reply, a + 2, 2);
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
    const Bytes b = fetch(m_p, m_p.settings.PID_mode, QStringLiteral("03"), 7);
    const int systems[] = {b.A(), b.B()};
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
    const Bytes b = fetch(m_p, m_p.settings.PID_mode, pidText(pid), 6);
    const double trim = std::floor(b.A() / 128.0 * 100) - 100;
    m_p.status.append(QString::fromLatin1(label) + text(trim) + QStringLiteral("%"));
    m_p.status.append(CrLf);
}

void Decoders::get_STFTB1() { fuelTrim(0x06); }
void Decoders::get_LTFTB1() { fuelTrim(0x07); }
void Decoders::get_STFTB2() { fuelTrim(0x08); }
void Decoders::get_LTFTB2() { fuelTrim(0x09); }

void Decoders::get_cmd_sec_air_stat()
{
    const Bytes b = fetch(m_p, QStringLiteral("01"), QStringLiteral("12"), 6);
    m_p.status.append(QStringLiteral("Cmd Sec. Air Status ---- ") + QString::number(b.A()));
    m_p.status.append(CrLf);
}

void Decoders::o2_presence_scan(int &count)
{
    const QString reply = m_p.link.get_ecu_PID(QStringLiteral("01"), QStringLiteral("13"), lengthText(6));
    const int a = hex_pair_value(cut(reply, 12, 2));
    count = 0;
    // Bit k stands for sensor position k: Bank1 Sensor1 (bit 0) to Bank2 Sensor4 (bit 7).
    for (int k = 7; k >= 0; --k) {
        if (a & (1 << k)) {
            ++count;
            m_p.pids.o2_present[size_t(k)] = 1 << k;
        }
    }
}

void Decoders::get_O2_loc()
{
    int count = 0;
    o2_presence_scan(count);
    m_p.status.append(QStringLiteral("# of O2 Sensors -------- ") + QString::number(count));
    m_p.status.append(CrLf);
}

void Decoders::get_OBD()
{
    m_p.status.append(QStringLiteral("OBDII"));
    m_p.status.append(CrLf);
}

} // namespace quenta
