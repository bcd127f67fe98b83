#include "app/Artwork.h"

#include <QPainter>
#include <QPainterPath>

namespace quenta {

void ScanToolArt::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect().adjusted(1, 1, -1, -1);
    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0, QColor(0xe8, 0xf0, 0xf8));
    sky.setColorAt(1, QColor(0xc8, 0xd4, 0xe0));
    p.setPen(QPen(QColor(0x90, 0x9c, 0xa8), 1));
    p.setBrush(sky);
    p.drawRoundedRect(r, 6, 6);

    const double w = r.width();
    const double h = r.height();
    const double ground = r.top() + h * 0.82;
    p.setPen(QPen(QColor(0x70, 0x78, 0x80), 1.5));
    p.drawLine(QPointF(r.left() + 8, ground), QPointF(r.right() - 8, ground));

    // The scan tool: a hand-held box with its display and the three link lamps.
    const QRectF box(r.left() + w * 0.05, r.top() + h * 0.14, w * 0.25, h * 0.62);
    p.setPen(QPen(QColor(0x20, 0x24, 0x28), 1.5));
    p.setBrush(QColor(0x3a, 0x40, 0x48));
    p.drawRoundedRect(box, 6, 6);
    const QRectF screen(box.left() + box.width() * 0.12, box.top() + box.height() * 0.12, box.width() * 0.76,
                        box.height() * 0.38);
    p.setBrush(QColor(0x9c, 0xd0, 0x8c));
    p.drawRect(screen);
    QFont font(QStringLiteral("Monospace"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPixelSize(qMax(7, int(screen.height() * 0.5)));
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0x20, 0x40, 0x20));
    p.drawText(screen, Qt::AlignCenter, QStringLiteral("OBD-II"));
    const QColor lamps[] = {QColor(255, 0, 0), QColor(255, 255, 0), QColor(0, 255, 0)};
    const double lampR = box.width() * 0.07;
    for (int i = 0; i < 3; ++i) {
        const QPointF c(box.left() + box.width() * (0.25 + 0.25 * i), box.top() + box.height() * 0.75);
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(lamps[i]);
        p.drawEllipse(c, lampR, lampR);
    }

    // The car, side on.
    const double cx = r.left() + w * 0.42;
    const double cw = w * 0.52;
    const double wheelR = h * 0.12;
    const double sill = ground - wheelR;
    QPainterPath body;
    body.moveTo(cx, sill);
    body.lineTo(cx, sill - h * 0.20);
    body.quadTo(cx + cw * 0.02, sill - h * 0.26, cx + cw * 0.18, sill - h * 0.28);
    body.lineTo(cx + cw * 0.32, sill - h * 0.52);
    body.lineTo(cx + cw * 0.68, sill - h * 0.52);
    body.lineTo(cx + cw * 0.84, sill - h * 0.28);
    body.quadTo(cx + cw, sill - h * 0.26, cx + cw, sill - h * 0.12);
    body.lineTo(cx + cw, sill);
    body.closeSubpath();
    p.setPen(QPen(QColor(0x30, 0x18, 0x18), 1.5));
    p.setBrush(QColor(0xb0, 0x28, 0x28));
    p.drawPath(body);
    QPainterPath glass;
    glass.moveTo(cx + cw * 0.23, sill - h * 0.29);
    glass.lineTo(cx + cw * 0.34, sill - h * 0.47);
    glass.lineTo(cx + cw * 0.66, sill - h * 0.47);
    glass.lineTo(cx + cw * 0.77, sill - h * 0.29);
    glass.closeSubpath();
    p.setBrush(QColor(0xc8, 0xe4, 0xf4));
    p.drawPath(glass);
    p.drawLine(QPointF(cx + cw * 0.5, sill - h * 0.47), QPointF(cx + cw * 0.5, sill - h * 0.29));
    for (const double at : {0.22, 0.78}) {
        const QPointF c(cx + cw * at, sill);
        p.setBrush(QColor(0x20, 0x20, 0x20));
        p.drawEllipse(c, wheelR, wheelR);
        p.setBrush(QColor(0xb8, 0xb8, 0xb8));
        p.drawEllipse(c, wheelR * 0.45, wheelR * 0.45);
    }

    // The cable from the tool to the diagnostic connector under the dashboard.
    const QPointF plug(cx + cw * 0.30, sill - h * 0.10);
    QPainterPath cable;
    cable.moveTo(box.right(), box.top() + box.height() * 0.5);
    cable.cubicTo(box.right() + w * 0.08, box.bottom() + h * 0.1, plug.x() - w * 0.10, plug.y() + h * 0.05,
                  plug.x(), plug.y());
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x18, 0x18, 0x18), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(cable);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(0x50, 0x50, 0x50));
    p.drawRect(QRectF(plug.x() - 4, plug.y() - 5, 10, 10));
}

} // namespace quenta
