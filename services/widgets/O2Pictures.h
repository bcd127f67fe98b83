#pragma once
// The O2 sensor test window's picture windows: the test-definition chart and three drawings of
// where the O2 sensors sit on different engine layouts, drawn as vector pictures.
#include <QWidget>

namespace quenta {

class O2Picture : public QWidget {
    Q_OBJECT
public:
    enum class Kind { TestDefinitions, VDualExhaust, VSingleExhaust, Inline4 };
    explicit O2Picture(Kind kind, QWidget *parent = nullptr);
    Kind kind() const { return m_kind; }
    static QString caption(Kind kind);
    // The text under a location drawing; none under the chart.
    static QString note(Kind kind);

private:
    Kind m_kind;
};

// The drawing itself, on its own so it scales with the window.
class O2Drawing : public QWidget {
    Q_OBJECT
public:
    explicit O2Drawing(O2Picture::Kind kind, QWidget *parent = nullptr);
    QSize sizeHint() const override { return {560, 340}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void drawTestDefinitions(class QPainter &p);
    void drawEngine(class QPainter &p);
    O2Picture::Kind m_kind;
};

} // namespace quenta
