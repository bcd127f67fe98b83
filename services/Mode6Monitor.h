#pragma once
// The on-board monitoring (mode 6) tests: the PASS command, the binary packet exchange, and the
// window's "Get Test Results" and "SCAN for supported tests" on the entries the user typed.
#include "core/Models.h"
#include "link/ScanToolLink.h"
#include "platform/Prompts.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <array>
#include <optional>

namespace quenta {


// What outlives the window: the header bytes of the last acknowledged PASS command and the reply
// buffer (bytes 0 to 12 of the last binary reply).
struct Mode6State {
    quint8 H1 = 0;
    quint8 H2 = 0;
    static constexpr quint8 H3 = 0xF1;
    std::array<quint8, 14> reply{};
};

class Mode6Monitor : public QObject {
    Q_OBJECT
public:
    static inline const QString NoResponseText = QStringLiteral(" No Response to this message");
    static inline const QString NotAcknowledgedText = QStringLiteral("PASS command not acknowledged");
    // An adapter's test may hold both limits where the tool's reply holds one: the other is named.
    static inline const QString MinNotShownText = QStringLiteral(" Min limit not shown: %1");
    static inline const QString MaxNotShownText = QStringLiteral(" Max limit not shown: %1");
    static inline const QString InputErrorText =
        QStringLiteral("Error in one of the Input Fields, please correct and try again");
    static constexpr int PacketSize = 14;
    static constexpr int ReplySize = 13;
    static constexpr Rgb PassWhite = 0xFFFFFF;

    // The window's entries as typed, and its result boxes.
    struct Fields {
        QString testId;
        QString componentId;
        QString scale = QStringLiteral("1");
        QString addSubtract = QStringLiteral("0"); // shown, never read
        QString units;
        QString bytesReturned = QStringLiteral("1"); // shown, never read
        QString returned;
        QString value;
        QString min;
        QString max;
        QString passFail;
        Rgb passFailBack = PassWhite;
        QStringList supported;
    };

    Mode6Monitor(ScanToolLink &link, Mode6State &state, Prompts &prompts);

    Fields fields;

    // "Get Test Results" and "SCAN for supported tests".
    void getTestResults();
    void scan();

    // The PASS command handshake: true with the header bytes set, or false with the stop flag
    // raised after the "not acknowledged" message.
    bool pass_command();
    // PASS, then one packet out and its binary reply into the reply buffer. False when nothing
    // was sent or no whole reply came; the port is back in text mode either way.
    bool mode6_request(quint8 service, quint8 test, quint8 component, quint8 length);

    // The packets sent by the last "Get Test Results" or scan, in order.
    const QList<QByteArray> &packets() const { return m_packets; }

    // An entry's number: "&H" hexadecimal, else the leading decimal number (0 when there is none).
    static double entryNumber(const QString &entry);
    // An ID entry read as the window reads it: "&H" hexadecimal or a leading decimal number,
    // halves to even; nothing when it is not in 0 to 255.
    static std::optional<int> entryId(const QString &entry);
    // "$1A" becomes "&H1A", as the user sees it.
    static QString rewriteDollar(const QString &entry);

signals:
    void changed();

private:
    // The acknowledgement, with status characters sent just before it taken off.
    QString acknowledgement();
    ScanToolLink &m_link;
    Mode6State &m_state;
    Prompts &m_prompts;
    QList<QByteArray> m_packets;
    // The last reply's twin with the limit it could not hold, when the port had one.
    QByteArray m_otherLimit;
};

} // namespace quenta
