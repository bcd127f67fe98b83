#include "elm/ElmFrames.h"

#include <QMap>
#include <algorithm>
#include <iterator>

namespace quenta::elm {

namespace {

struct WordText {
    const char *text;
    Word word;
};
constexpr WordText Words[] = {
    {"NO DATA", Word::NoData},
    {"?", Word::Unknown},
    {"STOPPED", Word::Stopped},
    {"UNABLE TO CONNECT", Word::UnableToConnect},
    {"CAN ERROR", Word::CanError},
    {"BUS ERROR", Word::BusError},
    {"FB ERROR", Word::BusError},
    {"BUS BUSY", Word::BusBusy},
    {"DATA ERROR", Word::DataError},
    {"BUFFER FULL", Word::BufferFull},
};

QByteArray withoutSpaces(QByteArray s)
{
    s.replace(' ', QByteArray());
    return s;
}

bool isHex(const QByteArray &s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
    });
}

// The ISO-TP messages of one answer, assembled per ECU: two ECUs' frames may interleave.
class Assembly {
public:
    explicit Assembly(Answer &answer) : m_answer(answer) {}

    void frame(quint32 id, const QByteArray &data)
    {
        if (data.isEmpty())
            return broken();
        const int kind = quint8(data[0]) >> 4;
        const int low = quint8(data[0]) & 0x0F;
        if (kind == 0) {
            if (low == 0 || data.size() < 1 + low)
                return broken();
            drop(id);
            m_answer.messages << EcuMessage{id, data.mid(1, low)};
        } else if (kind == 1) {
            if (data.size() < 3)
                return broken();
            drop(id);
            const int total = (low << 8) | quint8(data[1]);
            m_answer.messages << EcuMessage{id, data.mid(2, total)};
            m_open.insert(id, {int(m_answer.messages.size()) - 1, total, 1});
        } else if (kind == 2) {
            auto open = m_open.find(id);
            if (open == m_open.end() || low != open->next)
                return broken();
            QByteArray &bytes = m_answer.messages[open->index].bytes;
            bytes += data.mid(1, open->total - int(bytes.size()));
            open->next = (open->next + 1) & 0x0F;
        } // flow control frames are the adapter's business
        finish(id);
    }

    // Messages still missing frames at the end of the answer are not messages.
    void end()
    {
        QList<int> cut;
        for (const Open &o : std::as_const(m_open))
            cut << o.index;
        std::sort(cut.begin(), cut.end(), std::greater<int>());
        for (int i : cut) {
            m_answer.messages.removeAt(i);
            ++m_answer.broken;
        }
        m_open.clear();
    }

private:
    struct Open {
        int index;
        int total;
        int next;
    };
    void broken() { ++m_answer.broken; }
    void finish(quint32 id)
    {
        auto open = m_open.find(id);
        if (open != m_open.end() && m_answer.messages[open->index].bytes.size() >= open->total)
            m_open.erase(open);
    }
    // A new message from an ECU whose last one is still open: the open one lost frames.
    void drop(quint32 id)
    {
        auto open = m_open.find(id);
        if (open == m_open.end())
            return;
        const int index = open->index;
        m_open.erase(open);
        m_answer.messages.removeAt(index);
        for (Open &o : m_open)
            if (o.index > index)
                --o.index;
        broken();
    }

    Answer &m_answer;
    QMap<quint32, Open> m_open;
};

} // namespace

Protocol protocolFromNumber(const QByteArray &dpnAnswer)
{
    QByteArray s = withoutSpaces(dpnAnswer.trimmed().toUpper());
    if (s.startsWith('A'))
        s = s.mid(1);
    if (s.size() != 1)
        return Protocol::Unknown;
    switch (s[0]) {
    case '1':
    case '2':
        return Protocol::J1850;
    case '3':
    case '4':
    case '5':
        return Protocol::Iso;
    case '6':
    case '8':
        return Protocol::Can11;
    case '7':
    case '9':
        return Protocol::Can29;
    default:
        return Protocol::Unknown;
    }
}

quint8 j1850Crc(const QByteArray &bytes)
{
    quint8 crc = 0xFF;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80) ? quint8((crc << 1) ^ 0x1D) : quint8(crc << 1);
    }
    return quint8(~crc);
}

quint8 byteSum(const QByteArray &bytes)
{
    quint8 sum = 0;
    for (char c : bytes)
        sum = quint8(sum + quint8(c));
    return sum;
}

QList<EcuMessage> Answer::from(quint32 id) const
{
    QList<EcuMessage> out;
    for (const EcuMessage &m : messages)
        if (m.id == id)
            out << m;
    return out;
}

QList<quint32> Answer::ecus() const
{
    QList<quint32> out;
    for (const EcuMessage &m : messages)
        if (!out.contains(m.id))
            out << m.id;
    std::sort(out.begin(), out.end());
    return out;
}

bool Answer::transient() const
{
    static constexpr Word Passing[] = {Word::Unknown, Word::Stopped, Word::CanError, Word::BusError,
                                       Word::BusBusy, Word::DataError, Word::LineDataError, Word::BufferFull};
    return broken > 0 || std::any_of(std::begin(Passing), std::end(Passing), [this](Word w) { return has(w); });
}

Answer parseAnswer(const QByteArray &text, Protocol protocol, const QByteArray &sent)
{
    Answer answer;
    Assembly assembly(answer);
    QByteArray body = text.left(text.indexOf('>') < 0 ? text.size() : text.indexOf('>'));
    body.replace('\0', QByteArray()).replace('\n', '\r');
    const QByteArray echo = withoutSpaces(sent.trimmed().toUpper());

    for (const QByteArray &raw : body.split('\r')) {
        const QByteArray line = raw.trimmed().toUpper();
        if (line.isEmpty() || line.startsWith("SEARCHING"))
            continue;
        const QByteArray packed = withoutSpaces(line);
        if (!echo.isEmpty() && packed == echo)
            continue;
        if (line.startsWith("BUS INIT")) {
            if (line.contains("ERROR"))
                answer.words << Word::BusInitError;
            continue;
        }
        if (line.endsWith("<DATA ERROR") || line.endsWith("<RX ERROR")) {
            answer.words << Word::LineDataError;
            continue;
        }
        const auto known = std::find_if(std::begin(Words), std::end(Words),
                                        [&](const WordText &w) { return line == w.text; });
        if (known != std::end(Words)) {
            answer.words << known->word;
            continue;
        }
        const int idDigits = protocol == Protocol::Can11 ? 3 : protocol == Protocol::Can29 ? 8 : 0;
        const bool frameShape = protocol != Protocol::Unknown && isHex(packed) && (packed.size() - idDigits) % 2 == 0
            && packed.size() - idDigits >= (idDigits ? 2 : 10);
        if (!frameShape) {
            answer.lines << raw.trimmed();
            continue;
        }
        const QByteArray bytes = QByteArray::fromHex(packed.mid(idDigits));
        if (idDigits) {
            assembly.frame(packed.left(idDigits).toUInt(nullptr, 16), bytes);
            continue;
        }
        // Legacy: three header bytes, the message, the check over all of them.
        const QByteArray covered = bytes.chopped(1);
        const quint8 check = quint8(bytes.back());
        if (check != (protocol == Protocol::J1850 ? j1850Crc(covered) : byteSum(covered))) {
            ++answer.broken;
            continue;
        }
        answer.messages << EcuMessage{quint8(covered[2]), covered.mid(3)};
    }
    assembly.end();
    return answer;
}

} // namespace quenta::elm
