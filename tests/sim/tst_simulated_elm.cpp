// The simulated ELM327 and the message-level vehicle behind it, where a wrong simulator would hide a
// fault of the program: echo and prompt, SEARCHING, STOPPED, ISO-TP frames, two ECUs, legacy
// frame checks, the count digit against the response timeout, line pacing, faults and the clone.
#include "ManualClock.h"

#include "elm/ElmFrames.h"
#include "sim/SimulatedElm.h"
#include "sim/SimulatedVehicle.h"

#include <QtTest>

using namespace quenta::sim;

namespace {

// Two ECUs (10 on 7E8, 18 on 7E9) with five stored codes on the first and two on the second.
VehicleProfile car(const QString &protocol = QStringLiteral("can11"))
{
    const QByteArray json = QStringLiteral(R"({"protocol":"%1","ecu_response_ms":10,"adapter":{"search_ms":1500},
      "ecus":[{"address":"10","pids":{"01":"8507E504","0C":"1AF8","0D":"3C"},
               "freeze":{"02":"0301","0C":"1AF8"},
               "stored":["P0301","P0420","P0171","P0300","C1234"],"pending":["P0171"],
               "o2_services":["05"],"o2_tests":{"B1S1":{"01":"5A","05":"190064"},"B2S1":{"09":"190A32"}},
               "mode6":[{"test":"01","component":"01","value":"01F4","limit":"03E8","kind":"max"},
                        {"test":"21","component":"05","value":"0050","limit":"0040","kind":"min"}]},
              {"address":"18","pids":{"01":"00040000","0C":"0BB8"},"stored":["P0700","U0100"]}]})")
                              .arg(protocol)
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
    void setUp(const QList<QByteArray> &lines)
    {
        for (const QByteArray &l : lines)
            say(l);
    }
};

QList<QByteArray> linesOf(const QByteArray &answer)
{
    QList<QByteArray> out;
    for (const QByteArray &l : answer.split('\r'))
        if (!l.isEmpty() && l != ">")
            out << l;
    return out;
}

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
        QTest::newRow("CAN codes carry a count") << true << all << QByteArray("03")
            << QByteArrayList{"0:430503010420017103005234", "1:43020700C100"};
        QTest::newRow("legacy codes in frames of three") << false << all << QByteArray("03")
            << QByteArrayList{"0:43030104200171", "0:43030052340000", "1:430700C1000000"};
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
        QTest::newRow("other services refused on CAN") << true << 1 << QByteArray("0902") << QByteArrayList{"1:7F0911"};
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

    void echoPromptAndAtCommands_data()
    {
        QTest::addColumn<QByteArrayList>("before");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("echo after reset") << QByteArrayList{} << QByteArray("ATI") << QByteArray("ATI\rELM327 v1.5\r\r>");
        QTest::newRow("echo off") << QByteArrayList{"ATE0"} << QByteArray("ATI") << QByteArray("ELM327 v1.5\r\r>");
        QTest::newRow("case and blanks") << QByteArrayList{"ATE0"} << QByteArray("at @1") << QByteArray("OBDII to RS232 Interpreter\r\r>");
        QTest::newRow("unknown") << QByteArrayList{"ATE0"} << QByteArray("ATXYZ") << QByteArray("?\r\r>");
        QTest::newRow("harmless line") << QByteArrayList{"ATE0"} << QByteArray("\x7F\x7F") << QByteArray("?\r\r>");
        QTest::newRow("empty line repeats") << QByteArrayList{"ATE0", "ATRV"} << QByteArray("") << QByteArray("12.6V\r\r>");
        QTest::newRow("linefeeds") << QByteArrayList{"ATE0", "ATL1"} << QByteArray("ATI") << QByteArray("ELM327 v1.5\r\n\r\n>");
        QTest::newRow("reset brings echo back") << QByteArrayList{"ATE0", "ATZ"} << QByteArray("ATI") << QByteArray("ATI\rELM327 v1.5\r\r>");
        QTest::newRow("protocol before a search") << QByteArrayList{"ATE0", "ATSP0"} << QByteArray("ATDPN") << QByteArray("A0\r\r>");
        QTest::newRow("protocol after a search") << QByteArrayList{"ATE0", "ATSP0", "0100"} << QByteArray("ATDPN") << QByteArray("A6\r\r>");
        QTest::newRow("fixed protocol") << QByteArrayList{"ATE0", "ATSP6", "0100"} << QByteArray("ATDP") << QByteArray("ISO 15765-4 (CAN 11/500)\r\r>");
        QTest::newRow("headers, no spaces") << QByteArrayList{"ATE0", "0100", "ATH1", "ATS0"} << QByteArray("010D") << QByteArray("7E803410D3C55555555\r\r>");
        QTest::newRow("physical address 7E1") << QByteArrayList{"ATE0", "0100", "ATH1", "ATSH7E1"} << QByteArray("010C") << QByteArray("7E9 04 41 0C 0B B8 55 55 55\r\r>");
        QTest::newRow("receive filter 7E9") << QByteArrayList{"ATE0", "0100", "ATH1", "ATCRA7E9"} << QByteArray("0100") << QByteArray("7E9 06 41 00 80 10 00 00 55\r\r>");
        QTest::newRow("nobody at 7E5") << QByteArrayList{"ATE0", "0100", "ATSH7E5"} << QByteArray("0100") << QByteArray("NO DATA\r\r>");
        QTest::newRow("no count digit 0") << QByteArrayList{"ATE0"} << QByteArray("010C0") << QByteArray("?\r\r>");
        // Typed ahead of an AT command's prompt, a line is taken; only a request under way stops.
        QTest::newRow("typed ahead") << QByteArrayList{} << QByteArray("ATE0\r010C")
                                     << QByteArray("ATE0\rOK\r\r>SEARCHING...\r41 0C 1A F8\r41 0C 0B B8\r\r>");
    }
    void echoPromptAndAtCommands()
    {
        QFETCH(QByteArrayList, before);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, answer);
        Rig rig;
        rig.setUp(before);
        QCOMPARE(rig.say(line), answer);
    }

    void searchingTakesAWhileOnce()
    {
        Rig rig;
        rig.say("ATE0");
        qint64 took = 0;
        const QByteArray first = rig.say("0100", &took);
        QVERIFY2(first.startsWith("SEARCHING...\r41 00 "), first.constData());
        QVERIFY(took >= 1500);
        const QByteArray second = rig.say("0100", &took);
        QVERIFY(!second.contains("SEARCHING"));
        QVERIFY(took < 1500);
        // The ignition goes off: the adapter searches again and finds nobody.
        rig.elm.setVehicle(false);
        QCOMPARE(rig.say("0100"), QByteArray("SEARCHING...\rUNABLE TO CONNECT\r\r>"));
        rig.say("ATSP6");
        QCOMPARE(rig.say("0100"), QByteArray("CAN ERROR\r\r>"));
    }

    void aByteBeforeThePromptStopsTheAnswer()
    {
        Rig rig;
        rig.setUp({"ATE0", "0100"});
        rig.heard.clear();
        rig.elm.receive("010C\r");
        rig.clock.wait(5); // the ECU answers after 10 ms: the adapter is still waiting
        QVERIFY(rig.elm.busy());
        rig.elm.receive("0");
        for (int i = 0; i < 1000 && !rig.heard.endsWith('>'); ++i)
            rig.clock.wait(1);
        QCOMPARE(rig.heard, QByteArray("STOPPED\r\r>"));
        rig.clock.wait(500);
        QCOMPARE(rig.heard, QByteArray("STOPPED\r\r>")); // nothing of the stopped answer comes later
        QVERIFY(rig.say("010C").startsWith("41 0C 1A F8"));
    }

    // Five codes need a first frame and a consecutive frame; the two ECUs' frames interleave.
    void isoTpFramesReassemble()
    {
        Rig rig;
        rig.setUp({"ATE0", "ATH1", "0100"});
        const QList<QByteArray> lines = linesOf(rig.say("03"));
        QCOMPARE(lines.size(), 3);
        // 7E9's single frame comes between 7E8's first and consecutive frames.
        QVERIFY2(lines[0].startsWith("7E8 10 0C ") && lines[1].startsWith("7E9 06 ") && lines[2].startsWith("7E8 21 "),
                 lines.join('|').constData());
        const quenta::elm::Answer a = quenta::elm::parseAnswer(lines.join('\r') + "\r>", quenta::elm::Protocol::Can11);
        QCOMPARE(a.messages.size(), 2);
        QCOMPARE(a.messages[0].bytes.toHex().toUpper(), QByteArray("430503010420017103005234"));
        QCOMPARE(a.messages[1].bytes.toHex().toUpper(), QByteArray("43020700C100"));

    }

    // Legacy frames: three header bytes, the message, and the frame check.
    void legacyFramesCarryTheirCheck_data()
    {
        QTest::addColumn<QString>("protocol");
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("ISO 9141") << "iso9141" << QByteArray("486B10");
        QTest::newRow("KWP") << "kwp" << QByteArray("84F110");
        QTest::newRow("J1850 PWM") << "j1850pwm" << QByteArray("416B10");
        QTest::newRow("J1850 VPW") << "j1850vpw" << QByteArray("486B10");
    }
    void legacyFramesCarryTheirCheck()
    {
        QFETCH(QString, protocol);
        QFETCH(QByteArray, header);
        Rig rig(car(protocol));
        rig.setUp({"ATE0", "ATH1", "ATS0"});
        const QList<QByteArray> lines = linesOf(rig.say("010C"));
        QVERIFY2(lines.size() >= 2 && lines[0] == "SEARCHING...", lines.join('|').constData());
        const QByteArray frame = QByteArray::fromHex(lines[1]);
        QCOMPARE(frame.left(3).toHex().toUpper(), header);
        QCOMPARE(frame.mid(3, 4).toHex().toUpper(), QByteArray("410C1AF8"));
        const bool j1850 = protocol.startsWith(QLatin1String("j1850"));
        QCOMPARE(quint8(frame.back()), j1850 ? quenta::elm::j1850Crc(frame.chopped(1)) : quenta::elm::byteSum(frame.chopped(1)));
        // Two ECUs, one line each; the codes in frames of three.
        QCOMPARE(linesOf(rig.say("0100")).size(), 2);
        QCOMPARE(linesOf(rig.say("03")).size(), 3);
    }

    void countDigitEndsTheWaitEarly_data()
    {
        QTest::addColumn<QByteArrayList>("settings");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("lines");
        QTest::addColumn<int>("ms"); // from the carriage return to the prompt, unpaced
        // The ECUs answer 10 ms (7E8) and 11 ms (7E9) after the request.
        QTest::newRow("count 1: at the first answer") << QByteArrayList{} << QByteArray("010C1") << 1 << 10;
        QTest::newRow("count 2: at the second") << QByteArrayList{} << QByteArray("010C2") << 2 << 11;
        QTest::newRow("no count, ATAT0: 200 ms after the last") << QByteArrayList{"ATAT0"} << QByteArray("010C") << 2 << 211;
        QTest::newRow("no count, ATAT1") << QByteArrayList{"ATAT1"} << QByteArray("010C") << 2 << 111;
        QTest::newRow("no count, ATAT2") << QByteArrayList{"ATAT2"} << QByteArray("010C") << 2 << 31;
        QTest::newRow("ATST 19 with ATAT0: 100 ms") << QByteArrayList{"ATAT0", "ATST19"} << QByteArray("010C") << 2 << 111;
        QTest::newRow("count 3 of 2: the timeout") << QByteArrayList{"ATAT0"} << QByteArray("010C3") << 2 << 211;
        QTest::newRow("nobody: NO DATA after ATST") << QByteArrayList{"ATAT2"} << QByteArray("0105") << 1 << 200;
        // "010C1\r" in, "41 0C 1A F8\r\r>" out: 20 characters of 1042 us, and the ECU's 10 ms.
        QTest::newRow("paced at 9600 baud") << QByteArrayList{"9600"} << QByteArray("010C1") << 1 << 31;
    }
    void countDigitEndsTheWaitEarly()
    {
        QFETCH(QByteArrayList, settings);
        QFETCH(QByteArray, request);
        QFETCH(int, lines);
        QFETCH(int, ms);
        Rig rig;
        rig.setUp({"ATE0", "0100"});
        for (const QByteArray &setting : settings)
            setting.startsWith("AT") ? void(rig.say(setting)) : rig.elm.setBaud(setting.toInt());
        qint64 took = 0;
        const QByteArray answer = rig.say(request, &took);
        QCOMPARE(linesOf(answer).size(), lines);
        QCOMPARE(took, qint64(ms));
    }

    void faultsAndTheClone()
    {
        Rig rig;
        rig.setUp({"ATE0", "0100"});
        // Stopped answering in the middle of an answer: nothing more, ever.
        rig.elm.receive("010C\r");
        rig.clock.wait(5);
        rig.elm.hang();
        QCOMPARE(rig.say("ATI"), QByteArray());

        VehicleProfile clone = car();
        clone.adapter.clone = true;
        Rig c(clone);
        QCOMPARE(c.say("ATE0"), QByteArray("ATE0\rOK\r\r>"));
        QCOMPARE(c.say("ATI"), QByteArray("ATI\rELM327 v1.5\r\r>")); // once more
        QCOMPARE(c.say("ATI"), QByteArray("ELM327 v1.5\r\r>"));
        const QByteArray answer = c.say("0100");
        QVERIFY2(answer.contains("41 00 80 18 00 00 \r"), answer.constData()); // a blank after every byte
        QVERIFY(c.writes > 3);
    }
};

QTEST_GUILESS_MAIN(tst_simulated_elm)
#include "tst_simulated_elm.moc"
