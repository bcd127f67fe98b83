#include "services/widgets/O2Pictures.h"

#include "core/ControlNames.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace quenta {

namespace {

const QColor Ink(0x20, 0x20, 0x20);
const QColor Trace(0x10, 0x60, 0xD0);
const QColor Mark(0xC0, 0x30, 0x20);
const QColor Metal(0xB8, 0xBC, 0xC4);
const QColor Sensor(0xF0, 0xB0, 0x20);
const QColor Catalyst(0x90, 0x70, 0x50);

// A labelled O2 sensor: a small plug on the pipe and its name above or below.
void sensorAt(QPainter &p, QPointF at, const QString &name, bool labelBelow = false)
{
    p.setPen(QPen(Ink, 1.2));
    p.setBrush(Sensor);
    p.drawEllipse(at, 6, 6);
    p.drawLine(at, at + QPointF(0, labelBelow ? 12 : -12));
    QFont f = p.font();
    f.setBold(true);
    p.setFont(f);
    const QRectF box(at.x() - 30, labelBelow ? at.y() + 12 : at.y() - 30, 60, 18);
    p.drawText(box, Qt::AlignCenter, name);
}

void catalystAt(QPainter &p, QRectF r)
{
    p.setPen(QPen(Ink, 1.2));
    p.setBrush(Catalyst);
    p.drawRoundedRect(r, 8, 8);
    p.setPen(QPen(Catalyst.darker(150), 1, Qt::DotLine));
    for (qreal x = r.left() + 8; x < r.right() - 4; x += 8)
        p.drawLine(QPointF(x, r.top() + 4), QPointF(x, r.bottom() - 4));
}

void pipe(QPainter &p, const QList<QPointF> &points)
{
    QPainterPath path(points.first());
    for (qsizetype i = 1; i < points.size(); ++i)
        path.lineTo(points[i]);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Metal.darker(130), 14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    p.setPen(QPen(Metal, 10, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
}

// A bank of cylinders: a block with `n` bores along it.
void bank(QPainter &p, QRectF block, int n)
{
    p.setPen(QPen(Ink, 1.5));
    p.setBrush(QColor(0x70, 0x78, 0x84));
    p.drawRoundedRect(block, 6, 6);
    p.setBrush(QColor(0x30, 0x34, 0x3A));
    const qreal step = block.width() / n;
    const qreal r = qMin(step, block.height()) * 0.32;
    for (int i = 0; i < n; ++i)
        p.drawEllipse(QPointF(block.left() + step * (i + 0.5), block.center().y()), r, r);
}

} // namespace

QString O2Picture::caption(Kind kind)
{
    switch (kind) {
    case Kind::TestDefinitions: return QStringLiteral("O2 Sensor Test Definitions");
    case Kind::VDualExhaust: return QStringLiteral("O2 sensor locations for V engine, dual exhaust configuration");
    case Kind::VSingleExhaust: return QStringLiteral("O2 sensor locations for V configuration with single exhaust");
    case Kind::Inline4: return QStringLiteral("O2 sensor location for I4 cylinder configurations");
    }
    return QString();
}

QString O2Picture::note(Kind kind)
{
    switch (kind) {
    case Kind::TestDefinitions: return QString();
    case Kind::VDualExhaust:
    case Kind::VSingleExhaust: return QStringLiteral("The B1S1 and B2S1 sensors may be Wide Range or normal Heated Sensor types");
    case Kind::Inline4: return QStringLiteral("The B1S1 sensor may be Wide Range or normal Heated Sensor type");
    }
    return QString();
}

O2Picture::O2Picture(Kind kind, QWidget *parent) : QWidget(parent, Qt::Window), m_kind(kind)
{
    static const QString objectNames[] = {names::mode5::frmO2Graph, names::mode5::frmO2VDual,
                                          names::mode5::frmO2VSingle, names::mode5::frmO2I4};
    setObjectName(objectNames[int(kind)]);
    setWindowTitle(caption(kind));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new O2Drawing(kind, this), 1);
    if (kind == Kind::TestDefinitions) {
        auto *hide = new QPushButton(QStringLiteral("Hide"), this);
        hide->setObjectName(names::mode5::cmdHide);
        connect(hide, &QPushButton::clicked, this, &QWidget::hide);
        layout->addWidget(hide, 0, Qt::AlignRight);
    } else {
        auto *text = new QLabel(note(kind), this);
        text->setObjectName(QStringLiteral("Label1"));
        text->setWordWrap(true);
        layout->addWidget(text);
    }
}

O2Drawing::O2Drawing(O2Picture::Kind kind, QWidget *parent) : QWidget(parent), m_kind(kind)
{
    setMinimumSize(420, 260);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
}

void O2Drawing::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a fixed 560 x 340 canvas, scaled to the widget with its proportions kept.
    const qreal s = qMin(width() / 560.0, height() / 340.0);
    p.translate((width() - 560 * s) / 2, (height() - 340 * s) / 2);
    p.scale(s, s);
    if (m_kind == O2Picture::Kind::TestDefinitions)
        drawTestDefinitions(p);
    else
        drawEngine(p);
}

void O2Drawing::drawTestDefinitions(QPainter &p)
{
    // Sensor voltage against time: 0 V at y 300, 1 V at y 40.
    const QRectF plot(60, 30, 470, 270);
    auto yOf = [&](double volts) { return plot.bottom() - volts * (plot.height() - 10); };
    p.setPen(QPen(Ink, 1.5));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawLine(plot.bottomLeft(), plot.topLeft());
    p.setFont(QFont(p.font().family(), 9));
    for (double v : {0.0, 0.2, 0.4, 0.6, 0.8, 1.0}) {
        p.drawLine(QPointF(plot.left() - 4, yOf(v)), QPointF(plot.left(), yOf(v)));
        p.drawText(QRectF(10, yOf(v) - 8, 44, 16), Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'f', 1) + QStringLiteral(" V"));
    }
    p.drawText(QRectF(plot.right() - 60, plot.bottom() + 4, 60, 16), Qt::AlignRight, QStringLiteral("time"));

    // One rich-lean-rich cycle and a half: a switching sensor between 0.1 V and 0.85 V.
    const double lo = 0.1, hi = 0.85;
    auto volts = [&](double t) { // t in 0..1 over the plot
        const double phase = std::fmod(t * 1.6 + 0.05, 1.0);
        const double edge = 0.12;
        if (phase < 0.5 - edge) return hi;
        if (phase < 0.5) return hi - (hi - lo) * (phase - (0.5 - edge)) / edge;
        if (phase < 1 - edge) return lo;
        return lo + (hi - lo) * (phase - (1 - edge)) / edge;
    };
    QPainterPath trace;
    for (int i = 0; i <= 470; ++i) {
        const QPointF pt(plot.left() + i, yOf(volts(i / 470.0)));
        i == 0 ? trace.moveTo(pt) : trace.lineTo(pt);
    }
    p.setPen(QPen(Trace, 2.5));
    p.drawPath(trace);

    auto level = [&](double v, const QString &id, qreal labelX) {
        p.setPen(QPen(Mark, 1, Qt::DashLine));
        p.drawLine(QPointF(plot.left(), yOf(v)), QPointF(plot.right(), yOf(v)));
        p.setPen(Mark);
        p.drawText(QRectF(labelX, yOf(v) - 17, 36, 14), Qt::AlignCenter, id);
    };
    level(0.50, QStringLiteral("$01"), 490);
    level(0.40, QStringLiteral("$02"), 490);
    level(0.25, QStringLiteral("$03"), 490);
    level(0.70, QStringLiteral("$04"), 490);
    level(lo, QStringLiteral("$07"), 440);
    level(hi, QStringLiteral("$08"), 440);

    // Switch times between the $04 and $03 levels on a falling and a rising edge, and the time
    // between two transitions.
    auto span = [&](qreal x1, qreal x2, qreal y, const QString &id) {
        p.setPen(QPen(Mark, 1.5));
        p.drawLine(QPointF(x1, y), QPointF(x2, y));
        p.drawLine(QPointF(x1, y - 5), QPointF(x1, y + 5));
        p.drawLine(QPointF(x2, y - 5), QPointF(x2, y + 5));
        p.drawText(QRectF((x1 + x2) / 2 - 20, y - 18, 40, 14), Qt::AlignCenter, id);
    };
    // The first falling edge runs over t = 0.2375 .. 0.3125 of the plot (phase 0.38 .. 0.5).
    const qreal fall0 = plot.left() + 470 * ((0.38 - 0.05) / 1.6), fall1 = plot.left() + 470 * ((0.5 - 0.05) / 1.6);
    const qreal rise0 = plot.left() + 470 * ((0.88 - 0.05) / 1.6), rise1 = plot.left() + 470 * ((1.0 - 0.05) / 1.6);
    span(fall0 + (fall1 - fall0) * 0.2, fall1 - (fall1 - fall0) * 0.2, yOf(0.95), QStringLiteral("$05"));
    span(rise0 + (rise1 - rise0) * 0.2, rise1 - (rise1 - rise0) * 0.2, yOf(0.95), QStringLiteral("$06"));
    span((fall0 + fall1) / 2, (rise0 + rise1) / 2, yOf(0.03), QStringLiteral("$09"));
}

void O2Drawing::drawEngine(QPainter &p)
{
    p.setFont(QFont(p.font().family(), 9));
    const bool inline4 = m_kind == O2Picture::Kind::Inline4;
    const bool dual = m_kind == O2Picture::Kind::VDualExhaust;
    if (inline4) {
        bank(p, QRectF(40, 40, 220, 70), 4);
        p.setPen(Ink);
        p.drawText(QRectF(40, 18, 220, 18), Qt::AlignCenter, QStringLiteral("Bank 1"));
        // Four runners into one pipe, the catalyst, the tail pipe.
        for (int i = 0; i < 4; ++i)
            pipe(p, {QPointF(67 + 55 * i, 110), QPointF(67 + 55 * i, 150), QPointF(150, 180)});
        pipe(p, {QPointF(150, 180), QPointF(150, 230), QPointF(240, 230), QPointF(520, 230)});
        catalystAt(p, QRectF(290, 210, 110, 40));
        sensorAt(p, QPointF(230, 230), QStringLiteral("B1S1"), true);
        sensorAt(p, QPointF(440, 230), QStringLiteral("B1S2"), true);
        return;
    }
    // A V engine seen from above: bank 1 on top, bank 2 below, exhaust running to the right.
    bank(p, QRectF(40, 40, 200, 60), 3);
    bank(p, QRectF(40, 240, 200, 60), 3);
    p.setPen(Ink);
    p.drawText(QRectF(40, 18, 200, 18), Qt::AlignCenter, QStringLiteral("Bank 1"));
    p.drawText(QRectF(40, 302, 200, 18), Qt::AlignCenter, QStringLiteral("Bank 2"));
    p.setBrush(QColor(0xD8, 0xDC, 0xE2));
    p.drawRoundedRect(QRectF(70, 115, 140, 110), 10, 10); // the valley between the banks
    pipe(p, {QPointF(240, 70), QPointF(280, 70)});
    pipe(p, {QPointF(240, 270), QPointF(280, 270)});
    if (dual) {
        pipe(p, {QPointF(280, 70), QPointF(540, 70)});
        pipe(p, {QPointF(280, 270), QPointF(540, 270)});
        catalystAt(p, QRectF(340, 50, 100, 40));
        catalystAt(p, QRectF(340, 250, 100, 40));
        sensorAt(p, QPointF(305, 70), QStringLiteral("B1S1"));
        sensorAt(p, QPointF(480, 70), QStringLiteral("B1S2"));
        sensorAt(p, QPointF(305, 270), QStringLiteral("B2S1"), true);
        sensorAt(p, QPointF(480, 270), QStringLiteral("B2S2"), true);
        return;
    }
    // Single exhaust: each bank's pipe has its own sensor before the two meet.
    pipe(p, {QPointF(280, 70), QPointF(330, 70), QPointF(380, 170)});
    pipe(p, {QPointF(280, 270), QPointF(330, 270), QPointF(380, 170)});
    pipe(p, {QPointF(380, 170), QPointF(540, 170)});
    catalystAt(p, QRectF(410, 150, 80, 40));
    sensorAt(p, QPointF(305, 70), QStringLiteral("B1S1"));
    sensorAt(p, QPointF(305, 270), QStringLiteral("B2S1"), true);
    sensorAt(p, QPointF(515, 170), QStringLiteral("B1S2"));
}

} // namespace quenta
