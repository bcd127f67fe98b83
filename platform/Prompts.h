#pragma once
// Everything the program asks of or tells the user outside its windows: message boxes,
// questions, file names and the beep. Windows use message boxes, the CLI writes to stderr,
// tests script the answers and record the texts.
#include <QString>
#include <optional>

namespace quenta {

class Prompts {
public:
    enum class Icon { None, Information, Exclamation, Critical, Question };

    virtual ~Prompts() = default;
    // A message box with only an OK button. An empty title means the program's name.
    virtual void message(const QString &text, const QString &title = QString(), Icon icon = Icon::None) = 0;
    // A Yes/No question; true for Yes.
    virtual bool askYesNo(const QString &text, const QString &title, Icon icon, bool defaultYes) = 0;
    // The name of a file to write, `suggested` offered first; empty when the question was cancelled.
    // `filter` is pairs of a description and a pattern, all joined by "|":
    // "OBD-II log files (*.log)|*.log|All files|*.*".
    virtual QString askSaveFileName(const QString &title, const QString &filter, const QString &suggested) = 0;
    // One line of text, `suggested` filled in; nothing when the question was cancelled. Where no
    // one can answer (the command line), every question is cancelled.
    virtual std::optional<QString> askText(const QString &text, const QString &title, const QString &suggested)
    {
        Q_UNUSED(text) Q_UNUSED(title) Q_UNUSED(suggested)
        return std::nullopt;
    }
    virtual void beep() {}
};

inline QString programTitle() { return QStringLiteral("Quenta"); }

} // namespace quenta
