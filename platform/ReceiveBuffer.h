#pragma once
// What a port has received and not yet handed over, bounded as a serial driver's buffer is: what
// arrives while it is full is lost, as on the line.
#include <QByteArray>
#include <QtGlobal>
#include <utility>

namespace quenta {

class ReceiveBuffer {
public:
    void setCapacity(int size) { m_capacity = qMax(1, size); }
    void append(const QByteArray &data)
    {
        const qsizetype room = m_capacity - m_data.size();
        if (room > 0)
            m_data.append(data.left(room));
    }
    int size() const { return int(m_data.size()); }
    QByteArray take() { return std::exchange(m_data, QByteArray()); }
    void clear() { m_data.clear(); }

private:
    QByteArray m_data;
    int m_capacity = 80;
};

} // namespace quenta
