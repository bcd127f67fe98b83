#include "platform/widgets/QtPrompts.h"

#include <QApplication>
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

void QtPrompts::beep()
{
    QApplication::beep();
}

} // namespace quenta
