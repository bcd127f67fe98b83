#pragma once
// Prompts as the desktop shows them: message boxes over the active window and the system beep.
#include "platform/Prompts.h"

namespace quenta {

class QtPrompts : public Prompts {
public:
    void message(const QString &text, const QString &title = QString(), Icon icon = Icon::None) override;
    bool askYesNo(const QString &text, const QString &title, Icon icon, bool defaultYes) override;
    QString askSaveFileName(const QString &title, const QString &filter, const QString &suggested) override;
    std::optional<QString> askText(const QString &text, const QString &title, const QString &suggested) override;
    void beep() override;
};

// A file filter of description|pattern pairs as the file dialog takes it: "Text (*.txt);;All files (*)".
QString dialogNameFilters(const QString &filter);

} // namespace quenta
