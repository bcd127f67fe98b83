#pragma once
// quenta-cli's O2 sensor test and mode 6 test commands: each runs what its window's button runs
// and prints the window's boxes.
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QJsonObject;

namespace quenta {

class Program;
class Mode6Monitor;

struct MonitorCommand {
    QString sensor;         // o2: "B1S1" .. "B2S4"; empty for the first present sensor
    bool scan = false;      // mode6 scan
    QString testId;         // mode6: the entries as a user types them
    QString componentId;
    std::optional<QString> scale;
    std::optional<QString> units;
};

// One object on a line of its own, as every command prints under --json.
void printJson(const QJsonObject &o);

// "B1S1" .. "B2S4", or nothing.
bool isSensorName(const QString &text);

class MonitorCommands {
public:
    explicit MonitorCommands(Program &program);
    ~MonitorCommands();
    // Run what the window's button runs: true, or false with the reason in `failure`.
    bool runO2(const MonitorCommand &c, QString *failure);
    bool runMode6(const MonitorCommand &c, QString *failure);
    // Print the window's boxes after the run, with the message boxes it showed.
    void printO2(bool json, const QStringList &messages) const;
    void printMode6(const MonitorCommand &c, bool json, const QStringList &messages) const;

private:
    Program &m_p;
    std::unique_ptr<class O2Monitor> m_o2;
    std::unique_ptr<Mode6Monitor> m_mode6; // one window: boxes keep their texts between commands
    QString m_sensor;
};

} // namespace quenta
