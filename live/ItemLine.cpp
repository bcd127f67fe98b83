#include "live/ItemLine.h"

#include "pids/numtext.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace quenta::itemline {

QString text(const QString &s)
{
    QString body = s;
    body.replace(QLatin1Char('"'), QLatin1String("\"\""));
    // One line-break form in the file, whatever the text used.
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    body.replace(QLatin1Char('\n'), QLatin1String(EndOfLine));
    return QLatin1Char('"') + body + QLatin1Char('"');
}

QString number(double x)
{
    return numtext::fileNumber(x);
}

QString number(qint64 n) { return QString::number(n); }

QString boolean(bool b) { return b ? QStringLiteral("#TRUE#") : QStringLiteral("#FALSE#"); }

QString null() { return QStringLiteral("#NULL#"); }

QString line(const QStringList &items) { return items.join(QLatin1Char(',')) + QLatin1String(EndOfLine); }

std::optional<int> Item::wholeNumber() const
{
    if (kind != Kind::Number || number != std::trunc(number) || number < std::numeric_limits<int>::min()
        || number > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(number);
}

Item Reader::next()
{
    if (m_peeked) {
        Item item = std::move(*m_peeked);
        m_peeked.reset();
        return item;
    }
    return parse();
}

const Item *Reader::peek()
{
    if (!m_peeked) {
        if (m_pos >= m_text.size())
            return nullptr;
        m_peeked = parse();
    }
    return &*m_peeked;
}

Item Reader::parse()
{
    const qsizetype size = m_text.size();
    auto at = [&](qsizetype i) { return i < size ? m_text.at(i) : QChar(); };
    auto isLineEnd = [](QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); };
    // Takes the comma or the line end that closes an item.
    auto takeSeparator = [&] {
        if (at(m_pos) == QLatin1Char(',')) {
            ++m_pos;
        } else if (at(m_pos) == QLatin1Char('\r')) {
            m_pos += at(m_pos + 1) == QLatin1Char('\n') ? 2 : 1;
        } else if (at(m_pos) == QLatin1Char('\n')) {
            ++m_pos;
        }
    };

    while (at(m_pos) == QLatin1Char(' ') || at(m_pos) == QLatin1Char('\t'))
        ++m_pos;

    Item item;
    if (at(m_pos) == QLatin1Char('"')) {
        item.kind = Item::Kind::Text;
        ++m_pos;
        while (m_pos < size) {
            const QChar c = m_text.at(m_pos);
            if (c == QLatin1Char('"')) {
                if (at(m_pos + 1) != QLatin1Char('"')) {
                    ++m_pos;
                    break;
                }
                item.text += c;
                m_pos += 2;
            } else if (c == QLatin1Char('\r') && at(m_pos + 1) == QLatin1Char('\n')) {
                item.text += QLatin1Char('\n');
                m_pos += 2;
            } else {
                item.text += c;
                ++m_pos;
            }
        }
        // Anything between the closing quote and the separator is not part of the item.
        while (m_pos < size && at(m_pos) != QLatin1Char(',') && !isLineEnd(at(m_pos)))
            ++m_pos;
        takeSeparator();
        return item;
    }

    const qsizetype start = m_pos;
    while (m_pos < size && at(m_pos) != QLatin1Char(',') && !isLineEnd(at(m_pos)))
        ++m_pos;
    item.text = m_text.mid(start, m_pos - start).trimmed();
    takeSeparator();

    static const QRegularExpression numeric(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?$"));
    if (item.text == QLatin1String("#TRUE#") || item.text == QLatin1String("#FALSE#")) {
        item.kind = Item::Kind::Boolean;
        item.boolean = item.text == QLatin1String("#TRUE#");
    } else if (item.text == QLatin1String("#NULL#")) {
        item.kind = Item::Kind::Null;
    } else if (numeric.match(item.text).hasMatch()) {
        item.kind = Item::Kind::Number;
        item.number = item.text.toDouble();
    }
    return item;
}

QList<Item> items(const QString &content)
{
    Reader reader(content);
    QList<Item> out;
    while (!reader.atEnd())
        out << reader.next();
    return out;
}

} // namespace quenta::itemline
