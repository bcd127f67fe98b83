// The supported-PID walk against the in-process simulated tool: which decoder each bit runs, the
// line / logger item / PID_list invariant, the special bits (02, 10, 1E, 1F, 20, 40, 41, 4F, 50)
// and the scans of the higher bitmaps.
#include "SimRig.h"

#include "pids/Decoders.h"
#include "core/Hex.h"
#include "pids/PidWalker.h"

#include <QtTest>

using namespace quenta;

namespace {

struct WalkerRig {
    SimRig rig;
    Program &p;
    PidWalker walker{p.pidContext};
    explicit WalkerRig(const QMap<QString, QString> &pids, const QString &address = QStringLiteral("10"))
        : rig(SimRig::profileWith(pids, address)), p(*rig.program)
    {
        init();
    }
    explicit WalkerRig(sim::VehicleProfile profile) : rig(std::move(profile)), p(*rig.program) { init(); }
    void init()
    {
        rig.openPort();
        p.settings.PID_mode = QStringLiteral("01");
        p.settings.frame_flag = 0;
        rig.tool.clearCommands();
    }
    QStringList commands() const
    {
        QStringList out;
        for (const QByteArray &c : rig.tool.commands())
            out << QString::fromLatin1(c);
        return out;
    }
    QList<int> pidList(int from, int to) const
    {
        QList<int> out;
        for (int i = from; i < to; ++i)
            out << p.pids.PID_list[size_t(i)];
        return out;
    }
    QStringList loggerItems() const { return p.logger.items(0); }
};

using Walker = void (PidWalker::*)(int &, int &);
const Walker Walkers[] = {&PidWalker::findPID1, &PidWalker::findPID2, &PidWalker::findPID3, &PidWalker::findPID4,
                          &PidWalker::findPID5, &PidWalker::findPID6, &PidWalker::findPID7, &PidWalker::findPID8,
                          &PidWalker::findPID9, &PidWalker::findPID10};

// The walker and bit of a PID in the bitmaps of PID 00, 20 and 40.
void bitOf(int pid, int *walker, int *bit)
{
    const int base = (pid - 1) / 0x20 * 0x20;
    *walker = base / 0x20 * 4 + (pid - base - 1) / 8;
    *bit = 0x80 >> ((pid - base - 1) % 8);
}

QString hex2(int pid) { return QStringLiteral("%1").arg(pid, 2, 16, QLatin1Char('0')).toUpper(); }

const QString NoObdData = QStringLiteral(
    "The ECU communicating does not support OBD-II data, you can read/clear it's trouble codes or Click 'Change ECU' ");

} // namespace

class tst_walker : public QObject {
    Q_OBJECT

private slots:
    // --- Every bit of the three bitmaps ---

    void everyBit_data()
    {
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("does"); // line, status, nothing, scan

        for (int pid = 0x01; pid <= 0x50; ++pid) {
            QString does = QStringLiteral("line");
            if (pid == 0x20 || pid == 0x40)
                does = QStringLiteral("scan");
            else if (pid == 0x1E || pid == 0x41 || pid == 0x4F || pid == 0x50)
                does = QStringLiteral("nothing");
            else if (pid <= 0x03 || (pid >= 0x06 && pid <= 0x09) || pid == 0x12 || pid == 0x13 || pid == 0x1C
                     || pid == 0x1D)
                does = QStringLiteral("status");
            QTest::addRow("%02X %s", pid, qPrintable(does)) << pid << does;
        }
    }
    void everyBit()
    {
        QFETCH(int, pid);
        QFETCH(QString, does);
        // Bytes that keep PID 10's air flow at 0, so the bit gives exactly one line.
        WalkerRig b({{hex2(pid), QStringLiteral("00000000")}});
        int walker = 0, bit = 0;
        bitOf(pid, &walker, &bit);
        b.p.pids.PID_count = 5;
        int a = bit;
        (b.walker.*Walkers[walker])(a, b.p.pids.PID_count);

        if (does == QLatin1String("line")) {
            QCOMPARE(b.p.pids.PID_count, 6);
            QCOMPARE(int(b.p.pids.PID_list[5]), pid);
            QCOMPARE(b.p.data.count(), 1);
            QCOMPARE(b.loggerItems().size(), 1);
            const QString line = b.p.data.lines().at(0);
            // The line is the decoder's own record, joined without separators.
            Decoders d(b.p.pidContext);
            const QString value = d.decodePid(pid);
            const DecodedValue &r = b.p.pids.record;
            QCOMPARE(line, r.PID_label + value + r.PID_units);
            QCOMPARE(b.loggerItems().at(0), r.PID_label);
            QVERIFY(b.p.status.text().isEmpty());
        } else {
            QCOMPARE(b.p.pids.PID_count, 5);
            QCOMPARE(b.p.data.count(), 0);
            QVERIFY(b.loggerItems().isEmpty());
            if (does == QLatin1String("status"))
                QVERIFY(!b.p.status.text().isEmpty());
            else if (does == QLatin1String("nothing"))
                QVERIFY(b.commands().isEmpty());
            else
                QCOMPARE(b.commands().value(0), pid == 0x20 ? QStringLiteral("012009") : QStringLiteral("014009"));
        }
        QVERIFY(a <= 1);
    }

    // --- The walk's own edges ---

    void byteA98ListsLoadAndCoolant()
    {
        WalkerRig b({{QStringLiteral("01"), QStringLiteral("83000000")},
                 {QStringLiteral("04"), QStringLiteral("80")},
                 {QStringLiteral("05"), QStringLiteral("33")}});
        b.p.pids.PID_count = 3;
        int a = 0x98;
        b.walker.findPID1(a, b.p.pids.PID_count);
        QCOMPARE(b.p.status.text(), QStringLiteral("MIL is ON Stored Trouble Codes Present\r\n"));
        // PID 05 is listed as its whole number (51.8 -> 52).
        QCOMPARE(b.p.data.lines(), (QStringList{QStringLiteral("Calculated Load -------- 50%"),
                                                QStringLiteral("Coolant Temp -----------  52Deg F")}));
        QCOMPARE(b.p.pids.PID_count, 5);
        QCOMPARE(b.pidList(3, 5), (QList<int>{4, 5}));
        QCOMPARE(b.loggerItems(), (QStringList{QStringLiteral("Calculated Load -------- "),
                                               QStringLiteral("Coolant Temp -----------  ")}));
        QCOMPARE(b.commands(), (QStringList{QStringLiteral("010109"), QStringLiteral("010406"), QStringLiteral("010506")}));
        QCOMPARE(a, 0);
    }

    void missingFreezeFrameEndsByteA_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("noFrame");
        QTest::newRow("code 0000: rest of byte A skipped") << "0000" << QStringList() << true;
        QTest::newRow("code 0133: 04 and 05 listed")
            << "0133"
            << QStringList{QStringLiteral("Calculated Load -------- 0%"), QStringLiteral("Coolant Temp -----------  -40Deg F")}
            << false;
    }
    void missingFreezeFrameEndsByteA()
    {
        QFETCH(QString, code);
        QFETCH(QStringList, lines);
        QFETCH(bool, noFrame);
        WalkerRig b({{QStringLiteral("02"), QStringLiteral("0000")},
                 {QStringLiteral("04"), QStringLiteral("00")},
                 {QStringLiteral("05"), QStringLiteral("00")}});
        b.rig.tool.profile().ecus[0].freeze.insert(0x02, sim::PidValue{{QByteArray::fromHex(code.toLatin1())}});
        int a = 0x58; // 02, 04, 05
        b.walker.findPID1(a, b.p.pids.PID_count);
        QCOMPARE(b.p.data.lines(), lines);
        QCOMPARE(b.p.pids.no_freeze_frame, noFrame);
        QCOMPARE(b.p.pids.PID_count, int(lines.size()));
        if (noFrame) {
            QCOMPARE(a, 0);
            QCOMPARE(b.commands(), QStringList{QStringLiteral("010208")});
            QCOMPARE(b.p.status.text(), QStringLiteral("\r\n\r\n No Freeze Frame Data Stored\r\n"));
        } else {
            QCOMPARE(b.p.data.color(), colors::Red);
        }
    }

    void fuelEconomyFollowsAirFlow_data()
    {
        QTest::addColumn<QString>("flow");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QList<int>>("pids");
        QTest::newRow("air flow 0: no fuel-economy line")
            << "0000" << QStringList{QStringLiteral("Air Flow --------------- 0gm/sec")} << QList<int>{0x10};
        QTest::newRow("air flow 4 g/s: fuel economy as entry 18")
            << "0190"
            << QStringList{QStringLiteral("Air Flow --------------- 4gm/sec"), QStringLiteral("Gas Mileage ------------ 189.9MPG")}
            << QList<int>{0x10, 0x12};
        QTest::newRow("smallest air flow 0.01 counts")
            << "0001"
            << QStringList{QStringLiteral("Air Flow --------------- 0.01gm/sec"),
                           QStringLiteral("Gas Mileage ------------ 69102MPG")}
            << QList<int>{0x10, 0x12};
    }
    void fuelEconomyFollowsAirFlow()
    {
        QFETCH(QString, flow);
        QFETCH(QStringList, lines);
        QFETCH(QList<int>, pids);
        WalkerRig b({{QStringLiteral("10"), flow}, {QStringLiteral("0D"), QStringLiteral("50")}});
        int a = 0x01;
        b.walker.findPID2(a, b.p.pids.PID_count);
        QCOMPARE(b.p.data.lines(), lines);
        QCOMPARE(b.pidList(0, int(pids.size())), pids);
        QCOMPARE(b.p.pids.PID_count, int(lines.size()));
        QCOMPARE(b.loggerItems().size(), lines.size());
        QCOMPARE(b.loggerItems().last(), lines.last().left(b.loggerItems().last().size()));
    }

    void fuelTrimBitsRaiseTheirFlags()
    {
        WalkerRig b({{QStringLiteral("06"), QStringLiteral("80")}, {QStringLiteral("07"), QStringLiteral("7F")},
                 {QStringLiteral("08"), QStringLiteral("81")}, {QStringLiteral("09"), QStringLiteral("00")}});
        int a = 0x03; // 07, 08
        b.walker.findPID1(a, b.p.pids.PID_count);
        QVERIFY(!b.p.pids.has_STFTB1);
        QVERIFY(b.p.pids.has_LTFTB1);
        QVERIFY(b.p.pids.has_STFTB2);
        QVERIFY(!b.p.pids.has_LTFTB2);
        a = 0x04; // 06
        b.walker.findPID1(a, b.p.pids.PID_count);
        QVERIFY(b.p.pids.has_STFTB1);
        a = 0x80; // 09
        b.walker.findPID2(a, b.p.pids.PID_count);
        QVERIFY(b.p.pids.has_LTFTB2);
        QCOMPARE(b.p.status.text(), QStringLiteral("Long Term FT,B1 -------- -1%\r\nShort Term FT,B2 ------- 0%\r\n"
                                                   "Short Term Fuel Trim---- 0%\r\nLong Term FT,B2 -------- -100%\r\n"));
        QCOMPARE(b.p.data.count(), 0);
        QCOMPARE(b.p.pids.PID_count, 0);
    }

    void byteDStatusAndSeconds()
    {
        WalkerRig b({{QStringLiteral("13"), QStringLiteral("33")}, {QStringLiteral("1B"), QStringLiteral("5A")},
                 {QStringLiteral("1F"), QStringLiteral("0384")}});
        int a = 0x3E; // 1B, 1C, 1D, 1E, 1F
        b.walker.findPID4(a, b.p.pids.PID_count);
        QCOMPARE(b.p.status.text(), QStringLiteral("OBDII\r\n# of O2 Sensors -------- 4\r\n"));
        QCOMPARE(b.p.data.lines(), (QStringList{QStringLiteral("O2 Sensor4b Val -------- 0.45 Volts"),
                                                QStringLiteral("Seconds Since Start -- 900Sec.")}));
        QCOMPARE(b.pidList(0, 2), (QList<int>{0x1B, 0x1F}));
        QCOMPARE(b.commands(), (QStringList{QStringLiteral("011B06"), QStringLiteral("011306"), QStringLiteral("011F09")}));
    }

    void pid1EAloneAsksNothing()
    {
        WalkerRig b({{QStringLiteral("1E"), QStringLiteral("01")}});
        int a = 0x04;
        b.walker.findPID4(a, b.p.pids.PID_count);
        QVERIFY(b.commands().isEmpty());
        QCOMPARE(b.p.data.count(), 0);
        QCOMPARE(b.p.pids.PID_count, 0);
        QVERIFY(b.p.status.text().isEmpty());
    }

    void wholeBytesInPidOrder()
    {
        WalkerRig b({{QStringLiteral("21"), QStringLiteral("0100")}, {QStringLiteral("22"), QStringLiteral("00C8")},
                 {QStringLiteral("23"), QStringLiteral("00C8")}, {QStringLiteral("24"), QStringLiteral("8000")},
                 {QStringLiteral("25"), QStringLiteral("8000")}, {QStringLiteral("26"), QStringLiteral("8000")},
                 {QStringLiteral("27"), QStringLiteral("8000")}, {QStringLiteral("28"), QStringLiteral("4000")}});
        int a = 0xFF;
        b.walker.findPID5(a, b.p.pids.PID_count);
        QCOMPARE(b.pidList(0, 8), (QList<int>{0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28}));
        QCOMPARE(b.p.data.lines().first(), QStringLiteral("Distance with MIL ----- 156Mi"));
        QCOMPARE(b.p.data.lines().at(1), QStringLiteral("Fuel press. -----------  2.3 PSI"));
        QCOMPARE(b.p.data.lines().last(), QStringLiteral("O2S5 Sensor ----------- 0.499712 Lambda"));
        QCOMPARE(b.p.settings.WBO2_PID, QStringLiteral("28")); // the last wide-range sensor decoded
        QCOMPARE(a, 1); // bit 0 is never subtracted
    }

    // --- The scans of the PID 20 and PID 40 bitmaps ---

    void silentEcuOnThePid20Scan()
    {
        WalkerRig b({{QStringLiteral("0C"), QStringLiteral("0000")}}); // nothing above 20: PID 20 goes unanswered
        b.p.indicator.set(QStringLiteral("before"), colors::Green);
        int a = 0x01;
        b.walker.findPID4(a, b.p.pids.PID_count);
        QCOMPARE(b.p.indicator.text(), QStringLiteral("ECU Timeout"));
        QCOMPARE(b.p.indicator.color(), colors::Red);
        QCOMPARE(b.p.data.count(), 0);
        QCOMPARE(b.p.pids.PID_count, 0);
        QCOMPARE(b.commands(), QStringList{QStringLiteral("012009")});
    }

    void pid40ByteC0ListsOnlyTheVoltage()
    {
        WalkerRig b({{QStringLiteral("41"), QStringLiteral("00000000")}, {QStringLiteral("42"), QStringLiteral("36B0")}});
        b.p.pids.PID_count = 7;
        int a = 0x01; // PID 40 from the PID 20 bitmap's byte D
        b.walker.findPID8(a, b.p.pids.PID_count);
        QCOMPARE(b.p.data.lines(), QStringList{QStringLiteral("Control Mod. Voltage--- 14Volts")});
        QCOMPARE(b.p.pids.PID_count, 8);
        QCOMPARE(int(b.p.pids.PID_list[7]), 0x42);
        QCOMPARE(b.commands(), (QStringList{QStringLiteral("014009"), QStringLiteral("014209")}));
        QCOMPARE(b.p.indicator.text(), QStringLiteral("ECU Connected"));
        QCOMPARE(b.p.indicator.color(), colors::Green);
    }

    void bits4FAnd50AddNothing()
    {
        WalkerRig b({{QStringLiteral("4E"), QStringLiteral("0384")}, {QStringLiteral("4F"), QStringLiteral("00")},
                 {QStringLiteral("50"), QStringLiteral("00")}});
        int a = 0x03;
        b.walker.findPID10(a, b.p.pids.PID_count);
        QCOMPARE(b.p.pids.PID_count, 0);
        QVERIFY(b.commands().isEmpty());
        a = 0x07;
        b.walker.findPID10(a, b.p.pids.PID_count);
        QCOMPARE(b.p.data.lines(), QStringList{QStringLiteral("Min. Since TC Clear--- 900Min.")});
        QCOMPARE(b.p.pids.PID_count, 1);
    }

    void ecuD0ReplacesTheStatusText()
    {
        WalkerRig b({{QStringLiteral("21"), QStringLiteral("0100")}}, QStringLiteral("D0"));
        b.p.status.setText(QStringLiteral("earlier lines\r\n"));
        int a = 0x01;
        b.walker.findPID4(a, b.p.pids.PID_count);
        QCOMPARE(b.p.status.text(), NoObdData);
        QCOMPARE(b.p.indicator.text(), QStringLiteral("ECU Connected"));
        QCOMPARE(b.p.data.count(), 0);
        QCOMPARE(b.commands(), QStringList{QStringLiteral("012009")});
    }

    void noVehicleBeforeTheScan()
    {
        WalkerRig b({{QStringLiteral("21"), QStringLiteral("0100")}});
        b.rig.tool.setVehicle(false);
        b.p.indicator.set(QStringLiteral("ECU Connected"), colors::Green);
        b.walker.scan_PIDs_21_40();
        QVERIFY(b.p.link.OBD_stop());
        QCOMPARE(b.p.indicator.color(), colors::Yellow);
        QCOMPARE(b.p.indicator.text(), QStringLiteral("ECU Connected"));
        QVERIFY(b.commands().isEmpty());
        QCOMPARE(b.p.data.count(), 0);
    }

    void stopDuringTheScanWaitListsNothing()
    {
        WalkerRig b({{QStringLiteral("21"), QStringLiteral("0100")}, {QStringLiteral("42"), QStringLiteral("36B0")}});
        b.rig.tool.profile().latencyMs = 400; // the reply is late; the stop comes first
        b.p.indicator.set(QStringLiteral("before"), colors::Red);
        QTimer stopper;
        stopper.setInterval(1);
        QObject::connect(&stopper, &QTimer::timeout, &b.p, [&] {
            if (b.rig.tool.commands().contains("012009")) {
                b.p.link.setOBD_stop(true);
                stopper.stop();
            }
        });
        stopper.start();
        b.walker.scan_PIDs_21_40();
        // No reply came: the indicator does not claim one did.
        QCOMPARE(b.p.indicator.text(), QStringLiteral("before"));
        QCOMPARE(b.p.data.count(), 0);
        QCOMPARE(b.commands(), QStringList{QStringLiteral("012009")});
    }

    void freezeFrameRunReadsHigherPidsAsCurrentData()
    {
        WalkerRig b({{QStringLiteral("21"), QStringLiteral("0100")}, {QStringLiteral("3C"), QStringLiteral("1194")}});
        b.p.settings.PID_mode = QStringLiteral("02");
        b.p.settings.frame_flag = 1;
        int a = 0x01;
        b.walker.findPID4(a, b.p.pids.PID_count);
        QCOMPARE(b.p.data.lines(), (QStringList{QStringLiteral("Distance with MIL ----- 156Mi"),
                                                QStringLiteral("CAT11 Temp ------------  770Deg F")}));
        QCOMPARE(b.commands(), (QStringList{QStringLiteral("012009"), QStringLiteral("012109"), QStringLiteral("013C07")}));
        QCOMPARE(b.p.settings.PID_mode, QStringLiteral("01")); // the catalyst decoder sets it
    }

    // --- A whole walk of the shipped vehicle ---

    void wholeWalkKeepsLinesItemsAndPidListTogether()
    {
        WalkerRig b(SimRig::testProfile());
        const QString reply = b.p.link.get_ecu_PID(ToolCommand{0x01, 0x00, 0x09}).reply;
        int bytes[4];
        for (int i = 0; i < 4; ++i)
            bytes[i] = conv_hex(cut(reply, 12 + 2 * i, 2));
        QCOMPARE(bytes[3] & 1, 1); // the profile announces PIDs above 20

        b.p.logger.appendToBox0(QStringLiteral("from an earlier walk"));
        for (int i = 0; i < 4; ++i)
            (b.walker.*Walkers[i])(bytes[i], b.p.pids.PID_count);

        const QList<int> expected{0x04, 0x05, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x12, 0x11, 0x14, 0x15,
                                  0x18, 0x19, 0x1F, 0x21, 0x2F, 0x30, 0x31, 0x33, 0x34, 0x3C, 0x42, 0x46};
        const int n = int(expected.size());
        QCOMPARE(b.p.pids.PID_count, n);
        QCOMPARE(b.pidList(0, n), expected);
        QCOMPARE(b.p.data.count(), n);
        QCOMPARE(b.loggerItems().size(), n + 1); // appended after what was there
        QCOMPARE(b.loggerItems().first(), QStringLiteral("from an earlier walk"));
        for (int i = 0; i < n; ++i)
            QVERIFY2(b.p.data.lines().at(i).startsWith(b.loggerItems().at(i + 1)), qPrintable(b.p.data.lines().at(i)));
        QVERIFY(b.p.pids.has_STFTB1 && b.p.pids.has_LTFTB1 && b.p.pids.has_STFTB2 && b.p.pids.has_LTFTB2);
        QVERIFY(b.p.status.text().contains(QStringLiteral("# of O2 Sensors -------- 4\r\n")));
        QVERIFY(b.p.status.text().contains(QStringLiteral("OBDII\r\n")));
        QVERIFY(b.p.status.text().contains(QStringLiteral("Freeze Frame T.C. -P0301\r\n")));
        QCOMPARE(b.p.settings.WBO2_PID, QStringLiteral("34"));
        // One request per supported PID (two for fuel economy), the scans, nothing twice by mistake.
        QCOMPARE(b.commands().count(QStringLiteral("012009")), 1);
        QCOMPARE(b.commands().count(QStringLiteral("014009")), 1);
        QCOMPARE(b.commands().count(QStringLiteral("011306")), 1); // PID 1D is not in this profile
    }
};

QTEST_GUILESS_MAIN(tst_walker)
#include "tst_walker.moc"
