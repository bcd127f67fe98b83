// Number text: every shown or read-back number goes through quenta::numtext, so each row here is
// an edge where a naive printf/QString::number would show something else.
#include "pids/numtext.h"

#include <QtTest>

#include <cfenv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <limits>

using namespace quenta;

namespace {

enum Fn { Text, Single, Blank, Plain, Format, File, First, Lead, Even, Back };

// QCOMPARE on doubles is fuzzy; number reading must be exact, down to the sign of zero.
void compareExact(double actual, double expected)
{
    const bool same = std::isnan(expected) ? std::isnan(actual)
                                           : actual == expected && std::signbit(actual) == std::signbit(expected);
    QVERIFY2(same, qPrintable(QStringLiteral("actual %1 expected %2").arg(actual, 0, 'g', 17).arg(expected, 0, 'g', 17)));
}

const double Inf = std::numeric_limits<double>::infinity();
const double Nan = std::numeric_limits<double>::quiet_NaN();
const double Tiny = std::numeric_limits<double>::denorm_min();
const float TinyF = std::numeric_limits<float>::denorm_min();

} // namespace

// Rows named after their expression; `arg` is the pattern of format, the decimals of fileNumber
// and the text of first.
#define ROW(fn, x, arg, want) QTest::addRow(#fn " %s %s", #x, arg) << int(fn) << double(x) << QString(arg) << QString(want)
#define T(x, want) ROW(Text, x, "", want)
#define S(x, want) ROW(Single, x, "", want)
#define B(x, want) ROW(Blank, x, "", want)
#define P(x, want) ROW(Plain, x, "", want)
#define F(x, pattern, want) ROW(Format, x, pattern, want)
#define N(x, decimals, want) ROW(File, x, decimals, want)
#define I(t, n, want) ROW(First, n, t, want)
#define L(s, want) QTest::addRow("%s", s) << int(Lead) << QString::fromUtf8(s) << 0.0 << double(want)
#define E(x, want) QTest::addRow("%s", #x) << int(Even) << QString() << double(x) << double(want)

class TstNumText : public QObject {
    Q_OBJECT

private slots:
    void texts_data()
    {
        QTest::addColumn<int>("fn");
        QTest::addColumn<double>("x"); // a float's value for textSingle: widened, so exact
        QTest::addColumn<QString>("arg");
        QTest::addColumn<QString>("expected");
        // Binary noise below the 15th digit disappears; zero and the "0" before the point.
        T(0.1 + 0.2, "0.3"); T(100 * 0.29613, "29.613"); T(256 * 0.61, "156.16"); T(0.1 * 3, "0.3");
        T(-4.0 * 0.25, "-1"); T(1.0 / 3, "0.333333333333333"); T(2.0 / 3, "0.666666666666667");
        T(-2.0 / 3, "-0.666666666666667"); T(0.0, "0"); T(-0.0, "0"); T(0.45, "0.45"); T(-0.5, "-0.5"); T(4.5000, "4.5"); T(100.0, "100");
        // Exponent 14 positional, 15 exponent form; -4 positional, -5 exponent form.
        T(123456789012345.0, "123456789012345"); T(1e14, "100000000000000"); T(999999999999999.0, "999999999999999");
        T(1e15, "1E+15"); T(-1e15, "-1E+15"); T(999999999999999.5, "1E+15"); T(1234567890123456.0, "1.23456789012346E+15");
        T(0.0001, "0.0001"); T(0.00012345, "0.00012345"); T(1e-5, "1E-05"); T(1.5e-5, "1.5E-05"); T(-1.5e-5, "-1.5E-05");
        T(std::nextafter(0.0001, 0.0), "0.0001"); T(1e100, "1E+100"); T(-1e-300, "-1E-300");
        T(DBL_MAX, "1.79769313486232E+308"); T(DBL_MIN, "2.2250738585072E-308"); T(Tiny, "4.94065645841247E-324");
        // Exact ties at the 16th digit go away from zero (printf would go to even); just below a
        // tie, and where the shortest round-trip text ends in 5 but the exact value lies below,
        // the exact expansion decides.
        T(1234567890123445.0, "1.23456789012345E+15"); T(-1234567890123445.0, "-1.23456789012345E+15");
        T(std::ldexp(1.0, -22), "2.38418579101563E-07"); T(100000000.1015625, "100000000.101563");
        T(std::nextafter(1234567890123445.0, 0.0), "1.23456789012344E+15");
        T(2.421072493769445, "2.42107249376944"); T(-2.421072493769445, "-2.42107249376944");
        T(double(0.1f), "0.100000001490116"); T(16777217.0, "16777217");

        S(101 * 1.8f + 32, "213.8"); S(1.0f / 3, "0.3333333"); S(2.0f / 3, "0.6666667"); S(0.1f, "0.1");
        S(0.1f * 3, "0.3"); S(0.0f, "0"); S(-0.0f, "0"); S(-0.5f, "-0.5"); S(9999999.f, "9999999");
        S(1234567.4f, "1234567"); S(1e7f, "1E+07"); S(16777217.0f, "1.677722E+07"); S(0.0001f, "0.0001");
        S(1e-5f, "1E-05"); S(FLT_MAX, "3.402823E+38"); S(TinyF, "1.401298E-45");
        // Ties at the 8th digit away from zero.
        S(12345665.f, "1.234567E+07"); S(-12345665.f, "-1.234567E+07"); S(0.00048828125f, "0.0004882813");
        S(3.4247365f, "3.424736"); S(1.0000005f, "1"); S(255.5f, "255.5");

        B(2.0, " 2"); B(0.0, " 0"); B(-0.0, " 0"); B(0.5, " .5"); B(-0.25, "-.25"); B(-3.0, "-3");
        B(1.5e-5, " 1.5E-05"); B(-1.5e-5, "-1.5E-05"); B(0.0001, " .0001"); B(1e15, " 1E+15");
        B(1.0 / 3, " .333333333333333"); B(0.1 + 0.2, " .3"); B(12.75, " 12.75");

        P(0.5, "0.5"); P(1234.5678, "1234.568"); P(-0.125, "-0.125"); P(100.0, "100"); P(0.0, "0"); P(-0.0, "0");
        P(1.0 / 3, "0.3333333"); P(double(0.1f), "0.1"); P(9999999.4, "9999999"); P(9999999.5, "1E+07");
        P(12345678.0, "1.234568E+07"); P(12345665.0, "1.234567E+07"); P(double(3.4247365f), "3.424736");
        P(0.00012345675, "0.0001234567"); P(0.00001, "1E-05");

        // What a spreadsheet reads as a number in any language: never an exponent, never "-0".
        N(0.45, "", "0.45"); N(813.0, "", "813"); N(-2.5, "", "-2.5"); N(-0.0, "", "0"); N(1.5e-5, "", "0.000015");
        N(1e20, "", "100000000000000000000"); N(0.1, "3", "0.100"); N(-0.0004, "3", "0.000"); N(Nan, "", "");

        F(12345.0, "##0.0", "12345.0"); F(2.25, "##0.0", "2.3"); F(-2.25, "##0.0", "-2.3"); F(0.05, "##0.0", "0.1");
        F(0.04, "##0.0", "0.0"); F(-0.04, "##0.0", "0.0");
        F(0.45, "0.000 ", "0.450 "); F(0.0005, "0.000 ", "0.001 "); F(1.0005, "0.000 ", "1.001 ");
        F(0.00049, "0.000 ", "0.000 "); F(-1.5, "0.000 ", "-1.500 ");
        F(813.0, "0000", "0813"); F(12345.0, "0000", "12345"); F(0.5, "0000", "0001"); F(0.49, "0000", "0000");
        F(-7.0, "0000", "-0007"); F(9999.5, "0000", "10000");
        F(0.37, "##.0%", "37.0%"); F(0.0005, "##.0%", ".1%"); F(0.00049, "##.0%", ".0%"); F(1.0, "##.0%", "100.0%");
        F(-0.005, "##.0%", "-.5%"); F(0.0, "##.0%", ".0%");
        F(12.0, " 000.0", " 012.0"); F(15.0, " 000.0", " 015.0"); F(9.95, " 000.0", " 010.0");
        F(-3.25, " 000.0", " -003.3"); F(1234.5, " 000.0", " 1234.5");
        F(0.05, " ##0.0", " 0.1"); F(99.95, " ##0.0", " 100.0"); F(-0.05, " ##0.0", " -0.1"); F(0.0, " ##0.0", " 0.0");
        F(410.0, " ###0", " 410"); F(0.0, " ###0", " 0"); F(0.5, " ###0", " 1"); F(-40.0, " ###0", " -40");
        F(-0.5, " ###0", " -1"); F(-0.4, " ###0", " 0"); F(-0.0, " ###0", " 0");
        F(12345.5, " ####0", " 12346"); F(2.5, " ####0", " 3"); F(1234567.0, " ####0", " 1234567");
        F(0.4, "### ", " "); F(0.5, "### ", "1 "); F(999.5, "### ", "1000 "); F(-0.5, "### ", "-1 "); F(0.0, "###", "");
        F(29.613, "#0.00 ", "29.61 "); F(1.005, "#0.00 ", "1.01 "); F(0.005, "#0.00 ", "0.01 ");
        F(0.004, "#0.00 ", "0.00 "); F(-0.004, "#0.00 ", "0.00 ");
        F(0.0, "#### ", " "); F(1234.5, "#### ", "1235 "); F(1234.4999, "#### ", "1234 ");
        F(7.345, "###.00 ", "7.35 "); F(0.125, "###.00 ", ".13 "); F(0.004, "###.00 ", ".00 "); F(-0.125, "###.00 ", "-.13 ");
        F(0.05, "00.0% ", "05.0% "); F(0.9995, "00.0% ", "100.0% "); F(0.00049, "00.0% ", "00.0% "); F(-0.05, "00.0% ", "-05.0% ");
        F(1.0005, "###.000 ", "1.001 "); F(0.0005, "###.000 ", ".001 "); F(0.00049, "###.000 ", ".000 ");
        F(0.05, "###.0 ", ".1 "); F(0.25, "###.0 ", ".3 "); F(0.95, "###.0 ", "1.0 ");
        F(0.25, "##0.0 ", "0.3 "); F(-0.25, "##0.0 ", "-0.3 "); F(0.5, "####0 ", "1 "); F(0.0, "####0 ", "0 ");
        // The 15-digit decimal text is rounded, half away from zero.
        F(0.125, "0.00", "0.13"); F(2.675, "0.00", "2.68"); F(0.5, "0", "1"); F(1.5, "0", "2"); F(2.5, "0", "3");
        F(-2.5, "0", "-3"); F(-0.04, "0.0", "0.0"); F(-1e-20, "0.00", "0.00"); F(1e20, "0", "100000000000000000000");
        F(12345678901234567.0, "0", "12345678901234600");
        // The decimal point, "#" decimals, literals, commas and percent signs.
        F(5.0, "0.", "5."); F(5.0, "0.##", "5."); F(1.5, "0.##", "1.5"); F(1.0, "0.0#", "1.0"); F(1.5, "0.0#", "1.5");
        F(1.25, "0.0#", "1.25"); F(1.255, "0.0#", "1.26"); F(0.04, "#.#", "."); F(5.0, "x0y", "x5y"); F(5.0, "abc", "abc");
        F(1234567.0, "#,##0", "1234567"); F(-0.5, "%0", "%-50"); F(0.5, "0%", "50%"); F(0.5, "0%%", "5000%%"); F(3.0, "0 0", "3 0");
        // The first characters; none for a count of 0 or less.
        I("abc", 2, "ab"); I("abc", 5, "abc"); I("abc", 0, ""); I("abc", -1, ""); I("abc", INT_MIN, "");
        // Not a number never crashes and never reads as one.
        T(Inf, "Inf"); T(-Inf, "-Inf"); T(Nan, "NaN"); S(Nan, "NaN"); B(-Inf, "-Inf"); P(Inf, "Inf");
        F(Inf, " ##0.0", "Inf"); F(-Inf, " ##0.0", "-Inf"); F(Nan, " ##0.0", "NaN");
    }
    void texts()
    {
        QFETCH(int, fn);
        QFETCH(double, x);
        QFETCH(QString, arg);
        QFETCH(QString, expected);
        switch (Fn(fn)) {
        case Text: QCOMPARE(numtext::text(x), expected); break;
        case Single: QCOMPARE(numtext::textSingle(float(x)), expected); break;
        case Blank: QCOMPARE(numtext::leadingBlank(x), expected); break;
        case Plain: QCOMPARE(numtext::plain(x), expected); break;
        case Format: QCOMPARE(numtext::format(x, arg), expected); break;
        case File: QCOMPARE(numtext::fileNumber(x, arg.isEmpty() ? -1 : arg.toInt()), expected); break;
        case First: QCOMPARE(numtext::first(arg, int(x)), expected); break;
        default: QFAIL("not a text row");
        }
    }

    // A text's leading number, exact down to the sign of zero; halves to even under any rounding
    // mode, left as it was; and a shown text of at most 15 significant digits reads back.
    void numbers_data()
    {
        QTest::addColumn<int>("fn");
        QTest::addColumn<QString>("s");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("expected");
        L("213.", 213); L(" 12abc", 12); L("-.5x", -0.5); L("abc", 0); L("", 0); L("  \t ", 0); L("1E+15", 1e15);
        L("3E", 3); L("3E+", 3); L("3Ex", 3); L("3e-2", 0.03); L("5.e1", 50); L("+8", 8); L("-", 0); L(".", 0);
        L(".e5", 0); L("+-3", 0); L("- 3", 0); L("\n5", 0); L("1.2.3", 1.2); L("1,5", 1); L("0x1A", 0); L("inf", 0);
        L("\u0661\u0662", 0); L("007", 7); L("-0", -0.0); L("0.1", 0.1); L("123456789012345678901234567890", 123456789012345678901234567890.0);
        L("0.000000000000000000000000000001234", 1.234e-30); L("1e400", Inf); L("-1e400", -Inf); L("1e-400", 0);
        L("1e99999999999999999999", Inf); L("1e-99999999999999999999", 0); L("0.00001e310", 1e305);
        E(2.5, 2); E(3.5, 4); E(-2.5, -2); E(-0.5, -0.0); E(2.6, 3); E(std::nextafter(2.5, 0.0), 2); E(std::nextafter(2.5, 3.0), 3);
        E(0.49999999999999994, 0); E(4503599627370495.5, 4503599627370496.0); E(1e300, 1e300);
        for (const double x : {0.1, 29.613, -0.25, 1.5e-5, -2.5e22, 1e-300, 123456789012345.0, 1.79769313486231e308, Tiny})
            QTest::addRow("back %.17g", x) << int(Back) << QString() << x << x;
    }
    void numbers()
    {
        QFETCH(int, fn);
        QFETCH(QString, s);
        QFETCH(double, x);
        QFETCH(double, expected);
        if (fn == Lead)
            return compareExact(numtext::leadingNumber(s), expected);
        if (fn == Back) {
            compareExact(numtext::leadingNumber(numtext::text(x)), x);
            return compareExact(numtext::leadingNumber(numtext::leadingBlank(x)), x);
        }
        const int saved = std::fegetround();
        QVERIFY(std::fesetround(FE_UPWARD) == 0);
        const double r = numtext::roundHalfEven(x);
        const int after = std::fegetround();
        std::fesetround(saved);
        compareExact(r, expected);
        QCOMPARE(after, FE_UPWARD);
    }
};

QTEST_APPLESS_MAIN(TstNumText)
#include "tst_numtext.moc"
