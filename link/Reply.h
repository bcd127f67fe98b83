#pragma once
// A data reply read by its fields rather than by bare positions: whether the ECU answered, its
// address, the response service and data bytes A, B, ... A field the reply does not hold reads as
// empty (its value as 0), so a short reply can never crash a reader.
#include "link/Commands.h"
#include "core/Hex.h"

namespace quenta {

class Reply {
public:
    // frameBytes: 1 when the reply carries a freeze-frame number after the PID (service 02).
    explicit Reply(QString text = QString(), int frameBytes = 0) : m_text(std::move(text)), m_frame(frameBytes) {}

    const QString &text() const { return m_text; }
    bool isEmpty() const { return m_text.isEmpty(); }
    // "S" at position 2: the tool asked, the ECU did not answer.
    bool ecuSilent() const { return charAt(m_text, 2) == QLatin1Char('S'); }
    // The answering ECU's address, the last header byte, as its two characters.
    QString ecuAddress() const { return cut(m_text, 6, 2); }
    // The response service byte (the request's service + 40 hex).
    int service() const { return conv_hex(cut(m_text, 8, 2)); }
    // 1-based position of data byte i (0 is A).
    int dataPosition(int i) const { return 12 + 2 * m_frame + 2 * i; }
    // Data byte i as its two characters, and as a number.
    QString pair(int i) const { return cut(m_text, dataPosition(i), 2); }
    int byte(int i) const { return conv_hex(pair(i)); }

    // What a reply to `command` is, read before anything is decoded from it.
    enum class Kind {
        Answer,   // the response the command asked for (or the ECU's refusal, 7F)
        Silent,   // "S" at position 2: the ECU did not answer
        Repeat,   // "S" at position 3: the tool asks for the request again
        Garbled,  // not hexadecimal, too short, or a response to another request
    };
    Kind check(const ToolCommand &command) const;

private:
    QString m_text;
    int m_frame;
};

inline Reply::Kind Reply::check(const ToolCommand &command) const
{
    if (ecuSilent())
        return Kind::Silent;
    if (charAt(m_text, 3) == QLatin1Char('S'))
        return Kind::Repeat;
    QString t = m_text;
    const bool codes = command.service == 0x03 || command.service == 0x07;
    if (codes) {
        // The tool's own word that it has no code data stands where the header would.
        const QString mark = cut(t, 2, 2);
        if (mark == QLatin1String("FF") || mark == QLatin1String("FE"))
            return Kind::Answer;
        // A blank or control character at position 10 is the tool's known quirk in code replies.
        if (charAt(t, 10) < QLatin1Char('0') && !charAt(t, 10).isNull())
            t.remove(9, 1);
    }
    const int end = 1 + 2 * command.length;
    if (t.size() < end)
        return Kind::Garbled;
    for (int i = 1; i < end; ++i) {
        const QChar c = t.at(i);
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
            return Kind::Garbled;
    }
    const int service = conv_hex(cut(t, 8, 2));
    if (service == 0x7F)
        return Kind::Answer;
    if (service != command.service + 0x40)
        return Kind::Garbled;
    // Services 01 and 02 echo the PID.
    if ((command.service == 0x01 || command.service == 0x02) && conv_hex(cut(t, 10, 2)) != command.parameter)
        return Kind::Garbled;
    return Kind::Answer;
}

} // namespace quenta
