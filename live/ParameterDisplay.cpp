#include "live/ParameterDisplay.h"

#include "pids/numtext.h"

namespace quenta {

namespace {

using Form = DisplayRow::Form;

// first, last, Y min, Y max, value form, pattern, wide-range label
const DisplayRow Rows[] = {
    {0x04, 0x04, 10, 50, Form::Hundredths, "##.0%"},
    {0x05, 0x05, 150, 180, Form::Pattern, "### "},
    {0x0A, 0x0A, 20, 70, Form::AsDecoded},
    {0x0B, 0x0B, 18, 40, Form::Pattern, "#0.00 "},
    {0x0C, 0x0C, 500, 2000, Form::Pattern, "#### "},
    {0x0D, 0x0D, 0, 20, Form::Pattern, "### "},
    {0x0E, 0x0E, -30, 30, Form::AsDecoded},
    {0x0F, 0x0F, 20, 80, Form::Pattern, "### "},
    {0x10, 0x10, 30, 70, Form::Pattern, "###.00 "},
    {0x11, 0x11, 0, 100, Form::Hundredths, "00.0% "},
    {0x12, 0x12, 0, 50, Form::AsDecoded},
    {0x14, 0x1B, 0, 1.25, Form::Pattern, "0.000 "},
    {0x21, 0x21, 0, 50000, Form::Pattern, "0.000 "},
    {0x22, 0x22, 0, 100, Form::Pattern, "0.000 "},
    {0x23, 0x23, 0, 6600, Form::Pattern, "0.000 "},
    {0x24, 0x2B, 0, 1.999, Form::Pattern, "0.000 ", true},
    {0x2C, 0x2F, 0, 100, Form::Pattern, "0.000 "},
    {0x30, 0x30, 0, 255, Form::Pattern, "0.000 "},
    {0x31, 0x31, 0, 66000, Form::Pattern, "0.000 "},
    {0x32, 0x32, -8200, 8200, Form::Pattern, "0.000 "},
    {0x33, 0x33, 0, 35, Form::Pattern, "0.000 "},
    {0x34, 0x3B, 0, 1.999, Form::Pattern, "0.000 ", true},
    {0x3C, 0x3F, -40, 2000, Form::Pattern, "0.000 "},
    {0x42, 0x42, 5, 20, Form::Pattern, "###.00 "},
    {0x43, 0x43, 0, 100, Form::Pattern, "### "},
    {0x44, 0x44, 0, 2, Form::Pattern, "###.000 "},
    {0x45, 0x45, 0, 100, Form::Pattern, "### "},
    {0x46, 0x46, -40, 220, Form::Pattern, "###.0 "},
    {0x47, 0x4C, 0, 100, Form::Pattern, "##0.0 "},
    {0x4D, 0x4D, 0, 100, Form::Pattern, "####0 "},
    {0x4E, 0x4E, 0, 2000, Form::Pattern, "####0 "},
};

} // namespace

const DisplayRow *displayRowOf(int pid)
{
    for (const DisplayRow &row : Rows)
        if (pid >= row.first && pid <= row.last)
            return &row;
    return nullptr;
}

QList<DisplayRow> displayRows()
{
    return QList<DisplayRow>(std::begin(Rows), std::end(Rows));
}

QString displayValue(const DisplayRow &row, const Reading &reading)
{
    // A reading without a good reply has no value to show, not a zero.
    if (!reading.valid)
        return QString();
    const double value = reading.value;
    const QString pattern = QString::fromLatin1(row.pattern);
    switch (row.form) {
    case Form::Hundredths:
        return numtext::format(value / 100, pattern);
    case Form::Pattern:
        return numtext::format(value, pattern) + reading.units;
    case Form::AsDecoded:
        break;
    }
    return reading.text + reading.units;
}

QString displayLabel(const DisplayRow &row, const Reading &reading)
{
    return row.wideRange ? WideRangeLabel : reading.label;
}

} // namespace quenta
