#include "platform/widgets/Printer.h"

#include "platform/Prompts.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace quenta {

namespace {

constexpr int TabWidth = 8;
constexpr int PointSize = 10;

QString expandTabs(const QString &line)
{
    QString out;
    for (const QChar c : line) {
        if (c == QLatin1Char('\t'))
            out += QString(TabWidth - out.size() % TabWidth, QLatin1Char(' '));
        else
            out += c;
    }
    return out;
}

// A line longer than the page goes on over as many printed rows as it needs: nothing is cut off.
QStringList pageRows(const QString &line, int columns)
{
    const QString text = expandTabs(line);
    if (columns < 1 || text.size() <= columns)
        return {text};
    QStringList rows;
    for (qsizetype i = 0; i < text.size(); i += columns)
        rows << text.mid(i, columns);
    return rows;
}

} // namespace

QtPrintTarget::QtPrintTarget(Prompts &prompts) : m_prompts(prompts)
{
    defaultPrinterName = [] { return QPrinterInfo::defaultPrinter().printerName(); };
}

bool QtPrintTarget::printLines(const QStringList &lines, QString *error)
{
    auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };

    QPrinter printer(QPrinter::HighResolution);
    const QString printerName = defaultPrinterName ? defaultPrinterName() : QString();
    if (!printerName.isEmpty()) {
        printer.setPrinterName(printerName);
    } else {
        QString file = m_prompts.askSaveFileName(QStringLiteral("No printer: print to a PDF file"),
                                                 QStringLiteral("PDF files (*.pdf)|*.pdf"), QString());
        if (file.isEmpty())
            return fail(QStringLiteral("there is no printer and no PDF file was chosen"));
        if (!file.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
            file += QLatin1String(".pdf");
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(file);
    }
    printer.setDocName(QStringLiteral("Quenta report"));

    QPainter painter;
    if (!painter.begin(&printer)) {
        return fail(printer.outputFileName().isEmpty()
                        ? QStringLiteral("the printer %1 could not be started").arg(printerName)
                        : QStringLiteral("%1 could not be written").arg(printer.outputFileName()));
    }
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(PointSize);
    painter.setFont(font);
    const QFontMetrics metrics = painter.fontMetrics();
    const int pageWidth = painter.viewport().width();
    const int pageHeight = painter.viewport().height();
    const int columns = pageWidth / qMax(1, metrics.horizontalAdvance(QLatin1Char('M')));

    int y = 0;
    for (const QString &line : lines) {
        for (const QString &row : pageRows(line, columns)) {
            if (y > 0 && y + metrics.height() > pageHeight) {
                if (!printer.newPage()) {
                    painter.end();
                    return fail(QStringLiteral("a new page could not be started"));
                }
                y = 0;
            }
            painter.drawText(0, y + metrics.ascent(), row);
            y += metrics.lineSpacing();
        }
    }
    if (!painter.end())
        return fail(QStringLiteral("the print job could not be finished"));
    return true;
}

} // namespace quenta
