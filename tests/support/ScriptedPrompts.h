#pragma once
// Prompts for tests: answers are queued, every message and question is recorded with its title and icon.
#include "platform/Prompts.h"

#include <QList>
#include <QStringList>

struct ScriptedPrompts : quenta::Prompts {
    struct Shown {
        QString text;
        QString title;
        Icon icon;
        bool question;
        bool defaultYes;
    };
    QList<Shown> shown;
    QList<bool> answers; // Yes/No answers given in turn; when none is left the default button is taken

    void message(const QString &text, const QString &title, Icon icon) override
    {
        shown << Shown{text, title, icon, false, false};
    }
    bool askYesNo(const QString &text, const QString &title, Icon icon, bool defaultYes) override
    {
        shown << Shown{text, title, icon, true, defaultYes};
        return answers.isEmpty() ? defaultYes : answers.takeFirst();
    }
    QStringList texts() const
    {
        QStringList out;
        for (const Shown &s : shown)
            out << s.text;
        return out;
    }
};
