#pragma once
// The six-character commands the program sends, named once: the program sends them, the simulated
// tool answers them and the tests expect them by these names.
#include <QString>

namespace quenta {

struct ToolCommand {
    quint8 service;   // OBD-II service, or 80 and above for the tool itself
    quint8 parameter; // the PID, or a value the tool expects
    quint8 length;    // bytes of the response message the reply carries

    // "010009": three uppercase hexadecimal pairs.
    QString text() const
    {
        return QStringLiteral("%1%2%3")
            .arg(service, 2, 16, QLatin1Char('0'))
            .arg(parameter, 2, 16, QLatin1Char('0'))
            .arg(length, 2, 16, QLatin1Char('0'))
            .toUpper();
    }
    operator QString() const { return text(); }
};

namespace commands {
inline constexpr ToolCommand SupportedPids01To20{0x01, 0x00, 0x09};
inline constexpr ToolCommand MonitorStatus{0x01, 0x01, 0x09};
inline constexpr ToolCommand SupportedPids21To40{0x01, 0x20, 0x09};
inline constexpr ToolCommand SupportedPids41To60{0x01, 0x40, 0x09};
inline constexpr ToolCommand FreezeFrameSupport{0x02, 0x00, 0x0A};
inline constexpr ToolCommand StoredCodes{0x03, 0x0A, 0x0A};
inline constexpr ToolCommand ClearCodes{0x04, 0x04, 0x04};
inline constexpr ToolCommand PendingCodes{0x07, 0x0A, 0x0A};
// The tool's own commands.
inline constexpr ToolCommand SwitchEcu{0x80, 0x02, 0x04};
inline constexpr ToolCommand FirmwareIdentity{0x90, 0x01, 0x01};
inline constexpr ToolCommand MonitorTestPass{0xF0, 0x05, 0x04};

// The status characters the tool sends on its own between exchanges.
inline constexpr char TalkingToVehicle = 'S';
inline constexpr char NoVehicle = 'P';
inline bool isStatusCharacter(QChar c) { return c == QLatin1Char(TalkingToVehicle) || c == QLatin1Char(NoVehicle); }
} // namespace commands

} // namespace quenta
