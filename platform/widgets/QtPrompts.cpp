#include "platform/widgets/QtPrompts.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace quenta {

namespace {

QMessageBox::Icon boxIcon(Prompts::Icon icon)
{
    switch (icon) {
    case Prompts::Icon::Information: return QMessageBox::Information;
    case Prompts::Icon::Exclamation: return QMessageBox::Warning;
    case Prompts::Icon::Critical: return QMessageBox::Critical;
    case Prompts::Icon::Question: return QMessageBox::Question;
    case Prompts::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

// Runs a box over the window the user is working in; the caller waits for the answer like a
// modal box of the original program, while the event loop keeps running.
QMessageBox::StandardButton runBox(const QString &text, const QString &title, Prompts::Icon icon,
                                   QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(boxIcon(icon), title.isEmpty() ? programTitle() : title, text, buttons,
                    QApplication::activeWindow());
    box.setDefaultButton(defaultButton);
    return QMessageBox::StandardButton(box.exec());
}

} // namespace

void QtPrompts::message(const QString &text, const QString &title, Icon icon)
{
    runBox(text, title, icon, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtPrompts::askYesNo(const QString &text, const QString &title, Icon icon, bool defaultYes)
{
    return runBox(text, title, icon, QMessageBox::Yes | QMessageBox::No,
                  defaultYes ? QMessageBox::Yes : QMessageBox::No)
        == QMessageBox::Yes;
}

QString dialogNameFilters(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        const QString &description = parts[i];
        if (i + 1 == parts.size()) { // a filter already in the dialog's own form
            if (!description.isEmpty())
                filters << description;
            break;
        }
        // "*.*" means every file, also those without an extension.
        QString pattern = parts[i + 1] == QLatin1String("*.*") ? QStringLiteral("*") : parts[i + 1];
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString shown = QStringLiteral("(%1)").arg(pattern);
        filters << (description.endsWith(shown) ? description : description + QLatin1Char(' ') + shown);
    }
    return filters.join(QLatin1String(";;"));
}

QString QtPrompts::askSaveFileName(const QString &title, const QString &filter, const QString &suggested)
{
    return QFileDialog::getSaveFileName(QApplication::activeWindow(), title.isEmpty() ? programTitle() : title,
                                        suggested, dialogNameFilters(filter));
}

std::optional<QString> QtPrompts::askText(const QString &text, const QString &title, const QString &suggested)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(QApplication::activeWindow(), title.isEmpty() ? programTitle() : title,
                                                 text, QLineEdit::Normal, suggested, &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}

void QtPrompts::beep()
{
    QApplication::beep();
}

} // namespace quenta
