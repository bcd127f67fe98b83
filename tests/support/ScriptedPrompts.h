#pragma once
// Prompts for tests: answers are queued, every message and question is recorded with its title and icon,
// every file-name question with its title, filter and suggestion.
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
    struct FileQuestion {
        QString title;
        QString filter;
        QString suggested;
    };
    QList<FileQuestion> fileQuestions;
    QStringList fileNames; // file names given in turn; an empty one, or none left, cancels the question
    QStringList lines;     // text answers given in turn; none left cancels the question

    void message(const QString &text, const QString &title, Icon icon) override
    {
        shown << Shown{text, title, icon, false, false};
    }
    bool askYesNo(const QString &text, const QString &title, Icon icon, bool defaultYes) override
    {
        shown << Shown{text, title, icon, true, defaultYes};
        return answers.isEmpty() ? defaultYes : answers.takeFirst();
    }
    QString askSaveFileName(const QString &title, const QString &filter, const QString &suggested) override
    {
        fileQuestions << FileQuestion{title, filter, suggested};
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }
    std::optional<QString> askText(const QString &text, const QString &title, const QString &suggested) override
    {
        shown << Shown{text + QLatin1Char('|') + suggested, title, Icon::Question, true, false};
        if (lines.isEmpty())
            return std::nullopt;
        return lines.takeFirst();
    }
    QStringList texts() const
    {
        QStringList out;
        for (const Shown &s : shown)
            out << s.text;
        return out;
    }
};
