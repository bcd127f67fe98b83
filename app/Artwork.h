#pragma once
// The main window's artwork (Picture1): the scan tool on its cable to the car's diagnostic connector.
#include <QWidget>

namespace quenta {

class ScanToolArt : public QWidget {
public:
    using QWidget::QWidget;
    QSize sizeHint() const override { return {300, 110}; }

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace quenta
