#include "MonitorCommands.h"

#include "core/ControlNames.h"
#include "program/Program.h"
#include "services/CurrentData.h"
#include "services/Mode6Monitor.h"
#include "services/O2Monitor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cstdio>

namespace quenta {

namespace {

// "B1S1" for presence-list entry 0 .. "B2S4" for entry 7.
QString sensorName(int index)
{
    return QStringLiteral("B%1S%2").arg(index / 4 + 1).arg(index % 4 + 1);
}

void printMessages(const QStringList &messages)
{
    for (const QString &m : messages)
        std::printf("message: %s\n", qPrintable(m));
}

QString hexOf(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

} // namespace

void printJson(const QJsonObject &o)
{
    std::printf("%s\n", QJsonDocument(o).toJson(QJsonDocument::Compact).constData());
}

bool isSensorName(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^B[12]S[1-4]$"));
    return re.match(text).hasMatch();
}

MonitorCommands::MonitorCommands(Program &program) : m_p(program)
{
}

MonitorCommands::~MonitorCommands() = default;

bool MonitorCommands::runO2(const MonitorCommand &c, QString *failure)
{
    if (!m_p.controls.visible(names::Mode5)) {
        *failure = QStringLiteral("o2: the scan tool's firmware does not offer the O2 sensor test");
        return false;
    }
    // The sensors and the monitor's state come from a current-data request, as in the window.
    if (!m_p.controls.enabled(names::Mode5))
        m_p.currentData.request();
    m_o2 = std::make_unique<O2Monitor>(m_p.pidContext, m_p.prompts);
    QList<O2Monitor::Sensor> sensors;
    const bool available = m_o2->load(&sensors);
    QStringList present;
    int mask = 0;
    for (const O2Monitor::Sensor &s : std::as_const(sensors)) {
        const int index = qCountTrailingZeroBits(quint32(s.mask));
        present << sensorName(index);
        if (mask == 0 && (c.sensor.isEmpty() || c.sensor == present.last()))
            mask = s.mask;
    }
    m_sensor = c.sensor.isEmpty() && !present.isEmpty() ? present.first() : c.sensor;
    if (!available)
        return true; // the window hides after its message: no test is run
    if (mask == 0) {
        *failure = present.isEmpty() ? QStringLiteral("o2: the vehicle reports no O2 sensors")
                                     : QStringLiteral("o2: sensor %1 is not present (present: %2)")
                                           .arg(c.sensor, present.join(QStringLiteral(", ")));
        return false;
    }
    m_o2->o2_test_request(mask);
    return true;
}

void MonitorCommands::printO2(bool json, const QStringList &messages) const
{
    const QStringList boxes = O2Monitor::boxNames();
    if (json) {
        QJsonObject out;
        for (const QString &name : boxes) {
            const O2Monitor::Box b = m_o2 ? m_o2->box(name) : O2Monitor::Box{};
            out.insert(name, QJsonObject{{QStringLiteral("text"), b.text}, {QStringLiteral("color"), rgbName(b.back)}});
        }
        printJson({{QStringLiteral("command"), QStringLiteral("o2")},
                   {QStringLiteral("sensor"), m_sensor},
                   {QStringLiteral("boxes"), out},
                   {QStringLiteral("messages"), QJsonArray::fromStringList(messages)}});
        return;
    }
    std::printf("== o2\nsensor: %s\n", qPrintable(m_sensor));
    for (const QString &name : boxes) {
        const O2Monitor::Box b = m_o2 ? m_o2->box(name) : O2Monitor::Box{};
        std::printf("%s: \"%s\" (%s)\n", qPrintable(name), qPrintable(b.text), qPrintable(rgbName(b.back)));
    }
    printMessages(messages);
}

bool MonitorCommands::runMode6(const MonitorCommand &c, QString *failure)
{
    if (!m_p.controls.enabled(names::mnuMode6)) {
        *failure = QStringLiteral("mode6: the scan tool's firmware does not offer the mode 6 tests");
        return false;
    }
    if (!m_mode6)
        m_mode6 = std::make_unique<Mode6Monitor>(m_p.link, m_p.mode6, m_p.prompts);
    Mode6Monitor::Fields &f = m_mode6->fields;
    if (c.scan) {
        m_mode6->scan();
        return true;
    }
    f.testId = c.testId;
    f.componentId = c.componentId;
    if (c.scale)
        f.scale = *c.scale;
    if (c.units)
        f.units = *c.units;
    m_mode6->getTestResults();
    return true;
}

void MonitorCommands::printMode6(const MonitorCommand &c, bool json, const QStringList &messages) const
{
    const Mode6Monitor::Fields f = m_mode6 ? m_mode6->fields : Mode6Monitor::Fields{};
    QStringList packets;
    if (m_mode6)
        for (const QByteArray &packet : m_mode6->packets())
            packets << hexOf(packet);
    if (json) {
        QJsonObject o{{QStringLiteral("command"), c.scan ? QStringLiteral("mode6 scan") : QStringLiteral("mode6")},
                      {QStringLiteral("returned"), f.returned},
                      {QStringLiteral("messages"), QJsonArray::fromStringList(messages)}};
        if (c.scan) {
            o.insert(QStringLiteral("supported"), QJsonArray::fromStringList(f.supported));
            o.insert(QStringLiteral("packets"), QJsonArray::fromStringList(packets));
        } else {
            o.insert(QStringLiteral("test_id"), f.testId);
            o.insert(QStringLiteral("component_id"), f.componentId);
            o.insert(QStringLiteral("value"), f.value);
            o.insert(QStringLiteral("min"), f.min);
            o.insert(QStringLiteral("max"), f.max);
            o.insert(QStringLiteral("pass_fail"), f.passFail);
            o.insert(QStringLiteral("pass_fail_color"), rgbName(f.passFailBack));
            o.insert(QStringLiteral("packet"), packets.value(0));
        }
        printJson(o);
        return;
    }
    if (c.scan) {
        std::printf("== mode6 scan\nreturned: \"%s\"\nsupported:\n", qPrintable(f.returned));
        for (const QString &s : f.supported)
            std::printf("%s\n", qPrintable(s));
    } else {
        std::printf("== mode6\ntest id: \"%s\"\ncomponent id: \"%s\"\nreturned: \"%s\"\nvalue: \"%s\"\nmin: \"%s\"\n"
                    "max: \"%s\"\npass/fail: \"%s\" (%s)\npacket: %s\n",
                    qPrintable(f.testId), qPrintable(f.componentId), qPrintable(f.returned), qPrintable(f.value),
                    qPrintable(f.min), qPrintable(f.max), qPrintable(f.passFail), qPrintable(rgbName(f.passFailBack)),
                    qPrintable(packets.value(0)));
    }
    printMessages(messages);
}

} // namespace quenta
