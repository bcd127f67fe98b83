// The decoder table through the in-process simulated tool on a manual clock: each formula over its
// byte range against the value it stands for, every PID's label, units, named decoder and request
// in current-data and freeze-frame runs, the exact texts a formula does not fix, the readings
// without data, fuel economy, the wide-range O2 routines and the status decoders' lines.
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

// One PID per formula: the value its swept number n stands for (byte A, the word AB, or for the
// air/fuel ratio the current's word CD) and how far the line may lie from it by the integer
// parts, cut characters and rounded places it shows.
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

// Every value PID: its named decoder, label, request (M: the run's service, C: always current
// data, P: service 01, S: service 01 that PID_mode then keeps; the length), and its line's value
// and units at the given bytes, English then metric (metric empty: the same).
using D = Decoders;
struct Pid {
    int pid;
    QString (Decoders::*named)(); // nullptr: 05 returns a number, 34 takes its request's texts
    const char *label, *request, *bytes, *english, *metric;
};
const Pid Pids[] = {
    {0x04, &D::get_cal_load, "Calculated Load -------- ", "M6", "80", "50%", ""},
    {0x05, nullptr, "Coolant Temp -----------  ", "M6", "8D", "213Deg F", "101Deg C"},
    {0x0A, &D::get_fuel_press, "Fuel Pressure ---------- ", "M6", "55", "255KPa", ""},
    {0x0B, &D::get_MAP, "Manifold Absolute Pres.- ", "M6", "64", "29.61inHg", "100KPaA"},
    {0x0C, &D::get_RPM, "Engine RPM ------------- ", "M7", "0CB4", "813RPM", ""},
    {0x0D, &D::get_speed, "Speed ------------------ ", "M6", "21", "20.13MPH", "33KPH"},
    {0x0E, &D::get_ignition_adv, "Ignition Advance ------- ", "C6", "8D", "6.5Deg", ""},
    {0x0F, &D::get_air_temp, "Intake Air Temp --------  ", "C6", "96", "230Deg F", "110Deg C"},
    {0x10, &D::get_air_flow, "Air Flow --------------- ", "C7", "0190", "4gm/sec", ""},
    {0x11, &D::get_TPS, "Throttle Position ------ ", "M6", "80", "57%", ""},
    {0x14, &D::get_O2b1s1, "O2 Sensor1 Val --------- ", "C6", "5A80", "0.45 Volts", ""},
    {0x15, &D::get_O2b1s2, "O2 Sensor2 Val --------- ", "C6", "5A80", "0.45 Volts", ""},
    {0x16, &D::get_O2b1s3, "O2 Sensor3 Val --------- ", "C6", "5A80", "0.45 Volts", ""},
    {0x17, &D::get_O2b1s4, "O2 Sensor4 Val --------- ", "C6", "5A80", "0.45 Volts", ""},
    {0x18, &D::get_O2b2s1, "O2 Sensor1b Val -------- ", "C6", "5A80", "0.45 Volts", ""},
    {0x19, &D::get_O2b2s2, "O2 Sensor2b Val -------- ", "C6", "5A80", "0.45 Volts", ""},
    {0x1A, &D::get_O2b2s3, "O2 Sensor3b Val -------- ", "C6", "5A80", "0.45 Volts", ""},
    {0x1B, &D::get_O2b2s4, "O2 Sensor4b Val -------- ", "C6", "5A80", "0.45 Volts", ""},
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
    {0x2B, &D::get_O2S8_lambda, "O2S8 Sensor ----------- ", "P9", "FFFF", "1.9988175 Lambda", ""},
    {0x2C, &D::get_EGR_cmd, "CMD EGR open ---------- ", "S6", "80", "50%", ""},
    {0x2D, &D::get_EGR_error, "EGR Error ------------- ", "S6", "99", "60%", ""}, // not a signed deviation
    {0x2E, &D::get_evap_purge, "CMD EVAP Purge -------- ", "S6", "FF", "100%", ""},
    {0x2F, &D::get_fuel_level, "Fuel Level ------------ ", "S6", "01", "0%", ""},
    {0x30, &D::get_warm_ups, "Num. Warm Ups --------- ", "S6", "12", "18Times", ""},
    {0x31, &D::get_dist_clear, "Dist. since CLR ------- ", "S7", "0456", "677Mi.", "1110kM"},
    {0x32, &D::get_evap_press, "EVAP press. ----------- ", "S7", "FFFC", "-0.004012inH2O.", "-1Pa"},
    {0x33, &D::get_baro, "BARO press. ----------- ", "S6", "64", "29.53InHg", "100kPa"},
    {0x34, nullptr, "O2S1 Sensor ----------- ", "P9", "00008000", "14.730AFR", ""},
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
    {0x44, &D::get_equiv_ratio, "Cmd Equiv. Ratio ------ ", "S9", "0001", "3.05E-05 ", ""},
    {0x45, &D::get_rel_TPS, "Rel. Throttle Position- ", "S9", "80", "50.19608%", ""},
    {0x46, &D::get_ambient_temp, "Ambiant Air Temp ------ ", "S9", "8D", "213.Deg F", "101Deg C"}, // not whole
    {0x47, &D::get_abs_TPS_B, "Abs. Throttle PositionB- ", "S9", "80", "50.19608%", ""},
    {0x48, &D::get_abs_TPS_C, "Abs. Throttle PositionC- ", "S9", "80", "50.19608%", ""},
    {0x49, &D::get_pedal_D, "Accelerator PositionD-- ", "S9", "80", "50.19608%", ""},
    {0x4A, &D::get_pedal_E, "Accelerator PositionE-- ", "S9", "80", "50.19608%", ""},
    {0x4B, &D::get_pedal_F, "Accelerator PositionF-- ", "S9", "FF", "100%", ""},
    {0x4C, &D::get_throttle_cmd, "Cmd. Throt. Actuator--- ", "S9", "00", "0%", ""},
    {0x4D, &D::get_MIL_minutes, "Minutes Run with MIL-- ", "S9", "FFFF", "65535Min.", ""},
    {0x4E, &D::get_clear_minutes, "Min. Since TC Clear--- ", "S9", "0384", "900Min.", ""},
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
            QVERIFY(i == 0 || pids[i - 1] < pids[i]);
            names << Decoders::decoderName(pids[i]);
            QVERIFY2(names.last().startsWith(QLatin1String("get_")) && names.count(names.last()) == 1, qPrintable(names.last()));
        }
        QCOMPARE(Decoders::decoderName(Decoders::MileagePid), QStringLiteral("get_mpg"));
        // Status PIDs, fuel economy and unknown numbers have no formula; the first two no decoder.
        OneEcuRig b;
        Decoders d(b.p.pidContext);
        for (int pid : {0x01, 0x03, 0x06, 0x13, 0x1C, 0x20, 0x41, 0x4F, 0x60, 0xFF, -1, Decoders::MileagePid}) {
            QVERIFY(!Decoders::evaluate(pid, {}, false));
            bool isValue = true;
            if (pid != Decoders::MileagePid) {
                QCOMPARE(d.decodePid(pid, &isValue), QString());
                QVERIFY(!isValue && Decoders::decoderName(pid).isEmpty() && d.read(pid).text.isEmpty());
            }
        }
        QVERIFY(b.commands().isEmpty());
    }

    // Bytes go out through the simulated tool's replies and come back through the decoder.
    void roundTrip_data()
    {
        QTest::addColumn<int>("row");
        for (const Formula &f : Formulas)
            QTest::addRow("%02X", f.pid) << int(&f - Formulas);
    }
    void roundTrip()
    {
        QFETCH(int, row);
        const Formula &f = Formulas[row];
        QList<int> numbers;
        for (int n = 0; n < (f.bytes == 1 ? 256 : 65536); n += (f.bytes == 1 ? 1 : 251))
            numbers << n;
        if (f.bytes > 1)
            numbers << 0x7FFF << 0x8000 << 0xFFFF;
        OneEcuRig b;
        Decoders d(b.p.pidContext);
        for (bool metric : {false, true}) {
            b.p.settings.units_metric = metric;
            for (int n : numbers) {
                const std::array<int, 4> bytes = f.bytes == 1 ? std::array<int, 4>{n, 0, 0, 0}
                                               : f.bytes == 2 ? std::array<int, 4>{n >> 8, n & 0xFF, 0, 0}
                                                              : std::array<int, 4>{0, 0, n >> 8, n & 0xFF};
                QByteArray hex;
                for (int i = 0; i < qMax(f.bytes, 1); ++i)
                    hex += QByteArray::number(0x100 + bytes[size_t(i)], 16).right(2);
                b.set(f.pid, hex);
                const Reading r = d.read(f.pid);
                const double expected = f.physical(n, metric);
                if (!r.answered() || !closeTo(r.value, expected, f.slack) || Decoders::evaluate(f.pid, bytes, metric)->text != r.text)
                    QFAIL(qPrintable(QStringLiteral("%1 %2: \"%3\", expected about %4").arg(QString::fromLatin1(hex),
                                     QLatin1String(metric ? "metric" : "English"), r.text).arg(expected)));
            }
        }
    }

    void everyPid_data()
    {
        QTest::addColumn<int>("row");
        for (const Pid &p : Pids)
            QTest::addRow("%02X", p.pid) << int(&p - Pids);
    }
    void everyPid()
    {
        QFETCH(int, row);
        const Pid &pid = Pids[row];
        const QString text = QString::fromLatin1(pid.request);
        const QChar kind = text.at(0);
        const int length = text.mid(1).toInt();
        const bool wideband = (pid.pid >= 0x24 && pid.pid <= 0x2B) || (pid.pid >= 0x34 && pid.pid <= 0x3B);
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
        QCOMPARE(b.p.settings.WBO2_PID, wideband ? hex2(pid.pid) : QStringLiteral("0"));
        const QString current = QStringLiteral("01%1%2").arg(hex2(pid.pid), hex2(length));
        QCOMPARE(b.commands(), QStringList(4, current));
        QCOMPARE(b.p.settings.PID_mode, QStringLiteral("01"));

        b.rig.tool.clearCommands();
        b.freezeFrameRun();
        const Reading frozen = d.read(pid.pid);
        const bool followsFrame = kind == QLatin1Char('M');
        // Ten bytes in a freeze frame are "0A", never "010".
        QCOMPARE(b.commands(), QStringList{followsFrame ? QStringLiteral("02%1%2").arg(hex2(pid.pid), hex2(length + 1)) : current});
        QCOMPARE(frozen.text == Decoders::evaluate(pid.pid, {0x40, 0x40, 0x40, 0x40}, true)->text, followsFrame);
        QCOMPARE(b.p.settings.PID_mode, kind == QLatin1Char('S') ? QStringLiteral("01") : QStringLiteral("02"));
    }

    // What a formula's sample row does not fix: cut characters, integer parts, rounding, the
    // record's number.
    void edges_data()
    {
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("bytes");
        QTest::addColumn<bool>("metric");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<double>("record");
        auto row = [](int pid, const char *bytes, bool metric, const char *shown, double record) {
            QTest::addRow("%02X %s %s", pid, bytes, metric ? "metric" : "English") << pid << QString(bytes) << metric << QString(shown) << record;
        };
        row(0x04, "99", false, "60%", 153); // exactly 60 must not drop to 59
        row(0x05, "33", false, "52Deg F", 51); // 51.8: its whole number
        row(0x05, "01", false, "-38Deg F", 1);
        row(0x05, "00", true, "-40Deg C", 0);
        row(0x0B, "03", false, "0.888inHg", 3);
        row(0x0C, "0CB4", false, "813RPM", 32.52);
        row(0x0F, "97", true, "-20Deg C", 20); // above 150: taken as 20
        row(0x0F, "3D", false, "69.8Deg F", 61); // listed as its text, not rounded
        row(0x0F, "44", false, "82.4Deg F", 68); // 28 C: no float rounding builds up to 82.39999
        row(0x10, "0190", false, "4gm/sec", 1);
        row(0x11, "1F", false, "0%", 31); // 12.16 rounds to 12
        row(0x11, "20", true, "1.5%", 32); // 12.55 rounds to 13
        row(0x22, "0000", true, " 000.0 kPa", 0);
        row(0x23, "0045", false, "1 PSI", 69); // 1.0005
        row(0x23, "0044", false, "0 PSI", 68); // 0.986
        row(0x24, "8000", false, "0.999424 Lambda", 0.999424);
        row(0x32, "8000", true, "-8192Pa", -32768);
        row(0x32, "7FFF", true, "8191.75Pa", 32767);
        row(0x34, "00008100", false, "14.731AFR", 14.731); // 16.685 is above 14.731
        row(0x34, "00000000", true, "-235.5AFR", -128 * 1.9549292646424 + 14.730450478127);
        row(0x3C, "1194", true, " 410Deg C", 450);
        row(0x3D, "1199", true, " 411Deg C", 450.5);
        row(0x42, "0001", false, "0.001Volts", 0.001);
        row(0x46, "FF", false, "419Deg F", 255);
    }
    void edges()
    {
        QFETCH(int, pid);
        QFETCH(QString, bytes);
        QFETCH(bool, metric);
        QFETCH(QString, shown);
        QFETCH(double, record);
        OneEcuRig b({{hex2(pid), bytes}});
        b.p.settings.units_metric = metric;
        const Reading r = Decoders(b.p.pidContext).read(pid);
        QCOMPARE(r.text + r.units, shown);
        QCOMPARE(r.value, numtext::leadingNumber(r.text)); // what logs and charts take is the number shown
        QVERIFY2(closeTo(b.p.pids.record.PID_value, record), qPrintable(QString::number(b.p.pids.record.PID_value, 'g', 17)));
    }

    // No value without a good reply: nothing read as zero bytes may pass for a reading.
    void noData_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("commands");
        QTest::newRow("no vehicle") << "no vehicle" << int(ScanToolLink::Outcome::NoVehicle) << "";
        QTest::newRow("garbled") << "garbled" << int(ScanToolLink::Outcome::Garbled) << "4";
    }
    void noData()
    {
        QFETCH(QString, fault);
        QFETCH(int, outcome);
        QFETCH(QString, commands);
        OneEcuRig b({{QStringLiteral("05"), QStringLiteral("8C")}, {QStringLiteral("10"), QStringLiteral("0190")},
                     {QStringLiteral("0D"), QStringLiteral("50")}, {QStringLiteral("46"), QStringLiteral("41")}});
        b.rig.tool.setVehicle(fault != QLatin1String("no vehicle"));
        b.rig.tool.faults().garbled = fault == QLatin1String("garbled");
        Decoders d(b.p.pidContext);
        for (int pid : {0x05, 0x46, Decoders::MileagePid}) {
            b.rig.tool.clearCommands();
            const Reading r = d.read(pid);
            QVERIFY(!r.valid && !r.answered() && r.text.isEmpty());
            QCOMPARE(int(r.outcome), outcome);
            QCOMPARE(r.label, pid == 0x05 ? QStringLiteral("Coolant Temp -----------  ") : r.label);
            QCOMPARE(b.p.pids.record.PID_string, QString());
            QCOMPARE(b.commands().size(), commands.toInt() * (pid == Decoders::MileagePid ? 2 : 1));
        }
    }

    void mileage_data()
    {
        QTest::addColumn<QString>("flow");
        QTest::addColumn<QString>("speed");
        QTest::addColumn<bool>("metric");
        QTest::addColumn<QString>("wideband"); // WBO2_PID before the call
        QTest::addColumn<QString>("line");
        QTest::newRow("standing, no air") << "0000" << "00" << false << "0" << "Gas Mileage ------------ 0MPG";
        QTest::newRow("metric, standing") << "0000" << "00" << true << "0" << "Fuel Consumption ------- 0Km/L";
        QTest::newRow("4 g/s at 48.8 mph") << "0190" << "50" << false << "0" << "Gas Mileage ------------ 189.9MPG";
        QTest::newRow("4 g/s at 80 km/h") << "0190" << "50" << true << "0" << "Fuel Consumption ------- 50.52Km/L";
        QTest::newRow("no air but moving: 0.01 g/s") << "0000" << "01" << true << "0" << "Fuel Consumption ------- 229.7Km/L";
        QTest::newRow("sensor 24, lambda 0.499712") << "0190" << "50" << false << "24" << "Gas Mileage ------------ 94.93MPG";
        QTest::newRow("sensor 34, lambda 0.999424") << "0190" << "50" << true << "34" << "Fuel Consumption ------- 50.49Km/L";
    }
    void mileage()
    {
        QFETCH(QString, flow);
        QFETCH(QString, speed);
        QFETCH(bool, metric);
        QFETCH(QString, wideband);
        QFETCH(QString, line);
        OneEcuRig b({{QStringLiteral("10"), flow}, {QStringLiteral("0D"), speed}, {QStringLiteral("24"), QStringLiteral("4000")},
                     {QStringLiteral("34"), QStringLiteral("80008000")}});
        b.p.settings.units_metric = metric;
        b.p.settings.WBO2_PID = wideband;
        Decoders d(b.p.pidContext);
        const QString text = d.get_mpg();
        const DecodedValue &record = b.p.pids.record;
        QCOMPARE(record.PID_label + text + record.PID_units, line);
        QCOMPARE(record.PID_value, numtext::leadingNumber(text));
        QStringList asked = split("011007 010D06");
        if (wideband != QLatin1String("0"))
            asked << QStringLiteral("01") + wideband + QStringLiteral("09");
        QCOMPARE(b.commands(), asked);
        QCOMPARE(d.decodePid(Decoders::MileagePid), text); // the walk's line runs the same computation
        QCOMPARE(b.p.settings.WBO2_PID, wideband);
    }

    // The wideband meter's request: lambda from A and B, the sensor current (mA) from C and D.
    void lambdaAndSensorCurrent()
    {
        const std::tuple<const char *, const char *, double> rows[] = {
            {"80008000", "0.999424", 0.0}, {"40008100", "0.499712", 1.0},      {"00000000", "0", -128.0},
            {"FFFFFFFF", "1.9988175", 127.99609375}, {"00018040", "3.05E-05", 0.25},
        };
        for (const auto &[bytes, lambda, current] : rows) {
            OneEcuRig b({{QStringLiteral("34"), QString(bytes)}, {QStringLiteral("24"), QString(bytes)}});
            b.p.pids.record.PID_label = QStringLiteral("kept");
            Decoders d(b.p.pidContext);
            const Decoders::Wideband w = d.wideband(QStringLiteral("01"), QStringLiteral("34"));
            QCOMPARE(w.lambda.text, QString(lambda));
            QVERIFY(closeTo(w.currentMa, current));
            QCOMPARE(d.get_WBO2_current(QStringLiteral("01"), QStringLiteral("34")), QString(lambda));
            QVERIFY(closeTo(b.p.pids.record.PID_value, current));
            QCOMPARE(b.p.settings.WBO2_PID, QStringLiteral("34"));
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
        QCOMPARE(b.commands(), split("013509"));
        QCOMPARE(b.p.settings.WBO2_PID, QStringLiteral("34"));
    }

    // The status decoders' lines, and what they leave for the walk: the O2 monitor's state, the
    // missing freeze frame, the data window's colour, the O2 sensors present.
    void statusLines_data()
    {
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("bytes");  // of the PID: current, frozen, "frame": in a freeze-frame run
        QTest::addColumn<QString>("status"); // the status window after, from "before"
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("commands");
        auto row = [](const char *name, int pid, const char *bytes, const QString &status, const char *state, const char *commands) {
            QTest::newRow(name) << pid << QString(bytes) << status << QString(state) << QString(commands);
        };
        const char *c = "Catalyst Monitoring           ", *h = "Heated Catalyst Monitoring    ", *e = "Evaporative System Monitoring ",
                   *s = "Sec. Air System Monitoring    ", *a = "A/C Refrigerant Monitoring    ", *o = "O2 Sensor Monitoring          ",
                   *oh = "O2 Sensor Heater Monitoring   ", *g = "EGR Monitoring                ";
        const QString every = QStringList{c, h, e, s, a, o, oh, g}.join(QLatin1String("%1\r\n")) + QStringLiteral("%1\r\n");
        const QString incomplete = every.arg(QLatin1String("Incomplete")), complete = every.arg(QLatin1String("Complete"));
        const QString off0 = QStringLiteral("MIL is OFF 0 stored Trouble Code(s)\r\n");
        row("lamp on, count not shown", 0x01, "83000000", "MIL is ON Stored Trouble Codes Present\r\n", "", "010109");
        row("lamp off, 127 codes", 0x01, "7F000000", "MIL is OFF 127 stored Trouble Code(s)\r\n", "", "010109");
        row("continuous monitors incomplete", 0x01, "00770000", off0 + "Misfire Monitoring            Incomplete\r\n"
            "Fuel Sys. Monitoring          Incomplete\r\nComponent Monitoring          Incomplete\r\n", "", "010109");
        row("not-complete bits without support", 0x01, "007000FF", off0, "", "010109");
        row("every C monitor incomplete", 0x01, "0000FFFF", off0 + incomplete, "o2 incomplete", "010109");
        row("every C monitor complete, in a freeze-frame run", 0x01, "0000FF00 00000000 frame", off0 + complete, "o2 complete", "010109");
        row("mixed", 0x01, "8207E504", "MIL is ON Stored Trouble Codes Present\r\nMisfire Monitoring            Complete\r\n"
            "Fuel Sys. Monitoring          Complete\r\nComponent Monitoring          Complete\r\nCatalyst Monitoring           Complete\r\n"
            "Evaporative System Monitoring Incomplete\r\nO2 Sensor Monitoring          Complete\r\nO2 Sensor Heater Monitoring   Complete\r\n"
            "EGR Monitoring                Complete\r\n", "o2 complete", "010109");
        row("frame code 0133", 0x02, "0000 0133 frame", "before\r\nFreeze Frame T.C. -P0133\r\n", "red", "020208");
        row("frame code C301: the letter stays P", 0x02, "0000 C301 frame", "before\r\nFreeze Frame T.C. -PC301\r\n", "red", "020208");
        row("frame code 0000 replaces the text", 0x02, "0000 0000 frame", "\r\n\r\n No Freeze Frame Data Stored\r\n", "no frame", "020208");
        row("frame code in a current run", 0x02, "0000 0420", "before\r\nFreeze Frame T.C. -P0420\r\n", "red", "010208");
        row("frame code, silent ECU", 0x02, "", "before\r\n No Freeze Frame Data Stored", "", "010208");
        row("fuel: open loop", 0x03, "0100", "beforeFuel Sys1-Open Loop Mode\r\n\r\n", "", "010307");
        row("fuel: both closed", 0x03, "0202", "beforeFuel Sys1-Closed Loop Mode\r\nFuel Sys2-Closed Loop Mode\r\n\r\n", "", "010307");
        row("fuel: two bits set, no line", 0x03, "0300", "before\r\n", "", "010307");
        row("fuel: driving, fault", 0x03, "0408", "beforeFuel Sys1-Open Loop Driving\r\nFuel Sys2-Open Loop with Fault\r\n\r\n", "", "010307");
        row("fuel: closed with fault", 0x03, "0010", "beforeFuel Sys2-Closed Loop with Fault\r\n\r\n", "", "010307");
        row("fuel: nothing", 0x03, "FFFF", "before\r\n", "", "010307");
        row("fuel: the freeze frame's", 0x03, "0100 0200 frame", "beforeFuel Sys1-Closed Loop Mode\r\n\r\n", "", "020308");
        row("trim 06 at 128", 0x06, "80", "beforeShort Term Fuel Trim---- 0%\r\n", "", "010606");
        row("trim 07 at 127", 0x07, "7F", "beforeLong Term FT,B1 -------- -1%\r\n", "", "010706");
        row("trim 08 at 129", 0x08, "81", "beforeShort Term FT,B2 ------- 0%\r\n", "", "010806");
        row("trim 09 at 0", 0x09, "00", "beforeLong Term FT,B2 -------- -100%\r\n", "", "010906");
        row("trim 06 at 255", 0x06, "FF", "beforeShort Term Fuel Trim---- 99%\r\n", "", "010606");
        row("secondary air, in a freeze-frame run", 0x12, "04 00 frame", "beforeCmd Sec. Air Status ---- 4\r\n", "", "011206");
        row("OBD asks nothing", 0x1C, "01", "beforeOBDII\r\n", "", "");
        row("O2 sensors 33", 0x13, "33", "before# of O2 Sensors -------- 4\r\n", "present 1 2 0 0 16 32 0 0", "011306");
        row("O2 sensors 81", 0x13, "81", "before# of O2 Sensors -------- 2\r\n", "present 1 0 0 0 0 0 0 128", "011306");
        row("O2 sensors FF", 0x13, "FF", "before# of O2 Sensors -------- 8\r\n", "present 1 2 4 8 16 32 64 128", "011306");
    }
    void statusLines()
    {
        QFETCH(int, pid);
        QFETCH(QString, bytes);
        QFETCH(QString, status);
        QFETCH(QString, state);
        QFETCH(QString, commands);
        const QStringList values = bytes.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        OneEcuRig b(values.isEmpty() ? QMap<QString, QString>{} : QMap<QString, QString>{{hex2(pid), values[0]}});
        if (values.size() > 1)
            b.set(pid, values[1].toLatin1(), true);
        if (values.size() > 2)
            b.freezeFrameRun();
        // Set where the row expects the decoder to set it, so that each change shows.
        b.p.pids.O2_monitor_complete = !state.contains(QLatin1String("o2 complete"));
        b.p.status.setText(QStringLiteral("before"));
        b.p.pids.no_freeze_frame = true; // cleared first
        b.p.pids.record.PID_string = QStringLiteral("untouched");
        Decoders d(b.p.pidContext);
        void (Decoders::*decoders[])() = {&D::get_MIL, &D::get_trouble_codes, &D::get_fuel_status, &D::get_STFTB1,
                                          &D::get_LTFTB1, &D::get_STFTB2, &D::get_LTFTB2, &D::get_cmd_sec_air_stat,
                                          &D::get_O2_loc, &D::get_OBD};
        const int index = QList<int>{0x01, 0x02, 0x03, 0x06, 0x07, 0x08, 0x09, 0x12, 0x13, 0x1C}.indexOf(pid);
        (d.*decoders[index])();
        QCOMPARE(b.p.status.text(), status);
        QStringList after;
        if (b.p.pids.O2_monitor_complete != !state.contains(QLatin1String("o2 complete")) || !b.p.pids.O2_monitor_complete)
            after << (b.p.pids.O2_monitor_complete ? QStringLiteral("o2 complete") : QStringLiteral("o2 incomplete"));
        if (b.p.pids.no_freeze_frame && pid == 0x02)
            after << QStringLiteral("no frame");
        if (b.p.data.color() == colors::Red)
            after << QStringLiteral("red");
        if (pid == 0x13) {
            after << QStringLiteral("present");
            for (int mask : b.p.pids.o2_present)
                after << QString::number(mask);
        }
        QCOMPARE(after.join(QLatin1Char(' ')), state);
        QCOMPARE(b.commands(), split(qPrintable(commands)));
        QCOMPARE(b.p.pids.record.PID_string, QStringLiteral("untouched"));
    }

    // Sensors once found stay marked: a later scan that finds fewer does not clear them.
    void o2PresenceIsNeverCleared()
    {
        OneEcuRig b;
        b.ecu().pids.insert(0x13, sim::PidValue{{QByteArray::fromHex("01"), QByteArray::fromHex("80")}});
        Decoders d(b.p.pidContext);
        int count = -1;
        QVERIFY(d.o2_presence_scan(count) && count == 1);
        QVERIFY(d.o2_presence_scan(count) && count == 1);
        QCOMPARE(QList<int>(b.p.pids.o2_present.begin(), b.p.pids.o2_present.end()), (QList<int>{1, 0, 0, 0, 0, 0, 0, 128}));
        QVERIFY(b.p.status.text().isEmpty()); // the scan alone writes nothing
    }
};

QTEST_GUILESS_MAIN(tst_decoders)
#include "tst_decoders.moc"
