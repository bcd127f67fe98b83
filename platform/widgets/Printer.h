#pragma once
// The print boundary: the main window hands over plain lines; where they go is decided here.
#include <QStringList>
#include <functional>

namespace quenta {

class PrintTarget {
public:
    virtual ~PrintTarget() = default;
    // Prints the lines in order. False, with the reason in `error`, when nothing was printed.
    virtual bool printLines(const QStringList &lines, QString *error) = 0;
};

// Plain lines in a monospace font on the system's default printer; on a system without a printer
// the user names a PDF file instead.
class QtPrintTarget : public PrintTarget {
public:
    QtPrintTarget();

    bool printLines(const QStringList &lines, QString *error) override;

    // The default printer's name, empty when the system has none (tests fake a printer-less system).
    std::function<QString()> defaultPrinterName;
    // Asks for the PDF file to print into; empty when the user cancels.
    std::function<QString()> askPdfFileName;
};

} // namespace quenta
