// The simulated tool's O2 sensor test and mode 6 answers, and the profile fields that describe
// them: what a well-formed profile gives on the line, and what a wrong one is refused for.
#include "SimRig.h"

#include "sim/SimulatedScanTool.h"
#include "sim/VehicleProfile.h"

#include <QtTest>

using namespace quenta::sim;

namespace {

VehicleProfile profile(const QString &ecuFields, const QString &top = QString())
{
    const QByteArray json = QStringLiteral(R"({%1 "ecus":[{"address":"10","pids":{"01":"8207E504"}%2}]})")
                                .arg(top, ecuFields)
                                .toUtf8();
    QString error;
    auto p = VehicleProfile::fromJson(json, QStringLiteral("t"), &error);
    if (!p)
        qFatal("%s", qPrintable(error));
    return *p;
}

} // namespace

class tst_monitor_profile : public QObject {
    Q_OBJECT
private slots:
    void o2Replies_data()
    {
        QTest::addColumn<QString>("services");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("message"); // after the lead character, without the checksum
        const QString both = QStringLiteral(R"(["05","06"])");
        QTest::newRow("support, sensor byte, S1 S2") << both << QByteArray("050001") << QByteArray("486B10450001F0800000");
        QTest::newRow("support over 06") << both << QByteArray("060001") << QByteArray("486B10460001F0800000");
        QTest::newRow("test 01: value") << both << QByteArray("050101") << QByteArray("486B1045012D");
        QTest::newRow("test 09: value, min, max") << both << QByteArray("050901") << QByteArray("486B104509190A32");
        QTest::newRow("sensor not there") << both << QByteArray("050002") << QByteArray("486B107F0512");
        QTest::newRow("test not there") << both << QByteArray("050501") << QByteArray("486B107F0512");
        QTest::newRow("service 06 not answered") << QStringLiteral(R"(["05"])") << QByteArray("060001")
                                                 << QByteArray("486B107F0612");
    }
    void o2Replies()
    {
        QFETCH(QString, services);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, message);
        SimulatedScanTool tool(profile(QStringLiteral(R"(,"o2_services":%1,"o2_tests":{"B1S1":{"01":"2D","02":"50","03":"3C","04":"78","09":"190A32"}})")
                                           .arg(services)));
        const QByteArray reply = tool.answer(command);
        QCOMPARE(reply.mid(1, message.size()), message);
        QCOMPARE(reply.size(), 1 + message.size() + 2);
    }

    void profileRefused_data()
    {
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QString>("top");
        QTest::addColumn<QString>("said");
        QTest::newRow("sensor B3S1") << R"(,"o2_tests":{"B3S1":{"01":"2D"}})" << "" << "is not a sensor";
        QTest::newRow("O2 test 0A") << R"(,"o2_tests":{"B1S1":{"0A":"2D"}})" << "" << "test IDs are 01 to 09";
        QTest::newRow("test 05 with one byte") << R"(,"o2_tests":{"B1S1":{"05":"2D"}})" << "" << "must be 3 byte(s)";
        QTest::newRow("service 07") << R"(,"o2_services":["07"])" << "" << "is not 05 or 06";
        QTest::newRow("mode 6 test 20") << R"(,"mode6":[{"test":"20","component":"01","value":"0001","limit":"0002"}])"
                                        << "" << "support requests";
        QTest::newRow("mode 6 kind") << R"(,"mode6":[{"test":"01","component":"01","value":"0001","limit":"0002","kind":"avg"}])"
                                     << "" << "kind min or max";
        QTest::newRow("pass header") << "" << R"("pass_header":"44",)" << "one character";
    }
    void profileRefused()
    {
        QFETCH(QString, fields);
        QFETCH(QString, top);
        QFETCH(QString, said);
        QString error;
        const QByteArray json =
            QStringLiteral(R"({%1 "ecus":[{"address":"10"%2}]})").arg(top, fields).toUtf8();
        QVERIFY(!VehicleProfile::fromJson(json, QStringLiteral("car.json"), &error));
        QVERIFY2(error.startsWith(QStringLiteral("car.json")) && error.contains(said), qPrintable(error));
    }

    // After "F00504" the next 14 bytes are one packet, however they arrive; a packet that never
    // follows is given up and the tool takes commands again.
    void packetFraming()
    {
        SimRig rig(profile(QStringLiteral(R"(,"mode6":[{"test":"01","component":"01","value":"01F4","limit":"03E8","kind":"min"}])"),
                           QStringLiteral(R"("pass_header":"8",)")));
        QByteArray heard;
        QObject::connect(&rig.tool, &SimulatedScanTool::transmit, [&](const QByteArray &d) { heard += d; });
        rig.tool.start();
        rig.tool.receive("F00504");
        QTRY_VERIFY(heard.contains("SA8"));
        heard.clear();
        const QByteArray packet = QByteArray::fromHex("0106C333F106010100000000000000").left(14);
        rig.tool.receive(packet.left(5));
        QTest::qWait(20);
        QVERIFY2(heard.isEmpty(), "no status while the packet is awaited");
        rig.tool.receive(packet.mid(5));
        QTRY_VERIFY(heard.size() >= SimulatedScanTool::PacketReplySize);
        QCOMPARE(heard.left(10).toHex().toUpper(), QByteArray("486B104681" "01F4" "03E8" "01"));
        QCOMPARE(rig.tool.packets(), QList<QByteArray>{packet});
        // A packet that does not come: after a while the tool answers commands again.
        rig.tool.receive("F00504");
        QTest::qWait(1200);
        heard.clear();
        rig.tool.receive("900101");
        QTRY_VERIFY(heard.contains("S3.40"));
    }
};

QTEST_GUILESS_MAIN(tst_monitor_profile)
#include "tst_monitor_profile.moc"
