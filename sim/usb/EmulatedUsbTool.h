#pragma once
// The simulated scan tool as a USB device under the real libusb, for tests and benchmarks. umockdev
// describes the device to the system (sysfs, the device node, uevents for plugging and pulling),
// and an ioctl handler answers the control transfers libusb submits from the tool's USB face. The
// tool runs in its own thread, as a real one goes on working while the program is busy. A program
// using it must run under umockdev-wrapper.
#include "sim/SimUsbFace.h"

#include <QMutex>
#include <QThread>
#include <atomic>
#include <memory>

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace quenta::sim {

class EmulatedUsbTool {
public:
    struct Device {
        quint16 vendor = 0x1234;
        quint16 product = 0x5678;
        int endpoints = 2;         // besides the control pipe
        bool refuseClaim = false;  // another program holds the interface
    };

    explicit EmulatedUsbTool(VehicleProfile profile);
    ~EmulatedUsbTool();
    EmulatedUsbTool(const EmulatedUsbTool &) = delete;
    EmulatedUsbTool &operator=(const EmulatedUsbTool &) = delete;

    // True when umockdev's preload is in place (the program runs under umockdev-wrapper).
    static bool available();

    // Plugs a device in: its description appears and the system announces it. The device's
    // path, or empty with the reason.
    QString plug(const Device &device, QString *error);
    // Pulls it out: the system announces the removal and the description goes.
    void unplug(const QString &path);

    // Runs f in the tool's thread and waits for it.
    template <typename F> void inToolThread(F f) { QMetaObject::invokeMethod(m_tool, f, Qt::BlockingQueuedConnection); }
    SimulatedScanTool *tool() const { return m_tool; }

    // The device fails this many of the next transfers (stalls them).
    std::atomic<int> failNext{0};
    // The device leaves this many of the next transfers unanswered, as a tool whose firmware has
    // stopped: they end only when the host gives up on them (discards them).
    std::atomic<int> hangNext{0};
    // Transfers the host gave up on.
    int discarded() const { return m_discarded; }
    // Every setup packet the device received, in order.
    QList<std::array<quint8, 8>> setups() const;
    void clearSetups();
    qint64 transfers() const { return m_transfers; }

    // The ioctl handler's work (called by umockdev).
    struct Handler;

private:
    friend struct Handler;
    // The data stage of the answer; nothing for a stall; `hang` set when it is left unanswered.
    std::optional<QByteArray> answer(const std::array<quint8, 8> &setup, bool *hang);
    static bool takeOne(std::atomic<int> &count);

    QThread m_thread;
    SimulatedScanTool *m_tool = nullptr;
    SimUsbFace *m_face = nullptr;
    UMockdevTestbed *m_testbed = nullptr;
    std::vector<std::unique_ptr<Handler>> m_handlers;
    int m_nextAddress = 2;
    mutable QMutex m_mutex;
    QList<std::array<quint8, 8>> m_setups;
    std::atomic<qint64> m_transfers{0};
    std::atomic<int> m_discarded{0};
};

} // namespace quenta::sim
