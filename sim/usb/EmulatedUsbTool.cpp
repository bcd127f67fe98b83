// GLib's headers use the word Qt defines as a macro for its signals: they come first.
#include <umockdev.h>

#include "sim/usb/EmulatedUsbTool.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>

namespace quenta::sim {

struct EmulatedUsbTool::Handler {
    EmulatedUsbTool *owner = nullptr;
    Device device;
    QString path;
    QString node;
    UMockdevIoctlBase *base = nullptr;
    QMutex mutex;
    std::deque<UMockdevIoctlData *> reaped; // completed URBs, handed back in order
    std::deque<UMockdevIoctlData *> pending; // URBs left unanswered until they are discarded
    std::atomic<bool> gone{false};

    static gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer user)
    {
        return static_cast<Handler *>(user)->handle(client);
    }

    gboolean handle(UMockdevIoctlClient *client)
    {
        const gulong request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
        GError *error = nullptr;
        if (gone) {
            // A device that was pulled out answers nothing.
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        if (request == USBDEVFS_SUBMITURB) {
            UMockdevIoctlData *urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
            if (!urbData) {
                g_clear_error(&error);
                umockdev_ioctl_client_complete(client, -1, EFAULT);
                return TRUE;
            }
            auto *urb = reinterpret_cast<usbdevfs_urb *>(urbData->data);
            UMockdevIoctlData *buffer = umockdev_ioctl_data_resolve(urbData, G_STRUCT_OFFSET(usbdevfs_urb, buffer),
                                                                    gsize(urb->buffer_length), &error);
            if (!buffer || urb->type != USBDEVFS_URB_TYPE_CONTROL || urb->buffer_length < 8) {
                g_clear_error(&error);
                umockdev_ioctl_client_complete(client, -1, EINVAL);
                return TRUE;
            }
            std::array<quint8, 8> setup{};
            std::copy(buffer->data, buffer->data + 8, setup.begin());
            bool hang = false;
            const std::optional<QByteArray> data = owner->answer(setup, &hang);
            if (hang) {
                QMutexLocker lock(&mutex);
                pending.push_back(umockdev_ioctl_data_ref(urbData));
                umockdev_ioctl_client_complete(client, 0, 0);
                return TRUE;
            }
            const int room = urb->buffer_length - 8;
            if (data) {
                const int n = int(qMin<qsizetype>(room, data->size()));
                std::copy(data->begin(), data->begin() + n, buffer->data + 8);
                urb->actual_length = n;
                urb->status = 0;
            } else {
                urb->actual_length = 0;
                urb->status = -EPIPE; // a stall
            }
            {
                QMutexLocker lock(&mutex);
                reaped.push_back(umockdev_ioctl_data_ref(urbData));
            }
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
            UMockdevIoctlData *urbData = nullptr;
            {
                QMutexLocker lock(&mutex);
                if (!reaped.empty()) {
                    urbData = reaped.front();
                    reaped.pop_front();
                }
            }
            if (!urbData) {
                umockdev_ioctl_client_complete(client, -1, EAGAIN);
                return TRUE;
            }
            UMockdevIoctlData *where = umockdev_ioctl_data_resolve(arg, 0, sizeof(void *), &error);
            g_clear_error(&error);
            if (where)
                umockdev_ioctl_data_set_ptr(where, 0, urbData); // hands the URB's address back
            umockdev_ioctl_data_unref(urbData);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        if (request == USBDEVFS_DISCARDURB) {
            // As the kernel does: a URB still pending ends as cancelled and is reaped; one that
            // completed already is not found.
            gulong address = 0;
            std::memcpy(&address, arg->data, qMin<gsize>(sizeof address, gsize(arg->data_len)));
            QMutexLocker lock(&mutex);
            const auto it = std::find_if(pending.begin(), pending.end(),
                                         [&](UMockdevIoctlData *d) { return d->client_addr == address; });
            if (it == pending.end()) {
                umockdev_ioctl_client_complete(client, -1, EINVAL);
                return TRUE;
            }
            auto *urb = reinterpret_cast<usbdevfs_urb *>((*it)->data);
            urb->actual_length = 0;
            urb->status = -ENOENT;
            reaped.push_back(*it);
            pending.erase(it);
            ++owner->m_discarded;
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        if ((request == USBDEVFS_CLAIMINTERFACE || request == USBDEVFS_DISCONNECT_CLAIM) && device.refuseClaim) {
            umockdev_ioctl_client_complete(client, -1, EBUSY);
            return TRUE;
        }
        umockdev_ioctl_client_complete(client, 0, 0); // capabilities, claim, set interface ...
        return TRUE;
    }
};

EmulatedUsbTool::EmulatedUsbTool(VehicleProfile profile)
{
    m_tool = new SimulatedScanTool(std::move(profile));
    m_tool->moveToThread(&m_thread);
    m_thread.start();
    inToolThread([this] { m_face = new SimUsbFace(m_tool); });
    m_testbed = umockdev_testbed_new();
}

EmulatedUsbTool::~EmulatedUsbTool()
{
    for (auto &h : m_handlers) {
        h->gone = true;
        umockdev_testbed_detach_ioctl(m_testbed, qPrintable(h->node), nullptr);
        g_object_unref(h->base);
        for (UMockdevIoctlData *d : h->reaped)
            umockdev_ioctl_data_unref(d);
        for (UMockdevIoctlData *d : h->pending)
            umockdev_ioctl_data_unref(d);
    }
    g_object_unref(m_testbed);
    inToolThread([this] {
        delete m_face;
        delete m_tool;
    });
    m_thread.quit();
    m_thread.wait();
}

bool EmulatedUsbTool::available()
{
    return qEnvironmentVariable("LD_PRELOAD").contains(QLatin1String("libumockdev-preload"));
}

QString EmulatedUsbTool::plug(const Device &device, QString *error)
{
    const int address = m_nextAddress++;
    const int port = address - 1;
    auto le = [](int v) { return QStringLiteral("%1%2").arg(v & 0xFF, 2, 16, QLatin1Char('0')).arg((v >> 8) & 0xFF, 2, 16, QLatin1Char('0')); };
    QString descriptors = QStringLiteral("12010002000000") + QStringLiteral("40") + le(device.vendor) + le(device.product)
        + QStringLiteral("0001000000") + QStringLiteral("01");
    descriptors += QStringLiteral("0902") + le(9 + 9 + 7 * device.endpoints) + QStringLiteral("0101008032");
    descriptors += QStringLiteral("09040000%1FF000000").arg(device.endpoints, 2, 16, QLatin1Char('0'));
    for (int i = 0; i < device.endpoints; ++i) {
        const int endpoint = i % 2 == 0 ? 0x81 + i / 2 : 0x01 + i / 2;
        descriptors += QStringLiteral("0705") + QStringLiteral("%1").arg(endpoint, 2, 16, QLatin1Char('0'))
            + QStringLiteral("02400000"); // bulk, 64 bytes
    }
    const QString number = QStringLiteral("%1").arg(address, 3, 10, QLatin1Char('0'));
    const QString path = QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/1-%1").arg(port);
    const QString node = QStringLiteral("/dev/bus/usb/001/") + number;
    const QString text = QStringLiteral("P: %1\nN: bus/usb/001/%2\nE: DEVNAME=%3\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
                                        "E: SUBSYSTEM=usb\nE: BUSNUM=001\nE: DEVNUM=%2\n"
                                        "A: busnum=1\\n\nA: devnum=%4\\n\nA: speed=12\\n\n"
                                        "A: idVendor=%5\\n\nA: idProduct=%6\\n\n"
                                        "A: bConfigurationValue=1\\n\nA: bNumConfigurations=1\\n\n"
                                        "H: descriptors=%7\n")
                             .arg(path, number, node)
                             .arg(address)
                             .arg(device.vendor, 4, 16, QLatin1Char('0'))
                             .arg(device.product, 4, 16, QLatin1Char('0'))
                             .arg(descriptors.toUpper());
    GError *gerror = nullptr;
    if (!umockdev_testbed_add_from_string(m_testbed, text.toUtf8().constData(), &gerror)) {
        if (error)
            *error = QString::fromUtf8(gerror->message);
        g_clear_error(&gerror);
        return QString();
    }
    auto handler = std::make_unique<Handler>();
    handler->owner = this;
    handler->device = device;
    handler->path = QStringLiteral("/sys") + path;
    handler->node = node;
    handler->base = umockdev_ioctl_base_new();
    g_signal_connect(handler->base, "handle-ioctl", G_CALLBACK(&Handler::onIoctl), handler.get());
    if (!umockdev_testbed_attach_ioctl(m_testbed, node.toUtf8().constData(), handler->base, &gerror)) {
        if (error)
            *error = QString::fromUtf8(gerror->message);
        g_clear_error(&gerror);
        g_object_unref(handler->base);
        return QString();
    }
    m_handlers.push_back(std::move(handler));
    umockdev_testbed_uevent(m_testbed, qPrintable(m_handlers.back()->path), "add");
    return m_handlers.back()->path;
}

void EmulatedUsbTool::unplug(const QString &path)
{
    for (auto &h : m_handlers) {
        if (h->path != path || h->gone)
            continue;
        h->gone = true;
        umockdev_testbed_uevent(m_testbed, qPrintable(path), "remove");
        umockdev_testbed_remove_device(m_testbed, qPrintable(path));
    }
}

bool EmulatedUsbTool::takeOne(std::atomic<int> &count)
{
    int left = count.load();
    while (left > 0 && !count.compare_exchange_weak(left, left - 1)) {
    }
    return left > 0;
}

std::optional<QByteArray> EmulatedUsbTool::answer(const std::array<quint8, 8> &setup, bool *hang)
{
    ++m_transfers;
    {
        QMutexLocker lock(&m_mutex);
        m_setups << setup;
    }
    *hang = takeOne(hangNext);
    if (*hang || takeOne(failNext))
        return std::nullopt;
    return m_face->control(setup);
}

QList<std::array<quint8, 8>> EmulatedUsbTool::setups() const
{
    QMutexLocker lock(&m_mutex);
    return m_setups;
}

void EmulatedUsbTool::clearSetups()
{
    QMutexLocker lock(&m_mutex);
    m_setups.clear();
}

} // namespace quenta::sim
