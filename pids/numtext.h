#pragma once

// Number text: every number the program shows or reads back goes through here, so a value
// looks the same in the window, in the CLI, in reports and in logs.
//
// All digit work is done on the decimal expansion of the exact binary value, rounded half away
// from zero to a fixed number of significant digits; nothing depends on the process locale.

#include <QString>

namespace quenta::numtext {

// Shortest text of a double at 15 significant digits: "-0.5", "29.613", "1E+15", "1.5E-05".
QString text(double x);

// Shortest text of a single-precision value at 7 significant digits: "213.8", "1E+07".
QString textSingle(float x);

// As text(), but a blank stands before a non-negative number and there is no "0" before the
// decimal point: " 2", " .5", "-.25".
QString leadingBlank(double x);

// A double shown at 7 significant digits, without leading blank: "1234.568", "0.5".
QString plain(double x);

// A number as a log file carries it, so a spreadsheet reads it as one: plain decimal with a period,
// a "0" before the point, never an exponent, no "-0". `decimals` < 0: the shortest text at 15
// significant digits ("0.45", "813", "-2.5"); else exactly that many decimals ("0.100").
// Empty for a value that is not a number.
QString fileNumber(double x, int decimals = -1);

// Reads the number at the start of s (after blanks and tabs); the rest is ignored, and text
// without a leading number reads as 0.
double leadingNumber(const QString &s);

// The first n characters of t: all of t when it is shorter, "" when n <= 0.
QString first(const QString &t, int n);

// Shows x through a digit-placeholder pattern: "0" digit always shown, "#" digit shown when
// significant, "." decimal point, "%" scales by 100 and shows itself; anything else is copied.
QString format(double x, const QString &pattern);

// Nearest whole number, halves to the even one (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double x);

} // namespace quenta::numtext
