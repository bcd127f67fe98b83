// quenta-cli's o2 and mode6 commands as a user runs them, on the shipped car and on cars that
// answer differently.
#include "PtySim.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace {

struct Run {
    int code = -1;
    QList<QJsonObject> objects;
    QString out;
    QString err;
};

Run cli(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(QUENTA_CLI_BINARY), args);
    p.waitForFinished(60000);
    Run r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    for (const QString &line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        r.objects << QJsonDocument::fromJson(line.toUtf8()).object();
    return r;
}

QJsonObject box(const QJsonObject &o, const char *name)
{
    return o.value(QStringLiteral("boxes")).toObject().value(QLatin1String(name)).toObject();
}

} // namespace

class tst_cli_monitor : public QObject {
    Q_OBJECT
private slots:
    void o2OnTheShippedCar()
    {
        const Run r = cli({"--simulate", "--json", "o2", "o2", "B2S2"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.objects.size(), 2);
        const QJsonObject first = r.objects[0];
        QCOMPARE(first.value("command").toString(), QStringLiteral("o2"));
        QCOMPARE(first.value("sensor").toString(), QStringLiteral("B1S1"));
        QCOMPARE(box(first, "txtT01").value("text").toString(), QStringLiteral(" .45 V"));
        QCOMPARE(box(first, "txtT01").value("color").toString(), QStringLiteral("#50ff50"));
        QCOMPARE(box(first, "txtT05min").value("text").toString(), QStringLiteral(" 0 S"));
        QCOMPARE(box(first, "txtT05").value("color").toString(), QStringLiteral("#ffffff"));
        QCOMPARE(first.value("boxes").toObject().size(), 19);
        const QJsonObject second = r.objects[1];
        QCOMPARE(second.value("sensor").toString(), QStringLiteral("B2S2"));
        QCOMPARE(box(second, "txtT03").value("text").toString(), QStringLiteral("N/A"));
        QCOMPARE(box(second, "txtT07").value("text").toString(), QStringLiteral(" .24 V"));
        QVERIFY(second.value("messages").toArray().isEmpty());
    }

    void o2Refusals_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        QTest::newRow("sensor not present") << QStringList{"o2", "B1S3"} << 1 << QStringLiteral("sensor B1S3 is not present");
        QTest::newRow("not supported") << QStringList{"o2"} << 0
                                       << QStringLiteral("message: The O2 Sensor Test is not supported by this vehicle");
    }
    void o2Refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, said);
        const QString profile = writeTempProfile(
            R"({"latency_ms":0,"ecus":[{"address":"10","pids":{"01":"8207E504","13":"11"},"o2_services":[]}]})");
        const Run r = cli(QStringList{"--simulate=" + profile, "--json"} + args);
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.contains(said), qPrintable(r.err));
    }

    void mode6()
    {
        const Run r = cli({"--simulate", "--json", "mode6", "$1", "1", "--scale", "0.01", "--units", "V", "mode6", "$05",
                           "$11", "mode6", "300", "1", "mode6", "scan"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.objects.size(), 4);
        QCOMPARE(r.objects[0].value("test_id").toString(), QStringLiteral("&H1"));
        QCOMPARE(r.objects[0].value("value").toString(), QStringLiteral("5V"));
        QCOMPARE(r.objects[0].value("max").toString(), QStringLiteral("10V"));
        QCOMPARE(r.objects[0].value("min").toString(), QString());
        QCOMPARE(r.objects[0].value("pass_fail").toString(), QStringLiteral("PASS"));
        QCOMPARE(r.objects[0].value("packet").toString(), QStringLiteral("0106686AF1060101000000000000"));
        // The entries of a later run keep the scale and units typed before, as the window does.
        QCOMPARE(r.objects[1].value("value").toString(), QStringLiteral("8.32V"));
        QCOMPARE(r.objects[1].value("pass_fail").toString(), QStringLiteral("FAIL"));
        QCOMPARE(r.objects[1].value("pass_fail_color").toString(), QStringLiteral("#ff0000"));
        // A bad entry: the message, no packet, the boxes as they were.
        QCOMPARE(r.objects[2].value("messages").toArray().first().toString(),
                 QStringLiteral("Error in one of the Input Fields, please correct and try again"));
        QCOMPARE(r.objects[2].value("packet").toString(), QString());
        QCOMPARE(r.objects[2].value("value").toString(), QStringLiteral("8.32V"));
        QCOMPARE(r.objects[3].value("command").toString(), QStringLiteral("mode6 scan"));
        QCOMPARE(r.objects[3].value("supported").toArray(), (QJsonArray{" 1", " 2", " 5", " 10", " 33"}));
    }

    void mode6Refusals()
    {
        const QString profile = writeTempProfile(
            R"({"latency_ms":0,"ecus":[{"address":"10","pids":{"01":"8207E504"}}],"faults":{"pass_refused":true}})");
        const Run r = cli({"--simulate=" + profile, "--json", "mode6", "1", "1"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.objects[0].value("returned").toString(), QStringLiteral(" No Response to this message"));
        QVERIFY(r.err.contains(QStringLiteral("message: PASS command not acknowledged")));
        const Run old = cli({"--simulate=" + writeTempProfile(R"({"firmware":"3.09","ecus":[{"address":"10"}]})"), "mode6", "scan"});
        QCOMPARE(old.code, 1);
        QVERIFY(old.err.contains(QStringLiteral("does not offer the mode 6 tests")));
        const Run bad = cli({"--simulate", "mode6", "1"});
        QCOMPARE(bad.code, 2);
    }
};

QTEST_GUILESS_MAIN(tst_cli_monitor)
#include "tst_cli_monitor.moc"
