#pragma once
// A data reply read by its fields rather than by bare positions: whether the ECU answered, its
// address, the response service and data bytes A, B, ... A field the reply does not hold reads as
// empty (its value as 0), so a short reply can never crash a reader.
#include "pids/Hex.h"

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

private:
    QString m_text;
    int m_frame;
};

} // namespace quenta
