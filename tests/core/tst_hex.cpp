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
            {"S4110", 1, 1, "S", "S"}, {"A4110C0CB4", 7, 2, "0C", "0"}, {"A4110", 5, 1, "0", "0"}, {"A4110", 4, 5, "10", "1"},
            {"A4110", 6, 2, "", ""},   {"A4110", 0, 2, "", ""},         {"A4110", -3, 2, "", ""},  {"A4110", 2, 0, "", "4"},
            {"A4110", 2, -1, "", "4"}, {"", 1, 1, "", ""},
        };
        for (const auto &[reply, p, len, text, at] : rows) {
            QCOMPARE(quenta::cut(QString(reply), p, len), QString(text));
            QCOMPARE(charAt(QString(reply), p), *at ? QChar(*at) : QChar());
        }
    }

    // The decoders' reader caps a sum above 255 at 128, takes lowercase and other characters by
    // their code, a blank as 0 and a single character as the high digit, and makes an empty text
    // "00" in the caller's variable; the O2 sensor tests' reader has no cap, lowercase is code - 55.
    void hexPairs()
    {
        // text, conv_hex, hex_pair_value (-1: left to the first reader)
        const std::tuple<const char *, int, int> rows[] = {
            {"00", 0, 0}, {"FF", 255, 255}, {"9F", 159, 159}, {"", 0, 0}, {"5", 80, 80}, {"a0", 128, 672},
            {"S0", 128, 448}, {"0a", 42, 42}, {" 5", 5, -1}, {"FG", 128, -1}, {"F@", 249, -1},
        };
        for (const auto &[in, value, pair] : rows) {
            QString arg = QString(in);
            QCOMPARE(conv_hex(arg), value);
            QCOMPARE(arg, *in ? QString(in) : QStringLiteral("00"));
            QCOMPARE(conv_hex(QString(in)), value);
            if (pair >= 0)
                QCOMPARE(hex_pair_value(QString(in)), pair);
        }
    }
};

QTEST_APPLESS_MAIN(tst_hex)
#include "tst_hex.moc"
