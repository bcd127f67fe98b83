#pragma once
// Serves the simulated ELM327 on a TCP port of 127.0.0.1, as a Wi-Fi adapter does: one client at
// a time (a new one takes over and the old connection is closed), and the adapter keeps its
// settings from one client to the next.
#include "sim/SimulatedElm.h"

#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace quenta::sim {

class TcpSimServer : public QObject {
    Q_OBJECT
public:
    explicit TcpSimServer(SimulatedElm *adapter, QObject *parent = nullptr);

    // Listens on 127.0.0.1 at `port` (0: a free port); false with a reason on failure.
    bool listen(quint16 port, QString *error);
    quint16 port() const { return m_server.serverPort(); }
    // Closes the client's connection under it, as a Wi-Fi link that drops.
    void closeClient();
    bool hasClient() const { return m_client != nullptr; }

private:
    void onConnection();

    SimulatedElm *m_adapter;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
};

} // namespace quenta::sim
