#include "link/Indicator.h"

namespace quenta {

void IndicatorModel::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    emit changed();
}

void IndicatorModel::setColor(Rgb color)
{
    if (color == m_color)
        return;
    m_color = color;
    emit changed();
}

} // namespace quenta
