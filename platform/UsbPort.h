#pragma once
// The scan tool on USB through libusb-1.0: the tool's vendor requests 9 to 15 as control transfers
// on the default pipe, and the attach and detach of the one device the user named by its vendor
// and product IDs. Everything but the tiny hotplug callback runs on the user-interface thread.
#include "core/Clock.h"
#include "platform/ScanToolPort.h"
#include "platform/UsbIds.h"

#include <libusb.h>
#include <array>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace quenta {

class UsbPort : public ScanToolPort {
    Q_OBJECT
public:
    // The most one transfer ever waits; an operation's bound (setTransferBound) cuts it shorter.
    static constexpr int TimeoutMs = 30000;
    static constexpr quint8 RequestType = 0xC0; // vendor request, device to host, to the device
    enum Request : quint8 {
        Ready = 9,        // OBDsync
        ReadReply = 10,   // READ_OBD_BUFFER
        WaitingCount = 11, // usb_count
        CommandFirst = 12,
        CommandSecond = 13,
        CommandThird = 14, // extended form only
        CommandEnd = 15,
    };
    static constexpr int ReplyChunk = 32;
    static constexpr int ExtendedSize = 14;

    // Which attach and detach source to use: libusb's hotplug events where the system has them,
    // else a look at the device list every EnumerationMs.
    using Watch = UsbWatch;
    static constexpr int EnumerationMs = 500;

    // The enumeration watch runs on `clock`.
    UsbPort(UsbIds ids, Clock &clock, QObject *parent = nullptr);
    ~UsbPort() override;

    // The driver: libusb and the attach watch for the named device. 0 on success, else libusb's
    // error code (the attach watch does not run then).
    int usb_open(Watch watch = Watch::Auto);
    // Closes the driver: the watch stops and every device handle is closed.
    void closeDriver();
    // Greater than 0 while the driver is open.
    int driverHandle() const { return m_context ? 1 : 0; }
    bool usb_attached() const { return m_attached; }
    UsbIds ids() const { return m_ids; }

    // The device accepted by the last attach: its handle in the device context, cleared by its
    // detach. The transfers use the copy taken by open(), which a detach leaves as it was; the
    // port then fails (failed()), and a device plugged in again is accepted for a new open().
    bool hasDevice() const { return m_contextHandle != nullptr; }
    // How long a transfer may wait for the tool: the bound of the operation it serves. A transfer
    // left unanswered that long fails the port and lets the device go, so that the window is held
    // no longer and the tool is taken again when it is plugged in again.
    void setTransferBound(int ms) { m_transferBoundMs = ms; }
    int transferBound() const { return qBound(1, m_transferBoundMs, int(TimeoutMs)); }
    // The device's active interface: libusb's status (0 when read), and its endpoint count.
    int deviceInfo(int *endpoints) const;

    // The link's calls on USB.
    quint8 OBDsync();
    QByteArray READ_OBD_BUFFER();
    void usb_count();
    void send_OBD_usb(const QByteArray &command);
    void EXT_CMD_OUT(const std::array<quint8, ExtendedSize> &bytes);
    // The last transfer's data stage and outcome.
    const QByteArray &data() const { return m_data; }
    int status() const { return m_status; }
    // Control transfers made since the port was made.
    qint64 transfers() const { return m_transfers; }


    // libusb's text for a status code.
    static QString stat_to_text(int status);
    // A number as the status window shows numbers in hexadecimal: uppercase, no leading zeros,
    // a negative one as its 32-bit pattern.
    static QString hex(qint64 value);

    // ScanToolPort: the link's primitives over the transfers. open() takes the copy of the
    // accepted device's handle; a six-character command goes out in the short form, a 14-byte
    // block (the on-board monitoring packet) in the extended form.
    QString deviceName() const override;
    bool open(QString *error) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    bool setLineSettings(const LineSettings &, QString *) override { return true; }
    void setInBufferSize(int) override {}
    int inBufferCount() override;
    bool input(QByteArray *data, QString *error) override;
    bool output(const QByteArray &data, QString *error) override;
    std::optional<quint8> readyQuery() override { return OBDsync(); }
    int pollIntervalMs() const override { return PollMs; }
    // Between two questions to the tool: often enough to take a reply within a few milliseconds,
    // seldom enough not to flood the bus.
    static constexpr int PollMs = 2;

    // What debug mode shows for a failed transfer.
    static QString transferFailedText(int status);

signals:
    // The whole text of the status window, as the attach handling writes it.
    void statusText(const QString &text);
    // A transfer failed (its data stage reads as zeros).
    void transferFailed(int status);

private:
    void ReadWritePipes();
    void setup(Request request, quint8 b2, quint8 b3, quint8 b4, quint8 b5, quint16 length);
    bool DeviceAttach(libusb_device *device);
    void DeviceDetach(libusb_device *device);
    // Clears the device context, so that the next attach is accepted; a port open on the device
    // fails with `reason`.
    void letGo(const QString &reason);
    // Hands a device event to this object's thread; takes a reference on the device meanwhile.
    void post(libusb_device *device, bool arrived);
    void onDeviceEvent(libusb_device *device, bool arrived);
    void enumerate();
    bool matches(libusb_device *device) const;
    static int LIBUSB_CALL hotplugCallback(libusb_context *context, libusb_device *device,
                                           libusb_hotplug_event event, void *user);
    static quint16 handleNumber(libusb_device *device);

    UsbIds m_ids;
    libusb_context *m_context = nullptr;
    libusb_hotplug_callback_handle m_hotplug = 0;
    bool m_hotplugRegistered = false;
    std::thread m_events;
    std::atomic<bool> m_stopEvents{false};
    ClockTimer m_enumeration;
    std::vector<libusb_device *> m_seen; // enumeration: the matching devices present at the last look
    // Devices whose event is on its way to this thread, each with a reference: released by the
    // event, or by closeDriver() when the event comes too late.
    std::mutex m_pendingMutex;
    std::vector<libusb_device *> m_pending;

    // The device context shared with the attach handling.
    struct DeviceContext {
        int interfaceNumber = 0;
        int alternateSetting = 0;
        int status = 0;
    } m_deviceContext;
    libusb_device_handle *m_contextHandle = nullptr;
    libusb_device *m_contextDevice = nullptr;
    bool m_attached = false;
    // Every handle opened, closed with the driver: a detached device's handle may still be the
    // transfers' copy, and must stay valid for them to fail on.
    std::vector<libusb_device_handle *> m_opened;

    libusb_device_handle *m_handle = nullptr; // the transfers' copy
    bool m_open = false;
    int m_transferBoundMs = TimeoutMs;
    std::array<quint8, 8> m_setup{};
    QByteArray m_data;
    int m_status = 0;
    int m_transferred = 0;
    qint64 m_transfers = 0;
};

} // namespace quenta
