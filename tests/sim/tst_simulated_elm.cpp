// The simulated ELM327 and the vehicle behind it, where a wrong simulator would hide a program fault: echo,
// prompt, SEARCHING, STOPPED, ISO-TP, two ECUs, legacy checks, the count digit and timeout, pacing, the clone.
#include "ManualClock.h"

#include "sim/SimulatedElm.h"
#include "sim/SimulatedVehicle.h"

#include <QtTest>

using namespace quenta::sim;

namespace {

// Two ECUs (10 on 7E8, 18 on 7E9) with five stored codes on the first and two on the second.
VehicleProfile car(const QString &adapter = QStringLiteral("can11"))
{
    const bool clone = adapter == QLatin1String("clone");
    const QByteArray json = QStringLiteral(R"({"protocol":"%1","ecu_response_ms":10,"adapter":{"search_ms":1500,"clone":%2},
      "ecus":[{"address":"10","pids":{"01":"8507E504","0C":"1AF8","0D":"3C"},
               "freeze":{"02":"0301","0C":"1AF8"},
               "stored":["P0301","P0420","P0171","P0300","C1234"],"pending":["P0171"],
               "o2_services":["05"],"o2_tests":{"B1S1":{"01":"5A","05":"190064"},"B2S1":{"09":"190A32"}},
               "mode6":[{"test":"01","component":"01","value":"01F4","limit":"03E8","kind":"max"},
                        {"test":"21","component":"05","value":"0050","limit":"0040","kind":"min"}]},
              {"address":"18","pids":{"01":"00040000","0C":"0BB8"},"stored":["P0700","U0100"]}]})")
                              .arg(clone ? QStringLiteral("can11") : adapter, clone ? "true" : "false")
                              .toUtf8();
    QString error;
    auto p = VehicleProfile::fromJson(json, QStringLiteral("car"), &error);
    if (!p)
        qFatal("%s", qPrintable(error));
    return *p;
}

// The adapter on a manual clock, unpaced, and what it says.
struct Rig {
    ManualClock clock;
    SimulatedElm elm;
    QByteArray heard;
    int writes = 0;

    explicit Rig(VehicleProfile profile = car()) : elm(std::move(profile), &clock)
    {
        QObject::connect(&elm, &SimulatedElm::transmit, [this](const QByteArray &d) {
            heard += d;
            ++writes;
        });
    }
    // Sends the line(s) and waits (on the clock) for a prompt each; the answer and how long it took.
    QByteArray say(const QByteArray &line, qint64 *tookMs = nullptr)
    {
        heard.clear();
        writes = 0;
        const qint64 start = clock.now;
        elm.receive(line + '\r');
        for (int i = 0; i < 20000 && heard.count('>') <= line.count('\r'); ++i)
            clock.wait(1);
        if (tookMs)
            *tookMs = clock.now - start;
        return heard;
    }
};

} // namespace

class tst_simulated_elm : public QObject {
    Q_OBJECT
private slots:
    // What each ECU sends back, at message level, on CAN and on a legacy bus.
    void vehicleMessages_data()
    {
        QTest::addColumn<bool>("can");
        QTest::addColumn<int>("ecu");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArrayList>("expected"); // "ecu:message" in hex
        const int all = SimulatedVehicle::AllEcus;
        QTest::newRow("no pending codes on CAN: 47 00") << true << 1 << QByteArray("07") << QByteArrayList{"1:4700"};
        QTest::newRow("several PIDs in one CAN request") << true << 0 << QByteArray("010C0D05") << QByteArrayList{"0:410C1AF80D3C"};
        QTest::newRow("a PID nobody has: no answer") << true << all << QByteArray("0105") << QByteArrayList{};
        QTest::newRow("freeze frame with its frame byte") << true << 0 << QByteArray("020C00") << QByteArrayList{"0:420C001AF8"};
        QTest::newRow("service 05 does not exist on CAN") << true << 0 << QByteArray("050101") << QByteArrayList{"0:7F0511"};
        QTest::newRow("legacy O2 test with its limits") << false << 0 << QByteArray("050501") << QByteArrayList{"0:45050119 0064"};
        QTest::newRow("CAN MID 01: O2 B1S1 tests and mode 6 test 01") << true << 0 << QByteArray("0601")
            << QByteArrayList{"0:4601" "010B01C20000FFFF" "0105100064000001 90" "0181010 1F4 0000 03E8"};
        QTest::newRow("CAN MID 05: B2S1 test 09 in ms") << true << 0 << QByteArray("0605") << QByteArrayList{"0:4605" "091003E8019007D0"};
        QTest::newRow("CAN MID 21: a minimum limit") << true << 0 << QByteArray("0621") << QByteArrayList{"0:4621" "8501 0050 0040 FFFF"};
        QTest::newRow("CAN MID support 00 and 20") << true << 0 << QByteArray("0600") << QByteArrayList{"0:4600 88000001"};
        QTest::newRow("legacy mode 6 test, minimum bit") << false << 0 << QByteArray("0621") << QByteArrayList{"0:46218500500040"};
    }
    void vehicleMessages()
    {
        QFETCH(bool, can);
        QFETCH(int, ecu);
        QFETCH(QByteArray, request);
        QFETCH(QByteArrayList, expected);
        VehicleProfile profile = car();
        SimulatedVehicle vehicle(profile);
        QByteArrayList got;
        for (const EcuMessage &m : vehicle.respond(QByteArray::fromHex(request), can ? Bus::Can : Bus::Legacy, ecu, 0))
            got << QByteArray::number(m.ecu) + ':' + m.bytes.toHex().toUpper();
        for (QByteArray &e : expected)
            e.replace(' ', "");
        QCOMPARE(got, expected);
    }

    // One line after the lines said before ("off": the ignition goes off; "9600": the line speed), its
    // whole answer, and the time from the carriage return to the prompt (-1: not checked).
    void answers_data()
    {
        QTest::addColumn<QString>("adapter");
        QTest::addColumn<QByteArrayList>("before");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("ms");
        auto row = [](const char *name, const QByteArrayList &before, const QByteArray &line, const QByteArray &answer, int ms = -1,
                      const char *adapter = "can11") {
            QTest::newRow(name) << QString::fromLatin1(adapter) << before << line << answer << ms;
        };
        const QByteArray pids00 = "41 00 80 18 00 00\r41 00 80 10 00 00\r\r>";
        row("echo off", {"ATE0"}, "ATI", "ELM327 v1.5\r\r>");
        row("case and blanks", {"ATE0"}, "at @1", "OBDII to RS232 Interpreter\r\r>");
        row("unknown", {"ATE0"}, "ATXYZ", "?\r\r>");
        row("harmless line", {"ATE0"}, "\x7F\x7F", "?\r\r>");
        row("empty line repeats", {"ATE0", "ATRV"}, "", "12.6V\r\r>");
        row("linefeeds", {"ATE0", "ATL1"}, "ATI", "ELM327 v1.5\r\n\r\n>");
        row("reset brings echo back", {"ATE0", "ATZ"}, "ATI", "ATI\rELM327 v1.5\r\r>");
        row("protocol before a search", {"ATE0", "ATSP0"}, "ATDPN", "A0\r\r>");
        row("protocol after a search", {"ATE0", "ATSP0", "0100"}, "ATDPN", "A6\r\r>");
        row("fixed protocol", {"ATE0", "ATSP6", "0100"}, "ATDP", "ISO 15765-4 (CAN 11/500)\r\r>");
        row("headers, no spaces", {"ATE0", "0100", "ATH1", "ATS0"}, "010D", "7E803410D3C55555555\r\r>");
        row("physical address 7E1", {"ATE0", "0100", "ATH1", "ATSH7E1"}, "010C", "7E9 04 41 0C 0B B8 55 55 55\r\r>");
        row("receive filter 7E9", {"ATE0", "0100", "ATH1", "ATCRA7E9"}, "0100", "7E9 06 41 00 80 10 00 00 55\r\r>");
        row("no count digit 0", {"ATE0"}, "010C0", "?\r\r>");
        // Typed ahead of an AT command's prompt, a line is taken; only a request under way stops.
        row("typed ahead", {}, "ATE0\r010C", "ATE0\rOK\r\r>SEARCHING...\r41 0C 1A F8\r41 0C 0B B8\r\r>");
        row("the first request searches", {"ATE0"}, "0100", "SEARCHING...\r" + pids00, 1611);
        row("found once, no search again", {"ATE0", "0100"}, "0100", pids00, 111);
        row("ignition off: searches, nobody", {"ATE0", "0100", "off"}, "0100", "SEARCHING...\rUNABLE TO CONNECT\r\r>");
        row("ignition off, fixed CAN", {"ATE0", "0100", "off", "ATSP6"}, "0100", "CAN ERROR\r\r>");
        // The ECUs answer 10 ms (7E8) and 11 ms (7E9) after the request; the count digit ends the wait.
        const QByteArray both = "41 0C 1A F8\r41 0C 0B B8\r\r>";
        row("count 1: at the first answer", {"ATE0", "0100"}, "010C1", "41 0C 1A F8\r\r>", 10);
        row("count 2: at the second", {"ATE0", "0100"}, "010C2", both, 11);
        row("no count, ATAT0: 200 ms after the last", {"ATE0", "0100", "ATAT0"}, "010C", both, 211);
        row("no count, ATAT1", {"ATE0", "0100", "ATAT1"}, "010C", both, 111);
        row("no count, ATAT2", {"ATE0", "0100", "ATAT2"}, "010C", both, 31);
        row("ATST 19 with ATAT0: 100 ms", {"ATE0", "0100", "ATAT0", "ATST19"}, "010C", both, 111);
        row("count 3 of 2: the timeout", {"ATE0", "0100", "ATAT0"}, "010C3", both, 211);
        row("nobody: NO DATA after ATST", {"ATE0", "0100", "ATAT2"}, "0105", "NO DATA\r\r>", 200);
        // "010C1\r" in, "41 0C 1A F8\r\r>" out: 20 characters of 1042 us, and the ECU's 10 ms.
        row("paced at 9600 baud", {"ATE0", "0100", "9600"}, "010C1", "41 0C 1A F8\r\r>", 31);
        // Five codes need a first frame and a consecutive frame; 7E9's single frame comes between them.
        row("ISO-TP frames, two ECUs interleaved", {"ATE0", "ATH1", "0100"}, "03",
            "7E8 10 0C 43 05 03 01 04 20\r7E9 06 43 02 07 00 C1 00 55\r7E8 21 01 71 03 00 52 34 55\r\r>");
        // Legacy frames: three header bytes, the message, and the frame check.
        row("ISO 9141", {"ATE0", "ATH1", "ATS0"}, "010C", "SEARCHING...\r486B10410C1AF822\r486B18410C0BB8DB\r\r>", -1, "iso9141");
        row("ISO 9141 codes in frames of three", {"ATE0", "ATH1", "ATS0", "0100"}, "03",
            "486B1043030104200171A0\r486B10430300523400008F\r486B18430700C1000000D6\r\r>", -1, "iso9141");
        row("KWP", {"ATE0", "ATH1", "ATS0"}, "010C", "SEARCHING...\r84F110410C1AF8E4\r84F118410C0BB89D\r\r>", -1, "kwp");
        row("J1850 VPW", {"ATE0", "ATH1", "ATS0"}, "010C", "SEARCHING...\r486B10410C1AF8B2\r486B18410C0BB82E\r\r>", -1, "j1850vpw");
        // A clone echoes once more after ATE0 and puts a blank after every byte.
        row("clone: once more", {"ATE0"}, "ATI", "ATI\rELM327 v1.5\r\r>", -1, "clone");
        row("clone: then no echo", {"ATE0", "ATI"}, "ATI", "ELM327 v1.5\r\r>", -1, "clone");
        row("clone: a blank after every byte", {"ATE0", "ATI", "0100"}, "0100", "41 00 80 18 00 00 \r41 00 80 10 00 00 \r\r>", -1, "clone");
    }
    void answers()
    {
        QFETCH(QString, adapter);
        QFETCH(QByteArrayList, before);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, answer);
        QFETCH(int, ms);
        Rig rig(car(adapter));
        for (const QByteArray &l : before)
            l == "off" ? rig.elm.setVehicle(false) : l == "9600" ? rig.elm.setBaud(9600) : void(rig.say(l));
        qint64 took = 0;
        QCOMPARE(rig.say(line, &took), answer);
        if (ms >= 0)
            QCOMPARE(took, qint64(ms));
    }

    // A byte during a request stops it for good; a hung adapter says nothing more; a clone writes in pieces.
    void stoppedHungAndInPieces()
    {
        Rig rig;
        rig.say("ATE0");
        rig.say("0100");
        rig.heard.clear();
        rig.elm.receive("010C\r");
        rig.clock.wait(5); // the ECU answers after 10 ms: the adapter is still waiting
        QVERIFY(rig.elm.busy());
        rig.elm.receive("0");
        rig.clock.wait(500);
        QCOMPARE(rig.heard, QByteArray("STOPPED\r\r>")); // nothing of the stopped answer comes later
        QVERIFY(rig.say("010C").startsWith("41 0C 1A F8"));
        rig.elm.receive("010C\r");
        rig.clock.wait(5);
        rig.elm.hang();
        QCOMPARE(rig.say("ATI"), QByteArray());

        Rig real, clone(car(QStringLiteral("clone")));
        for (Rig *r : {&real, &clone}) { // past the clone's one more echo
            r->say("ATE0");
            r->say("ATI");
        }
        QCOMPARE(clone.say("ATI"), real.say("ATI"));
        QVERIFY(clone.writes == 3 && real.writes == 1); // 14 characters, five at a time
    }
};

QTEST_GUILESS_MAIN(tst_simulated_elm)
#include "tst_simulated_elm.moc"
