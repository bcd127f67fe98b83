// Reading replies: characters cut by 1-based position, and the two readers of two hexadecimal
// characters (the decoders' and the O2 sensor tests').
#include "core/Hex.h"

#include <QtTest>

using namespace quenta;

class tst_hex : public QObject {
    Q_OBJECT

private slots:
    void cut()
    {
        // reply, position, length, the characters cut, the character at the position
        const std::tuple<const char *, int, int, const char *, const char *> rows[] = {
            {"S4110", 1, 1, "S", "S"},    {"A4110C0CB4", 7, 2, "0C", "0"}, {"A4110", 5, 1, "0", "0"},
            {"A4110", 4, 5, "10", "1"},   {"A4110", 6, 2, "", ""},         {"A4110", 1000, 2, "", ""},
            {"A4110", 0, 2, "", ""},      {"A4110", -3, 2, "", ""},        {"A4110", 2, 0, "", "4"},
            {"A4110", 2, -1, "", "4"},    {"", 1, 1, "", ""},
        };
        for (const auto &[reply, p, len, text, at] : rows) {
            QCOMPARE(quenta::cut(QString(reply), p, len), QString(text));
            QCOMPARE(charAt(QString(reply), p), *at ? QChar(*at) : QChar());
        }
    }

    void convHex()
    {
        // A sum above 255 gives 128; lowercase letters are not hexadecimal; blanks count as 0; a
        // single character is the high digit; an empty text becomes "00" in the caller's variable.
        const std::tuple<const char *, int> rows[] = {
            {"00", 0},  {"FF", 255}, {"7F", 127}, {"A0", 160}, {"9F", 159}, {"", 0},    {"a0", 128}, {"0a", 42},
            {" 5", 5},  {"5", 80},   {"S0", 128}, {"G1", 128}, {"G0", 128}, {"FG", 128}, {"F@", 249},
        };
        for (const auto &[in, value] : rows) {
            QString arg = QString(in);
            QCOMPARE(conv_hex(arg), value);
            QCOMPARE(arg, *in ? QString(in) : QStringLiteral("00"));
            QCOMPARE(conv_hex(QString(in)), value);
        }
    }

    // The O2 sensor tests' reader: no cap at 255, lowercase is code - 55.
    void hexPairValue()
    {
        const std::tuple<const char *, int> rows[] = {{"00", 0}, {"FF", 255}, {"33", 51}, {"", 0},
                                                      {"5", 80}, {"S0", 448}, {"a0", 672}};
        for (const auto &[in, value] : rows)
            QCOMPARE(hex_pair_value(QString(in)), value);
    }
};

QTEST_APPLESS_MAIN(tst_hex)
#include "tst_hex.moc"
