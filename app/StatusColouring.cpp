#include "app/StatusColouring.h"

#include <QEvent>
#include <QTextCursor>
#include <QTextEdit>
#include <initializer_list>

namespace quenta {

namespace {

struct GroupRow {
    QRgb colour;
    std::initializer_list<const char *> keywords;
};

// Group 0 is the colour of every ordinary word.
const GroupRow GroupRows[StatusColouring::Groups] = {
    {qRgb(0, 0, 0), {}},
    {qRgb(255, 0, 0), {"incomplete", "on", "fault", "function"}},
    {qRgb(255, 140, 0), {}},
    {qRgb(210, 105, 30), {"integer", "lo", "string"}},
    {qRgb(0, 128, 0), {"complete", "off"}},
    {qRgb(153, 50, 204), {"private", "public"}},
    {qRgb(0, 0, 255), {"o2", "egr", "with"}},
};

bool isDelimiter(QChar c)
{
    switch (c.unicode()) {
    case '\r': case '\n': case '\t': case ' ': case '(': case ')':
        return true;
    default:
        return false;
    }
}

// Blanks, control characters and the punctuation "!" to "/" come before a word and are skipped.
bool isLead(QChar c) { return c.unicode() < 48; }

} // namespace

void StatusColouring::fillTables()
{
    for (int g = 0; g < Groups; ++g) {
        m_colours[size_t(g)] = QColor(GroupRows[g].colour);
        auto &row = m_keywords[size_t(g)];
        row.fill(QString());
        size_t s = 0;
        for (const char *keyword : GroupRows[g].keywords)
            row[s++] = QString::fromLatin1(keyword);
    }
}

int StatusColouring::lookup(const QString &word) const
{
    const QString lower = word.toLower();
    for (int g = 1; g < Groups; ++g) {
        for (const QString &keyword : m_keywords[size_t(g)]) {
            if (keyword.isEmpty())
                break;
            if (keyword == lower)
                return g;
        }
    }
    return 0;
}

// Positions are 1-based character positions into the text, as the caret counts them (a line
// break in the edit is one character).
void StatusColouring::colour(QTextEdit &edit) const
{
    const QString text = edit.toPlainText();
    const int length = int(text.size());
    QTextCursor caret = edit.textCursor();
    int p = caret.selectionStart() + 1;
    while (p < length - 10) {
        if (!colourNextWord(caret, text, p)) {
            // Out of text: the caret stays where the last word left it.
            edit.setTextCursor(caret);
            return;
        }
    }
    caret.setPosition(qMin(p, length));
    edit.setTextCursor(caret);
    edit.setTextColor(colour(0));
}

bool StatusColouring::colourNextWord(QTextCursor &caret, const QString &text, int &p) const
{
    const int length = int(text.size());
    while (p <= length && isLead(text.at(p - 1)))
        ++p;
    if (p > length)
        return false;
    int e = qMax(p + 1, 1);
    while (e <= length && !isDelimiter(text.at(e - 1)))
        ++e;
    int b = e - 1;
    while (b >= 1 && !isDelimiter(text.at(b - 1)))
        --b;
    const int start = b + 1;
    const int wordLength = e - start;
    if (wordLength <= 0)
        return false;

    const int group = lookup(text.mid(start - 1, wordLength));
    caret.setPosition(start - 1);
    caret.setPosition(start - 1 + wordLength, QTextCursor::KeepAnchor);
    QTextCharFormat format;
    format.setFontWeight(group != 0 ? QFont::Bold : QFont::Normal);
    format.setForeground(colour(group));
    caret.mergeCharFormat(format);
    caret.setPosition(start - 1);
    p += wordLength + 1;
    return true;
}

TabKeeper::TabKeeper(QWidget *window, QTextEdit *edit) : QObject(edit), m_window(window), m_edit(edit)
{
    m_edit->setTabChangesFocus(false);
    m_edit->installEventFilter(this);
}

bool TabKeeper::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit) {
        if (event->type() == QEvent::FocusIn)
            take();
        else if (event->type() == QEvent::FocusOut)
            giveBack();
    }
    return QObject::eventFilter(watched, event);
}

void TabKeeper::take()
{
    if (m_holding)
        return;
    m_holding = true;
    m_saved.clear();
    const QList<QWidget *> controls = m_window->findChildren<QWidget *>();
    for (QWidget *w : controls) {
        // A widget with a focus proxy passes its policy on to the proxy; the proxy is handled itself.
        // Other windows owned by this one keep their own tab order.
        if (w->focusProxy() || w->window() != m_window)
            continue;
        const Qt::FocusPolicy policy = w->focusPolicy();
        m_saved.append({QPointer<QWidget>(w), policy});
        if (policy & Qt::TabFocus)
            w->setFocusPolicy(Qt::FocusPolicy(policy & ~Qt::TabFocus));
    }
}

void TabKeeper::giveBack()
{
    if (!m_holding)
        return;
    m_holding = false;
    for (const auto &[widget, policy] : std::as_const(m_saved)) {
        if (widget)
            widget->setFocusPolicy(policy);
    }
    m_saved.clear();
}

} // namespace quenta
