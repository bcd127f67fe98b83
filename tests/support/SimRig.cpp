#include "SimRig.h"

#include "services/Connection.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

using namespace quenta;

namespace {
PortDirectory rigPorts(sim::SimulatedScanTool *tool)
{
    PortDirectory ports;
    ports.mapFactory(1, [tool] { return std::make_unique<sim::SimPort>(tool); }, QStringLiteral("simulated scan tool: test rig"));
    return ports;
}
} // namespace

SimRig::SimRig(sim::VehicleProfile profile, Clock *clock)
    : program(std::make_unique<Program>(prompts, rigPorts(&tool), clock)), tool(std::move(profile), &program->clock())
{
    // Tests never depend on the definition file of the machine they run on.
    program->definitions.setPlaces({QStringLiteral(QUENTA_SOURCE_DATA_DIR "/troublecode.tcf")});
}

sim::VehicleProfile SimRig::testProfile()
{
    QString error;
    auto p = sim::VehicleProfile::fromFile(QStringLiteral(QUENTA_SOURCE_DATA_DIR "/default-vehicle.json"), &error);
    if (!p)
        qFatal("default profile: %s", qPrintable(error));
    p->baud.reset();
    p->statusPeriodMs = 2;
    p->latencyMs = 0;
    return *p;
}

sim::VehicleProfile SimRig::steadyProfile(int statusPeriodMs)
{
    static const QByteArray json = R"({"firmware":"3.40","latency_ms":0,
      "ecus":[{"address":"10",
               "pids":{"01":"8207E504","02":"0000","03":"0200","04":"64","05":"7B","06":"82","07":"7E","0C":"1AF8",
                       "0D":"3C","10":"0190","13":"33","1C":"01","21":"0023","42":"36B0"},
               "freeze":{"02":"0133","03":"0200","04":"A0","05":"82","0C":"1AF8"},
               "stored":["0133","0420"],"pending":["0171"]},
              {"address":"18","pids":{"01":"00040000","05":"70","0C":"0BB8"}}]})";
    sim::VehicleProfile p = fromJson(json);
    p.statusPeriodMs = statusPeriodMs;
    return p;
}

sim::VehicleProfile SimRig::profileWith(const QMap<QString, QString> &pids, const QString &address)
{
    QJsonObject pidObject;
    for (auto it = pids.begin(); it != pids.end(); ++it)
        pidObject.insert(it.key(), it.value());
    QJsonObject ecu{{QStringLiteral("address"), address}, {QStringLiteral("pids"), pidObject}};
    QJsonObject root{{QStringLiteral("status_period_ms"), 2}, {QStringLiteral("latency_ms"), 0},
                     {QStringLiteral("ecus"), QJsonArray{ecu}}};
    return fromJson(QJsonDocument(root).toJson());
}

sim::VehicleProfile SimRig::fromJson(const QByteArray &json)
{
    QString error;
    auto p = sim::VehicleProfile::fromJson(json, QStringLiteral("test car"), &error);
    if (!p)
        qFatal("test car: %s", qPrintable(error));
    return *p;
}

void SimRig::openPort()
{
    program->connection.setPort(program->connection.ports.create(1));
    QString error;
    if (!program->connection.port()->open(&error))
        qFatal("sim port: %s", qPrintable(error));
}

void SimRig::connect()
{
    program->connection.connectCom(1);
}

sim::SimPort *SimRig::port() const
{
    return static_cast<sim::SimPort *>(program->connection.port());
}
