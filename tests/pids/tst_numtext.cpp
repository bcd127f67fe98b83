// Number text: every shown or read-back number goes through quenta::numtext, so each row here is
// an edge where a naive printf/QString::number would show something else.

#include "pids/numtext.h"

#include <QtTest>

#include <cfenv>
#include <cfloat>
#include <cmath>
#include <limits>

using namespace quenta::numtext;

namespace {

// QCOMPARE on doubles is fuzzy; number reading must be exact, down to the sign of zero.
bool sameDouble(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return a == b && std::signbit(a) == std::signbit(b);
}

QByteArray describe(double actual, double expected)
{
    return QByteArray("actual ") + QByteArray::number(actual, 'g', 17) + " expected "
        + QByteArray::number(expected, 'g', 17);
}

} // namespace

#define COMPARE_EXACT(actual, expected)                                                            \
    do {                                                                                           \
        const double a_ = (actual), e_ = (expected);                                               \
        QVERIFY2(sameDouble(a_, e_), describe(a_, e_).constData());                                \
    } while (false)

class TstNumText : public QObject
{
    Q_OBJECT

private slots:
    void text_data();
    void text();
    void textSingle_data();
    void textSingle();
    void leadingBlank_data();
    void leadingBlank();
    void plain_data();
    void plain();
    void roundTrip_data();
    void roundTrip();
    void leadingNumber_data();
    void leadingNumber();
    void first_data();
    void first();
    void format_data();
    void format();
    void roundHalfEven_data();
    void roundHalfEven();
    void roundHalfEvenKeepsRoundingMode();
    void nonFiniteDoesNotCrash();
};

void TstNumText::text_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<QString>("expected");

    // Binary noise below the 15th digit disappears.
    QTest::newRow("0.1+0.2") << 0.1 + 0.2 << "0.3";
    QTest::newRow("100*0.29613") << 100 * 0.29613 << "29.613";
    QTest::newRow("256*0.61") << 256 * 0.61 << "156.16";
    QTest::newRow("0.1*3") << 0.1 * 3 << "0.3";
    QTest::newRow("-4*0.25 whole") << -4.0 * 0.25 << "-1";
    QTest::newRow("1/3 fifteen digits") << 1.0 / 3 << "0.333333333333333";
    QTest::newRow("2/3 rounds last digit up") << 2.0 / 3 << "0.666666666666667";
    QTest::newRow("-2/3") << -2.0 / 3 << "-0.666666666666667";
    // Zero and the "0" before the point.
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("0.45") << 0.45 << "0.45";
    QTest::newRow("-0.5") << -0.5 << "-0.5";
    QTest::newRow("trailing zeros stripped") << 4.5000 << "4.5";
    QTest::newRow("100 keeps integer zeros") << 100.0 << "100";
    // Positional/exponent boundaries: exponent 14 positional, 15 exponent; -4 positional, -5 exponent.
    QTest::newRow("15 digits positional") << 123456789012345.0 << "123456789012345";
    QTest::newRow("1e14 positional") << 1e14 << "100000000000000";
    QTest::newRow("999999999999999") << 999999999999999.0 << "999999999999999";
    QTest::newRow("1e15 exponent") << 1e15 << "1E+15";
    QTest::newRow("-1e15") << -1e15 << "-1E+15";
    QTest::newRow("rounds up into exponent form") << 999999999999999.5 << "1E+15";
    QTest::newRow("16 digits rounded") << 1234567890123456.0 << "1.23456789012346E+15";
    QTest::newRow("0.0001 positional") << 0.0001 << "0.0001";
    QTest::newRow("0.00012345 positional") << 0.00012345 << "0.00012345";
    QTest::newRow("1e-5 exponent") << 1e-5 << "1E-05";
    QTest::newRow("1.5e-5") << 1.5e-5 << "1.5E-05";
    QTest::newRow("-1.5e-5") << -1.5e-5 << "-1.5E-05";
    QTest::newRow("rounds up out of exponent form") << std::nextafter(0.0001, 0.0) << "0.0001";
    QTest::newRow("three-digit exponent") << 1e100 << "1E+100";
    QTest::newRow("-1e-300") << -1e-300 << "-1E-300";
    QTest::newRow("largest double") << DBL_MAX << "1.79769313486232E+308";
    QTest::newRow("smallest normal") << DBL_MIN << "2.2250738585072E-308";
    QTest::newRow("smallest subnormal") << std::numeric_limits<double>::denorm_min() << "4.94065645841247E-324";
    // Exact ties at the 16th digit go away from zero (printf would go to even).
    QTest::newRow("tie 16-digit integer") << 1234567890123445.0 << "1.23456789012345E+15";
    QTest::newRow("tie negative integer") << -1234567890123445.0 << "-1.23456789012345E+15";
    QTest::newRow("tie 2^-22") << std::ldexp(1.0, -22) << "2.38418579101563E-07";
    QTest::newRow("tie in the fraction") << 100000000.1015625 << "100000000.101563";
    // Just below a tie: the exact expansion decides, not a rounded print.
    QTest::newRow("just below tie") << std::nextafter(1234567890123445.0, 0.0) << "1.23456789012344E+15";
    // Shortest round-trip text ends in 5 but the exact value lies below it: rounds down.
    QTest::newRow("printed tie, exact below") << 2.421072493769445 << "2.42107249376944";
    QTest::newRow("printed tie, exact below, negative") << -2.421072493769445 << "-2.42107249376944";
    QTest::newRow("float widened shows its noise") << double(0.1f) << "0.100000001490116";
    QTest::newRow("16777217 exact in double") << 16777217.0 << "16777217";
}

void TstNumText::text()
{
    QFETCH(double, x);
    QFETCH(QString, expected);
    QCOMPARE(quenta::numtext::text(x), expected);
}

void TstNumText::textSingle_data()
{
    QTest::addColumn<float>("x");
    QTest::addColumn<QString>("expected");

    QTest::newRow("101*1.8f+32") << 101 * 1.8f + 32 << "213.8";
    QTest::newRow("1/3") << 1.0f / 3 << "0.3333333";
    QTest::newRow("2/3 rounds up") << 2.0f / 3 << "0.6666667";
    QTest::newRow("0.1f") << 0.1f << "0.1";
    QTest::newRow("0.1f*3") << 0.1f * 3 << "0.3";
    QTest::newRow("zero") << 0.0f << "0";
    QTest::newRow("negative zero") << -0.0f << "0";
    QTest::newRow("-0.5") << -0.5f << "-0.5";
    QTest::newRow("9999999 positional") << 9999999.f << "9999999";
    QTest::newRow("1234567.4 drops fraction") << 1234567.4f << "1234567";
    QTest::newRow("1e7 exponent") << 1e7f << "1E+07";
    QTest::newRow("16777217 is 16777216") << 16777217.0f << "1.677722E+07";
    QTest::newRow("0.0001 positional") << 0.0001f << "0.0001";
    QTest::newRow("1e-5 exponent") << 1e-5f << "1E-05";
    QTest::newRow("largest float") << FLT_MAX << "3.402823E+38";
    QTest::newRow("smallest float subnormal") << std::numeric_limits<float>::denorm_min() << "1.401298E-45";
    // Exact ties at the 8th digit go away from zero.
    QTest::newRow("tie 12345665") << 12345665.f << "1.234567E+07";
    QTest::newRow("tie -12345665") << -12345665.f << "-1.234567E+07";
    QTest::newRow("tie 2^-11") << 0.00048828125f << "0.0004882813";
    QTest::newRow("printed tie, exact below") << 3.4247365f << "3.424736";
    QTest::newRow("tie 1.0000005 is not exact") << 1.0000005f << "1";
    QTest::newRow("255.5") << 255.5f << "255.5";
}

void TstNumText::textSingle()
{
    QFETCH(float, x);
    QFETCH(QString, expected);
    QCOMPARE(quenta::numtext::textSingle(x), expected);
}

void TstNumText::leadingBlank_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<QString>("expected");

    QTest::newRow("2") << 2.0 << " 2";
    QTest::newRow("zero") << 0.0 << " 0";
    QTest::newRow("negative zero") << -0.0 << " 0";
    QTest::newRow("0.5 no leading 0") << 0.5 << " .5";
    QTest::newRow("-0.25") << -0.25 << "-.25";
    QTest::newRow("-3") << -3.0 << "-3";
    QTest::newRow("1.5e-5") << 1.5e-5 << " 1.5E-05";
    QTest::newRow("-1.5e-5") << -1.5e-5 << "-1.5E-05";
    QTest::newRow("0.0001") << 0.0001 << " .0001";
    QTest::newRow("1e15") << 1e15 << " 1E+15";
    QTest::newRow("1/3") << 1.0 / 3 << " .333333333333333";
    QTest::newRow("0.1+0.2") << 0.1 + 0.2 << " .3";
    QTest::newRow("12.75") << 12.75 << " 12.75";
}

void TstNumText::leadingBlank()
{
    QFETCH(double, x);
    QFETCH(QString, expected);
    QCOMPARE(quenta::numtext::leadingBlank(x), expected);
}

void TstNumText::plain_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<QString>("expected");

    QTest::newRow("0.5") << 0.5 << "0.5";
    QTest::newRow("1234.5678") << 1234.5678 << "1234.568";
    QTest::newRow("-0.125") << -0.125 << "-0.125";
    QTest::newRow("100") << 100.0 << "100";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero") << -0.0 << "0";
    QTest::newRow("1/3") << 1.0 / 3 << "0.3333333";
    QTest::newRow("float noise gone") << double(0.1f) << "0.1";
    QTest::newRow("9999999.4") << 9999999.4 << "9999999";
    QTest::newRow("9999999.5 rounds to exponent") << 9999999.5 << "1E+07";
    QTest::newRow("12345678") << 12345678.0 << "1.234568E+07";
    QTest::newRow("tie away from zero") << 12345665.0 << "1.234567E+07";
    QTest::newRow("printed tie, exact below") << double(3.4247365f) << "3.424736";
    QTest::newRow("binary just below tie") << 0.00012345675 << "0.0001234567";
    QTest::newRow("0.00001") << 0.00001 << "1E-05";
}

void TstNumText::plain()
{
    QFETCH(double, x);
    QFETCH(QString, expected);
    QCOMPARE(quenta::numtext::plain(x), expected);
}

void TstNumText::roundTrip_data()
{
    QTest::addColumn<double>("x");

    // Values with at most 15 significant digits read back to the same double.
    QTest::newRow("0.1") << 0.1;
    QTest::newRow("29.613") << 29.613;
    QTest::newRow("-0.25") << -0.25;
    QTest::newRow("1.5e-5") << 1.5e-5;
    QTest::newRow("-2.5e22") << -2.5e22;
    QTest::newRow("1e-300") << 1e-300;
    QTest::newRow("123456789012345") << 123456789012345.0;
    QTest::newRow("1.79769313486231e308") << 1.79769313486231e308;
    QTest::newRow("smallest subnormal") << std::numeric_limits<double>::denorm_min();
}

void TstNumText::roundTrip()
{
    QFETCH(double, x);
    COMPARE_EXACT(quenta::numtext::leadingNumber(quenta::numtext::text(x)), x);
    COMPARE_EXACT(quenta::numtext::leadingNumber(quenta::numtext::leadingBlank(x)), x);
}

void TstNumText::leadingNumber_data()
{
    QTest::addColumn<QString>("s");
    QTest::addColumn<double>("expected");

    QTest::newRow("trailing point") << "213." << 213.0;
    QTest::newRow("blank then letters") << " 12abc" << 12.0;
    QTest::newRow("signed point first") << "-.5x" << -0.5;
    QTest::newRow("no number") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("only blanks") << "  \t " << 0.0;
    QTest::newRow("exponent") << "1E+15" << 1e15;
    QTest::newRow("E without digits") << "3E" << 3.0;
    QTest::newRow("E sign without digits") << "3E+" << 3.0;
    QTest::newRow("E then letter") << "3Ex" << 3.0;
    QTest::newRow("lower e negative") << "3e-2" << 0.03;
    QTest::newRow("exponent then junk") << "2.5e3xyz" << 2500.0;
    QTest::newRow("point then exponent") << "5.e1" << 50.0;
    QTest::newRow("trailing zeros") << "4.00" << 4.0;
    QTest::newRow("tab and blanks") << "\t 7" << 7.0;
    QTest::newRow("plus sign") << "+8" << 8.0;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("point alone") << "." << 0.0;
    QTest::newRow("sign and point") << "-." << 0.0;
    QTest::newRow("point and exponent only") << ".e5" << 0.0;
    QTest::newRow("double sign") << "+-3" << 0.0;
    QTest::newRow("blank after sign") << "- 3" << 0.0;
    QTest::newRow("newline is not a blank") << "\n5" << 0.0;
    QTest::newRow("second point ends it") << "1.2.3" << 1.2;
    QTest::newRow("comma ends it") << "1,5" << 1.0;
    QTest::newRow("blank ends it") << "12 34" << 12.0;
    QTest::newRow("hex not read") << "0x1A" << 0.0;
    QTest::newRow("inf not read") << "inf" << 0.0;
    QTest::newRow("nan not read") << "nan" << 0.0;
    QTest::newRow("non-ASCII digits not read") << QString::fromUtf8("\u0661\u0662") << 0.0;
    QTest::newRow("leading zeros") << "007" << 7.0;
    QTest::newRow("negative zero") << "-0" << -0.0;
    QTest::newRow("0.1 correctly rounded") << "0.1" << 0.1;
    QTest::newRow("many digits") << "123456789012345678901234567890" << 123456789012345678901234567890.0;
    QTest::newRow("long fraction") << "0.000000000000000000000000000001234" << 1.234e-30;
    QTest::newRow("overflow") << "1e400" << std::numeric_limits<double>::infinity();
    QTest::newRow("negative overflow") << "-1e400" << -std::numeric_limits<double>::infinity();
    QTest::newRow("underflow") << "1e-400" << 0.0;
    QTest::newRow("huge exponent digits") << "1e99999999999999999999" << std::numeric_limits<double>::infinity();
    QTest::newRow("huge negative exponent digits") << "1e-99999999999999999999" << 0.0;
    QTest::newRow("mantissa offsets exponent") << "0.00001e310" << 1e305;
    QTest::newRow("exponent form of text") << "1.5E-05" << 1.5e-5;
    QTest::newRow("leadingBlank text") << "-.25" << -0.25;
}

void TstNumText::leadingNumber()
{
    QFETCH(QString, s);
    QFETCH(double, expected);
    COMPARE_EXACT(quenta::numtext::leadingNumber(s), expected);
}

void TstNumText::first_data()
{
    QTest::addColumn<QString>("t");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("expected");

    QTest::newRow("shorter") << "abc" << 2 << "ab";
    QTest::newRow("exact length") << "abc" << 3 << "abc";
    QTest::newRow("longer than text") << "abc" << 5 << "abc";
    QTest::newRow("zero") << "abc" << 0 << "";
    QTest::newRow("negative") << "abc" << -1 << "";
    QTest::newRow("very negative") << "abc" << INT_MIN << "";
    QTest::newRow("empty text") << "" << 3 << "";
    QTest::newRow("keeps blanks") << " 1.5 " << 4 << " 1.5";
}

void TstNumText::first()
{
    QFETCH(QString, t);
    QFETCH(int, n);
    QFETCH(QString, expected);
    QCOMPARE(quenta::numtext::first(t, n), expected);
}

void TstNumText::format_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");

    // "##0.0"
    QTest::newRow("##0.0 more integer digits") << 12345.0 << "##0.0" << "12345.0";
    QTest::newRow("##0.0 tie up") << 2.25 << "##0.0" << "2.3";
    QTest::newRow("##0.0 negative tie") << -2.25 << "##0.0" << "-2.3";
    QTest::newRow("##0.0 0.05 up") << 0.05 << "##0.0" << "0.1";
    QTest::newRow("##0.0 0.04 down") << 0.04 << "##0.0" << "0.0";
    QTest::newRow("##0.0 negative to zero") << -0.04 << "##0.0" << "0.0";
    // "0.000 "
    QTest::newRow("0.000 pads decimals") << 0.45 << "0.000 " << "0.450 ";
    QTest::newRow("0.000 tie") << 0.0005 << "0.000 " << "0.001 ";
    QTest::newRow("0.000 binary below tie") << 1.0005 << "0.000 " << "1.001 ";
    QTest::newRow("0.000 below tie") << 0.00049 << "0.000 " << "0.000 ";
    QTest::newRow("0.000 negative") << -1.5 << "0.000 " << "-1.500 ";
    // "0000"
    QTest::newRow("0000 pads") << 813.0 << "0000" << "0813";
    QTest::newRow("0000 more digits") << 12345.0 << "0000" << "12345";
    QTest::newRow("0000 tie") << 0.5 << "0000" << "0001";
    QTest::newRow("0000 below tie") << 0.49 << "0000" << "0000";
    QTest::newRow("0000 negative") << -7.0 << "0000" << "-0007";
    QTest::newRow("0000 carry adds digit") << 9999.5 << "0000" << "10000";
    // "##.0%"
    QTest::newRow("##.0% percent") << 0.37 << "##.0%" << "37.0%";
    QTest::newRow("##.0% no integer digit") << 0.0005 << "##.0%" << ".1%";
    QTest::newRow("##.0% below tie") << 0.00049 << "##.0%" << ".0%";
    QTest::newRow("##.0% hundred") << 1.0 << "##.0%" << "100.0%";
    QTest::newRow("##.0% negative before point") << -0.005 << "##.0%" << "-.5%";
    QTest::newRow("##.0% zero") << 0.0 << "##.0%" << ".0%";
    // " 000.0"
    QTest::newRow(" 000.0 12") << 12.0 << " 000.0" << " 012.0";
    QTest::newRow(" 000.0 15") << 15.0 << " 000.0" << " 015.0";
    QTest::newRow(" 000.0 tie carries") << 9.95 << " 000.0" << " 010.0";
    QTest::newRow(" 000.0 negative tie") << -3.25 << " 000.0" << " -003.3";
    QTest::newRow(" 000.0 wider") << 1234.5 << " 000.0" << " 1234.5";
    // " ##0.0"
    QTest::newRow(" ##0.0 tie") << 0.05 << " ##0.0" << " 0.1";
    QTest::newRow(" ##0.0 carry to 100") << 99.95 << " ##0.0" << " 100.0";
    QTest::newRow(" ##0.0 negative tie") << -0.05 << " ##0.0" << " -0.1";
    QTest::newRow(" ##0.0 zero") << 0.0 << " ##0.0" << " 0.0";
    // " ###0"
    QTest::newRow(" ###0 410") << 410.0 << " ###0" << " 410";
    QTest::newRow(" ###0 zero") << 0.0 << " ###0" << " 0";
    QTest::newRow(" ###0 tie") << 0.5 << " ###0" << " 1";
    QTest::newRow(" ###0 negative") << -40.0 << " ###0" << " -40";
    QTest::newRow(" ###0 negative tie") << -0.5 << " ###0" << " -1";
    QTest::newRow(" ###0 negative to zero") << -0.4 << " ###0" << " 0";
    QTest::newRow(" ###0 negative zero") << -0.0 << " ###0" << " 0";
    // " ####0"
    QTest::newRow(" ####0 tie") << 12345.5 << " ####0" << " 12346";
    QTest::newRow(" ####0 2.5 up") << 2.5 << " ####0" << " 3";
    QTest::newRow(" ####0 wider") << 1234567.0 << " ####0" << " 1234567";
    // "### "
    QTest::newRow("### zero shows nothing") << 0.4 << "### " << " ";
    QTest::newRow("### tie") << 0.5 << "### " << "1 ";
    QTest::newRow("### carry") << 999.5 << "### " << "1000 ";
    QTest::newRow("### negative tie") << -0.5 << "### " << "-1 ";
    QTest::newRow("###") << 0.0 << "###" << "";
    // "#0.00 "
    QTest::newRow("#0.00 29.613") << 29.613 << "#0.00 " << "29.61 ";
    QTest::newRow("#0.00 binary below tie") << 1.005 << "#0.00 " << "1.01 ";
    QTest::newRow("#0.00 tie") << 0.005 << "#0.00 " << "0.01 ";
    QTest::newRow("#0.00 below tie") << 0.004 << "#0.00 " << "0.00 ";
    QTest::newRow("#0.00 negative to zero") << -0.004 << "#0.00 " << "0.00 ";
    // "#### "
    QTest::newRow("#### zero") << 0.0 << "#### " << " ";
    QTest::newRow("#### tie") << 1234.5 << "#### " << "1235 ";
    QTest::newRow("#### below tie") << 1234.4999 << "#### " << "1234 ";
    // "###.00 "
    QTest::newRow("###.00 15-digit text tie") << 7.345 << "###.00 " << "7.35 ";
    QTest::newRow("###.00 tie below 1") << 0.125 << "###.00 " << ".13 ";
    QTest::newRow("###.00 zero") << 0.004 << "###.00 " << ".00 ";
    QTest::newRow("###.00 negative below 1") << -0.125 << "###.00 " << "-.13 ";
    // "00.0% "
    QTest::newRow("00.0% 0.05") << 0.05 << "00.0% " << "05.0% ";
    QTest::newRow("00.0% tie carries") << 0.9995 << "00.0% " << "100.0% ";
    QTest::newRow("00.0% below tie") << 0.00049 << "00.0% " << "00.0% ";
    QTest::newRow("00.0% negative") << -0.05 << "00.0% " << "-05.0% ";
    // "###.000 "
    QTest::newRow("###.000 tie") << 1.0005 << "###.000 " << "1.001 ";
    QTest::newRow("###.000 below 1") << 0.0005 << "###.000 " << ".001 ";
    QTest::newRow("###.000 below tie") << 0.00049 << "###.000 " << ".000 ";
    // "###.0 "
    QTest::newRow("###.0 tie") << 0.05 << "###.0 " << ".1 ";
    QTest::newRow("###.0 0.25") << 0.25 << "###.0 " << ".3 ";
    QTest::newRow("###.0 carry to integer") << 0.95 << "###.0 " << "1.0 ";
    // "##0.0 "
    QTest::newRow("##0.0  tie") << 0.25 << "##0.0 " << "0.3 ";
    QTest::newRow("##0.0  negative tie") << -0.25 << "##0.0 " << "-0.3 ";
    // "####0 "
    QTest::newRow("####0  tie") << 0.5 << "####0 " << "1 ";
    QTest::newRow("####0  zero") << 0.0 << "####0 " << "0 ";
    // Rounding of the 15-digit decimal text, half away from zero.
    QTest::newRow("0.00 0.125") << 0.125 << "0.00" << "0.13";
    QTest::newRow("0.00 2.675") << 2.675 << "0.00" << "2.68";
    QTest::newRow("0 0.5") << 0.5 << "0" << "1";
    QTest::newRow("0 1.5") << 1.5 << "0" << "2";
    QTest::newRow("0 2.5") << 2.5 << "0" << "3";
    QTest::newRow("0 -2.5") << -2.5 << "0" << "-3";
    QTest::newRow("0.0 -0.04") << -0.04 << "0.0" << "0.0";
    QTest::newRow("0.00 tiny negative") << -1e-20 << "0.00" << "0.00";
    QTest::newRow("0 huge") << 1e20 << "0" << "100000000000000000000";
    QTest::newRow("0 past 15 digits") << 12345678901234567.0 << "0" << "12345678901234600";
    // Decimal point and "#" decimals.
    QTest::newRow("0. keeps point") << 5.0 << "0." << "5.";
    QTest::newRow("0.## keeps point") << 5.0 << "0.##" << "5.";
    QTest::newRow("0.## drops zeros") << 1.5 << "0.##" << "1.5";
    QTest::newRow("0.0# keeps 0 decimal") << 1.0 << "0.0#" << "1.0";
    QTest::newRow("0.0# drops # zero") << 1.5 << "0.0#" << "1.5";
    QTest::newRow("0.0# both") << 1.25 << "0.0#" << "1.25";
    QTest::newRow("0.0# tie") << 1.255 << "0.0#" << "1.26";
    QTest::newRow("#.# below 1") << 0.04 << "#.#" << ".";
    // Literals, commas, percent placement.
    QTest::newRow("literal around") << 5.0 << "x0y" << "x5y";
    QTest::newRow("no placeholder") << 5.0 << "abc" << "abc";
    QTest::newRow("commas inside run") << 1234567.0 << "#,##0" << "1234567";
    QTest::newRow("percent before") << -0.5 << "%0" << "%-50";
    QTest::newRow("percent integer") << 0.5 << "0%" << "50%";
    QTest::newRow("two percents") << 0.5 << "0%%" << "5000%%";
    QTest::newRow("second run copied") << 3.0 << "0 0" << "3 0";
}

void TstNumText::format()
{
    QFETCH(double, x);
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    QCOMPARE(quenta::numtext::format(x, pattern), expected);
}

void TstNumText::roundHalfEven_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("expected");

    QTest::newRow("2.5") << 2.5 << 2.0;
    QTest::newRow("3.5") << 3.5 << 4.0;
    QTest::newRow("-2.5") << -2.5 << -2.0;
    QTest::newRow("-3.5") << -3.5 << -4.0;
    QTest::newRow("0.5") << 0.5 << 0.0;
    QTest::newRow("-0.5 keeps sign") << -0.5 << -0.0;
    QTest::newRow("1.5") << 1.5 << 2.0;
    QTest::newRow("just below half") << std::nextafter(2.5, 0.0) << 2.0;
    QTest::newRow("just above half") << std::nextafter(2.5, 3.0) << 3.0;
    QTest::newRow("0.49999999999999994") << 0.49999999999999994 << 0.0;
    QTest::newRow("tie near 2^52") << 4503599627370495.5 << 4503599627370496.0;
    QTest::newRow("already whole") << 1e300 << 1e300;
    QTest::newRow("2.6") << 2.6 << 3.0;
}

void TstNumText::roundHalfEven()
{
    QFETCH(double, x);
    QFETCH(double, expected);
    COMPARE_EXACT(quenta::numtext::roundHalfEven(x), expected);
}

void TstNumText::roundHalfEvenKeepsRoundingMode()
{
    const int saved = std::fegetround();
    QVERIFY(std::fesetround(FE_UPWARD) == 0);
    volatile double x = 2.5; // kept out of constant folding
    const double r = quenta::numtext::roundHalfEven(x);
    const int after = std::fegetround();
    std::fesetround(saved);
    COMPARE_EXACT(r, 2.0);
    QCOMPARE(after, FE_UPWARD);
}

void TstNumText::nonFiniteDoesNotCrash()
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const double x : {inf, -inf, nan}) {
        QVERIFY(!quenta::numtext::text(x).isEmpty());
        QVERIFY(!quenta::numtext::textSingle(float(x)).isEmpty());
        QVERIFY(!quenta::numtext::leadingBlank(x).isEmpty());
        QVERIFY(!quenta::numtext::plain(x).isEmpty());
        QVERIFY(!quenta::numtext::format(x, QStringLiteral(" ##0.0")).isEmpty());
    }
}

QTEST_APPLESS_MAIN(TstNumText)
#include "tst_numtext.moc"
