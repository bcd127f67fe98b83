#pragma once
// Fonts by the names the windows were designed with. Where the named face is not installed the
// style hint still picks a face of the same kind (a typewriter face for "Courier New").
#include <QFont>

namespace quenta {

inline QFont namedFont(const QString &family, QFont::StyleHint hint, int points = -1, bool bold = false)
{
    QFont font(family, points, bold ? QFont::Bold : QFont::Normal);
    font.setStyleHint(hint);
    return font;
}

} // namespace quenta
