// The simulated scan tool's own contract: reply layout and checksum, pacing, status period,
// ECU switching, faults and profile checking.
#include "ManualClock.h"
#include "SimRig.h"

#include "link/Commands.h"
#include "sim/SimulatedScanTool.h"
#include "sim/VehicleProfile.h"

#include <QtTest>

using namespace quenta;
using namespace quenta::sim;

namespace {
int checksumOf(const QByteArray &hex)
{
    int sum = 0;
    for (int i = 0; i + 1 < hex.size(); i += 2)
        sum += hex.mid(i, 2).toInt(nullptr, 16);
    return sum & 0xFF;
}

// Collects what the tool sends for a while.
QByteArray listen(SimulatedScanTool &tool, int ms, const QByteArray &command = {})
{
    QByteArray heard;
    auto c = QObject::connect(&tool, &SimulatedScanTool::transmit, [&](const QByteArray &d) { heard += d; });
    if (!command.isEmpty())
        tool.receive(command);
    QTest::qWait(ms);
    QObject::disconnect(c);
    return heard;
}
} // namespace

class tst_simulator : public QObject {
    Q_OBJECT
private slots:
    void replyLayout_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("message"); // without the lead character and checksum
        QTest::newRow("RPM") << QByteArray("010C07") << QByteArray("486B10410C0CB4");
        QTest::newRow("speed padded to 6 bytes") << QByteArray("010D06") << QByteArray("486B10410D21");
        QTest::newRow("bitmap 00 derived") << QByteArray("010009") << QByteArray("486B104100" "08180000"); // 05, 0C, 0D
        QTest::newRow("length beyond data pads 00") << QByteArray("010D09") << QByteArray("486B10410D21000000");
        QTest::newRow("stored codes, no PID byte") << QByteArray("030A0A") << QByteArray("486B1043" "03010420" "0000");
        QTest::newRow("pending codes") << QByteArray("070A0A") << QByteArray("486B1047" "01710000" "0000");
        QTest::newRow("freeze frame code, frame byte 00") << QByteArray("020208") << QByteArray("486B104202000133");
        QTest::newRow("freeze bitmap") << QByteArray("02000A") << QByteArray("486B10420000" "40000000");
        // Service 01 has no frame byte: the code is data bytes A and B, as a real ECU sends it.
        QTest::newRow("service 01 PID 02, code as A and B") << QByteArray("010208") << QByteArray("486B104102013300");
    }
    void replyLayout()
    {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, message);
        auto profile = SimRig::profileWith({{QStringLiteral("0C"), QStringLiteral("0CB4")},
                                            {QStringLiteral("0D"), QStringLiteral("21")},
                                            {QStringLiteral("05"), QStringLiteral("7B")}});
        profile.ecus[0].stored = {0x0301, 0x0420};
        profile.ecus[0].pending = {0x0171};
        profile.ecus[0].freeze.insert(0x02, PidValue{{QByteArray::fromHex("0133")}});
        if (command.startsWith("0102"))
            profile.ecus[0].pids.insert(0x02, PidValue{{QByteArray::fromHex("0000")}});
        SimulatedScanTool tool(profile);
        const QByteArray reply = tool.answer(command);
        const int length = command.mid(4, 2).toInt(nullptr, 16);
        QCOMPARE(reply.size(), 1 + 2 * length + 2);
        QVERIFY(reply.at(0) != 'S');
        QCOMPARE(reply.mid(1, 2 * length), message);
        QCOMPARE(reply.right(2).toInt(nullptr, 16), checksumOf(message));
    }

    void bitmapsAnnounceTheNextRange()
    {
        auto profile = SimRig::profileWith({{QStringLiteral("01"), QStringLiteral("00000000")},
                                            {QStringLiteral("21"), QStringLiteral("0000")},
                                            {QStringLiteral("42"), QStringLiteral("36B0")}});
        SimulatedScanTool tool(profile);
        QCOMPARE(tool.answer("010009").mid(11, 8), QByteArray("80000001")); // 01 and 20
        QCOMPARE(tool.answer("012009").mid(11, 8), QByteArray("80000001")); // 21 and 40
        QCOMPARE(tool.answer("014009").mid(11, 8), QByteArray("40000000")); // 42
    }

    void oddTools_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("silent ECU") << "silent" << QByteArray("RS") + QByteArray(13, '0');
        QTest::newRow("status before the reply") << "status" << QByteArray("SR486B10410D21") ;
        QTest::newRow("S at position 3") << "s3" << QByteArray("R0S") + QByteArray(12, '0');
        QTest::newRow("cut short") << "cut" << QByteArray("R486B");
        QTest::newRow("no vehicle") << "novehicle" << QByteArray("RS") + QByteArray(13, '0');
    }
    void oddTools()
    {
        QFETCH(QString, fault);
        QFETCH(QByteArray, expected);
        SimulatedScanTool tool(SimRig::profileWith({{QStringLiteral("0D"), QStringLiteral("21")}}));
        if (fault == QLatin1String("silent"))
            tool.profile().ecus[0].silent = true;
        else if (fault == QLatin1String("status"))
            tool.faults().statusBeforeReply = 1;
        else if (fault == QLatin1String("s3"))
            tool.faults().sAtThird = 1;
        else if (fault == QLatin1String("cut"))
            tool.faults().cutRepliesTo = 5;
        else
            tool.setVehicle(false);
        QVERIFY(tool.answer("010D06").startsWith(expected));
        // One-shot faults pass.
        if (fault == QLatin1String("status") || fault == QLatin1String("s3"))
            QVERIFY(tool.answer("010D06").startsWith("R486B10410D21"));
    }

    void garbledRepliesHoldNonHexCharacters()
    {
        SimulatedScanTool tool(SimRig::profileWith({{QStringLiteral("0C"), QStringLiteral("0CB4")}}));
        tool.faults().garbled = true;
        const QByteArray reply = tool.answer("010C07");
        QCOMPARE(reply.left(11), QByteArray("R486B10410C"));
        QVERIFY(reply.mid(11).contains('G'));
    }

    void firmwareAndEcuSwitching()
    {
        SimRig rig;
        SimulatedScanTool &tool = rig.tool;
        QCOMPARE(tool.answer("900101"), QByteArray("S3.40"));
        QCOMPARE(tool.answer("010009").mid(5, 2), QByteArray("10"));
        QCOMPARE(tool.answer("800204").size(), 3);
        QCOMPARE(tool.answer("010009").mid(5, 2), QByteArray("18"));
        tool.answer("800204");
        QCOMPARE(tool.answer("010009").mid(5, 2), QByteArray("10"));
    }

    void clearingEmptiesCodesAndFreezeFrame()
    {
        SimRig rig;
        SimulatedScanTool &tool = rig.tool;
        QCOMPARE(tool.answer("040404").mid(7, 2), QByteArray("44"));
        QCOMPARE(tool.answer("030A0A").mid(9, 12), QByteArray(12, '0'));
        QCOMPARE(tool.answer("070A0A").mid(9, 12), QByteArray(12, '0'));
        QCOMPARE(tool.answer("02000A").mid(13, 8), QByteArray("00000000"));
        QCOMPARE(tool.answer("010109").mid(11, 2), QByteArray("00")); // lamp off, no codes
        tool.faults().negativeClear = true;
        QCOMPARE(tool.answer("040404").mid(7, 2), QByteArray("7F"));
    }

    void oddCodeReplies()
    {
        SimRig rig;
        SimulatedScanTool &tool = rig.tool;
        tool.faults().cFirstCodes = true;
        QCOMPARE(tool.answer("030A0A").mid(9, 12), QByteArray("C301C4200000")); // only codes present change
        tool.faults().cFirstCodes = false;
        tool.faults().blankAt10 = true;
        QCOMPARE(tool.answer("070A0A").mid(7, 7), QByteArray("47 0171"));
        tool.faults().blankAt10 = false;
        tool.faults().pendingFE = true;
        QCOMPARE(tool.answer("070A0A").mid(1, 2), QByteArray("FE"));
        tool.profile().ecus[0].codeData = false;
        QCOMPARE(tool.answer("030A0A").mid(1, 2), QByteArray("FF"));
        QCOMPARE(tool.answer("070A0A").mid(1, 2), QByteArray("FF"));
    }

    void statusPeriodAndQuietWhileAnswering()
    {
        auto profile = SimRig::profileWith({{QStringLiteral("0D"), QStringLiteral("21")}});
        profile.statusPeriodMs = 10;
        SimulatedScanTool tool(profile);
        tool.start();
        const QByteArray idle = listen(tool, 205);
        // About one every 10 ms (timers may run late on a loaded machine, never early).
        QVERIFY2(idle.count('S') >= 10 && idle.count('S') <= 21, idle.constData());
        QCOMPARE(idle.count('S'), idle.size());
        // From the command to the end of its reply, no status character is sent.
        tool.profile().latencyMs = 50;
        QByteArray heard;
        auto c = connect(&tool, &SimulatedScanTool::transmit, [&](const QByteArray &d) { heard += d; });
        tool.receive("010D06");
        QTest::qWait(45);
        QCOMPARE(heard, QByteArray());
        QTRY_VERIFY(heard.startsWith("R486B10410D21"));
        disconnect(c);
    }

    void pacingFollowsTheLineSpeed()
    {
        auto profile = SimRig::profileWith({{QStringLiteral("0D"), QStringLiteral("21")}});
        SimulatedScanTool tool(profile);
        tool.setBaud(1200); // 120 characters a second: 15 characters take 125 ms
        QByteArray heard;
        QElapsedTimer t;
        qint64 lastAt = 0;
        connect(&tool, &SimulatedScanTool::transmit, [&](const QByteArray &d) {
            heard += d;
            lastAt = t.elapsed();
        });
        t.start();
        tool.receive("010D06");
        QTRY_COMPARE_WITH_TIMEOUT(heard.size(), 15, 2000);
        QVERIFY2(lastAt >= 115 && lastAt < 1000, qPrintable(QString::number(lastAt)));
    }

    // On a manual clock the tool's pacing is exact: the status period, the latency, the line
    // speed, the partial-command and packet timeouts and the sweep all run on the clock's time.
    void pacingOnTheClock()
    {
        ManualClock clock;
        auto profile = SimRig::profileWith({{QStringLiteral("0D"), QStringLiteral("21")}});
        profile.statusPeriodMs = 10;
        profile.ecus[0].pids.insert(0x0C, PidValue{{QByteArray::fromHex("0000"), QByteArray::fromHex("0064")}, true, 1000});
        SimulatedScanTool tool(profile, &clock);
        QList<std::pair<std::int64_t, QByteArray>> heard;
        connect(&tool, &SimulatedScanTool::transmit, this, [&](const QByteArray &d) { heard << std::pair{clock.now, d}; });
        tool.start();
        clock.wait(205);
        QCOMPARE(heard.size(), 20);
        for (int i = 0; i < heard.size(); ++i)
            QCOMPARE(heard[i], (std::pair<std::int64_t, QByteArray>{10 * (i + 1), "S"}));

        // The latency, then the reply; the next status a period after it.
        heard.clear();
        tool.profile().latencyMs = 50;
        tool.receive("010D06");
        clock.wait(65);
        QCOMPARE(heard.size(), 2);
        QCOMPARE(heard[0].first, 255);
        QVERIFY(heard[0].second.startsWith("R486B10410D21"));
        QCOMPARE(heard[1], (std::pair<std::int64_t, QByteArray>{265, "S"}));

        // At 1200 baud a character takes 8.334 ms: the 15 of the reply end 125.01 ms after it starts.
        heard.clear();
        tool.profile().latencyMs = 0;
        tool.setBaud(1200);
        const std::int64_t sent = clock.now;
        tool.receive("010D06");
        clock.wait(200);
        QByteArray reply;
        std::int64_t lastAt = 0;
        for (const auto &[at, d] : heard)
            if (!d.startsWith('S') || !reply.isEmpty()) {
                reply += d;
                lastAt = at;
                if (reply.size() >= 15)
                    break;
            }
        QCOMPARE(reply.left(15), tool.answer("010D06").left(15));
        QCOMPARE(lastAt - sent, 126);
        tool.setBaud(0);

        // A command cut short is forgotten after 250 ms: what follows is a command of its own.
        tool.clearCommands();
        tool.receive("010");
        clock.wait(249);
        tool.receive("D06");
        QCOMPARE(tool.commands(), (QList<QByteArray>{"010D06"}));
        tool.clearCommands();
        tool.receive("010");
        clock.wait(251);
        tool.receive("010D06");
        QCOMPARE(tool.commands(), (QList<QByteArray>{"010D06"}));
        clock.wait(20);

        // After the pass acknowledgement the tool waits a second for the packet, then gives up.
        tool.receive(commands::MonitorTestPass.text().toLatin1());
        clock.wait(999);
        QCOMPARE(tool.readyByte(), quint8(0));
        clock.wait(2);
        QCOMPARE(tool.readyByte(), quint8(commands::TalkingToVehicle));

        // The sweep follows the tool's time: a quarter of the way at 250 ms of a 1 s period.
        SimulatedScanTool swept(profile, &clock);
        clock.wait(250);
        QCOMPARE(swept.answer("010C07").mid(11, 4), QByteArray("0032"));
    }

    void profileErrorsNameFileAndProblem_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("problem");
        QTest::newRow("not JSON") << QByteArray("{\"ecus\": [") << "not valid JSON";
        QTest::newRow("bad PID") << QByteArray(R"({"ecus":[{"pids":{"7G":"00"}}]})") << "\"7G\" is not a PID";
        QTest::newRow("PID beyond 60") << QByteArray(R"({"ecus":[{"pids":{"61":"00"}}]})") << "PID 61 cannot be announced";
        QTest::newRow("odd hex") << QByteArray(R"({"ecus":[{"pids":{"0C":"0CB"}}]})") << "PID 0C must be hexadecimal bytes";
        QTest::newRow("no ECU") << QByteArray(R"({"ecus":[]})") << "at least one ECU";
        QTest::newRow("bad code") << QByteArray(R"({"ecus":[{"stored":["X123"]}]})") << "\"X123\" is not a trouble code";
        QTest::newRow("sweep of two lengths") << QByteArray(R"({"ecus":[{"pids":{"0C":{"sweep":["00","0000"]}}}]})") << "a sweep needs two values";
    }
    void profileErrorsNameFileAndProblem()
    {
        QFETCH(QByteArray, json);
        QFETCH(QString, problem);
        QString error;
        QVERIFY(!VehicleProfile::fromJson(json, QStringLiteral("car.json"), &error));
        QVERIFY2(error.startsWith(QStringLiteral("car.json: ")) && error.contains(problem), qPrintable(error));
    }

    void valuesServedInTurnAndSwept()
    {
        PidValue list{{QByteArray("\x01"), QByteArray("\x02")}};
        int turn = 0;
        QCOMPARE(list.bytes(turn, 0), QByteArray("\x01"));
        QCOMPARE(list.bytes(turn, 0), QByteArray("\x02"));
        QCOMPARE(list.bytes(turn, 0), QByteArray("\x01"));
        PidValue sweep{{QByteArray::fromHex("0000"), QByteArray::fromHex("0064")}, true, 1000};
        QCOMPARE(sweep.bytes(turn, 0), QByteArray::fromHex("0000"));
        QCOMPARE(sweep.bytes(turn, 500), QByteArray::fromHex("0064"));
        QCOMPARE(sweep.bytes(turn, 250), QByteArray::fromHex("0032"));
        QCOMPARE(sweep.bytes(turn, 1750), QByteArray::fromHex("0032"));
    }

    void codesInLetterForm()
    {
        QCOMPARE(parseCode(QStringLiteral("P0301")), std::optional<quint16>(0x0301));
        QCOMPARE(parseCode(QStringLiteral("U0100")), std::optional<quint16>(0xC100));
        QCOMPARE(parseCode(QStringLiteral("c1234")), std::optional<quint16>(0x5234));
        QCOMPARE(parseCode(QStringLiteral("0420")), std::optional<quint16>(0x0420));
        QVERIFY(!parseCode(QStringLiteral("P4000")));
    }

    void shippedProfileIsValid()
    {
        QString error;
        const auto p = VehicleProfile::fromFile(QStringLiteral(QUENTA_SOURCE_DATA_DIR "/default-vehicle.json"), &error);
        QVERIFY2(p, qPrintable(error));
        QCOMPARE(p->ecus.size(), 2);
        QVERIFY(!p->ecus[0].stored.isEmpty() && !p->ecus[0].pending.isEmpty() && p->ecus[0].freeze.contains(0x02));
    }
};

QTEST_GUILESS_MAIN(tst_simulator)
#include "tst_simulator.moc"
