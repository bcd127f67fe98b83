#include "sim/SimUsbFace.h"

#include <QThread>

namespace quenta::sim {

namespace {
constexpr quint8 VendorIn = 0xC0;
}

SimUsbFace::SimUsbFace(SimulatedScanTool *tool) : m_tool(tool)
{
    m_tool->setStatusOnLine(false);
    connect(m_tool, &SimulatedScanTool::transmit, this, &SimUsbFace::onTransmit, Qt::DirectConnection);
    m_tool->start();
}

template <typename F> void SimUsbFace::inTool(F f)
{
    if (QThread::currentThread() == m_tool->thread())
        f();
    else
        QMetaObject::invokeMethod(m_tool, f, Qt::BlockingQueuedConnection);
}

void SimUsbFace::onTransmit(const QByteArray &data)
{
    QMutexLocker lock(&m_mutex);
    // What does not fit is lost, as in any bounded buffer.
    m_buffer.append(data.left(Capacity - m_buffer.size()));
}

std::optional<QByteArray> SimUsbFace::control(const std::array<quint8, 8> &s)
{
    const int length = s[6] | s[7] << 8;
    if (s[0] != VendorIn)
        return std::nullopt;
    const std::array<quint8, 4> values{s[2], s[3], s[4], s[5]};
    QByteArray out;
    switch (s[1]) {
    case 9: {
        quint8 ready = 0;
        inTool([&] { ready = m_tool->readyByte(); });
        out = QByteArray(1, char(ready));
        break;
    }
    case 10: {
        QMutexLocker lock(&m_mutex);
        out = m_buffer.left(qMin(length, 32));
        m_buffer.remove(0, out.size());
        return out;
    }
    case 11: {
        QMutexLocker lock(&m_mutex);
        out = QByteArray(1, char(qMin<qsizetype>(m_buffer.size(), Capacity)));
        break;
    }
    case 12:
        m_first = values;
        out = QByteArray(1, '\0');
        break;
    case 13:
        m_second = values;
        out = QByteArray(1, '\0');
        break;
    case 14:
        m_third = values;
        out = QByteArray(1, '\0');
        break;
    case 15: {
        // Byte 5 tells the forms apart: 0 a six-character command, 1 a 14-byte packet.
        QByteArray command;
        for (int i = 0; i < 4; ++i)
            command.append(char(m_first[size_t(i)]));
        if (s[5] == 0) {
            command.append(char(m_second[0])).append(char(m_second[1]));
        } else if (s[5] == 1) {
            for (int i = 0; i < 3; ++i)
                command.append(char(m_second[size_t(i)]));
            for (int i = 0; i < 4; ++i)
                command.append(char(m_third[size_t(i)]));
            for (int i = 2; i < 5; ++i)
                command.append(char(s[size_t(i)]));
        } else {
            return std::nullopt;
        }
        m_first = m_second = m_third = {};
        inTool([&] { m_tool->receive(command); });
        out = QByteArray(1, '\0');
        break;
    }
    default:
        return std::nullopt;
    }
    return out.left(length);
}

} // namespace quenta::sim
