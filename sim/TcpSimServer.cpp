#include "sim/TcpSimServer.h"

#include <QHostAddress>

namespace quenta::sim {

TcpSimServer::TcpSimServer(SimulatedElm *adapter, QObject *parent) : QObject(parent), m_adapter(adapter)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TcpSimServer::onConnection);
    connect(m_adapter, &SimulatedElm::transmit, this, [this](const QByteArray &data) {
        if (m_client)
            m_client->write(data);
    });
}

bool TcpSimServer::listen(quint16 port, QString *error)
{
    if (m_server.listen(QHostAddress::LocalHost, port))
        return true;
    if (error)
        *error = m_server.errorString();
    return false;
}

void TcpSimServer::closeClient()
{
    if (m_client)
        m_client->abort();
}

void TcpSimServer::onConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        // A new client takes the adapter over: the old connection is closed.
        if (m_client)
            m_client->abort();
        m_client = socket;
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { m_adapter->receive(socket->readAll()); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            // What the adapter was still sending goes nowhere; its settings stay.
            m_adapter->stop();
            if (m_client == socket)
                m_client = nullptr;
            socket->deleteLater();
        });
    }
}

} // namespace quenta::sim
