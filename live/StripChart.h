#pragma once
// The strip chart the real-time display plots on: one trace, axis ranges and titles, a running x
// position in whole elapsed seconds, the points, and whether the toolbar shows. It holds no
// widget, so the display runs in the CLI and in tests without a screen; StripChartView draws it.
#include "live/Samples.h"

#include <QObject>

#include <QString>
#include <cstdint>
#include <utility>

namespace quenta {

class Clock;

class StripChart : public QObject {
    Q_OBJECT
public:
    // The points kept besides those in view: enough to look back over minutes of a fast tool,
    // bounded however long the display runs.
    static constexpr qsizetype DefaultHistory = 18000;

    // The running x is on the clock's milliseconds: the program's clock, or a test's.
    explicit StripChart(const Clock &clock, QObject *parent = nullptr);

    // The one trace (trace 0). A second call renames and recolours it.
    // rgb: 0xRRGGBB.
    void addTrace(const QString &name, quint32 rgb);
    bool hasTrace() const { return m_hasTrace; }
    QString traceName() const { return m_traceName; }
    quint32 traceColour() const { return m_traceColour; }

    void setXMaximum(double x);
    void setXMinimum(double x);
    void setXTitle(const QString &title);
    void setYMaximum(double y);
    void setYMinimum(double y);
    void setYTitle(const QString &title);
    double xMaximum() const { return m_xMax; }
    double xMinimum() const { return m_xMin; }
    QString xTitle() const { return m_xTitle; }
    double yMaximum() const { return m_yMax; }
    double yMinimum() const { return m_yMin; }
    QString yTitle() const { return m_yTitle; }

    // The running x position: whole seconds since the last restart.
    void restartX();
    int runningX() const;

    // Removes every point; the axes stay.
    void clearPoints();
    // Around each point: the redraw waits until the point is in.
    void beginPoint();
    void endPoint();
    // Adds (x, y) to trace 0. Refused for another trace, before the trace exists, and for a y that
    // is not a number; x never goes back (an earlier x counts as the last one).
    bool addPoint(int trace, double x, double y);

    bool toolbarVisible() const { return m_toolbarVisible; }
    void setToolbarVisible(bool visible);

    // The points kept: time column = x, column 1 = y, oldest first.
    const Samples &points() const { return m_points; }
    void setHistory(qsizetype points) { m_points.setCapacity(points); }
    // The x range that follows the data: the set range until x passes its maximum, then the
    // last (maximum - minimum) seconds up to the newest x.
    std::pair<double, double> followingXRange() const;

signals:
    void traceChanged();
    void axesChanged();
    // Points were added (after endPoint when inside a begin/end pair) or all removed.
    void pointsChanged();
    void toolbarVisibleChanged(bool visible);

private:
    const Clock &m_clock;
    bool m_hasTrace = false;
    QString m_traceName;
    quint32 m_traceColour = 0;
    double m_xMin = 0, m_xMax = 10, m_yMin = 0, m_yMax = 100;
    QString m_xTitle, m_yTitle;
    std::int64_t m_restartMs = 0;
    bool m_toolbarVisible = true;
    int m_pointDepth = 0;
    bool m_pending = false;
    Samples m_points;
};

} // namespace quenta
