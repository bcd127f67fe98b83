// quenta-cli --usb as a user runs it, against the emulated USB scan tool (the child inherits the
// emulation from this test, which runs under umockdev-wrapper).
#include "UsbRig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

namespace {
struct Run {
    int code = -1;
    QString out, err;
};

Run cli(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(QUENTA_CLI_BINARY), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}
} // namespace

class tst_usb_cli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!quenta::sim::EmulatedUsbTool::available())
            QFAIL("run under umockdev-wrapper: the emulated USB device needs its preload");
    }

    void connectsAndLists()
    {
        UsbRig rig(quenta::sim::VehicleProfile::defaultProfile());
        rig.plug();
        const Run r = cli({QStringLiteral("--usb=1234:5678"), QStringLiteral("--json"), QStringLiteral("current"),
                           QStringLiteral("codes"), QStringLiteral("--yes")});
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        const QJsonObject current = QJsonDocument::fromJson(lines[0].toUtf8()).object();
        QCOMPARE(current.value(QStringLiteral("firmware")).toString(), QStringLiteral("F/W: S3.40"));
        QCOMPARE(current.value(QStringLiteral("indicator")).toObject().value(QStringLiteral("color")).toString(), QStringLiteral("#00ff00"));
        QVERIFY(current.value(QStringLiteral("data")).toArray().size() > 20);
        QVERIFY(QJsonDocument::fromJson(lines[1].toUtf8()).object().value(QStringLiteral("status")).toString().contains(QStringLiteral("P0301")));
    }

    // Another device is never claimed, one that cannot be claimed says why; the wait ends at --timeout.
    void noUsableDevice()
    {
        const struct { const char *ids; bool refuseClaim; const char *reason; } rows[] = {
            {"1234:9999", false, "connect: no USB device 1234:9999 attached within 1 s\n"},
            {"1234:5678", true, "connect: no USB device 1234:5678 attached within 1 s (DeviceAttach: WDU_SetInterface failed "
                                "(num.  0 alternate  0) device &H102: error &HFFFFFFFA (Resource busy))\n"}};
        for (const auto &r : rows) {
            UsbRig rig(quenta::sim::VehicleProfile::defaultProfile());
            rig.plug({UsbRig::Vendor, UsbRig::Product, 2, r.refuseClaim});
            const Run got = cli({QStringLiteral("--usb"), QLatin1String(r.ids), QStringLiteral("--timeout"), QStringLiteral("1"), QStringLiteral("current")});
            QCOMPARE(got.code, 1);
            QCOMPARE(got.err, QStringLiteral("quenta-cli: ") + QLatin1String(r.reason));
        }
    }
};

QTEST_GUILESS_MAIN(tst_usb_cli)
#include "tst_usb_cli.moc"
