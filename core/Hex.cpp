#include "core/Hex.h"

namespace quenta {

int conv_hex(QString &Hex1)
{
    if (Hex1.isEmpty())
        Hex1 = QStringLiteral("00");
    auto digit = [](QChar ch) {
        int d = qMax(int(ch.unicode()), 48) - 48;
        if (d > 9)
            d -= 7;
        return d;
    };
    const int high = digit(Hex1.at(0));
    const int low = Hex1.size() > 1 ? digit(Hex1.at(1)) : 0;
    const int value = 16 * high + low;
    return value > 255 ? 128 : value;
}

int conv_hex(const QString &Hex1)
{
    QString copy = Hex1;
    return conv_hex(copy);
}

int hex_pair_value(const QString &text)
{
    const QString t = text.isEmpty() ? QStringLiteral("00") : text;
    auto digit = [](QChar ch) {
        const int code = ch.unicode();
        return code - 48 > 9 ? code - 55 : code - 48;
    };
    const int high = digit(t.at(0));
    const int low = t.size() > 1 ? digit(t.at(1)) : 0;
    return 16 * high + low;
}

} // namespace quenta
