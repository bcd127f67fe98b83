#pragma once
// Why the system refuses this user a serial device, and what gives access, as one line for the
// terminal: the message boxes keep their own words, and a user who starts the program from a
// terminal learns there what to do.
#include <QString>
#include <optional>

namespace quenta {

// What decides access to a device, as the system tells it.
struct DeviceAccess {
    QString device;
    QString user;          // the user running the program
    QString owner;         // the device's owner
    QString group;         // the device's group ("dialout" for a serial port on Debian)
    QString mode;          // as ls shows it: "crw-rw----"
    bool groupMayUse = false;     // the group may read and write the device
    bool listedInGroup = false;   // the group database counts the user in the group
    bool sessionHasGroup = false; // this process carries the group (from the login)
};

// The facts for `device`; nothing when it cannot be examined (it went away).
std::optional<DeviceAccess> deviceAccess(const QString &device);
// The reason and the fix, without the program's name.
QString permissionAdvice(const DeviceAccess &access);

// The programs call this once with their name: from then on a serial device that the system
// refuses this user prints "NAME: " and the advice on stderr, once per advice (the start-up probe
// of four ports, and the search for a pulled adapter every second, would otherwise repeat it).
void reportPortPermissions(const QString &program);
// Called after opening `device` failed with a permission error (which also covers a device that
// another program has locked): says something only when the system denies this user access.
void portPermissionRefused(const QString &device);

} // namespace quenta
