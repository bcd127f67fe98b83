#pragma once
// Draws a StripChart with Qt Charts: the trace, the axes, and a toolbar with two modes (Live
// follows the newest points, Zoom/Pan leaves the view to the user), Fit and Save PNG.
#include <QPointF>
#include <QWidget>

class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;
class QToolButton;
class QTimer;

namespace quenta {

class Prompts;
class StripChart;

class StripChartView : public QWidget {
    Q_OBJECT
public:
    enum class Mode { Live, ZoomPan };
    static inline const QString Title = QStringLiteral("Quenta Real Time Plot");

    StripChartView(StripChart &chart, Prompts &prompts, QWidget *parent = nullptr);

    Mode mode() const { return m_mode; }
    void setMode(Mode mode);
    // Every kept point in view; the mode becomes Zoom/Pan so the view stays.
    void fit();
    // Asks for a file name and writes the chart as a PNG image.
    void saveImage();
    bool writePng(const QString &fileName, QString *error);

    // The drawn parts, for checks.
    QChart *plot() const { return m_plot; }
    QLineSeries *series() const { return m_series; }
    QValueAxis *xAxis() const { return m_xAxis; }
    QValueAxis *yAxis() const { return m_yAxis; }
    QWidget *toolbar() const { return m_toolbar; }
    QToolButton *liveButton() const { return m_live; }
    QToolButton *zoomButton() const { return m_zoom; }
    QToolButton *fitButton() const { return m_fit; }
    QToolButton *saveButton() const { return m_save; }
    // Brings the drawing up to date now rather than on the next turn of the event loop.
    void syncNow();

private:
    void scheduleSync();
    void applyTrace();
    void applyAxes();
    void showModes();
    // The series for the x range [from, to]: the kept points in it, at most four per whole x (the
    // first, the lowest and the highest in their order, and the last), which draws the same line.
    QList<QPointF> pointsIn(double from, double to) const;

    StripChart &m_chart;
    Prompts &m_prompts;
    Mode m_mode = Mode::Live;
    QChart *m_plot = nullptr;
    QChartView *m_view = nullptr;
    QLineSeries *m_series = nullptr;
    QValueAxis *m_xAxis = nullptr;
    QValueAxis *m_yAxis = nullptr;
    QWidget *m_toolbar = nullptr;
    QToolButton *m_live = nullptr;
    QToolButton *m_zoom = nullptr;
    QToolButton *m_fit = nullptr;
    QToolButton *m_save = nullptr;
    QTimer *m_syncTimer = nullptr;
    bool m_settingRange = false;
};

} // namespace quenta
