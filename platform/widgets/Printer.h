#pragma once
// The print boundary: the main window hands over plain lines; where they go is decided here.
#include <QStringList>
#include <functional>

namespace quenta {

class Prompts;

class PrintTarget {
public:
    virtual ~PrintTarget() = default;
    // Prints the lines in order. False, with the reason in `error`, when nothing was printed.
    virtual bool printLines(const QStringList &lines, QString *error) = 0;
};

// Plain lines in a monospace font on the system's default printer; on a system without a printer
// the user names a PDF file instead, asked through the prompts.
class QtPrintTarget : public PrintTarget {
public:
    explicit QtPrintTarget(Prompts &prompts);

    bool printLines(const QStringList &lines, QString *error) override;

    // The default printer's name, empty when the system has none (tests fake a printer-less system).
    std::function<QString()> defaultPrinterName;

private:
    Prompts &m_prompts;
};

} // namespace quenta
