#pragma once
// Which device each of COM1 to COM9 stands for.
#include "platform/ScanToolPort.h"

#include <QMap>
#include <functional>
#include <memory>

namespace quenta {

class PortDirectory {
public:
    using Factory = std::function<std::unique_ptr<ScanToolPort>()>;
    using DeviceMaker = std::function<std::unique_ptr<ScanToolPort>(const QString &device)>;

    // COM1-COM4 are the machine's own serial ports (/dev/ttyS0-3); COM5-COM9 are USB serial
    // adapters (/dev/ttyUSB0-4).
    static QString defaultDevice(int com);

    void mapDevice(int com, const QString &device);
    // `description` says what the factory's ports reach, for messages ("simulated scan tool: shipped car").
    void mapFactory(int com, Factory factory, const QString &description);
    // "COM1 (/dev/ttyS0)", or with the factory's description.
    QString describe(int com) const;
    std::unique_ptr<ScanToolPort> create(int com) const;
    // What a device's port is made as; without a maker, the plain serial port.
    void setDeviceMaker(DeviceMaker maker) { m_deviceMaker = std::move(maker); }
    bool hasDeviceMaker() const { return bool(m_deviceMaker); }

private:
    struct Made {
        Factory factory;
        QString description;
    };
    QMap<int, QString> m_devices;
    QMap<int, Made> m_factories;
    DeviceMaker m_deviceMaker;
};

} // namespace quenta
