#pragma once
// Item lines: the comma-separated text form of the settings file and the log files. A text is
// written in double quotes (a double quote inside it doubled, a line break inside it written as
// CR LF and kept inside the quotes), a number bare with a period as decimal point, true and false
// as #TRUE# and #FALSE#, "no value" as #NULL#. Every line ends with CR LF.
//
// Reading goes item by item, as the files were always read back: items end at a comma or at the
// end of a line, so a bare line (a control's name) reads as one item too.
#include <QString>
#include <QStringList>

#include <optional>

namespace quenta::itemline {

inline constexpr char EndOfLine[] = "\r\n";

QString text(const QString &s);
// Plain decimal notation at up to 15 significant digits ("0.1", "-2", "1500"); empty for NaN and
// the infinities, which have no plain form.
QString number(double x);
QString number(qint64 n);
QString boolean(bool b);
QString null();
// The items joined by commas, with the line end.
QString line(const QStringList &items);

struct Item {
    enum class Kind { Text, Bare, Number, Boolean, Null };
    Kind kind = Kind::Bare;
    QString text;       // a quoted item without its quotes; any other item as written, trimmed
    double number = 0;  // Kind::Number
    bool boolean = false; // Kind::Boolean

    bool isText() const { return kind == Kind::Text || kind == Kind::Bare; }
    // The number when it is a whole number that fits an int.
    std::optional<int> wholeNumber() const;
};

class Reader {
public:
    explicit Reader(QString content) : m_text(std::move(content)) {}
    bool atEnd() const { return !m_peeked && m_pos >= m_text.size(); }
    // The next item; an empty bare item when nothing is left.
    Item next();
    // The next item without taking it; nullptr when nothing is left.
    const Item *peek();

private:
    Item parse();

    QString m_text;
    qsizetype m_pos = 0;
    std::optional<Item> m_peeked;
};

// All items of a text, in order.
QList<Item> items(const QString &content);

} // namespace quenta::itemline
