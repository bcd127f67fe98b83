#include "platform/widgets/StripChartView.h"
#include "platform/widgets/Fonts.h"

#include "platform/Prompts.h"
#include "live/StripChart.h"

#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QKeyEvent>
#include <QLineSeries>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace quenta {

namespace {

const QColor Background(0x10, 0x10, 0x18);
const QColor Lime(0x00, 0xFF, 0x00);
const QColor Yellow(0xFF, 0xFF, 0x00);
const QColor White(0xFF, 0xFF, 0xFF);

// In Zoom/Pan mode: the wheel zooms, the arrow keys pan, a dragged rectangle zooms in and a
// right click zooms out (the chart view's own).
class PlotView : public QChartView {
public:
    PlotView(QChart *chart, const StripChartView::Mode &mode, QWidget *parent)
        : QChartView(chart, parent), m_mode(mode)
    {
        setFocusPolicy(Qt::StrongFocus);
    }

protected:
    void wheelEvent(QWheelEvent *event) override
    {
        if (m_mode != StripChartView::Mode::ZoomPan)
            return QChartView::wheelEvent(event);
        chart()->zoom(event->angleDelta().y() > 0 ? 1.25 : 0.8);
        event->accept();
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        if (m_mode != StripChartView::Mode::ZoomPan)
            return QChartView::keyPressEvent(event);
        const qreal step = 20;
        switch (event->key()) {
        case Qt::Key_Left: chart()->scroll(-step, 0); break;
        case Qt::Key_Right: chart()->scroll(step, 0); break;
        case Qt::Key_Up: chart()->scroll(0, step); break;
        case Qt::Key_Down: chart()->scroll(0, -step); break;
        default: return QChartView::keyPressEvent(event);
        }
        event->accept();
    }

private:
    const StripChartView::Mode &m_mode;
};

QToolButton *toolButton(const QString &text, const QString &tip, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(tip);
    button->setFont(namedFont(QStringLiteral("MS Sans Serif"), QFont::SansSerif, 9, true));
    button->setAutoRaise(true);
    return button;
}

} // namespace

StripChartView::StripChartView(StripChart &chart, Prompts &prompts, QWidget *parent)
    : QWidget(parent), m_chart(chart), m_prompts(prompts)
{
    m_plot = new QChart;
    m_plot->setTitle(Title);
    m_plot->setTitleBrush(Yellow);
    m_plot->setTitleFont(namedFont(QStringLiteral("Courier"), QFont::TypeWriter, 12, true));
    m_plot->setBackgroundBrush(Background);
    m_plot->setPlotAreaBackgroundVisible(false);
    m_plot->legend()->hide();

    m_series = new QLineSeries;
    m_plot->addSeries(m_series);
    m_xAxis = new QValueAxis;
    m_yAxis = new QValueAxis;
    for (QValueAxis *axis : {m_xAxis, m_yAxis}) {
        axis->setLabelsBrush(White);
        axis->setLabelsFont(namedFont(QStringLiteral("MS Sans Serif"), QFont::SansSerif, 8));
        axis->setTitleBrush(White);
        axis->setTitleFont(namedFont(QStringLiteral("Arial"), QFont::SansSerif, 9));
        // Dotted, so the solid trace of the same colour stands out against it.
        axis->setGridLinePen(QPen(Lime, 1, Qt::DotLine));
        axis->setLinePen(QPen(White, 1));
    }
    // A tick a second over the ten-second span; "%g" keeps fractions of a zoomed axis honest.
    m_xAxis->setLabelFormat(QStringLiteral("%g"));
    m_xAxis->setTickCount(11);
    m_plot->addAxis(m_xAxis, Qt::AlignBottom);
    m_plot->addAxis(m_yAxis, Qt::AlignLeft);
    m_series->attachAxis(m_xAxis);
    m_series->attachAxis(m_yAxis);

    m_view = new PlotView(m_plot, m_mode, this);
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setBackgroundBrush(Background);

    m_toolbar = new QWidget(this);
    m_toolbar->setObjectName(QStringLiteral("toolbar"));
    m_toolbar->setAutoFillBackground(true);
    QPalette bar = m_toolbar->palette();
    bar.setColor(QPalette::Window, Background);
    m_toolbar->setPalette(bar);
    m_live = toolButton(QStringLiteral("Live"), QStringLiteral("Follow the newest values"), m_toolbar);
    m_zoom = toolButton(QStringLiteral("Zoom/Pan"),
                        QStringLiteral("Drag a box to zoom in, right-click to zoom out, wheel to zoom, arrow keys to pan"),
                        m_toolbar);
    m_fit = toolButton(QStringLiteral("Fit"), QStringLiteral("Show every kept point"), m_toolbar);
    m_save = toolButton(QStringLiteral("Save PNG"), QStringLiteral("Save the chart as a PNG image"), m_toolbar);
    auto *tools = new QHBoxLayout(m_toolbar);
    tools->setContentsMargins(4, 2, 4, 2);
    for (QToolButton *b : {m_live, m_zoom, m_fit, m_save})
        tools->addWidget(b);
    tools->addStretch(1);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_toolbar);
    layout->addWidget(m_view, 1);

    m_syncTimer = new QTimer(this);
    m_syncTimer->setSingleShot(true);
    // New points are drawn at most 25 times a second: faster is not seen, and every redraw taken
    // inside a wait for the tool would delay the next request.
    m_syncTimer->setInterval(40);
    connect(m_syncTimer, &QTimer::timeout, this, &StripChartView::syncNow);

    connect(m_live, &QToolButton::clicked, this, [this] { setMode(Mode::Live); });
    connect(m_zoom, &QToolButton::clicked, this, [this] { setMode(Mode::ZoomPan); });
    connect(m_fit, &QToolButton::clicked, this, &StripChartView::fit);
    connect(m_save, &QToolButton::clicked, this, &StripChartView::saveImage);
    connect(&m_chart, &StripChart::traceChanged, this, &StripChartView::applyTrace);
    connect(&m_chart, &StripChart::axesChanged, this, &StripChartView::applyAxes);
    connect(&m_chart, &StripChart::pointsChanged, this, &StripChartView::scheduleSync);
    connect(&m_chart, &StripChart::toolbarVisibleChanged, m_toolbar, &QWidget::setVisible);
    // The user's zooming and panning bring the points of the new range.
    connect(m_xAxis, &QValueAxis::rangeChanged, this, [this] {
        if (m_mode == Mode::ZoomPan && !m_settingRange)
            scheduleSync();
    });

    m_toolbar->setVisible(m_chart.toolbarVisible());
    applyTrace();
    applyAxes();
    showModes();
    syncNow();
}

void StripChartView::setMode(Mode mode)
{
    m_mode = mode;
    m_view->setRubberBand(mode == Mode::ZoomPan ? QChartView::RectangleRubberBand : QChartView::NoRubberBand);
    showModes();
    if (mode == Mode::Live)
        applyAxes();
    syncNow();
}

void StripChartView::showModes()
{
    // The active mode in yellow, the rest in lime.
    auto paint = [](QToolButton *b, const QColor &c) {
        QPalette palette = b->palette();
        palette.setColor(QPalette::ButtonText, c);
        palette.setColor(QPalette::WindowText, c);
        b->setPalette(palette);
    };
    paint(m_live, m_mode == Mode::Live ? Yellow : Lime);
    paint(m_zoom, m_mode == Mode::ZoomPan ? Yellow : Lime);
    paint(m_fit, Lime);
    paint(m_save, Lime);
}

void StripChartView::applyTrace()
{
    m_series->setName(m_chart.traceName());
    m_series->setPen(QPen(QColor::fromRgb(m_chart.traceColour()), 2));
    m_series->setVisible(m_chart.hasTrace());
}

void StripChartView::applyAxes()
{
    m_xAxis->setTitleText(m_chart.xTitle());
    m_yAxis->setTitleText(m_chart.yTitle());
    if (m_mode != Mode::Live)
        return;
    m_settingRange = true;
    const auto [from, to] = m_chart.followingXRange();
    m_xAxis->setRange(from, to);
    m_yAxis->setRange(m_chart.yMinimum(), m_chart.yMaximum());
    m_settingRange = false;
}

void StripChartView::scheduleSync()
{
    if (!m_syncTimer->isActive())
        m_syncTimer->start();
}

void StripChartView::syncNow()
{
    m_syncTimer->stop();
    if (m_mode == Mode::Live)
        applyAxes();
    m_series->replace(pointsIn(m_xAxis->min(), m_xAxis->max()));
}

QList<QPointF> StripChartView::pointsIn(double from, double to) const
{
    const Samples &kept = m_chart.points();
    const int rows = kept.rowCount();
    // The kept x never decrease: find the first row of the range (one whole x earlier, so the
    // line enters the view from its left edge).
    int lo = 0, hi = rows;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (kept.time(mid) < std::floor(from) - 1)
            lo = mid + 1;
        else
            hi = mid;
    }
    QList<QPointF> out;
    for (int r = lo; r < rows;) {
        const double x = kept.time(r);
        if (x > std::ceil(to) + 1)
            break;
        int end = r;
        int low = r, high = r;
        while (end < rows && kept.time(end) == x) {
            if (*kept.value(end, 1) < *kept.value(low, 1))
                low = end;
            if (*kept.value(end, 1) > *kept.value(high, 1))
                high = end;
            ++end;
        }
        int picks[] = {r, qMin(low, high), qMax(low, high), end - 1};
        int last = -1;
        for (int i : picks) {
            if (i != last)
                out << QPointF(x, *kept.value(i, 1));
            last = i;
        }
        r = end;
    }
    return out;
}

void StripChartView::fit()
{
    const Samples &kept = m_chart.points();
    const int rows = kept.rowCount();
    setMode(Mode::ZoomPan);
    if (rows == 0)
        return;
    double low = *kept.value(0, 1), high = low;
    for (int r = 1; r < rows; ++r) {
        low = qMin(low, *kept.value(r, 1));
        high = qMax(high, *kept.value(r, 1));
    }
    const double pad = high > low ? (high - low) * 0.05 : 1;
    const double first = kept.time(0);
    const double last = qMax(kept.time(rows - 1), first + 1);
    m_settingRange = true;
    m_xAxis->setRange(first, last);
    m_yAxis->setRange(low - pad, high + pad);
    m_settingRange = false;
    syncNow();
}

bool StripChartView::writePng(const QString &fileName, QString *error)
{
    syncNow();
    QImageWriter writer(fileName, "png");
    if (writer.write(m_view->grab().toImage()))
        return true;
    *error = writer.errorString();
    return false;
}

void StripChartView::saveImage()
{
    QString name = m_prompts.askSaveFileName(QStringLiteral("Save Chart As PNG"),
                                             QStringLiteral("PNG images (*.png)|*.png"),
                                             QDir::home().filePath(QStringLiteral("quenta-chart.png")));
    if (name.isEmpty())
        return;
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".png");
    QString error;
    if (!writePng(name, &error))
        m_prompts.message(QStringLiteral("The chart was not saved to %1: %2").arg(QDir::toNativeSeparators(name), error),
                          QString(), Prompts::Icon::Exclamation);
}

} // namespace quenta
