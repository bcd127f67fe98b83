#pragma once
// Reading replies: 1-based character positions, cut safely, and two-digit hexadecimal values.
#include <QString>

namespace quenta {

// Characters p .. p+len-1 of a reply (1-based); whatever of them exists, empty beyond the end.
inline QString cut(const QString &reply, int p, int len = 1)
{
    if (p < 1 || len <= 0 || p > reply.size())
        return QString();
    return reply.mid(p - 1, len);
}

// The character at 1-based position p, or a null character beyond the end.
inline QChar charAt(const QString &reply, int p)
{
    return p >= 1 && p <= reply.size() ? reply.at(p - 1) : QChar();
}

// Two hexadecimal characters to 0-255. An empty text becomes "00" (in the caller's variable too);
// characters below "0" count as "0"; lowercase letters are not hexadecimal here; a sum above 255
// gives 128. A single character is read as the high digit of a byte whose low digit is missing.
int conv_hex(QString &Hex1);
int conv_hex(const QString &Hex1);

// The second reading of two hexadecimal characters, used by the O2 sensor tests: digit = code - 48,
// and code - 55 when that is above 9; an empty text counts as "00".
int hex_pair_value(const QString &text);

} // namespace quenta
