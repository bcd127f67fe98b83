#pragma once
// A printer that takes every page and prints nothing, for windows built under test.
#include "platform/widgets/Printer.h"

struct NoPrinter : quenta::PrintTarget {
    bool printLines(const QStringList &, QString *) override { return true; }
};
