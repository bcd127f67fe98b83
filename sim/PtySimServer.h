#pragma once
// Serves the simulated scan tool or the simulated ELM327 on a pseudo-terminal, so the program
// reaches it through a real tty device exactly as it reaches a real one.
#include "sim/SimulatedElm.h"
#include "sim/SimulatedScanTool.h"

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace quenta::sim {

class PtySimServer : public QObject {
    Q_OBJECT
public:
    PtySimServer(SimulatedScanTool *tool, int baud, QObject *parent = nullptr);
    PtySimServer(SimulatedElm *adapter, int baud, QObject *parent = nullptr);
    ~PtySimServer() override;

    // Opens the pseudo-terminal and starts the tool; false with a reason on failure.
    bool start(QString *error);
    QString devicePath() const { return m_path; }
    // Closes the pseudo-terminal under the program.
    void closeLine();

private:
    void onReadable();
    void onTransmit(const QByteArray &data);
    bool speedMatches() const;

    // The device served: what it is handed, and how it is started and stopped.
    template <typename Device> void serve(Device *device);
    std::function<void(const QByteArray &)> m_receive;
    std::function<void()> m_start, m_stop;
    std::function<void(int)> m_setBaud;
    int m_baud;
    int m_master = -1;
    int m_slave = -1; // held open so the line survives while no program has it open
    QString m_path;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace quenta::sim
