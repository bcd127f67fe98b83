#pragma once
// The link indicator and its colours: what the link says of the tool and the car.
#include "core/Models.h"

#include <QObject>
#include <QString>

namespace quenta {

namespace colors {
constexpr Rgb Red = 0xFF0000;
constexpr Rgb Yellow = 0xFFFF00;
constexpr Rgb Green = 0x00FF00;
}

// The link indicator: a text and a background colour that change independently.
class IndicatorModel : public QObject {
    Q_OBJECT
public:
    QString text() const { return m_text; }
    Rgb color() const { return m_color; }
    void setText(const QString &text);
    void setColor(Rgb color);
    void set(const QString &text, Rgb color) { setText(text); setColor(color); }
signals:
    void changed();
private:
    QString m_text = QStringLiteral("ECU Not Ready");
    Rgb m_color = 0xFFFFFF;
};

} // namespace quenta
