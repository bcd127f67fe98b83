#include "platform/UsbPort.h"

#include <QRegularExpression>
#include <algorithm>

namespace quenta {

std::optional<UsbIds> parseUsbIds(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9A-Fa-f]{1,4}):([0-9A-Fa-f]{1,4})$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    return UsbIds{quint16(m.captured(1).toUInt(nullptr, 16)), quint16(m.captured(2).toUInt(nullptr, 16))};
}

UsbPort::UsbPort(UsbIds ids, Clock &clock, QObject *parent) : ScanToolPort(parent), m_ids(ids), m_enumeration(clock)
{
    m_enumeration.setParent(this);
    connect(&m_enumeration, &ClockTimer::timeout, this, &UsbPort::enumerate);
}

UsbPort::~UsbPort()
{
    closeDriver();
}

QString UsbPort::hex(qint64 value)
{
    return QString::number(value < 0 ? qint64(quint32(qint32(value))) : value, 16).toUpper();
}

QString UsbPort::stat_to_text(int status)
{
    // libusb's texts are ASCII; cut at the first NUL like any C text.
    return QString::fromLatin1(libusb_strerror(status));
}

QString UsbPort::transferFailedText(int status)
{
    return QStringLiteral("ReadWritePipesMenu: WDU_Transfer() failed: error &H") + hex(status) + QStringLiteral(" (")
        + stat_to_text(status) + QStringLiteral(")");
}

QString UsbPort::deviceName() const
{
    return QStringLiteral("USB %1:%2")
        .arg(m_ids.vendor, 4, 16, QLatin1Char('0'))
        .arg(m_ids.product, 4, 16, QLatin1Char('0'));
}

int UsbPort::usb_open(Watch watch)
{
    if (m_context)
        return 0;
    int status = libusb_init(&m_context);
    if (status != 0) {
        m_context = nullptr;
        return status;
    }
    if (watch == Watch::Auto && libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
        // Only the device the user named: never a wildcard, which would claim a keyboard or a disk.
        status = libusb_hotplug_register_callback(
            m_context, libusb_hotplug_event(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
            LIBUSB_HOTPLUG_ENUMERATE, m_ids.vendor, m_ids.product, LIBUSB_HOTPLUG_MATCH_ANY, &UsbPort::hotplugCallback,
            this, &m_hotplug);
        if (status != 0) {
            libusb_exit(m_context);
            m_context = nullptr;
            return status;
        }
        m_hotplugRegistered = true;
        m_stopEvents = false;
        // libusb delivers hotplug events while someone handles its events: this thread does, and
        // does nothing else.
        m_events = std::thread([this] {
            while (!m_stopEvents) {
                timeval tv{0, 200000};
                libusb_handle_events_timeout_completed(m_context, &tv, nullptr);
            }
        });
    } else {
        m_enumeration.start(EnumerationMs);
        QMetaObject::invokeMethod(this, &UsbPort::enumerate, Qt::QueuedConnection);
    }
    return 0;
}

void UsbPort::closeDriver()
{
    if (!m_context)
        return;
    m_enumeration.stop();
    if (m_hotplugRegistered) {
        m_stopEvents = true;
        libusb_hotplug_deregister_callback(m_context, m_hotplug);
        libusb_interrupt_event_handler(m_context);
        m_events.join();
        m_hotplugRegistered = false;
    }
    for (libusb_device *d : m_seen)
        libusb_unref_device(d);
    m_seen.clear();
    {
        std::lock_guard lock(m_pendingMutex);
        for (libusb_device *d : m_pending)
            libusb_unref_device(d);
        m_pending.clear();
    }
    if (m_contextDevice)
        libusb_unref_device(m_contextDevice);
    m_contextDevice = nullptr;
    m_contextHandle = nullptr;
    for (libusb_device_handle *h : m_opened) {
        libusb_release_interface(h, m_deviceContext.interfaceNumber);
        libusb_close(h);
    }
    m_opened.clear();
    m_handle = nullptr;
    m_open = false;
    libusb_exit(m_context);
    m_context = nullptr;
}

int LIBUSB_CALL UsbPort::hotplugCallback(libusb_context *, libusb_device *device, libusb_hotplug_event event, void *user)
{
    static_cast<UsbPort *>(user)->post(device, event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED);
    return 0; // stay registered
}

void UsbPort::post(libusb_device *device, bool arrived)
{
    // Runs in libusb's thread: a reference and a queued call, nothing else.
    {
        std::lock_guard lock(m_pendingMutex);
        m_pending.push_back(libusb_ref_device(device));
    }
    QMetaObject::invokeMethod(this, [this, device, arrived] { onDeviceEvent(device, arrived); }, Qt::QueuedConnection);
}

void UsbPort::onDeviceEvent(libusb_device *device, bool arrived)
{
    {
        std::lock_guard lock(m_pendingMutex);
        const auto it = std::find(m_pending.begin(), m_pending.end(), device);
        if (it == m_pending.end())
            return; // the driver was closed meanwhile
        m_pending.erase(it);
    }
    if (arrived)
        DeviceAttach(device);
    else
        DeviceDetach(device);
    libusb_unref_device(device);
}

bool UsbPort::matches(libusb_device *device) const
{
    libusb_device_descriptor d{};
    return libusb_get_device_descriptor(device, &d) == 0 && d.idVendor == m_ids.vendor && d.idProduct == m_ids.product;
}

void UsbPort::enumerate()
{
    if (!m_context)
        return;
    libusb_device **list = nullptr;
    const ssize_t n = libusb_get_device_list(m_context, &list);
    if (n < 0)
        return;
    std::vector<libusb_device *> now;
    for (ssize_t i = 0; i < n; ++i)
        if (matches(list[i]))
            now.push_back(libusb_ref_device(list[i]));
    libusb_free_device_list(list, 1);
    for (libusb_device *d : now)
        if (std::find(m_seen.begin(), m_seen.end(), d) == m_seen.end())
            post(d, true);
    for (libusb_device *d : m_seen)
        if (std::find(now.begin(), now.end(), d) == now.end())
            post(d, false);
    for (libusb_device *d : m_seen)
        libusb_unref_device(d);
    m_seen = std::move(now);
}

quint16 UsbPort::handleNumber(libusb_device *device)
{
    // What identifies the device to the user: bus and address, as the system lists them.
    return quint16(libusb_get_bus_number(device) << 8 | libusb_get_device_address(device));
}

bool UsbPort::DeviceAttach(libusb_device *device)
{
    m_attached = false;
    if (m_contextHandle) {
        emit statusText(QStringLiteral("DeviceAttach: Received another attach - ") + QStringLiteral("control is rejected")
                        + QStringLiteral("\r\n") + QStringLiteral("because only one device control ")
                        + QStringLiteral("is supported"));
        return false;
    }
    libusb_device_handle *handle = nullptr;
    int status = libusb_open(device, &handle);
    if (status == 0) {
        // A generic driver the system bound to the tool gives way while we hold it.
        libusb_set_auto_detach_kernel_driver(handle, 1);
        status = libusb_claim_interface(handle, m_deviceContext.interfaceNumber);
        if (status == 0)
            status = libusb_set_interface_alt_setting(handle, m_deviceContext.interfaceNumber,
                                                      m_deviceContext.alternateSetting);
    }
    m_deviceContext.status = status;
    const QString number = hex(handleNumber(device));
    if (status != 0) {
        if (handle) {
            libusb_release_interface(handle, m_deviceContext.interfaceNumber);
            libusb_close(handle);
        }
        emit statusText(QStringLiteral("DeviceAttach: WDU_SetInterface failed") + QStringLiteral("\r\n")
                        + QStringLiteral("(num. ") + QStringLiteral(" %1").arg(m_deviceContext.interfaceNumber)
                        + QStringLiteral(" alternate ") + QStringLiteral(" %1").arg(m_deviceContext.alternateSetting)
                        + QStringLiteral(")") + QStringLiteral("\r\n") + QStringLiteral("device &H") + number
                        + QStringLiteral(": error &H") + hex(status) + QStringLiteral("\r\n") + QStringLiteral("(")
                        + stat_to_text(status) + QStringLiteral(")"));
        m_contextHandle = nullptr;
        return false;
    }
    m_opened.push_back(handle);
    m_contextHandle = handle;
    m_contextDevice = libusb_ref_device(device);
    libusb_device_descriptor d{};
    libusb_get_device_descriptor(device, &d);
    emit statusText(QStringLiteral("DeviceAttach: Received and accepted attach for ") + QStringLiteral("\r\n")
                    + QStringLiteral("vendor ID &H") + hex(d.idVendor) + QStringLiteral(" product ID &H")
                    + hex(d.idProduct) + QStringLiteral("\r\n") + QStringLiteral("device handle &H") + number);
    m_attached = true;
    return true;
}

void UsbPort::DeviceDetach(libusb_device *device)
{
    // The transfers' copy stays: they fail on it from now on.
    if (device != m_contextDevice)
        return;
    letGo(QStringLiteral("the USB scan tool was pulled out"));
}

void UsbPort::letGo(const QString &reason)
{
    const bool inUse = m_open && m_handle == m_contextHandle;
    m_contextHandle = nullptr;
    if (m_contextDevice)
        libusb_unref_device(m_contextDevice);
    m_contextDevice = nullptr;
    // Like a serial device that went away: the link ends its operations at once and the tool is
    // looked for again.
    if (inUse)
        emit failed(reason);
}

int UsbPort::deviceInfo(int *endpoints) const
{
    *endpoints = 0;
    if (!m_handle)
        return LIBUSB_ERROR_NO_DEVICE;
    libusb_config_descriptor *config = nullptr;
    const int status = libusb_get_active_config_descriptor(libusb_get_device(m_handle), &config);
    if (status != 0)
        return status;
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface &in = config->interface[i];
        for (int a = 0; a < in.num_altsetting; ++a) {
            const libusb_interface_descriptor &alt = in.altsetting[a];
            if (alt.bInterfaceNumber == m_deviceContext.interfaceNumber
                && alt.bAlternateSetting == m_deviceContext.alternateSetting)
                *endpoints = alt.bNumEndpoints;
        }
    }
    libusb_free_config_descriptor(config);
    return 0;
}

void UsbPort::setup(Request request, quint8 b2, quint8 b3, quint8 b4, quint8 b5, quint16 length)
{
    m_setup = {RequestType, request, b2, b3, b4, b5, quint8(length & 0xFF), quint8(length >> 8)};
}

void UsbPort::ReadWritePipes()
{
    const int n = m_setup[6];
    // A fresh zero-filled buffer per transfer: a failed one reads as zeros.
    m_data = QByteArray(n, '\0');
    m_transferred = 0;
    ++m_transfers;
    const int result = m_handle
        ? libusb_control_transfer(m_handle, m_setup[0], m_setup[1], quint16(m_setup[2] | m_setup[3] << 8),
                                  quint16(m_setup[4] | m_setup[5] << 8),
                                  n > 0 ? reinterpret_cast<unsigned char *>(m_data.data()) : nullptr,
                                  quint16(m_setup[6] | m_setup[7] << 8), transferBound())
        : int(LIBUSB_ERROR_NO_DEVICE);
    m_status = result < 0 ? result : 0;
    if (result >= 0) {
        m_transferred = std::min(result, n);
        return;
    }
    std::fill(m_data.begin(), m_data.end(), '\0');
    emit transferFailed(m_status);
    // A live tool answers a control transfer within milliseconds: one that stayed unanswered for
    // a whole bound has stopped, and every later transfer would hold the window as long again.
    if (result == LIBUSB_ERROR_TIMEOUT && m_contextHandle && m_handle == m_contextHandle)
        letGo(QStringLiteral("the USB scan tool left a transfer unanswered for %1 ms").arg(transferBound()));
}

quint8 UsbPort::OBDsync()
{
    setup(Ready, 0, 0, 0, 0, 1);
    ReadWritePipes();
    return quint8(m_data.at(0));
}

QByteArray UsbPort::READ_OBD_BUFFER()
{
    setup(ReadReply, 0, 0, 0, 0, ReplyChunk);
    ReadWritePipes();
    return m_data.left(m_transferred);
}

void UsbPort::usb_count()
{
    setup(WaitingCount, 0, 0, 0, 0, 1);
    ReadWritePipes();
}

void UsbPort::send_OBD_usb(const QByteArray &command)
{
    auto c = [&](int i) { return i <= command.size() ? quint8(command.at(i - 1)) : quint8(0); };
    setup(CommandFirst, c(1), c(2), c(3), c(4), 1);
    ReadWritePipes();
    setup(CommandSecond, c(5), c(6), c(3), c(4), 1);
    ReadWritePipes();
    setup(CommandEnd, c(1), c(2), c(3), 0, 1);
    ReadWritePipes();
}

void UsbPort::EXT_CMD_OUT(const std::array<quint8, ExtendedSize> &e)
{
    setup(CommandFirst, e[0], e[1], e[2], e[3], 1);
    ReadWritePipes();
    setup(CommandSecond, e[4], e[5], e[6], e[6], 1);
    ReadWritePipes();
    setup(CommandThird, e[7], e[8], e[9], e[10], 1);
    ReadWritePipes();
    setup(CommandEnd, e[11], e[12], e[13], 1, 1);
    ReadWritePipes();
}

bool UsbPort::open(QString *error)
{
    m_handle = m_contextHandle;
    m_open = m_handle != nullptr;
    if (!m_open && error)
        *error = QStringLiteral("no USB device %1 attached").arg(deviceName());
    return m_open;
}

void UsbPort::close()
{
    m_open = false;
    m_handle = nullptr;
}

int UsbPort::inBufferCount()
{
    usb_count();
    return quint8(m_data.at(0));
}

bool UsbPort::input(QByteArray *data, QString *)
{
    *data = READ_OBD_BUFFER();
    return true;
}

bool UsbPort::output(const QByteArray &data, QString *error)
{
    if (data.size() == 6) {
        send_OBD_usb(data);
        return true;
    }
    if (data.size() == ExtendedSize) {
        std::array<quint8, ExtendedSize> bytes{};
        std::copy(data.begin(), data.end(), bytes.begin());
        EXT_CMD_OUT(bytes);
        return true;
    }
    if (error)
        *error = QStringLiteral("the USB scan tool takes six-character commands and 14-byte packets");
    return false;
}

} // namespace quenta
