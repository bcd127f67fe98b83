// The decoder table through the in-process tool on a manual clock: the formulas over their byte
// ranges, every PID in both runs, exact texts, no data, fuel economy, wideband and status lines.
#include "OneEcuRig.h"

#include "pids/Decoders.h"
#include "pids/PidWalker.h"
#include "pids/numtext.h"

#include <QtTest>

using namespace quenta;

namespace {

QString hex2(int v) { return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper(); }
bool closeTo(double a, double b, double slack = 0) { return qAbs(a - b) <= slack + 1e-6 * qMax(1.0, qAbs(b)); }
double fahrenheit(double celsius, bool metric) { return metric ? celsius : celsius * 1.8 + 32; }
double percent(int n, bool) { return n * 100 / 255.0; }
double same(int n, bool) { return n; }
double lambda(int n, bool) { return n * 0.0000305; }
double miles(int n, bool metric) { return metric ? n : n * 0.61; }
double celsius(int n, bool metric) { return fahrenheit(n - 40, metric); }

// One PID per formula: the value its swept number n (A, AB, or the air/fuel ratio's current CD)
// stands for, and how far the line may lie from it by the integer parts and places it shows.
struct Formula {
    int pid;
    int bytes; // 1: A; 2: A and B; 4: C and D after A and B of 0
    double (*physical)(int n, bool metric);
    double slack;
};
const Formula Formulas[] = {
    {0x04, 1, percent, 1}, {0x05, 1, celsius, 1}, {0x0A, 1, [](int n, bool) { return 3.0 * n; }, 0},
    {0x0B, 1, [](int n, bool m) { return m ? n : n * 0.29613; }, 0.01}, {0x0C, 2, [](int n, bool) { return n / 4.0; }, 0},
    {0x0D, 1, miles, 0}, {0x0E, 1, [](int n, bool) { return n / 2.0 - 64; }, 0},
    {0x0F, 1, [](int n, bool m) { return celsius(n > 150 ? 20 : n, m); }, 1}, // above 150: a sensor fault
    {0x10, 2, [](int n, bool) { return n / 100.0; }, 0}, {0x11, 1, [](int n, bool m) { return (percent(n, m) - 12) * 1.5; }, 0.75},
    {0x14, 2, [](int n, bool) { return (n >> 8) / 200.0; }, 0}, // the trim byte B is not read
    {0x1F, 2, same, 0}, {0x21, 2, miles, 1}, {0x22, 2, [](int n, bool m) { return m ? n * 0.079 : n * 0.145 * 0.079; }, 1},
    {0x23, 2, [](int n, bool m) { return m ? n * 10.0 : n * 0.0145; }, 1}, {0x24, 2, lambda, 0}, {0x2C, 1, percent, 1},
    {0x30, 1, same, 0}, {0x32, 2, [](int n, bool m) { const int v = n > 32767 ? n - 65536 : n; return m ? v * 0.25 : v * 0.001003; }, 0},
    {0x33, 1, [](int n, bool m) { return m ? n : n * 0.2953; }, 0},
    {0x34, 4, [](int n, bool) {
         const double mA = (n - 32768) / 256.0, ratio = mA * 1.9549292646424 + 14.730450478127;
         return ratio > 14.731 ? mA * 14.731 : ratio; }, 0.1},
    {0x3C, 2, [](int n, bool m) { return fahrenheit(n * 0.1 - 40, m); }, 0.51}, {0x42, 2, [](int n, bool) { return n * 0.001; }, 0},
    {0x43, 2, percent, 0}, {0x44, 2, lambda, 0}, {0x45, 1, percent, 0}, {0x46, 1, celsius, 1}, {0x4D, 2, same, 0},
};

// Every value PID: named decoder, label, request (M: the run's service, C: always current, P: 01,
// S: 01 that PID_mode then keeps; the length), its line at the bytes, English then metric ("": same).
using D = Decoders;
struct Pid {
    int pid;
    QString (Decoders::*named)(); // nullptr: 05 returns a number, 34 takes its request's texts
    const char *label, *request, *bytes, *english, *metric;
};
const Pid Pids[] = {
    {0x04, &D::get_cal_load, "Calculated Load -------- ", "M6", "80", "50%", ""}, {0x05, nullptr, "Coolant Temp -----------  ", "M6", "8D", "213Deg F", "101Deg C"},
    {0x0A, &D::get_fuel_press, "Fuel Pressure ---------- ", "M6", "55", "255KPa", ""}, {0x0B, &D::get_MAP, "Manifold Absolute Pres.- ", "M6", "64", "29.61inHg", "100KPaA"},
    {0x0C, &D::get_RPM, "Engine RPM ------------- ", "M7", "0CB4", "813RPM", ""}, {0x0D, &D::get_speed, "Speed ------------------ ", "M6", "21", "20.13MPH", "33KPH"},
    {0x0E, &D::get_ignition_adv, "Ignition Advance ------- ", "C6", "8D", "6.5Deg", ""},
    {0x0F, &D::get_air_temp, "Intake Air Temp --------  ", "C6", "96", "230Deg F", "110Deg C"},
    {0x10, &D::get_air_flow, "Air Flow --------------- ", "C7", "0190", "4gm/sec", ""}, {0x11, &D::get_TPS, "Throttle Position ------ ", "M6", "80", "57%", ""},
    {0x14, &D::get_O2b1s1, "O2 Sensor1 Val --------- ", "C6", "5A80", "0.45 Volts", ""}, {0x15, &D::get_O2b1s2, "O2 Sensor2 Val --------- ", "C6", "5A80", "0.45 Volts", ""},
    {0x16, &D::get_O2b1s3, "O2 Sensor3 Val --------- ", "C6", "5A80", "0.45 Volts", ""}, {0x17, &D::get_O2b1s4, "O2 Sensor4 Val --------- ", "C6", "5A80", "0.45 Volts", ""},
    {0x18, &D::get_O2b2s1, "O2 Sensor1b Val -------- ", "C6", "5A80", "0.45 Volts", ""}, {0x19, &D::get_O2b2s2, "O2 Sensor2b Val -------- ", "C6", "5A80", "0.45 Volts", ""},
    {0x1A, &D::get_O2b2s3, "O2 Sensor3b Val -------- ", "C6", "5A80", "0.45 Volts", ""}, {0x1B, &D::get_O2b2s4, "O2 Sensor4b Val -------- ", "C6", "5A80", "0.45 Volts", ""},
    {0x1F, &D::get_Time_Since_Engine_Start, "Seconds Since Start -- ", "M9", "0384", "900Sec.", ""},
    {0x21, &D::get_dist_MIL, "Distance with MIL ----- ", "P9", "0100", "156Mi", "256Km"},
    {0x22, &D::get_fuel_rail_press, "Fuel press. ----------- ", "S9", "00C8", " 2.3 PSI", " 015.0 kPa"},
    {0x23, &D::get_fuel_rail_press_gauge, "Fuel press. ----------- ", "S9", "00C8", "2 PSI", "2000kPa"},
    {0x24, &D::get_O2S1_lambda, "O2S1 Sensor ----------- ", "P9", "8000", "0.999424 Lambda", ""},
    {0x25, &D::get_O2S2_lambda, "O2S2 Sensor ----------- ", "P9", "8000", "0.999424 Lambda", ""},
    {0x26, &D::get_O2S3_lambda, "O2S3 Sensor ----------- ", "P9", "8000", "0.999424 Lambda", ""},
    {0x27, &D::get_O2S4_lambda, "O2S4 Sensor ----------- ", "P9", "8000", "0.999424 Lambda", ""},
    {0x28, &D::get_O2S5_lambda, "O2S5 Sensor ----------- ", "P9", "8000", "0.999424 Lambda", ""},
    {0x29, &D::get_O2S6_lambda, "O2S6 Sensor ----------- ", "P9", "8000", "0.999424 Lambda", ""},
    {0x2A, &D::get_O2S7_lambda, "O2S7 Sensor ----------- ", "P9", "8000", "0.999424 Lambda", ""},
    {0x2B, &D::get_O2S8_lambda, "O2S8 Sensor ----------- ", "P9", "FFFF", "1.9988175 Lambda", ""}, {0x2C, &D::get_EGR_cmd, "CMD EGR open ---------- ", "S6", "80", "50%", ""},
    {0x2D, &D::get_EGR_error, "EGR Error ------------- ", "S6", "99", "60%", ""}, // not a signed deviation
    {0x2E, &D::get_evap_purge, "CMD EVAP Purge -------- ", "S6", "FF", "100%", ""}, {0x2F, &D::get_fuel_level, "Fuel Level ------------ ", "S6", "01", "0%", ""},
    {0x30, &D::get_warm_ups, "Num. Warm Ups --------- ", "S6", "12", "18Times", ""}, {0x31, &D::get_dist_clear, "Dist. since CLR ------- ", "S7", "0456", "677Mi.", "1110kM"},
    {0x32, &D::get_evap_press, "EVAP press. ----------- ", "S7", "FFFC", "-0.004012inH2O.", "-1Pa"},
    {0x33, &D::get_baro, "BARO press. ----------- ", "S6", "64", "29.53InHg", "100kPa"}, {0x34, nullptr, "O2S1 Sensor ----------- ", "P9", "00008000", "14.730AFR", ""},
    {0x35, &D::get_O2S2_lambda_c, "O2S2 Sensor ----------- ", "P9", "0001", "3.05E-05 Lambda", ""},
    {0x36, &D::get_O2S3_lambda_c, "O2S3 Sensor ----------- ", "P9", "8000", "0.999424 Lambda", ""},
    {0x37, &D::get_O2S4_lambda_c, "O2S4 Sensor ----------- ", "P9", "8000", "0.999424 Lambda", ""},
    {0x38, &D::get_O2S5_lambda_c, "O2S5 Sensor ----------- ", "P9", "8000", "0.999424 Lambda", ""},
    {0x39, &D::get_O2S6_lambda_c, "O2S6 Sensor ----------- ", "P9", "8000", "0.999424 Lambda", ""},
    {0x3A, &D::get_O2S7_lambda_c, "O2S7 Sensor ----------- ", "P9", "8000", "0.999424 Lambda", ""},
    {0x3B, &D::get_O2S8_lambda_c, "O2S8 Sensor ----------- ", "P9", "8000", "0.999424 Lambda", ""},
    {0x3C, &D::get_cat_temp_11, "CAT11 Temp ------------ ", "S7", "1194", " 770Deg F", " 410Deg C"},
    {0x3D, &D::get_cat_temp_21, "CAT21 Temp ------------ ", "S7", "1199", " 771Deg F", " 411Deg C"}, // 410.5: away from 0
    {0x3E, &D::get_cat_temp_12, "CAT12 Temp ------------ ", "S7", "FFFF", " 11756Deg F", " 6514Deg C"},
    {0x3F, &D::get_cat_temp_22, "CAT22 Temp ------------ ", "S7", "0000", " -40Deg F", " -40Deg C"},
    {0x42, &D::get_ctrl_volts, "Control Mod. Voltage--- ", "S9", "36B0", "14Volts", ""},
    {0x43, &D::get_abs_load, "Absolute Load --------- ", "S9", "0001", "0.3921569%", ""}, // single precision: 7 digits
    {0x44, &D::get_equiv_ratio, "Cmd Equiv. Ratio ------ ", "S9", "0001", "3.05E-05 ", ""}, {0x45, &D::get_rel_TPS, "Rel. Throttle Position- ", "S9", "80", "50.19608%", ""},
    {0x46, &D::get_ambient_temp, "Ambiant Air Temp ------ ", "S9", "8D", "213.Deg F", "101Deg C"}, // not whole
    {0x47, &D::get_abs_TPS_B, "Abs. Throttle PositionB- ", "S9", "80", "50.19608%", ""}, {0x48, &D::get_abs_TPS_C, "Abs. Throttle PositionC- ", "S9", "80", "50.19608%", ""},
    {0x49, &D::get_pedal_D, "Accelerator PositionD-- ", "S9", "80", "50.19608%", ""}, {0x4A, &D::get_pedal_E, "Accelerator PositionE-- ", "S9", "80", "50.19608%", ""},
    {0x4B, &D::get_pedal_F, "Accelerator PositionF-- ", "S9", "FF", "100%", ""}, {0x4C, &D::get_throttle_cmd, "Cmd. Throt. Actuator--- ", "S9", "00", "0%", ""},
    {0x4D, &D::get_MIL_minutes, "Minutes Run with MIL-- ", "S9", "FFFF", "65535Min.", ""}, {0x4E, &D::get_clear_minutes, "Min. Since TC Clear--- ", "S9", "0384", "900Min.", ""},
};

QString callNamed(Decoders &d, const Pid &row)
{
    if (row.pid == 0x05)
        return QString::number(d.get_coolant_temp());
    if (row.pid == 0x34)
        return d.get_O2S1_AFR(QStringLiteral("01"), QStringLiteral("34"));
    return (d.*row.named)();
}

QStringList split(const char *words) { return QString::fromLatin1(words).split(QLatin1Char(' '), Qt::SkipEmptyParts); }

} // namespace

class tst_decoders : public QObject {
    Q_OBJECT

private slots:
    // The table checks itself: one row per PID in order, a name each, and exactly the PIDs the
    // walk lists (a row the walk never reaches is dead; a bit without a row lists nothing).
    void table()
    {
        const QList<int> pids = Decoders::valuePids();
        QList<int> listed = PidWalker::listedPids();
        std::sort(listed.begin(), listed.end());
        QCOMPARE(listed, pids);
        QCOMPARE(pids.size(), qsizetype(std::size(Pids) + 1)); // and fuel economy
        QStringList names;
        for (qsizetype i = 0; i < pids.size(); ++i) {
            names << Decoders::decoderName(pids[i]);
            QVERIFY2((i == 0 || pids[i - 1] < pids[i]) && names.last().startsWith(QLatin1String("get_")) && names.count(names.last()) == 1,
                     qPrintable(names.last()));
        }
        QCOMPARE(Decoders::decoderName(Decoders::MileagePid), QStringLiteral("get_mpg"));
        // Status PIDs and unknown numbers have no decoder; fuel economy has no formula of its own.
        OneEcuRig b;
        Decoders d(b.p.pidContext);
        for (int pid : {0x01, 0x03, 0x06, 0x13, 0x1C, 0x20, 0x41, 0x4F, 0x60, 0xFF, -1, Decoders::MileagePid}) {
            bool isValue = true;
            QVERIFY(!Decoders::evaluate(pid, {}, false));
            QVERIFY(pid == Decoders::MileagePid || (d.decodePid(pid, &isValue).isEmpty() && !isValue && d.read(pid).text.isEmpty()));
        }
        QVERIFY(b.commands().isEmpty());
    }

    // Bytes go out in the simulated tool's replies and come back through the decoder table.
    void roundTrip()
    {
        OneEcuRig b;
        Decoders d(b.p.pidContext);
        for (const Formula &f : Formulas) {
            QList<int> numbers;
            for (int n = 0; n < (f.bytes == 1 ? 256 : 65536); n += (f.bytes == 1 ? 1 : 251))
                numbers << n;
            if (f.bytes > 1)
                numbers << 0x7FFF << 0x8000 << 0xFFFF;
            for (bool metric : {false, true}) {
                b.p.settings.units_metric = metric;
                for (int n : numbers) {
                    const std::array<int, 4> bytes = f.bytes == 1 ? std::array<int, 4>{n, 0, 0, 0}
                        : f.bytes == 2 ? std::array<int, 4>{n >> 8, n & 0xFF, 0, 0} : std::array<int, 4>{0, 0, n >> 8, n & 0xFF};
                    QByteArray hex;
                    for (int i = 0; i < f.bytes; ++i)
                        hex += QByteArray::number(0x100 + bytes[size_t(i)], 16).right(2);
                    b.set(f.pid, hex);
                    const Reading r = d.read(f.pid);
                    const double expected = f.physical(n, metric);
                    if (!r.answered() || !closeTo(r.value, expected, f.slack) || Decoders::evaluate(f.pid, bytes, metric)->text != r.text)
                        QFAIL(qPrintable(QStringLiteral("%1 %2 %3: \"%4\", expected about %5").arg(hex2(f.pid), QString::fromLatin1(hex),
                                         QLatin1String(metric ? "metric" : "English"), r.text).arg(expected)));
                }
            }
        }
    }

    void everyPid()
    {
        for (const Pid &pid : Pids) {
            const auto note = qScopeGuard([&pid] { if (QTest::currentTestFailed()) qWarning("PID %02X", pid.pid); });
            const QChar kind = QLatin1Char(pid.request[0]);
            const int length = pid.request[1] - '0';
            OneEcuRig b({{hex2(pid.pid), QString::fromLatin1(pid.bytes)}});
            b.set(pid.pid, "40404040", true); // the freeze frame's value differs, so the text tells which was read
            Decoders d(b.p.pidContext);
            for (bool metric : {false, true}) {
                b.p.settings.units_metric = metric;
                const Reading r = d.read(pid.pid);
                QCOMPARE(r.label, QString::fromLatin1(pid.label));
                QCOMPARE(r.text + r.units, QString::fromLatin1(metric && *pid.metric ? pid.metric : pid.english));
                b.p.pids.record = DecodedValue();
                QCOMPARE(callNamed(d, pid), r.text);
                QCOMPARE(b.p.pids.record.PID_label + b.p.pids.record.PID_units, r.label + r.units);
            }
            const bool wideband = (pid.pid >= 0x24 && pid.pid <= 0x2B) || (pid.pid >= 0x34 && pid.pid <= 0x3B);
            QCOMPARE(b.p.settings.WBO2_PID, wideband ? hex2(pid.pid) : QStringLiteral("0"));
            const QString current = QStringLiteral("01%1%2").arg(hex2(pid.pid), hex2(length));
            QCOMPARE(b.commands(), QStringList(4, current));
            QCOMPARE(b.p.settings.PID_mode, QStringLiteral("01"));
            b.rig.tool.clearCommands();
            b.freezeFrameRun();
            const bool followsFrame = kind == QLatin1Char('M');
            const QString frozen = d.read(pid.pid).text;
            // Ten bytes in a freeze frame are "0A", never "010".
            QCOMPARE(b.commands(), QStringList{followsFrame ? QStringLiteral("02%1%2").arg(hex2(pid.pid), hex2(length + 1)) : current});
            QCOMPARE(frozen == Decoders::evaluate(pid.pid, {0x40, 0x40, 0x40, 0x40}, true)->text, followsFrame);
            QCOMPARE(b.p.settings.PID_mode, kind == QLatin1Char('S') ? QStringLiteral("01") : QStringLiteral("02"));
        }
    }

    // What a PID's sample does not fix: cut characters, integer parts, rounding, the record's number.
    void edges()
    {
        const std::tuple<int, const char *, bool, const char *, double> rows[] = {
            {0x04, "99", false, "60%", 153}, /* exactly 60 must not drop to 59 */ {0x05, "33", false, "52Deg F", 51}, // 51.8
            {0x05, "01", false, "-38Deg F", 1}, {0x05, "00", true, "-40Deg C", 0}, {0x0B, "03", false, "0.888inHg", 3},
            {0x0C, "0CB4", false, "813RPM", 32.52}, {0x0F, "97", true, "-20Deg C", 20}, // above 150: taken as 20
            {0x0F, "3D", false, "69.8Deg F", 61}, /* listed as its text */ {0x0F, "44", false, "82.4Deg F", 68}, // not 82.39999
            {0x10, "0190", false, "4gm/sec", 1}, {0x11, "1F", false, "0%", 31}, {0x11, "20", true, "1.5%", 32}, // 12.16, 12.55
            {0x22, "0000", true, " 000.0 kPa", 0}, {0x23, "0045", false, "1 PSI", 69}, {0x23, "0044", false, "0 PSI", 68},
            {0x24, "8000", false, "0.999424 Lambda", 0.999424}, {0x32, "8000", true, "-8192Pa", -32768},
            {0x32, "7FFF", true, "8191.75Pa", 32767}, {0x34, "00008100", false, "14.731AFR", 14.731}, // 16.685 is above 14.731
            {0x34, "00000000", true, "-235.5AFR", -128 * 1.9549292646424 + 14.730450478127}, {0x3C, "1194", true, " 410Deg C", 450},
            {0x3D, "1199", true, " 411Deg C", 450.5}, {0x42, "0001", false, "0.001Volts", 0.001}, {0x46, "FF", false, "419Deg F", 255},
        };
        for (const auto &[pid, bytes, metric, shown, record] : rows) {
            OneEcuRig b({{hex2(pid), QString::fromLatin1(bytes)}});
            b.p.settings.units_metric = metric;
            const Reading r = Decoders(b.p.pidContext).read(pid);
            QCOMPARE(r.text + r.units, QString::fromLatin1(shown));
            QCOMPARE(r.value, numtext::leadingNumber(r.text)); // what logs and charts take is the number shown
            QVERIFY2(closeTo(b.p.pids.record.PID_value, record), shown);
        }
    }

    // No value without a good reply: nothing read as zero bytes may pass for a reading.
    void noData()
    {
        for (bool garbled : {false, true}) {
            OneEcuRig b({{QStringLiteral("05"), QStringLiteral("8C")}, {QStringLiteral("10"), QStringLiteral("0190")},
                         {QStringLiteral("0D"), QStringLiteral("50")}, {QStringLiteral("46"), QStringLiteral("41")}});
            b.rig.tool.setVehicle(garbled);
            b.rig.tool.faults().garbled = garbled;
            Decoders d(b.p.pidContext);
            for (int pid : {0x05, 0x46, Decoders::MileagePid}) {
                b.rig.tool.clearCommands();
                const Reading r = d.read(pid);
                QVERIFY(!r.valid && !r.answered() && r.text.isEmpty() && b.p.pids.record.PID_string.isEmpty());
                QCOMPARE(r.outcome, garbled ? ScanToolLink::Outcome::Garbled : ScanToolLink::Outcome::NoVehicle);
                QCOMPARE(b.commands().size(), garbled ? ScanToolLink::MaxAttempts * (pid == Decoders::MileagePid ? 2 : 1) : 0);
            }
            QCOMPARE(d.read(0x05).label, QStringLiteral("Coolant Temp -----------  ")); // the line keeps its label
        }
    }

    void mileage()
    {
        // air flow, speed, metric, WBO2_PID before the call, the line
        const std::tuple<const char *, const char *, bool, const char *, const char *> rows[] = {
            {"0000", "00", false, "0", "Gas Mileage ------------ 0MPG"}, {"0000", "00", true, "0", "Fuel Consumption ------- 0Km/L"},
            {"0190", "50", false, "0", "Gas Mileage ------------ 189.9MPG"}, {"0190", "50", true, "0", "Fuel Consumption ------- 50.52Km/L"},
            {"0000", "01", true, "0", "Fuel Consumption ------- 229.7Km/L"}, // no air but moving: 0.01 g/s
            {"0190", "50", false, "24", "Gas Mileage ------------ 94.93MPG"}, {"0190", "50", true, "34", "Fuel Consumption ------- 50.49Km/L"},
        };
        for (const auto &[flow, speed, metric, wideband, line] : rows) {
            OneEcuRig b({{QStringLiteral("10"), QString(flow)}, {QStringLiteral("0D"), QString(speed)},
                         {QStringLiteral("24"), QStringLiteral("4000")}, {QStringLiteral("34"), QStringLiteral("80008000")}});
            b.p.settings.units_metric = metric;
            b.p.settings.WBO2_PID = QString(wideband);
            Decoders d(b.p.pidContext);
            const QString text = d.get_mpg();
            const DecodedValue &record = b.p.pids.record;
            QCOMPARE(record.PID_label + text + record.PID_units, QString(line));
            QCOMPARE(record.PID_value, numtext::leadingNumber(text));
            QCOMPARE(b.commands(), split("011007 010D06") + (*wideband == '0' ? QStringList() : QStringList{QLatin1String("01") + QLatin1String(wideband) + QLatin1String("09")}));
            QCOMPARE(d.decodePid(Decoders::MileagePid), text); // the walk's line runs the same computation
            QCOMPARE(b.p.settings.WBO2_PID, QString(wideband));
        }
    }

    // The wideband meter's request: lambda from A and B, the sensor current (mA) from C and D.
    void lambdaAndSensorCurrent()
    {
        const std::tuple<const char *, const char *, double> rows[] = {{"80008000", "0.999424", 0.0}, {"40008100", "0.499712", 1.0},
            {"00000000", "0", -128.0}, {"FFFFFFFF", "1.9988175", 127.99609375}, {"00018040", "3.05E-05", 0.25}};
        for (const auto &[bytes, lambda, current] : rows) {
            OneEcuRig b({{QStringLiteral("34"), QString(bytes)}, {QStringLiteral("24"), QString(bytes)}});
            b.p.pids.record.PID_label = QStringLiteral("kept");
            Decoders d(b.p.pidContext);
            const Decoders::Wideband w = d.wideband(QStringLiteral("01"), QStringLiteral("34"));
            QVERIFY(w.lambda.text == QLatin1String(lambda) && closeTo(w.currentMa, current));
            QCOMPARE(d.get_WBO2_current(QStringLiteral("01"), QStringLiteral("34")), QString(lambda));
            QVERIFY(closeTo(b.p.pids.record.PID_value, current) && b.p.settings.WBO2_PID == QLatin1String("34"));
            b.p.settings.WBO2_PID = QStringLiteral("0");
            QCOMPARE(d.get_lambda(QStringLiteral("01"), QStringLiteral("24")), QString(lambda));
            QVERIFY(closeTo(b.p.pids.record.PID_value, QString(lambda).toDouble()));
            QCOMPARE(b.p.settings.WBO2_PID, QStringLiteral("0")); // only the sensor decoders remember a PID
            QCOMPARE(b.p.pids.record.PID_label, QStringLiteral("kept"));
            QCOMPARE(b.commands(), split("013409 013409 012409"));
        }
        // The air/fuel ratio asks what it is given, and remembers 34.
        OneEcuRig b({{QStringLiteral("35"), QStringLiteral("00008100")}});
        QCOMPARE(Decoders(b.p.pidContext).get_O2S1_AFR(QStringLiteral("01"), QStringLiteral("35")), QStringLiteral("14.731"));
        QVERIFY(b.commands() == split("013509") && b.p.settings.WBO2_PID == QLatin1String("34"));
    }

    // The status decoders' lines, and what they leave for the walk: the O2 monitor's state, the
    // missing freeze frame, the data window's colour, the O2 sensors present (never cleared).
    void statusLines()
    {
        const QString every = QStringList{"Catalyst Monitoring           ", "Heated Catalyst Monitoring    ",
            "Evaporative System Monitoring ", "Sec. Air System Monitoring    ", "A/C Refrigerant Monitoring    ",
            "O2 Sensor Monitoring          ", "O2 Sensor Heater Monitoring   ", "EGR Monitoring                "}.join(QLatin1String("%1\r\n")) + QStringLiteral("%1\r\n");
        const QString off0 = QStringLiteral("MIL is OFF 0 stored Trouble Code(s)\r\n"), on = QStringLiteral("MIL is ON Stored Trouble Codes Present\r\n");
        // PID; its bytes: current, frozen, "frame" for a freeze-frame run; the status window after
        // "before"; what else changed; the requests
        const std::tuple<int, const char *, QString, const char *, const char *> rows[] = {
            {0x01, "83000000", on, "", "010109"}, // the count is not shown
            {0x01, "7F000000", "MIL is OFF 127 stored Trouble Code(s)\r\n", "", "010109"},
            {0x01, "00770000", off0 + "Misfire Monitoring            Incomplete\r\nFuel Sys. Monitoring          Incomplete\r\n"
                                      "Component Monitoring          Incomplete\r\n", "", "010109"},
            {0x01, "007000FF", off0, "", "010109"}, // not-complete bits without support
            {0x01, "0000FFFF", off0 + every.arg(QLatin1String("Incomplete")), "o2 incomplete", "010109"},
            {0x01, "0000FF00 00000000 frame", off0 + every.arg(QLatin1String("Complete")), "o2 complete", "010109"},
            {0x01, "8207E504", on + "Misfire Monitoring            Complete\r\nFuel Sys. Monitoring          Complete\r\n"
                "Component Monitoring          Complete\r\nCatalyst Monitoring           Complete\r\nEvaporative System Monitoring Incomplete\r\n"
                "O2 Sensor Monitoring          Complete\r\nO2 Sensor Heater Monitoring   Complete\r\nEGR Monitoring                Complete\r\n",
             "o2 complete", "010109"},
            {0x02, "0000 0133 frame", "before\r\nFreeze Frame T.C. -P0133\r\n", "red", "020208"},
            {0x02, "0000 C301 frame", "before\r\nFreeze Frame T.C. -PC301\r\n", "red", "020208"}, // the letter stays P
            {0x02, "0000 0000 frame", "\r\n\r\n No Freeze Frame Data Stored\r\n", "no frame", "020208"}, // replaces the text
            {0x02, "0000 0420", "before\r\nFreeze Frame T.C. -P0420\r\n", "red", "010208"},
            {0x02, "", "before\r\n No Freeze Frame Data Stored", "", "010208"}, // a silent ECU
            {0x03, "0100", "beforeFuel Sys1-Open Loop Mode\r\n\r\n", "", "010307"},
            {0x03, "0202", "beforeFuel Sys1-Closed Loop Mode\r\nFuel Sys2-Closed Loop Mode\r\n\r\n", "", "010307"},
            {0x03, "0300", "before\r\n", "", "010307"}, {0x03, "FFFF", "before\r\n", "", "010307"}, // no line for two bits set
            {0x03, "0408", "beforeFuel Sys1-Open Loop Driving\r\nFuel Sys2-Open Loop with Fault\r\n\r\n", "", "010307"},
            {0x03, "0010", "beforeFuel Sys2-Closed Loop with Fault\r\n\r\n", "", "010307"},
            {0x03, "0100 0200 frame", "beforeFuel Sys1-Closed Loop Mode\r\n\r\n", "", "020308"},
            {0x06, "80", "beforeShort Term Fuel Trim---- 0%\r\n", "", "010606"}, {0x07, "7F", "beforeLong Term FT,B1 -------- -1%\r\n", "", "010706"},
            {0x08, "81", "beforeShort Term FT,B2 ------- 0%\r\n", "", "010806"}, {0x09, "00", "beforeLong Term FT,B2 -------- -100%\r\n", "", "010906"},
            {0x06, "FF", "beforeShort Term Fuel Trim---- 99%\r\n", "", "010606"},
            {0x12, "04 00 frame", "beforeCmd Sec. Air Status ---- 4\r\n", "", "011206"}, {0x1C, "01", "beforeOBDII\r\n", "", ""},
            {0x13, "33", "before# of O2 Sensors -------- 4\r\n", "present 1 2 0 0 16 32 0 0", "011306"},
            {0x13, "81", "before# of O2 Sensors -------- 2\r\n", "present 1 2 0 0 0 0 0 128", "011306"}, // 2: found before
            {0x13, "FF", "before# of O2 Sensors -------- 8\r\n", "present 1 2 4 8 16 32 64 128", "011306"},
        };
        const QList<int> pids{0x01, 0x02, 0x03, 0x06, 0x07, 0x08, 0x09, 0x12, 0x13, 0x1C};
        void (Decoders::*decoders[])() = {&D::get_MIL, &D::get_trouble_codes, &D::get_fuel_status, &D::get_STFTB1, &D::get_LTFTB1,
                                          &D::get_STFTB2, &D::get_LTFTB2, &D::get_cmd_sec_air_stat, &D::get_O2_loc, &D::get_OBD};
        for (const auto &[pid, bytes, status, state, commands] : rows) {
            const auto note = qScopeGuard([&, pid = pid] { if (QTest::currentTestFailed()) qWarning("PID %02X %s", pid, bytes); });
            const QStringList values = split(bytes);
            OneEcuRig b(values.isEmpty() ? QMap<QString, QString>{} : QMap<QString, QString>{{hex2(pid), values[0]}});
            if (values.size() > 1)
                b.set(pid, values[1].toLatin1(), true);
            if (values.size() > 2)
                b.freezeFrameRun();
            const bool setsO2 = QLatin1String(state) == QLatin1String("o2 complete");
            b.p.pids.O2_monitor_complete = !setsO2; // the opposite of what the row expects, so each change shows
            b.p.status.setText(QStringLiteral("before"));
            b.p.pids.no_freeze_frame = true; // cleared first
            b.p.pids.record.PID_string = QStringLiteral("untouched");
            b.p.pids.o2_present[1] = pid == 0x13 ? 2 : 0; // sensors once found stay marked
            Decoders d(b.p.pidContext);
            (d.*decoders[pids.indexOf(pid)])();
            QCOMPARE(b.p.status.text(), status);
            QStringList after;
            if (b.p.pids.O2_monitor_complete == setsO2)
                after << QString::fromLatin1(setsO2 ? "o2 complete" : "o2 incomplete");
            if (b.p.pids.no_freeze_frame && pid == 0x02)
                after << QStringLiteral("no frame");
            if (b.p.data.color() == colors::Red)
                after << QStringLiteral("red");
            if (pid == 0x13)
                for (int mask : b.p.pids.o2_present)
                    after << (after.isEmpty() ? QStringLiteral("present ") : QString()) + QString::number(mask);
            QCOMPARE(after.join(QLatin1Char(' ')), QString::fromLatin1(state));
            QCOMPARE(b.commands(), split(commands));
            QCOMPARE(b.p.pids.record.PID_string, QStringLiteral("untouched"));
        }
    }
};

QTEST_GUILESS_MAIN(tst_decoders)
#include "tst_decoders.moc"
