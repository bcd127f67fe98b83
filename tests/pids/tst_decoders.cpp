// Parameter decoders against the in-process simulated tool: each value decoder in both unit
// systems, the requests they send in current-data and freeze-frame runs, the status decoders'
// exact lines, fuel economy and the wide-range O2 routines.
#include "SimRig.h"

#include "pids/Decoders.h"

#include <QtTest>

using namespace quenta;

namespace {

// A program on the simulated tool whose one ECU answers exactly these PIDs.
struct OneEcuRig {
    SimRig rig;
    Program &p;
    explicit OneEcuRig(const QMap<QString, QString> &pids, bool metric = false)
        : rig(SimRig::profileWith(pids)), p(*rig.program)
    {
        rig.openPort();
        p.settings.PID_mode = QStringLiteral("01");
        p.settings.frame_flag = 0;
        p.settings.units_metric = metric;
        rig.tool.clearCommands();
    }
    void setFreeze(int pid, const QString &bytes)
    {
        rig.tool.profile().ecus[0].freeze.insert(pid, sim::PidValue{{QByteArray::fromHex(bytes.toLatin1())}});
    }
    void freezeFrameRun()
    {
        p.settings.PID_mode = QStringLiteral("02");
        p.settings.frame_flag = 1;
    }
    QStringList commands() const
    {
        QStringList out;
        for (const QByteArray &c : rig.tool.commands())
            out << QString::fromLatin1(c);
        return out;
    }
    const DecodedValue &record() const { return p.pids.record; }
};

QString hex2(int pid) { return QStringLiteral("%1").arg(pid, 2, 16, QLatin1Char('0')).toUpper(); }

// Every value decoder by its own name.
QString callByName(Decoders &d, int pid)
{
    switch (pid) {
    case 0x04: return d.get_cal_load();
    case 0x05: return QString::number(d.get_coolant_temp());
    case 0x0A: return d.get_fuel_press();
    case 0x0B: return d.get_MAP();
    case 0x0C: return d.get_RPM();
    case 0x0D: return d.get_speed();
    case 0x0E: return d.get_ignition_adv();
    case 0x0F: return d.get_air_temp();
    case 0x10: return d.get_air_flow();
    case 0x11: return d.get_TPS();
    case 0x12: return d.get_mpg();
    case 0x14: return d.get_O2b1s1();
    case 0x15: return d.get_O2b1s2();
    case 0x16: return d.get_O2b1s3();
    case 0x17: return d.get_O2b1s4();
    case 0x18: return d.get_O2b2s1();
    case 0x19: return d.get_O2b2s2();
    case 0x1A: return d.get_O2b2s3();
    case 0x1B: return d.get_O2b2s4();
    case 0x1F: return d.get_Time_Since_Engine_Start();
    case 0x21: return d.get_dist_MIL();
    case 0x22: return d.get_fuel_rail_press();
    case 0x23: return d.get_fuel_rail_press_gauge();
    case 0x24: return d.get_O2S1_lambda();
    case 0x25: return d.get_O2S2_lambda();
    case 0x26: return d.get_O2S3_lambda();
    case 0x27: return d.get_O2S4_lambda();
    case 0x28: return d.get_O2S5_lambda();
    case 0x29: return d.get_O2S6_lambda();
    case 0x2A: return d.get_O2S7_lambda();
    case 0x2B: return d.get_O2S8_lambda();
    case 0x2C: return d.get_EGR_cmd();
    case 0x2D: return d.get_EGR_error();
    case 0x2E: return d.get_evap_purge();
    case 0x2F: return d.get_fuel_level();
    case 0x30: return d.get_warm_ups();
    case 0x31: return d.get_dist_clear();
    case 0x32: return d.get_evap_press();
    case 0x33: return d.get_baro();
    case 0x34: return d.get_O2S1_AFR(QStringLiteral("01"), QStringLiteral("34"));
    case 0x35: return d.get_O2S2_lambda_c();
    case 0x36: return d.get_O2S3_lambda_c();
    case 0x37: return d.get_O2S4_lambda_c();
    case 0x38: return d.get_O2S5_lambda_c();
    case 0x39: return d.get_O2S6_lambda_c();
    case 0x3A: return d.get_O2S7_lambda_c();
    case 0x3B: return d.get_O2S8_lambda_c();
    case 0x3C: return d.get_cat_temp_11();
    case 0x3D: return d.get_cat_temp_21();
    case 0x3E: return d.get_cat_temp_12();
    case 0x3F: return d.get_cat_temp_22();
    case 0x42: return d.get_ctrl_volts();
    case 0x43: return d.get_abs_load();
    case 0x44: return d.get_equiv_ratio();
    case 0x45: return d.get_rel_TPS();
    case 0x46: return d.get_ambient_temp();
    case 0x47: return d.get_abs_TPS_B();
    case 0x48: return d.get_abs_TPS_C();
    case 0x49: return d.get_pedal_D();
    case 0x4A: return d.get_pedal_E();
    case 0x4B: return d.get_pedal_F();
    case 0x4C: return d.get_throttle_cmd();
    case 0x4D: return d.get_MIL_minutes();
    case 0x4E: return d.get_clear_minutes();
    }
    qFatal("no decoder named for PID %02X", pid);
}

bool closeTo(double actual, double expected)
{
    return qAbs(actual - expected) <= 1e-6 * qMax(1.0, qAbs(expected));
}

const QString CrLf = QStringLiteral("\r\n");

} // namespace

class tst_decoders : public QObject {
    Q_OBJECT

private slots:
    // --- Value decoders: text, units, label and number in each unit system ---

    void valueDecoders_data()
    {
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("bytes");
        QTest::addColumn<bool>("metric");
        QTest::addColumn<QString>("string");
        QTest::addColumn<QString>("units");
        QTest::addColumn<QString>("label");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("listed"); // what the walk and the displays show

        auto row = [](int pid, const char *bytes, bool metric, const char *string, const char *units, const char *label,
                      double value, const char *listed = nullptr) {
            QTest::addRow("%02X %s %s -> %s", pid, bytes, metric ? "metric" : "English", string)
                << pid << QString::fromLatin1(bytes) << metric << QString::fromLatin1(string) << QString::fromLatin1(units)
                << QString::fromLatin1(label) << value << QString::fromLatin1(listed ? listed : string);
        };
        const bool E = false, Me = true;

        const char *load = "Calculated Load -------- ";
        row(0x04, "00", E, "0", "%", load, 0);
        row(0x04, "01", Me, "0", "%", load, 1);
        row(0x04, "80", E, "50", "%", load, 128);
        row(0x04, "99", E, "60", "%", load, 153); // exactly 60 must not drop to 59
        row(0x04, "FF", Me, "100", "%", load, 255);

        const char *coolant = "Coolant Temp -----------  ";
        row(0x05, "8C", Me, "100", "Deg C", coolant, 140);
        row(0x05, "8C", E, "212", "Deg F", coolant, 140);
        row(0x05, "8D", Me, "101", "Deg C", coolant, 141);
        row(0x05, "8D", E, "213.", "Deg F", coolant, 141, "213"); // cut from 213.8, not rounded up
        row(0x05, "33", E, "51.8", "Deg F", coolant, 51, "52");
        row(0x05, "00", Me, "-40", "Deg C", coolant, 0);
        row(0x05, "00", E, "-40", "Deg F", coolant, 0);
        row(0x05, "01", E, "-38.", "Deg F", coolant, 1, "-38");
        row(0x05, "FF", E, "419", "Deg F", coolant, 255);
        row(0x05, "FF", Me, "215", "Deg C", coolant, 255);

        const char *fuel = "Fuel Pressure ---------- ";
        row(0x0A, "00", E, "0", "KPa", fuel, 0);
        row(0x0A, "55", Me, "255", "KPa", fuel, 85);
        row(0x0A, "FF", E, "765", "KPa", fuel, 255);

        const char *map = "Manifold Absolute Pres.- ";
        row(0x0B, "64", E, "29.61", "inHg", map, 100);
        row(0x0B, "64", Me, "100", "KPaA", map, 100);
        row(0x0B, "03", E, "0.888", "inHg", map, 3);
        row(0x0B, "FF", E, "75.51", "inHg", map, 255);
        row(0x0B, "00", Me, "0", "KPaA", map, 0);

        const char *rpm = "Engine RPM ------------- ";
        row(0x0C, "0CB4", E, "813", "RPM", rpm, 32.52);
        row(0x0C, "0001", Me, "0.25", "RPM", rpm, 0.01);
        row(0x0C, "0000", E, "0", "RPM", rpm, 0);
        row(0x0C, "FFFF", Me, "16383.75", "RPM", rpm, 655.35);

        const char *speed = "Speed ------------------ ";
        row(0x0D, "21", E, "20.13", "MPH", speed, 33);
        row(0x0D, "21", Me, "33", "KPH", speed, 33);
        row(0x0D, "FF", E, "155.55", "MPH", speed, 255);
        row(0x0D, "00", Me, "0", "KPH", speed, 0);

        const char *advance = "Ignition Advance ------- ";
        row(0x0E, "8D", E, "6.5", "Deg", advance, 141);
        row(0x0E, "01", Me, "-63.5", "Deg", advance, 1);
        row(0x0E, "00", E, "-64", "Deg", advance, 0);
        row(0x0E, "80", Me, "0", "Deg", advance, 128);
        row(0x0E, "FF", E, "63.5", "Deg", advance, 255);

        const char *air = "Intake Air Temp --------  ";
        row(0x0F, "97", Me, "-20", "Deg C", air, 20); // above 150: taken as 20
        row(0x0F, "97", E, "-4", "Deg F", air, 20);
        row(0x0F, "96", Me, "110", "Deg C", air, 150);
        row(0x0F, "96", E, "230", "Deg F", air, 150);
        row(0x0F, "3D", E, "69.8", "Deg F", air, 61); // listed as its text, not rounded
        row(0x0F, "44", E, "82.4", "Deg F", air, 68); // 28 C: no float rounding builds up to 82.39999
        row(0x0F, "00", Me, "-40", "Deg C", air, 0);
        row(0x0F, "FF", E, "-4", "Deg F", air, 20);

        const char *flow = "Air Flow --------------- ";
        row(0x10, "0000", E, "0", "gm/sec", flow, 0);
        row(0x10, "0001", Me, "0.01", "gm/sec", flow, 0.0025);
        row(0x10, "0190", E, "4", "gm/sec", flow, 1);
        row(0x10, "FFFF", Me, "655.35", "gm/sec", flow, 163.8375);

        const char *tps = "Throttle Position ------ ";
        row(0x11, "FF", E, "132", "%", tps, 255);
        row(0x11, "00", Me, "-18", "%", tps, 0);
        row(0x11, "1F", E, "0", "%", tps, 31); // 12.16 rounds to 12
        row(0x11, "20", Me, "1.5", "%", tps, 32); // 12.55 rounds to 13
        row(0x11, "80", E, "57", "%", tps, 128);

        const char *o2Labels[] = {"O2 Sensor1 Val --------- ", "O2 Sensor2 Val --------- ", "O2 Sensor3 Val --------- ",
                                  "O2 Sensor4 Val --------- ", "O2 Sensor1b Val -------- ", "O2 Sensor2b Val -------- ",
                                  "O2 Sensor3b Val -------- ", "O2 Sensor4b Val -------- "};
        for (int i = 0; i < 8; ++i) {
            row(0x14 + i, "5A80", i % 2 == 1, "0.45", " Volts", o2Labels[i], 90); // the trim byte is not read
            row(0x14 + i, "FFFF", i % 2 == 0, "1.275", " Volts", o2Labels[i], 255);
        }
        row(0x14, "0000", E, "0", " Volts", o2Labels[0], 0);
        row(0x1B, "01FF", Me, "0.005", " Volts", o2Labels[7], 1);

        const char *seconds = "Seconds Since Start -- ";
        row(0x1F, "0384", E, "900", "Sec.", seconds, 900);
        row(0x1F, "FFFF", Me, "65535", "Sec.", seconds, 65535);
        row(0x1F, "0000", Me, "0", "Sec.", seconds, 0);

        const char *distMil = "Distance with MIL ----- ";
        row(0x21, "0100", E, "156", "Mi", distMil, 256);
        row(0x21, "0100", Me, "256", "Km", distMil, 256);
        row(0x21, "FFFF", E, "39976", "Mi", distMil, 65535);
        row(0x21, "0000", Me, "0", "Km", distMil, 0);

        const char *rail = "Fuel press. ----------- ";
        row(0x22, "00C8", Me, " 015.0", " kPa", rail, 200); // 15.8 cut to 15 before formatting
        row(0x22, "00C8", E, " 2.3", " PSI", rail, 200);
        row(0x22, "FFFF", Me, " 5177.0", " kPa", rail, 65535);
        row(0x22, "FFFF", E, " 750.7", " PSI", rail, 65535);
        row(0x22, "0000", Me, " 000.0", " kPa", rail, 0);
        row(0x22, "0000", E, " 0.0", " PSI", rail, 0);

        row(0x23, "00C8", Me, "2000", "kPa", rail, 200);
        row(0x23, "00C8", E, "2", " PSI", rail, 200);
        row(0x23, "0045", E, "1", " PSI", rail, 69); // 1.0005
        row(0x23, "0044", E, "0", " PSI", rail, 68); // 0.986
        row(0x23, "FFFF", Me, "655350", "kPa", rail, 65535);

        for (int s = 1; s <= 8; ++s) {
            const QByteArray label = QStringLiteral("O2S%1 Sensor ----------- ").arg(s).toLatin1();
            row(0x23 + s, "8000", s % 2 == 0, "0.999424", " Lambda", label.constData(), 0.999424);
            if (s >= 2)
                row(0x33 + s, "8000", s % 2 == 1, "0.999424", " Lambda", label.constData(), 0.999424);
        }
        row(0x24, "0000", E, "0", " Lambda", "O2S1 Sensor ----------- ", 0);
        row(0x2B, "FFFF", Me, "1.9988175", " Lambda", "O2S8 Sensor ----------- ", 1.9988175);
        row(0x35, "0001", E, "3.05E-05", " Lambda", "O2S2 Sensor ----------- ", 0.0000305);

        const char *percentLabels[] = {"CMD EGR open ---------- ", "EGR Error ------------- ", "CMD EVAP Purge -------- ",
                                       "Fuel Level ------------ "};
        for (int i = 0; i < 4; ++i) {
            row(0x2C + i, "FF", i % 2 == 0, "100", "%", percentLabels[i], 255);
            row(0x2C + i, "80", i % 2 == 1, "50", "%", percentLabels[i], 128);
        }
        row(0x2C, "00", E, "0", "%", percentLabels[0], 0);
        row(0x2D, "99", Me, "60", "%", percentLabels[1], 153); // not a signed deviation
        row(0x2F, "01", E, "0", "%", percentLabels[3], 1);

        row(0x30, "12", E, "18", "Times", "Num. Warm Ups --------- ", 18);
        row(0x30, "FF", Me, "255", "Times", "Num. Warm Ups --------- ", 255);

        const char *distClear = "Dist. since CLR ------- ";
        row(0x31, "0456", E, "677", "Mi.", distClear, 1110);
        row(0x31, "0456", Me, "1110", "kM", distClear, 1110);
        row(0x31, "0000", E, "0", "Mi.", distClear, 0);

        const char *evap = "EVAP press. ----------- ";
        row(0x32, "FFFC", Me, "-1", "Pa", evap, -4);
        row(0x32, "FFFC", E, "-0.004012", "inH2O.", evap, -4);
        row(0x32, "7FFF", Me, "8191.75", "Pa", evap, 32767);
        row(0x32, "8000", Me, "-8192", "Pa", evap, -32768);
        row(0x32, "0000", E, "0", "inH2O.", evap, 0);

        const char *baro = "BARO press. ----------- ";
        row(0x33, "64", E, "29.53", "InHg", baro, 100);
        row(0x33, "64", Me, "100", "kPa", baro, 100);
        row(0x33, "FF", E, "75.3015", "InHg", baro, 255);

        const char *afr = "O2S1 Sensor ----------- ";
        row(0x34, "00008000", E, "14.730", "AFR", afr, 14.730450478127);
        row(0x34, "00008100", Me, "14.731", "AFR", afr, 14.731); // 16.685 is above 14.731
        row(0x34, "00007F00", E, "12.775", "AFR", afr, 12.7755212134846);
        row(0x34, "00000000", Me, "-235.5", "AFR", afr, -128 * 1.9549292646424 + 14.730450478127);

        const char *catLabels[] = {"CAT11 Temp ------------ ", "CAT21 Temp ------------ ", "CAT12 Temp ------------ ",
                                   "CAT22 Temp ------------ "};
        for (int i = 0; i < 4; ++i) {
            row(0x3C + i, "1194", true, " 410", "Deg C", catLabels[i], 450);
            row(0x3C + i, "1194", false, " 770", "Deg F", catLabels[i], 450);
        }
        row(0x3C, "0000", Me, " -40", "Deg C", catLabels[0], 0);
        row(0x3C, "0000", E, " -40", "Deg F", catLabels[0], 0);
        row(0x3D, "1199", Me, " 411", "Deg C", catLabels[1], 450.5); // 410.5 rounds away from zero
        row(0x3E, "FFFF", E, " 11756", "Deg F", catLabels[2], 6553.5);

        const char *volts = "Control Mod. Voltage--- ";
        row(0x42, "36B0", E, "14", "Volts", volts, 14);
        row(0x42, "0001", Me, "0.001", "Volts", volts, 0.001);
        row(0x42, "FFFF", E, "65.535", "Volts", volts, 65.535);

        const char *absLoad = "Absolute Load --------- ";
        row(0x43, "0001", E, "0.3921569", "%", absLoad, 0.3921569); // single precision: 7 digits
        row(0x43, "00FF", Me, "100", "%", absLoad, 100);
        row(0x43, "FFFF", E, "25700", "%", absLoad, 25700);
        row(0x43, "0000", Me, "0", "%", absLoad, 0);

        const char *equiv = "Cmd Equiv. Ratio ------ ";
        row(0x44, "8000", E, "0.999424", " ", equiv, 0.999424);
        row(0x44, "0001", Me, "3.05E-05", " ", equiv, 0.0000305);
        row(0x44, "0000", E, "0", " ", equiv, 0);

        const char *relLabels[] = {"Rel. Throttle Position- ", "Abs. Throttle PositionB- ", "Abs. Throttle PositionC- ",
                                   "Accelerator PositionD-- ", "Accelerator PositionE-- ", "Accelerator PositionF-- ",
                                   "Cmd. Throt. Actuator--- "};
        const int relPids[] = {0x45, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C};
        for (int i = 0; i < 7; ++i) {
            row(relPids[i], "FF", i % 2 == 0, "100", "%", relLabels[i], 100);
            row(relPids[i], "80", i % 2 == 1, "50.19608", "%", relLabels[i], 50.19608);
        }
        row(0x45, "01", E, "0.3921569", "%", relLabels[0], 0.3921569);
        row(0x4C, "00", Me, "0", "%", relLabels[6], 0);

        const char *ambient = "Ambiant Air Temp ------ ";
        row(0x46, "41", Me, "25", "Deg C", ambient, 65);
        row(0x46, "41", E, "77", "Deg F", ambient, 65);
        row(0x46, "00", Me, "-40", "Deg C", ambient, 0);
        row(0x46, "00", E, "-40", "Deg F", ambient, 0);
        row(0x46, "8D", E, "213.", "Deg F", ambient, 141);
        row(0x46, "FF", E, "419", "Deg F", ambient, 255);

        row(0x4D, "0384", E, "900", "Min.", "Minutes Run with MIL-- ", 900);
        row(0x4D, "FFFF", Me, "65535", "Min.", "Minutes Run with MIL-- ", 65535);
        row(0x4E, "0384", Me, "900", "Min.", "Min. Since TC Clear--- ", 900);
        row(0x4E, "0000", E, "0", "Min.", "Min. Since TC Clear--- ", 0);
    }

    void valueDecoders()
    {
        QFETCH(int, pid);
        QFETCH(QString, bytes);
        QFETCH(bool, metric);
        QFETCH(QString, string);
        QFETCH(QString, units);
        QFETCH(QString, label);
        QFETCH(double, value);
        QFETCH(QString, listed);

        OneEcuRig b({{hex2(pid), bytes}}, metric);
        Decoders d(b.p.pidContext);

        const QString byName = callByName(d, pid);
        QCOMPARE(byName, listed);
        QCOMPARE(b.record().PID_string, string);
        QCOMPARE(b.record().PID_units, units);
        QCOMPARE(b.record().PID_label, label);
        QVERIFY2(closeTo(b.record().PID_value, value), qPrintable(QString::number(b.record().PID_value, 'g', 17)));

        b.p.pids.record = DecodedValue();
        bool isValue = false;
        QCOMPARE(d.decodePid(pid, &isValue), listed);
        QVERIFY(isValue);
        QCOMPARE(b.record().PID_string, listed);
        QCOMPARE(b.record().PID_units, units);
        QCOMPARE(b.record().PID_label, label);
        QCOMPARE(b.commands().size(), 2); // one request per call
    }

    // --- Requests: service, length and byte positions in both kinds of run ---

    void requests_data()
    {
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("current");    // command of a current-data run
        QTest::addColumn<QString>("freeze");     // command of a freeze-frame run
        QTest::addColumn<QString>("modeAfter");  // PID_mode after the freeze-frame call

        auto row = [](int pid, const char *current, const char *freeze, const char *modeAfter) {
            QTest::addRow("%02X", pid) << pid << QString::fromLatin1(current) << QString::fromLatin1(freeze)
                                       << QString::fromLatin1(modeAfter);
        };
        // Follow the run's service: the freeze frame's value, read after the frame byte.
        for (int pid : {0x04, 0x05, 0x0A, 0x0B, 0x0D, 0x11})
            row(pid, qPrintable("01" + hex2(pid) + "06"), qPrintable("02" + hex2(pid) + "07"), "02");
        row(0x0C, "010C07", "020C08", "02");
        row(0x1F, "011F09", "021F0A", "02"); // 10 bytes in a freeze frame: "0A", never "010"
        // Always current data.
        for (int pid : {0x0E, 0x0F, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B})
            row(pid, qPrintable("01" + hex2(pid) + "06"), qPrintable("01" + hex2(pid) + "06"), "02");
        row(0x10, "011007", "011007", "02");
        // Service 01 without touching PID_mode.
        for (int pid = 0x24; pid <= 0x2B; ++pid)
            row(pid, qPrintable("01" + hex2(pid) + "09"), qPrintable("01" + hex2(pid) + "09"), "02");
        for (int pid = 0x34; pid <= 0x3B; ++pid)
            row(pid, qPrintable("01" + hex2(pid) + "09"), qPrintable("01" + hex2(pid) + "09"), "02");
        row(0x21, "012109", "012109", "02");
        // Service 01, and PID_mode becomes "01".
        for (int pid : {0x22, 0x23, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E})
            row(pid, qPrintable("01" + hex2(pid) + "09"), qPrintable("01" + hex2(pid) + "09"), "01");
        for (int pid : {0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x33})
            row(pid, qPrintable("01" + hex2(pid) + "06"), qPrintable("01" + hex2(pid) + "06"), "01");
        for (int pid : {0x31, 0x32, 0x3C, 0x3D, 0x3E, 0x3F})
            row(pid, qPrintable("01" + hex2(pid) + "07"), qPrintable("01" + hex2(pid) + "07"), "01");
    }

    void requests()
    {
        QFETCH(int, pid);
        QFETCH(QString, current);
        QFETCH(QString, freeze);
        QFETCH(QString, modeAfter);

        // The ECU's current value and the freeze frame's value differ, so the text tells which was read.
        const QString now = QStringLiteral("40404040"), frozen = QStringLiteral("80808080");
        OneEcuRig b({{hex2(pid), now}});
        b.setFreeze(pid, frozen);
        OneEcuRig other({{hex2(pid), frozen}});
        Decoders(other.p.pidContext).decodePid(pid);
        const QString frozenText = other.record().PID_string;

        Decoders d(b.p.pidContext);
        d.decodePid(pid);
        const QString nowText = b.record().PID_string;
        QVERIFY(nowText != frozenText);
        QCOMPARE(b.commands(), QStringList{current});
        QCOMPARE(b.p.settings.PID_mode, QStringLiteral("01"));

        b.rig.tool.clearCommands();
        b.freezeFrameRun();
        d.decodePid(pid);
        QCOMPARE(b.commands(), QStringList{freeze});
        const bool followsFrame = freeze.startsWith(QLatin1String("02"));
        QCOMPARE(b.record().PID_string, followsFrame ? frozenText : nowText);
        QCOMPARE(b.p.settings.PID_mode, modeAfter);
        QCOMPARE(b.p.settings.frame_flag, 1);
    }

    void freezeFrameRunReadsByteAAfterTheFrameByte()
    {
        OneEcuRig b({{QStringLiteral("0C"), QStringLiteral("0000")}, {QStringLiteral("0E"), QStringLiteral("8D")}});
        b.setFreeze(0x0C, QStringLiteral("0CB4"));
        b.freezeFrameRun();
        Decoders d(b.p.pidContext);
        QCOMPARE(d.get_RPM(), QStringLiteral("813"));
        QCOMPARE(d.get_ignition_adv(), QStringLiteral("6.5"));
        QCOMPARE(b.commands(), (QStringList{QStringLiteral("020C08"), QStringLiteral("010E06")}));
    }

    // Without a vehicle there is no value: nothing read as zero bytes may pass for a reading.
    void noVehicleIsNoReading()
    {
        OneEcuRig b({{QStringLiteral("05"), QStringLiteral("8C")}}, true);
        b.rig.tool.setVehicle(false);
        Decoders d(b.p.pidContext);
        for (int pid : {0x05, 0x46, 0x3C, 0x32, Decoders::MileagePid}) {
            const Reading r = d.read(pid);
            QVERIFY(!r.valid);
            QVERIFY(!r.answered());
            QCOMPARE(r.outcome, ScanToolLink::Outcome::NoVehicle);
            QVERIFY(r.text.isEmpty());
            QCOMPARE(b.record().PID_string, QString());
        }
        QCOMPARE(d.get_ambient_temp(), QString());
        QVERIFY(b.commands().isEmpty());
    }

    void lookupCoversExactlyTheValuePids()
    {
        OneEcuRig b({});
        Decoders d(b.p.pidContext);
        for (int pid = 0; pid <= 0x60; ++pid) {
            const bool expected = (pid >= 0x04 && pid <= 0x05) || (pid >= 0x0A && pid <= 0x12)
                || (pid >= 0x14 && pid <= 0x1B) || pid == 0x1F || (pid >= 0x21 && pid <= 0x3F)
                || (pid >= 0x42 && pid <= 0x4E);
            QVERIFY2(Decoders::hasValueDecoder(pid) == expected, qPrintable(hex2(pid)));
            QCOMPARE(Decoders::decoderName(pid).startsWith(QLatin1String("get_")), expected);
        }
        // Status PIDs and unknown numbers run nothing.
        for (int pid : {0x01, 0x03, 0x06, 0x13, 0x1C, 0x20, 0x41, 0x4F, 0xFF, -1}) {
            bool isValue = true;
            QCOMPARE(d.decodePid(pid, &isValue), QString());
            QVERIFY(!isValue);
        }
        QVERIFY(b.commands().isEmpty());
        QCOMPARE(Decoders::decoderName(0x12), QStringLiteral("get_mpg"));
        QCOMPARE(Decoders::decoderName(0x3C), QStringLiteral("get_cat_temp_11"));
    }

    // --- Fuel economy ---

    void mileage_data()
    {
        QTest::addColumn<QString>("flow");
        QTest::addColumn<QString>("speed");
        QTest::addColumn<bool>("metric");
        QTest::addColumn<QString>("wideband"); // WBO2_PID before the call
        QTest::addColumn<QString>("string");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("units");
        QTest::addColumn<QStringList>("commands");

        const QString english = QStringLiteral("Gas Mileage ------------ ");
        const QString metric = QStringLiteral("Fuel Consumption ------- ");
        const QStringList plain{QStringLiteral("011007"), QStringLiteral("010D06")};
        QTest::newRow("standing, no air: 0") << "0000" << "00" << false << "0" << "0" << english << "MPG" << plain;
        QTest::newRow("metric, standing") << "0000" << "00" << true << "0" << "0" << metric << "Km/L" << plain;
        QTest::newRow("English 4 g/s at 48.8 mph") << "0190" << "50" << false << "0" << "189.9" << english << "MPG" << plain;
        QTest::newRow("metric 4 g/s at 80 km/h") << "0190" << "50" << true << "0" << "50.52" << metric << "Km/L" << plain;
        QTest::newRow("no air flow but moving: 0.01 g/s")
            << "0000" << "01" << true << "0" << "229.7" << metric << "Km/L" << plain;
        QTest::newRow("sensor 24 lambda 0.499712")
            << "0190" << "50" << false << "24" << "94.93" << english << "MPG"
            << (plain + QStringList{QStringLiteral("012409")});
        QTest::newRow("sensor 34 lambda 0.999424")
            << "0190" << "50" << true << "34" << "50.49" << metric << "Km/L"
            << (plain + QStringList{QStringLiteral("013409")});
        QTest::newRow("'0' names no sensor") << "0190" << "50" << false << "0" << "189.9" << english << "MPG" << plain;
    }

    void mileage()
    {
        QFETCH(QString, flow);
        QFETCH(QString, speed);
        QFETCH(bool, metric);
        QFETCH(QString, wideband);
        QFETCH(QString, string);
        QFETCH(QString, label);
        QFETCH(QString, units);
        QFETCH(QStringList, commands);

        OneEcuRig b({{QStringLiteral("10"), flow}, {QStringLiteral("0D"), speed}, {QStringLiteral("24"), QStringLiteral("4000")},
                 {QStringLiteral("34"), QStringLiteral("80008000")}},
                metric);
        b.p.settings.WBO2_PID = wideband;
        Decoders d(b.p.pidContext);
        QCOMPARE(d.get_mpg(), string);
        QCOMPARE(b.record().PID_string, string);
        QCOMPARE(b.record().PID_label, label);
        QCOMPARE(b.record().PID_units, units);
        QVERIFY(closeTo(b.record().PID_value, string.toDouble()));
        QCOMPARE(b.commands(), commands);
        QCOMPARE(b.p.settings.WBO2_PID, wideband);
        // The lookup for the walk's fuel-economy line runs the same computation.
        QCOMPARE(d.decodePid(Decoders::MileagePid), string);
    }

    void lambdaOfTheLastWidebandSensorCorrectsMileage()
    {
        OneEcuRig b({{QStringLiteral("10"), QStringLiteral("0190")}, {QStringLiteral("0D"), QStringLiteral("50")},
                 {QStringLiteral("24"), QStringLiteral("4000")}});
        Decoders d(b.p.pidContext);
        QCOMPARE(d.get_mpg(), QStringLiteral("189.9"));
        d.get_O2S1_lambda();
        QCOMPARE(b.p.settings.WBO2_PID, QStringLiteral("24"));
        QCOMPARE(d.get_mpg(), QStringLiteral("94.93"));
    }

    // --- Wide-range O2 sensors ---

    void widebandDecodersRememberTheirPid_data()
    {
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("remembered");
        for (int pid = 0x24; pid <= 0x2B; ++pid)
            QTest::addRow("%02X", pid) << pid << hex2(pid);
        for (int pid = 0x34; pid <= 0x3B; ++pid)
            QTest::addRow("%02X", pid) << pid << hex2(pid);
    }
    void widebandDecodersRememberTheirPid()
    {
        QFETCH(int, pid);
        QFETCH(QString, remembered);
        OneEcuRig b({{hex2(pid), QStringLiteral("80008000")}});
        QCOMPARE(b.p.settings.WBO2_PID, QStringLiteral("0"));
        Decoders d(b.p.pidContext);
        callByName(d, pid);
        QCOMPARE(b.p.settings.WBO2_PID, remembered);
    }

    void afrUsesTheGivenTextsButRemembers34()
    {
        OneEcuRig b({{QStringLiteral("35"), QStringLiteral("00008100")}});
        Decoders d(b.p.pidContext);
        QCOMPARE(d.get_O2S1_AFR(QStringLiteral("01"), QStringLiteral("35")), QStringLiteral("14.731"));
        QCOMPARE(b.commands(), QStringList{QStringLiteral("013509")});
        QCOMPARE(b.p.settings.WBO2_PID, QStringLiteral("34"));
        QCOMPARE(b.record().PID_label, QStringLiteral("O2S1 Sensor ----------- "));
    }

    void lambdaAndSensorCurrent_data()
    {
        QTest::addColumn<QString>("bytes");
        QTest::addColumn<QString>("lambda");
        QTest::addColumn<double>("current");
        QTest::newRow("lambda 1, 0 mA") << "80008000" << "0.999424" << 0.0;
        QTest::newRow("lambda 0.5, +1 mA") << "40008100" << "0.499712" << 1.0;
        QTest::newRow("all zero: -128 mA") << "00000000" << "0" << -128.0;
        QTest::newRow("all FF") << "FFFFFFFF" << "1.9988175" << 127.99609375;
        QTest::newRow("quarter mA") << "00018040" << "3.05E-05" << 0.25;
    }
    void lambdaAndSensorCurrent()
    {
        QFETCH(QString, bytes);
        QFETCH(QString, lambda);
        QFETCH(double, current);
        OneEcuRig b({{QStringLiteral("34"), bytes}, {QStringLiteral("24"), bytes}});
        b.p.pids.record.PID_units = QStringLiteral("kept units");
        b.p.pids.record.PID_label = QStringLiteral("kept label");
        Decoders d(b.p.pidContext);

        QCOMPARE(d.get_WBO2_current(QStringLiteral("01"), QStringLiteral("34")), lambda);
        QCOMPARE(b.record().PID_string, lambda);
        QVERIFY(closeTo(b.record().PID_value, current));
        QCOMPARE(b.p.settings.WBO2_PID, QStringLiteral("34"));

        b.p.settings.WBO2_PID = QStringLiteral("0");
        QCOMPARE(d.get_lambda(QStringLiteral("01"), QStringLiteral("24")), lambda);
        QVERIFY(closeTo(b.record().PID_value, lambda.toDouble()));
        QCOMPARE(b.p.settings.WBO2_PID, QStringLiteral("0")); // only the sensor decoders remember a PID

        QCOMPARE(b.record().PID_units, QStringLiteral("kept units"));
        QCOMPARE(b.record().PID_label, QStringLiteral("kept label"));
        QCOMPARE(b.commands(), (QStringList{QStringLiteral("013409"), QStringLiteral("012409")}));
    }

    // --- Status decoders ---

    void milAndMonitors_data()
    {
        QTest::addColumn<QString>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("o2Before");
        QTest::addColumn<bool>("o2After");

        auto lines = [](std::initializer_list<const char *> ls) {
            QString out;
            for (const char *l : ls)
                out += QString::fromLatin1(l) + CrLf;
            return out;
        };
        QTest::newRow("lamp on, count not shown") << "83000000" << lines({"MIL is ON Stored Trouble Codes Present"}) << false << false;
        QTest::newRow("lamp on, no codes") << "80000000" << lines({"MIL is ON Stored Trouble Codes Present"}) << false << false;
        QTest::newRow("lamp off, 2 codes") << "02000000" << lines({"MIL is OFF 2 stored Trouble Code(s)"}) << false << false;
        QTest::newRow("lamp off, 127 codes") << "7F000000" << lines({"MIL is OFF 127 stored Trouble Code(s)"}) << true << true;
        QTest::newRow("continuous monitors complete")
            << "00070000"
            << lines({"MIL is OFF 0 stored Trouble Code(s)", "Misfire Monitoring            Complete",
                      "Fuel Sys. Monitoring          Complete", "Component Monitoring          Complete"})
            << false << false;
        QTest::newRow("continuous monitors incomplete")
            << "00770000"
            << lines({"MIL is OFF 0 stored Trouble Code(s)", "Misfire Monitoring            Incomplete",
                      "Fuel Sys. Monitoring          Incomplete", "Component Monitoring          Incomplete"})
            << false << false;
        QTest::newRow("not-complete bits without support show nothing")
            << "007000FF" << lines({"MIL is OFF 0 stored Trouble Code(s)"}) << true << true;
        QTest::newRow("every C monitor incomplete")
            << "0000FFFF"
            << lines({"MIL is OFF 0 stored Trouble Code(s)", "Catalyst Monitoring           Incomplete",
                      "Heated Catalyst Monitoring    Incomplete", "Evaporative System Monitoring Incomplete",
                      "Sec. Air System Monitoring    Incomplete", "A/C Refrigerant Monitoring    Incomplete",
                      "O2 Sensor Monitoring          Incomplete", "O2 Sensor Heater Monitoring   Incomplete",
                      "EGR Monitoring                Incomplete"})
            << true << false;
        QTest::newRow("every C monitor complete")
            << "0000FF00"
            << lines({"MIL is OFF 0 stored Trouble Code(s)", "Catalyst Monitoring           Complete",
                      "Heated Catalyst Monitoring    Complete", "Evaporative System Monitoring Complete",
                      "Sec. Air System Monitoring    Complete", "A/C Refrigerant Monitoring    Complete",
                      "O2 Sensor Monitoring          Complete", "O2 Sensor Heater Monitoring   Complete",
                      "EGR Monitoring                Complete"})
            << false << true;
        QTest::newRow("O2 alone incomplete")
            << "83042020"
            << lines({"MIL is ON Stored Trouble Codes Present", "Component Monitoring          Complete",
                      "O2 Sensor Monitoring          Incomplete"})
            << true << false;
        QTest::newRow("mixed")
            << "8207E504"
            << lines({"MIL is ON Stored Trouble Codes Present", "Misfire Monitoring            Complete",
                      "Fuel Sys. Monitoring          Complete", "Component Monitoring          Complete",
                      "Catalyst Monitoring           Complete", "Evaporative System Monitoring Incomplete",
                      "O2 Sensor Monitoring          Complete", "O2 Sensor Heater Monitoring   Complete",
                      "EGR Monitoring                Complete"})
            << false << true;
    }
    void milAndMonitors()
    {
        QFETCH(QString, bytes);
        QFETCH(QString, text);
        QFETCH(bool, o2Before);
        QFETCH(bool, o2After);
        OneEcuRig b({{QStringLiteral("01"), bytes}});
        b.p.status.setText(QStringLiteral("earlier text"));
        b.p.pids.O2_monitor_complete = o2Before;
        b.p.pids.record.PID_string = QStringLiteral("untouched");
        b.freezeFrameRun(); // PID 01 is always current data
        Decoders(b.p.pidContext).get_MIL();
        QCOMPARE(b.p.status.text(), text);
        QCOMPARE(b.p.pids.O2_monitor_complete, o2After);
        QCOMPARE(b.commands(), QStringList{QStringLiteral("010109")});
        QCOMPARE(b.record().PID_string, QStringLiteral("untouched"));
    }

    void freezeFrameCode_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("code"); // "" : the ECU does not answer PID 02
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("noFrame");
        QTest::addColumn<bool>("red");
        QTest::addColumn<QString>("command");

        QTest::newRow("code 0133") << "01" << "0133" << "before\r\nFreeze Frame T.C. -P0133\r\n" << false << true << "010208";
        QTest::newRow("code C301: letter stays P") << "01" << "C301" << "before\r\nFreeze Frame T.C. -PC301\r\n" << false << true
                                                   << "010208";
        QTest::newRow("code 0000 replaces the text") << "01" << "0000" << "\r\n\r\n No Freeze Frame Data Stored\r\n" << true
                                                     << false << "010208";
        QTest::newRow("silent ECU") << "01" << "" << "before\r\n No Freeze Frame Data Stored" << false << false << "010208";
        QTest::newRow("freeze-frame run, length not lengthened")
            << "02" << "0420" << "before\r\nFreeze Frame T.C. -P0420\r\n" << false << true << "020208";
        QTest::newRow("freeze-frame run, no frame") << "02" << "0000" << "\r\n\r\n No Freeze Frame Data Stored\r\n" << true
                                                    << false << "020208";
    }
    void freezeFrameCode()
    {
        QFETCH(QString, mode);
        QFETCH(QString, code);
        QFETCH(QString, text);
        QFETCH(bool, noFrame);
        QFETCH(bool, red);
        QFETCH(QString, command);

        QMap<QString, QString> pids;
        if (!code.isEmpty())
            pids.insert(QStringLiteral("02"), QStringLiteral("0000"));
        OneEcuRig b(pids);
        if (!code.isEmpty())
            b.setFreeze(0x02, code);
        if (mode == QLatin1String("02"))
            b.freezeFrameRun();
        b.p.status.setText(QStringLiteral("before"));
        b.p.pids.no_freeze_frame = true; // cleared first
        Decoders(b.p.pidContext).get_trouble_codes();
        QCOMPARE(b.p.status.text(), text);
        QCOMPARE(b.p.pids.no_freeze_frame, noFrame);
        QCOMPARE(b.p.data.color(), red ? colors::Red : colors::Black);
        QCOMPARE(b.commands(), QStringList{command});
    }

    void fuelSystemStatus_data()
    {
        QTest::addColumn<QString>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("open loop") << "0100" << "Fuel Sys1-Open Loop Mode\r\n\r\n";
        QTest::newRow("both closed") << "0202" << "Fuel Sys1-Closed Loop Mode\r\nFuel Sys2-Closed Loop Mode\r\n\r\n";
        QTest::newRow("two bits set: no Sys1 line") << "0300" << "\r\n";
        QTest::newRow("driving / fault") << "0408" << "Fuel Sys1-Open Loop Driving\r\nFuel Sys2-Open Loop with Fault\r\n\r\n";
        QTest::newRow("closed with fault, system 2 only") << "0010" << "Fuel Sys2-Closed Loop with Fault\r\n\r\n";
        QTest::newRow("fault, closed with fault") << "0810" << "Fuel Sys1-Open Loop with Fault\r\nFuel Sys2-Closed Loop with Fault\r\n\r\n";
        QTest::newRow("nothing") << "0000" << "\r\n";
        QTest::newRow("all bits") << "FFFF" << "\r\n";
    }
    void fuelSystemStatus()
    {
        QFETCH(QString, bytes);
        QFETCH(QString, text);
        OneEcuRig b({{QStringLiteral("03"), bytes}});
        b.p.status.setText(QStringLiteral(">"));
        Decoders(b.p.pidContext).get_fuel_status();
        QCOMPARE(b.p.status.text(), QStringLiteral(">") + text);
        QCOMPARE(b.commands(), QStringList{QStringLiteral("010307")});
    }

    void fuelSystemStatusFollowsTheFreezeFrame()
    {
        OneEcuRig b({{QStringLiteral("03"), QStringLiteral("0100")}});
        b.setFreeze(0x03, QStringLiteral("0200"));
        b.freezeFrameRun();
        Decoders(b.p.pidContext).get_fuel_status();
        QCOMPARE(b.p.status.text(), QStringLiteral("Fuel Sys1-Closed Loop Mode\r\n\r\n"));
        QCOMPARE(b.commands(), QStringList{QStringLiteral("020308")});
    }

    void fuelTrims_data()
    {
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("byte");
        QTest::addColumn<QString>("line");
        QTest::newRow("06 at 128: 0") << 0x06 << "80" << "Short Term Fuel Trim---- 0%\r\n";
        QTest::newRow("07 at 127: -1") << 0x07 << "7F" << "Long Term FT,B1 -------- -1%\r\n";
        QTest::newRow("08 at 129: 0") << 0x08 << "81" << "Short Term FT,B2 ------- 0%\r\n";
        QTest::newRow("09 at 0: -100") << 0x09 << "00" << "Long Term FT,B2 -------- -100%\r\n";
        QTest::newRow("06 at 255: 99") << 0x06 << "FF" << "Short Term Fuel Trim---- 99%\r\n";
        QTest::newRow("07 at 130: 1") << 0x07 << "82" << "Long Term FT,B1 -------- 1%\r\n";
    }
    void fuelTrims()
    {
        QFETCH(int, pid);
        QFETCH(QString, byte);
        QFETCH(QString, line);
        OneEcuRig b({{hex2(pid), byte}});
        b.p.pids.record.PID_label = QStringLiteral("untouched");
        Decoders d(b.p.pidContext);
        switch (pid) {
        case 0x06: d.get_STFTB1(); break;
        case 0x07: d.get_LTFTB1(); break;
        case 0x08: d.get_STFTB2(); break;
        case 0x09: d.get_LTFTB2(); break;
        }
        QCOMPARE(b.p.status.text(), line);
        QCOMPARE(b.commands(), QStringList{QStringLiteral("01") + hex2(pid) + QStringLiteral("06")});
        QCOMPARE(b.record().PID_label, QStringLiteral("untouched"));
    }

    void secondaryAirAndObd()
    {
        OneEcuRig b({{QStringLiteral("12"), QStringLiteral("04")}});
        b.freezeFrameRun();
        Decoders d(b.p.pidContext);
        d.get_cmd_sec_air_stat();
        d.get_OBD();
        QCOMPARE(b.p.status.text(), QStringLiteral("Cmd Sec. Air Status ---- 4\r\nOBDII\r\n"));
        QCOMPARE(b.commands(), QStringList{QStringLiteral("011206")}); // get_OBD asks nothing
    }

    void o2Sensors_data()
    {
        QTest::addColumn<QString>("byte");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("present");
        QTest::newRow("33: both banks, sensors 1 and 2") << "33" << 4 << QList<int>{1, 2, 0, 0, 16, 32, 0, 0};
        QTest::newRow("none") << "00" << 0 << QList<int>{0, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("all eight") << "FF" << 8 << QList<int>{1, 2, 4, 8, 16, 32, 64, 128};
        QTest::newRow("first and last") << "81" << 2 << QList<int>{1, 0, 0, 0, 0, 0, 0, 128};
    }
    void o2Sensors()
    {
        QFETCH(QString, byte);
        QFETCH(int, count);
        QFETCH(QList<int>, present);
        OneEcuRig b({{QStringLiteral("13"), byte}});
        Decoders(b.p.pidContext).get_O2_loc();
        QCOMPARE(b.p.status.text(), QStringLiteral("# of O2 Sensors -------- %1\r\n").arg(count));
        QList<int> actual(b.p.pids.o2_present.begin(), b.p.pids.o2_present.end());
        QCOMPARE(actual, present);
        QCOMPARE(b.commands(), QStringList{QStringLiteral("011306")});
    }

    void o2PresenceIsNeverCleared()
    {
        OneEcuRig b({});
        b.rig.tool.profile().ecus[0].pids.insert(
            0x13, sim::PidValue{{QByteArray::fromHex("01"), QByteArray::fromHex("80")}});
        Decoders d(b.p.pidContext);
        int count = -1;
        d.o2_presence_scan(count);
        QCOMPARE(count, 1);
        d.o2_presence_scan(count);
        QCOMPARE(count, 1);
        QList<int> actual(b.p.pids.o2_present.begin(), b.p.pids.o2_present.end());
        QCOMPARE(actual, (QList<int>{1, 0, 0, 0, 0, 0, 0, 128}));
        QVERIFY(b.p.status.text().isEmpty()); // the scan alone writes nothing
    }
};

QTEST_GUILESS_MAIN(tst_decoders)
#include "tst_decoders.moc"
