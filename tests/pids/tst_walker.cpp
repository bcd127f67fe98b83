// The supported-PID walk on the in-process tool and a manual clock: what each bitmap bit runs, and
// the walk's rules and higher bitmaps' scans as one table, lines, logger items and PID_list together.
#include "OneEcuRig.h"

#include "pids/Decoders.h"
#include "link/Reply.h"
#include "pids/PidWalker.h"

#include <QtTest>

using namespace quenta;

namespace {

using Walker = void (PidWalker::*)(int &, int &);
const Walker Walkers[] = {&PidWalker::findPID1, &PidWalker::findPID2, &PidWalker::findPID3, &PidWalker::findPID4,
                          &PidWalker::findPID5, &PidWalker::findPID6, &PidWalker::findPID7, &PidWalker::findPID8,
                          &PidWalker::findPID9, &PidWalker::findPID10};

QString hex2(int v) { return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper(); }
QStringList words(const QString &s) { return s.split(QLatin1Char(' '), Qt::SkipEmptyParts); }

// The lines, the logger's items and PID_list from `from` on agree; returns the PIDs listed.
QStringList listed(Program &p, int from)
{
    const QStringList lines = p.data.lines(), items = p.logger.items(0);
    QStringList pids;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        pids << hex2(p.pids.PID_list[size_t(from + i)]);
        if (!lines[i].startsWith(items.value(i + items.size() - lines.size(), QStringLiteral("missing"))))
            pids << QStringLiteral("(item out of step)");
    }
    return p.pids.PID_count == from + lines.size() ? pids : QStringList{QStringLiteral("(count %1)").arg(p.pids.PID_count)};
}

struct Walk {
    const char *name;
    const char *pids; // PID=bytes the ECU answers
    int walker, byte; // findPID<walker>, on this bitmap byte
    const char *setup; // "count N", "frame": a freeze-frame run, "D0": that ECU, "off": no vehicle, "stop": at the scan
    const char *lines; // the data window, "|" between lines
    const char *commands, *status;
    const char *after; // the byte afterwards, then what else changed: indicator, WBO2_PID, trim flags
};
const Walk Walks[] = {
    {"byte A 98: MIL, load, coolant", "01=83000000 04=80 05=33", 1, 0x98, "count 3", "Calculated Load -------- 50%|Coolant Temp -----------  52Deg F", "010109 010406 010506",
     "MIL is ON Stored Trouble Codes Present\r\n", "0"},
    {"no freeze frame: the rest of byte A skipped", "02=0000 04=00 05=00", 1, 0x58, "", "", "010208", "\r\n\r\n No Freeze Frame Data Stored\r\n", "0"},
    {"a freeze frame: 04 and 05 listed", "02=0000 04=00 05=00 f02=0133", 1, 0x58, "", "Calculated Load -------- 0%|Coolant Temp -----------  -40Deg F", "010208 010406 010506",
     "\r\nFreeze Frame T.C. -P0133\r\n", "0 red"},
    {"the smallest air flow: fuel economy after it", "10=0001 0D=50", 2, 0x01, "", "Air Flow --------------- 0.01gm/sec|Gas Mileage ------------ 69102MPG", "011007 011007 010D06", "", "1"},
    {"trims 07, 08 raise their flags", "07=7F 08=81", 1, 0x03, "", "", "010706 010806", "Long Term FT,B1 -------- -1%\r\nShort Term FT,B2 ------- 0%\r\n", "1 LTFTB1 STFTB2"},
    {"trims 06 and 09", "06=80 09=00", 1, 0x04, "", "", "010606", "Short Term Fuel Trim---- 0%\r\n", "0 STFTB1"},
    {"byte D: status lines and seconds", "13=33 1B=5A 1F=0384", 4, 0x3E, "", "O2 Sensor4b Val -------- 0.45 Volts|Seconds Since Start -- 900Sec.", "011B06 011306 011F09",
     "OBDII\r\n# of O2 Sensors -------- 4\r\n", "0"},
    {"a whole byte in PID order", "21=0100 22=00C8 23=00C8 24=8000 25=8000 26=8000 27=8000 28=4000", 5, 0xFF, "",
     "Distance with MIL ----- 156Mi|Fuel press. -----------  2.3 PSI|Fuel press. ----------- 2 PSI" "|O2S1 Sensor ----------- 0.999424 Lambda|O2S2 Sensor ----------- 0.999424 Lambda|O2S3 Sensor ----------- 0.999424 Lambda" "|O2S4 Sensor ----------- 0.999424 Lambda|O2S5 Sensor ----------- 0.499712 Lambda",
     "012109 012209 012309 012409 012509 012609 012709 012809", "", "1 WBO2 28"}, // bit 0 is never subtracted
    {"nothing above 20: PID 20 unanswered", "0C=0000", 4, 0x01, "", "", "012009", "", "1 ECU Timeout"},
    {"PID 40's byte C 0: only the voltage", "41=00000000 42=36B0", 8, 0x01, "count 7", "Control Mod. Voltage--- 14Volts", "014009 014209", "", "1 ECU Connected"},
    {"4E, 4F, 50", "4E=0384 4F=00 50=00", 10, 0x07, "", "Min. Since TC Clear--- 900Min.", "014E09", "", "1"},
    {"ECU D0 replaces the status text", "21=0100", 4, 0x01, "D0", "", "012009", "", "1 ECU Connected noOBD"},
    {"a freeze-frame run reads higher PIDs as current data", "21=0100 3C=1194", 4, 0x01, "frame", "Distance with MIL ----- 156Mi|CAT11 Temp ------------  770Deg F",
     "012009 012109 013C07", "", "1 ECU Connected mode01"},
    {"no vehicle before the scan", "21=0100", 4, 0x01, "off", "", "", "", "1 stopped"},
    // No reply came: the indicator does not claim one did.
    {"stop while the scan waits", "21=0100 42=36B0", 4, 0x01, "stop", "", "012009", "", "1"},
};

} // namespace

class tst_walker : public QObject {
    Q_OBJECT

private slots:
    // Each bit of the PID 00, 20 and 40 bitmaps: a line, a status decoder, nothing, or a scan.
    void everyBit()
    {
        const QList<int> status{0x01, 0x02, 0x03, 0x06, 0x07, 0x08, 0x09, 0x12, 0x13, 0x1C, 0x1D}, nothing{0x1E, 0x41, 0x4F, 0x50};
        for (int pid = 0x01; pid <= 0x50; ++pid) {
            const auto note = qScopeGuard([pid] { if (QTest::currentTestFailed()) qWarning("PID %02X", pid); });
            OneEcuRig b({{hex2(pid), QStringLiteral("00000000")}}); // air flow 0: one line for PID 10
            b.p.pids.PID_count = 5;
            int a = 0x80 >> ((pid - 1) % 8);
            (PidWalker(b.p.pidContext).*Walkers[(pid - 1) / 8])(a, b.p.pids.PID_count);
            QVERIFY(a <= 1);
            if (pid == 0x20 || pid == 0x40) {
                QCOMPARE(b.commands().value(0), QStringLiteral("01%1").arg(hex2(pid)) + QStringLiteral("09"));
            } else if (status.contains(pid) || nothing.contains(pid)) {
                QCOMPARE(b.p.data.count(), 0);
                QCOMPARE(b.p.pids.PID_count, 5);
                QCOMPARE(b.p.status.text().isEmpty(), nothing.contains(pid));
                QVERIFY(!nothing.contains(pid) || b.commands().isEmpty());
            } else {
                QCOMPARE(listed(b.p, 5), QStringList{hex2(pid)});
                const Reading r = Decoders(b.p.pidContext).read(pid); // the line is the decoder's own reading
                QCOMPARE(b.p.data.lines(), QStringList{r.label + r.text + r.units});
                QVERIFY(b.p.status.text().isEmpty());
            }
        }
    }

    void walks()
    {
        for (const Walk &w : Walks) {
            const auto note = qScopeGuard([&w] { if (QTest::currentTestFailed()) qWarning("%s", w.name); });
            const QString setup = QString::fromLatin1(w.setup);
            OneEcuRig b(QMap<QString, QString>{}, setup == QLatin1String("D0") ? QStringLiteral("D0") : QStringLiteral("10"));
            for (const QString &item : words(QString::fromLatin1(w.pids))) {
                const QStringList kv = item.split(QLatin1Char('='));
                const bool frozen = kv[0].startsWith(QLatin1Char('f'));
                b.set(kv[0].right(2).toInt(nullptr, 16), kv[1].toLatin1(), frozen);
            }
            const int start = setup.startsWith(QLatin1String("count")) ? setup.mid(6).toInt() : 0;
            b.p.pids.PID_count = start;
            if (setup == QLatin1String("frame"))
                b.freezeFrameRun();
            b.rig.tool.setVehicle(setup != QLatin1String("off"));
            b.p.status.setText(setup == QLatin1String("D0") ? QStringLiteral("earlier lines\r\n") : QString());
            b.p.indicator.set(QStringLiteral("before"), colors::Black);
            if (setup == QLatin1String("stop")) {
                b.rig.tool.profile().latencyMs = 400; // the reply is late; the stop comes first
                b.clock.onWait = [&b] { b.p.link.setOBD_stop(b.rig.tool.commands().contains("012009")); };
            }
            int a = w.byte;
            (PidWalker(b.p.pidContext).*Walkers[w.walker - 1])(a, b.p.pids.PID_count);

            const QStringList lines = b.p.data.lines();
            QCOMPARE(lines.join(QLatin1Char('|')), QString::fromLatin1(w.lines));
            QCOMPARE(listed(b.p, start).size(), lines.size());
            QCOMPARE(b.commands(), words(QString::fromLatin1(w.commands)));
            if (setup != QLatin1String("D0"))
                QCOMPARE(b.p.status.text(), QString::fromLatin1(w.status));
            QStringList after{QString::number(a)};
            if (b.p.indicator.text() != QLatin1String("before"))
                after << b.p.indicator.text();
            if (b.p.data.color() == colors::Red)
                after << QStringLiteral("red");
            if (b.p.settings.WBO2_PID != QLatin1String("0"))
                after << QStringLiteral("WBO2 ") + b.p.settings.WBO2_PID;
            const std::pair<bool, const char *> flags[] = {{b.p.pids.has_STFTB1, "STFTB1"}, {b.p.pids.has_LTFTB1, "LTFTB1"},
                                                           {b.p.pids.has_STFTB2, "STFTB2"}, {b.p.pids.has_LTFTB2, "LTFTB2"},
                                                           {b.p.status.text() == NoObdDataMessage, "noOBD"},
                                                           {setup == QLatin1String("frame") && b.p.settings.PID_mode == QLatin1String("01"), "mode01"},
                                                           {b.p.link.OBD_stop() && setup == QLatin1String("off"), "stopped"}};
            for (const auto &[on, name] : flags)
                if (on)
                    after << QString::fromLatin1(name);
            QCOMPARE(after.join(QLatin1Char(' ')), QString::fromLatin1(w.after));
            if (setup == QLatin1String("off"))
                QCOMPARE(b.p.indicator.color(), colors::Yellow);
        }
    }

    // The shipped car's bitmaps walked: every supported PID once, in bit order, after what the
    // logger held, and each scan asked once.
    void wholeWalk()
    {
        OneEcuRig b(SimRig::testProfile());
        const Reply reply(b.p.link.get_ecu_PID(ToolCommand{0x01, 0x00, 0x09}).reply);
        b.p.logger.appendToBox0(QStringLiteral("from an earlier walk"));
        PidWalker walker(b.p.pidContext);
        for (int i = 0; i < 4; ++i) {
            int a = reply.byte(i);
            (walker.*Walkers[i])(a, b.p.pids.PID_count);
        }
        QCOMPARE(listed(b.p, 0), words("04 05 0B 0C 0D 0E 0F 10 12 11 14 15 18 19 1F 21 2F 30 31 33 34 3C 42 46"));
        QCOMPARE(b.p.logger.items(0).first(), QStringLiteral("from an earlier walk"));
        QVERIFY(b.p.pids.has_STFTB1 && b.p.pids.has_LTFTB1 && b.p.pids.has_STFTB2 && b.p.pids.has_LTFTB2);
        for (const char *line : {"# of O2 Sensors -------- 4\r\n", "OBDII\r\n", "Freeze Frame T.C. -P0301\r\n"})
            QVERIFY2(b.p.status.text().contains(QLatin1String(line)), line);
        QCOMPARE(b.p.settings.WBO2_PID, QStringLiteral("34"));
        for (const char *once : {"010009", "012009", "014009", "011306"})
            QCOMPARE(b.commands().count(QLatin1String(once)), 1);
    }
};

QTEST_GUILESS_MAIN(tst_walker)
#include "tst_walker.moc"
