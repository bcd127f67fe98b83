#pragma once
// The status window's keyword colouring, and the status window keeping the Tab key while it has
// the focus.
#include <QColor>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <array>

class QTextCursor;
class QTextEdit;
class QWidget;

namespace quenta {

class StatusColouring {
public:
    static constexpr int Groups = 7;
    static constexpr int Slots = 11;

    // The keyword and colour tables; until they are filled every word is an ordinary one.
    void fillTables();

    // The word's group 1 to 6, or 0 for an ordinary word. Letter case does not matter.
    int lookup(const QString &word) const;
    QColor colour(int group) const { return m_colours.at(size_t(group)); }

    // One pass over the edit's text from its caret on: keywords in their group's colour and bold,
    // every other word black and not bold. The last ten characters are never a starting point.
    void colour(QTextEdit &edit) const;

private:
    bool colourNextWord(QTextCursor &caret, const QString &text, int &p) const;

    std::array<std::array<QString, Slots>, Groups> m_keywords{};
    std::array<QColor, Groups> m_colours{};
};

// While the edit has the focus no control of its window is a tab stop, so Tab types a tab
// character; when the focus leaves, every control gets its own tab stop back.
class TabKeeper : public QObject {
public:
    TabKeeper(QWidget *window, QTextEdit *edit);

    bool holding() const { return m_holding; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void take();
    void giveBack();

    QWidget *m_window;
    QTextEdit *m_edit;
    bool m_holding = false;
    QList<QPair<QPointer<QWidget>, Qt::FocusPolicy>> m_saved;
};

} // namespace quenta
