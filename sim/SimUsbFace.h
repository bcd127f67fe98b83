#pragma once
// The simulated scan tool behind the USB tool's vendor requests: the same tool and vehicle as on
// the serial line, reached by control transfers instead of characters. Its status goes to the
// ready query (request 9), its replies into a buffer that requests 10 and 11 read, and the command
// bytes of requests 12 to 15 reach it as one six-character command or one 14-byte packet.
#include "sim/SimulatedScanTool.h"

#include <QMutex>
#include <array>
#include <optional>

namespace quenta::sim {

class SimUsbFace : public QObject {
    Q_OBJECT
public:
    // Made in the tool's thread; starts the tool.
    explicit SimUsbFace(SimulatedScanTool *tool);

    // The data stage of one control transfer (at most wLength bytes), or nothing when the device
    // stalls the request. Callable from any thread: the tool's work runs in the tool's thread.
    std::optional<QByteArray> control(const std::array<quint8, 8> &setup);

    // The reply characters the tool holds: the count is one byte.
    static constexpr int Capacity = 255;

private:
    void onTransmit(const QByteArray &data);
    template <typename F> void inTool(F f);

    SimulatedScanTool *m_tool;
    QMutex m_mutex;
    QByteArray m_buffer;
    // Command bytes of requests 12, 13 and 14 until request 15 ends the command.
    std::array<quint8, 4> m_first{}, m_second{}, m_third{};
};

} // namespace quenta::sim
