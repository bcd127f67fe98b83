// The wideband meter: the air/fuel ratio rule, what the window shows for known replies, the
// 0.1 s schedule on an injected clock, the sample limit, the log file and its rows, and a run
// whose file is not saved keeping its samples.
#include "ManualClock.h"
#include "SimRig.h"

#include "live/WidebandMeter.h"
#include "live/widgets/WRO2_Sensor_Log.h"
#include "services/CurrentData.h"

#include <functional>
#include <optional>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace quenta;

namespace {

// PID 34: lambda in A-B (0.0000305 a bit), current in C-D (1/256 mA around 128 mA).
sim::VehicleProfile meterCar(const QString &pid34, int statusPeriodMs = 2)
{
    sim::VehicleProfile p = SimRig::profileWith({{QStringLiteral("34"), pid34}, {QStringLiteral("0C"), QStringLiteral("0CB4")}});
    p.statusPeriodMs = statusPeriodMs;
    return p;
}

// The program and the tool on one manual clock.
struct MeterRig {
    ManualClock clock;
    SimRig rig;
    WidebandMeter meter{rig.program->liveParts()};
    QTemporaryDir dir;
    explicit MeterRig(const QString &pid34, int statusPeriodMs = 2) : rig(meterCar(pid34, statusPeriodMs), &clock)
    {
        rig.connect();
        rig.program->currentData.request();
    }
    void stopAfter(int samples)
    {
        meter.afterSample = [this, samples](int n) {
            if (n >= samples)
                meter.Command2_Click();
        };
    }
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class tst_wideband_meter : public QObject {
    Q_OBJECT
    QTemporaryDir m_data;

private slots:
    void initTestCase() { qputenv("XDG_DATA_HOME", m_data.filePath(QStringLiteral("data")).toUtf8()); }

    void airFuelRatio_data()
    {
        QTest::addColumn<double>("current");
        QTest::addColumn<double>("lambda");
        QTest::addColumn<double>("ratio");
        QTest::newRow("0 mA: from the current") << 0.0 << 1.0 << 14.7304505;
        QTest::newRow("1 mA is lean: lambda x 14.731") << 1.0 << 1.13 << 16.64603;
        QTest::newRow("-1 mA") << -1.0 << 0.9 << 12.7755215;
        QTest::newRow("just lean") << 0.0003 << 1.0 << 14.731;
    }
    void airFuelRatio()
    {
        QFETCH(double, current);
        QFETCH(double, lambda);
        QFETCH(double, ratio);
        QVERIFY(qAbs(WidebandMeter::airFuelRatio(current, lambda) - ratio) < 1e-9);
    }

    // Known replies, shown as six characters of lambda and ratio and four digits of RPM.
    void whatTheWindowShows_data()
    {
        QTest::addColumn<QString>("pid34");
        QTest::addColumn<QString>("lambda");
        QTest::addColumn<QString>("ratio");
        QTest::newRow("0 mA") << "80008000" << "0.9994" << "14.730";
        QTest::newRow("-1 mA") << "7333 7F00" << "0.8994" << "12.775";
        // 37050 x 0.0000305 = 1.130025; x 14.731 = 16.6464.
        QTest::newRow("1 mA, lean") << "90BA8100" << "1.1300" << "16.646";
    }
    void whatTheWindowShows()
    {
        QFETCH(QString, pid34);
        MeterRig r(QString(pid34).remove(QLatin1Char(' ')));
        QTemporaryDir dir;
        r.rig.prompts.fileNames << dir.filePath(QStringLiteral("w.log"));
        WRO2_Sensor_Log window(r.rig.program->liveParts());
        // The window's own meter runs here.
        window.meter().afterSample = [&](int) { window.meter().Command2_Click(); };
        window.Command1->click();
        QTEST(window.Display1_value->text(), "lambda");
        QTEST(window.Display2_value->text(), "ratio");
        QCOMPARE(window.Text2->text(), QStringLiteral("0813"));
        QCOMPARE(window.Label2->text(), QStringLiteral("Press Start To Run"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Wide Band O2 Sensor Lambda Meter"));
        QCOMPARE(window.Display1_name->text(), QStringLiteral("Lambda"));
        QCOMPARE(window.Display2_name->text(), QStringLiteral("A/F Ratio"));
        QCOMPARE(window.Text1->text(), QStringLiteral("RPM"));
        QVERIFY(window.Command1->isEnabled());
    }

    // Ten samples a second on the stopwatch; the file: two heading lines, then current, lambda
    // and ratio per sample.
    void scheduleAndFile()
    {
        MeterRig r(QStringLiteral("80008000"));
        r.stopAfter(3);
        r.rig.prompts.fileNames << r.dir.filePath(QStringLiteral("w.log"));
        r.meter.Command1_Click();
        QCOMPARE(r.meter.samples().rowCount(), 3);
        // Each sample's two requests wait for the tool's next status character, one status period
        // (2 ms) each: a sample is in 4 ms after it is due, and the schedule does not drift by it.
        QCOMPARE(r.meter.samples().time(0), 0.004);
        QCOMPARE(r.meter.samples().time(1), 0.104);
        QCOMPARE(r.meter.samples().time(2), 0.204);
        QCOMPARE(readAll(r.dir.filePath(QStringLiteral("w.log"))),
                 QByteArray("WBO2 Current mA\r\nWBO2 Lambda Reading\r\n0,0.999424,14.7304505\r\n0,0.999424,14.7304505\r\n0,0.999424,14.7304505\r\n"));
        QVERIFY(RecoveryFile::leftBehind().isEmpty());
    }

    void theSampleLimitClosesTheWindow()
    {
        MeterRig r(QStringLiteral("80008000"), 1);
        r.rig.prompts.fileNames << r.dir.filePath(QStringLiteral("w.log"));
        QSignalSpy close(&r.meter, &WidebandMeter::closeRequested);
        r.meter.Command1_Click();
        QCOMPARE(r.meter.samples().rowCount(), 17999);
        QCOMPARE(readAll(r.dir.filePath(QStringLiteral("w.log"))).count('\n'), 2 + 17999);
        QCOMPARE(close.count(), 1);
    }

    // No vehicle: no lambda, no ratio, no RPM shown or logged as if measured.
    void noVehicleShowsNothing()
    {
        MeterRig r(QStringLiteral("80008000"));
        r.rig.tool.setVehicle(false);
        r.stopAfter(2);
        r.rig.prompts.fileNames << r.dir.filePath(QStringLiteral("none.log"));
        r.meter.Command1_Click();
        QCOMPARE(r.meter.rpmText, QString());
        QCOMPARE(r.meter.ratioText, QString());
        QVERIFY(readAll(r.dir.filePath(QStringLiteral("none.log"))).endsWith("Reading\r\n,,\r\n,,\r\n"));
    }

    // EXIT during a run: the run still offers its file; cancelled, the samples are kept.
    void exitKeepsTheSamples()
    {
        MeterRig r(QStringLiteral("80008000"));
        r.meter.afterSample = [&](int n) {
            if (n == 2)
                r.meter.Cancel_Click();
        };
        QSignalSpy close(&r.meter, &WidebandMeter::closeRequested);
        r.meter.Command1_Click();
        QCOMPARE(r.rig.prompts.fileQuestions.size(), 1);
        const QStringList left = RecoveryFile::leftBehind();
        QCOMPARE(left.size(), 1);
        QVERIFY(r.rig.prompts.shown.last().text.endsWith(left.first()));
        QCOMPARE(readAll(left.first()), QByteArray("WBO2 Current mA\r\nWBO2 Lambda Reading\r\n0,0.999424,14.7304505\r\n0,0.999424,14.7304505\r\n"));
        QVERIFY(close.count() >= 1);
        QFile::remove(left.first());
    }
};

QTEST_MAIN(tst_wideband_meter)
#include "tst_wideband_meter.moc"
