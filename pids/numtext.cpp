#include "pids/numtext.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace quenta::numtext {

namespace {

constexpr int kDoubleDigits = 15;
constexpr int kSingleDigits = 7;

// A finite number as sign, significant digits and decimal exponent: value = d.ddd * 10^exponent.
// digits never has trailing zeros; zero is {false, "0", 0}.
struct Decimal {
    bool negative = false;
    std::string digits;
    int exponent = 0;

    bool isZero() const { return digits == "0"; }
    // The digit standing at 10^power ('0' outside the significant digits).
    char digitAt(int power) const
    {
        const long index = long(exponent) - power;
        return index >= 0 && index < long(digits.size()) ? digits[std::size_t(index)] : '0';
    }
};

void stripTrailingZeros(Decimal &d)
{
    const auto last = d.digits.find_last_not_of('0');
    if (last == std::string::npos) {
        d = Decimal{false, "0", 0};
        return;
    }
    d.digits.resize(last + 1);
}

// Keeps the first `keep` significant digits, rounding half away from zero on the digit that
// follows. keep may be zero or negative (the value then rounds to 0 or to one unit above).
void roundDigits(Decimal &d, long keep)
{
    if (keep >= long(d.digits.size()))
        return;
    if (keep < 0) {
        d = Decimal{false, "0", 0};
        return;
    }
    const bool up = d.digits[std::size_t(keep)] >= '5';
    d.digits.resize(std::size_t(keep));
    if (up) {
        long i = keep - 1;
        for (; i >= 0 && d.digits[std::size_t(i)] == '9'; --i)
            d.digits[std::size_t(i)] = '0';
        if (i >= 0) {
            ++d.digits[std::size_t(i)];
        } else {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        }
    }
    stripTrailingZeros(d);
}

// Parses snprintf's "%e" output. The decimal point is taken as '.' or ',' so a changed
// numeric locale cannot break it.
Decimal parseExponentForm(const char *s)
{
    Decimal d;
    if (*s == '-') {
        d.negative = true;
        ++s;
    }
    for (; *s && *s != 'e'; ++s) {
        if (*s >= '0' && *s <= '9')
            d.digits += *s;
    }
    if (*s == 'e')
        d.exponent = std::atoi(s + 1);
    return d;
}

// The one routine every text below is built on: x rounded to `significant` digits.
// glibc's printf breaks exact ties to even, so a few guard digits are printed and the
// rounding is done here; only when the guard digits read exactly "500" is the exact
// expansion printed (a double's expansion has at most 767 significant digits).
Decimal decompose(double x, int significant)
{
    if (x == 0)
        return Decimal{false, "0", 0};
    constexpr int kGuard = 3;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", significant - 1 + kGuard, x);
    Decimal d = parseExponentForm(buf);
    if (d.digits.compare(std::size_t(significant), std::string::npos, "500") == 0) {
        char exact[840];
        std::snprintf(exact, sizeof exact, "%.800e", x);
        d = parseExponentForm(exact);
    }
    roundDigits(d, significant);
    return d;
}

QString nonFinite(double x)
{
    if (std::isnan(x))
        return QStringLiteral("NaN");
    return x < 0 ? QStringLiteral("-Inf") : QStringLiteral("Inf");
}

// Whole-number digits of d, "" when its magnitude is below 1.
QString integerDigits(const Decimal &d)
{
    QString out;
    if (d.isZero() || d.exponent < 0)
        return out;
    for (int p = d.exponent; p >= 0; --p)
        out += QLatin1Char(d.digitAt(p));
    return out;
}

QString fractionDigits(const Decimal &d, int places)
{
    QString out;
    for (int p = -1; p >= -places; --p)
        out += QLatin1Char(d.digitAt(p));
    return out;
}

// Shared by text, textSingle, leadingBlank and plain. blankStyle gives the leading blank for
// non-negative numbers and drops the "0" before the decimal point.
QString render(double x, int significant, bool blankStyle)
{
    if (!std::isfinite(x))
        return nonFinite(x);
    const Decimal d = decompose(x, significant);
    QString out;
    if (d.negative)
        out += QLatin1Char('-');
    else if (blankStyle)
        out += QLatin1Char(' ');

    if (d.exponent >= significant || d.exponent < -4) {
        out += QLatin1Char(d.digits[0]);
        if (d.digits.size() > 1) {
            out += QLatin1Char('.');
            out += QLatin1String(d.digits.data() + 1, qsizetype(d.digits.size() - 1));
        }
        out += QLatin1Char('E');
        out += QLatin1Char(d.exponent < 0 ? '-' : '+');
        out += QString::number(std::abs(d.exponent)).rightJustified(2, QLatin1Char('0'));
        return out;
    }

    const QString whole = integerDigits(d);
    const QString fraction = fractionDigits(d, std::max(0, int(d.digits.size()) - 1 - d.exponent));
    out += whole.isEmpty() && (!blankStyle || fraction.isEmpty()) ? QStringLiteral("0") : whole;
    if (!fraction.isEmpty())
        out += QLatin1Char('.') + fraction;
    return out;
}

bool isPlaceholder(QChar c)
{
    return c == QLatin1Char('0') || c == QLatin1Char('#') || c == QLatin1Char('.');
}

} // namespace

QString text(double x)
{
    return render(x, kDoubleDigits, false);
}

QString textSingle(float x)
{
    // A float widens to double exactly, so its expansion is unchanged.
    return render(double(x), kSingleDigits, false);
}

QString leadingBlank(double x)
{
    return render(x, kDoubleDigits, true);
}

QString fileNumber(double x, int decimals)
{
    if (!std::isfinite(x))
        return QString();
    QString s;
    if (decimals >= 0) {
        s = QString::number(x, 'f', decimals);
    } else {
        s = QString::number(x, 'g', 15);
        if (s.contains(QLatin1Char('e'))) {
            const int exponent = int(std::floor(std::log10(std::fabs(x))));
            s = QString::number(x, 'f', qBound(0, 14 - exponent, 330));
            if (s.contains(QLatin1Char('.'))) {
                while (s.endsWith(QLatin1Char('0')))
                    s.chop(1);
                if (s.endsWith(QLatin1Char('.')))
                    s.chop(1);
            }
        }
    }
    if (s.startsWith(QLatin1Char('-')) && s.mid(1).toDouble() == 0)
        s.remove(0, 1);
    return s;
}

QString plain(double x)
{
    return render(x, kSingleDigits, false);
}

double leadingNumber(const QString &s)
{
    // The number is rebuilt as "[-]digits e exponent" with no decimal point, so strtod reads it
    // the same under any numeric locale and never sees "inf", "nan" or hex text.
    qsizetype i = 0;
    const qsizetype n = s.size();
    const auto isDigit = [&](qsizetype k) {
        return k < n && s[k] >= QLatin1Char('0') && s[k] <= QLatin1Char('9');
    };
    while (i < n && (s[i] == QLatin1Char(' ') || s[i] == QLatin1Char('\t')))
        ++i;
    std::string number;
    if (i < n && (s[i] == QLatin1Char('-') || s[i] == QLatin1Char('+'))) {
        if (s[i] == QLatin1Char('-'))
            number += '-';
        ++i;
    }
    bool anyDigit = false;
    for (; isDigit(i); ++i, anyDigit = true)
        number += char(s[i].unicode());
    long long exponent = 0;
    if (i < n && s[i] == QLatin1Char('.')) {
        for (++i; isDigit(i); ++i, --exponent, anyDigit = true)
            number += char(s[i].unicode());
    }
    if (!anyDigit)
        return 0;
    if (i < n && (s[i] == QLatin1Char('E') || s[i] == QLatin1Char('e'))) {
        qsizetype k = i + 1;
        bool minus = false;
        if (k < n && (s[k] == QLatin1Char('-') || s[k] == QLatin1Char('+')))
            minus = s[k++] == QLatin1Char('-');
        long long written = 0; // stays 0 for "3E" and "3E+", which read as 3
        for (; isDigit(k); ++k) // capped far past any double's range, so it cannot overflow
            written = std::min(written * 10 + (s[k].unicode() - '0'), 1000000000LL);
        exponent += minus ? -written : written;
    }
    number += 'e' + std::to_string(exponent);
    return std::strtod(number.c_str(), nullptr);
}

QString first(const QString &t, int n)
{
    return n <= 0 ? QString() : t.left(n);
}

QString format(double x, const QString &pattern)
{
    if (!std::isfinite(x))
        return nonFinite(x);

    // The first run of placeholders (with any commas inside it) is the number; the rest is copied.
    qsizetype begin = 0;
    while (begin < pattern.size() && !isPlaceholder(pattern[begin]))
        ++begin;
    qsizetype end = begin;
    while (end < pattern.size() && (isPlaceholder(pattern[end]) || pattern[end] == QLatin1Char(',')))
        ++end;
    if (begin == end) // nothing to put the number in
        return pattern;

    int integerZeros = 0;
    int places = 0;
    int keptPlaces = 0; // decimals up to the last "0" placeholder always stay
    bool point = false;
    for (qsizetype k = begin; k < end; ++k) {
        const QChar c = pattern[k];
        if (c == QLatin1Char('.')) {
            point = true;
        } else if (c != QLatin1Char(',')) {
            if (!point) {
                integerZeros += c == QLatin1Char('0');
            } else {
                ++places;
                if (c == QLatin1Char('0'))
                    keptPlaces = places;
            }
        }
    }

    // The 15-digit decimal value is what gets rounded, so 2.675 shows as 2.68.
    Decimal d = decompose(x, kDoubleDigits);
    d.exponent += 2 * int(pattern.count(QLatin1Char('%')));
    roundDigits(d, long(d.exponent) + 1 + places);

    QString number = integerDigits(d);
    if (number.size() < integerZeros)
        number = number.rightJustified(integerZeros, QLatin1Char('0'));
    if (d.negative)
        number.prepend(QLatin1Char('-'));
    if (point) {
        QString fraction = fractionDigits(d, places);
        while (fraction.size() > keptPlaces && fraction.endsWith(QLatin1Char('0')))
            fraction.chop(1);
        number += QLatin1Char('.') + fraction;
    }
    return pattern.left(begin) + number + pattern.mid(end);
}

double roundHalfEven(double x)
{
    // Whatever rounding mode the caller runs under, halves go to even and the mode is left as found.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(x);
    std::fesetround(saved);
    return r;
}

} // namespace quenta::numtext
