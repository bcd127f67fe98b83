#pragma once
// How the live displays show a parameter: the Y range of the real-time chart, the form of the value
// text and, for the wide-range O2 sensors, a fixed label. One table, shared by the real-time
// display and the data logger.
#include "pids/Decoders.h"

#include <QString>

namespace quenta {

struct DisplayRow {
    enum class Form {
        Hundredths, // the value ÷ 100 through the pattern, which shows the percent sign (no unit)
        Pattern,    // the value through the pattern, then the unit
        AsDecoded,  // the decoder's value text, then the unit
    };
    int first = 0; // the PIDs the row covers
    int last = 0;
    double yMin = 0;
    double yMax = 0;
    Form form = Form::AsDecoded;
    const char *pattern = "";
    bool wideRange = false; // the label is the fixed wide-range text, whatever the sensor
};

inline const QString WideRangeLabel = QStringLiteral("Wide Range O2 Sensor Lambda");

// The row of a PID; nothing for a PID the live displays do not show (status PIDs, 0, ...).
const DisplayRow *displayRowOf(int pid);
// Every row, in PID order (for checks).
QList<DisplayRow> displayRows();

// The value text as the display shows it, from a reading of the row's PID ("" for a reading
// without a good reply).
QString displayValue(const DisplayRow &row, const Reading &reading);
// The label beside it: the decoder's label, or the fixed wide-range one.
QString displayLabel(const DisplayRow &row, const Reading &reading);

} // namespace quenta
