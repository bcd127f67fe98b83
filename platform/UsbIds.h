#pragma once
// Which USB scan tool to claim, and how its attach and detach are watched: all a caller needs to
// name the tool, without libusb's header.
#include <QString>
#include <QtGlobal>
#include <optional>

namespace quenta {

struct UsbIds {
    quint16 vendor = 0;
    quint16 product = 0;
};

// "VID:PID", four hexadecimal digits at most each; nothing for any other text.
std::optional<UsbIds> parseUsbIds(const QString &text);

// libusb's hotplug events where the system has them, else a look at the device list now and then.
enum class UsbWatch { Auto, Enumeration };

} // namespace quenta
