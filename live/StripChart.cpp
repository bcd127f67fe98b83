#include "live/StripChart.h"

#include "core/Clock.h"

#include <cmath>

namespace quenta {

StripChart::StripChart(const Clock &clock, QObject *parent)
    : QObject(parent), m_clock(clock), m_points(DefaultHistory)
{
    m_points.setColumns({SampleColumn{QString(), QString()}});
    m_restartMs = m_clock.tickMs();
}

void StripChart::addTrace(const QString &name, quint32 rgb)
{
    m_hasTrace = true;
    m_traceName = name;
    m_traceColour = rgb;
    m_points.setColumns({SampleColumn{name, m_yTitle}});
    emit traceChanged();
    emit pointsChanged();
}

namespace {
template <typename T>
bool assign(T &field, const T &value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}
} // namespace

void StripChart::setXMaximum(double x) { if (assign(m_xMax, x)) emit axesChanged(); }
void StripChart::setXMinimum(double x) { if (assign(m_xMin, x)) emit axesChanged(); }
void StripChart::setXTitle(const QString &title) { if (assign(m_xTitle, title)) emit axesChanged(); }
void StripChart::setYMaximum(double y) { if (assign(m_yMax, y)) emit axesChanged(); }
void StripChart::setYMinimum(double y) { if (assign(m_yMin, y)) emit axesChanged(); }
void StripChart::setYTitle(const QString &title) { if (assign(m_yTitle, title)) emit axesChanged(); }

void StripChart::restartX()
{
    m_restartMs = m_clock.tickMs();
}

int StripChart::runningX() const
{
    const std::int64_t ms = m_clock.tickMs() - m_restartMs;
    return ms <= 0 ? 0 : int(qMin<std::int64_t>(ms / 1000, INT_MAX));
}

void StripChart::clearPoints()
{
    m_points.clear();
    m_pending = false;
    emit pointsChanged();
}

void StripChart::beginPoint()
{
    ++m_pointDepth;
}

void StripChart::endPoint()
{
    if (m_pointDepth > 0)
        --m_pointDepth;
    if (m_pointDepth == 0 && std::exchange(m_pending, false))
        emit pointsChanged();
}

bool StripChart::addPoint(int trace, double x, double y)
{
    if (trace != 0 || !m_hasTrace || !std::isfinite(x) || !std::isfinite(y))
        return false;
    // A restart leaves older points in place: the new ones continue from the last x, so the
    // kept points stay in order.
    const int rows = m_points.rowCount();
    if (rows > 0)
        x = qMax(x, m_points.time(rows - 1));
    if (!m_points.append(x, {y}))
        return false;
    if (m_pointDepth > 0)
        m_pending = true;
    else
        emit pointsChanged();
    return true;
}

void StripChart::setToolbarVisible(bool visible)
{
    if (assign(m_toolbarVisible, visible))
        emit toolbarVisibleChanged(visible);
}

std::pair<double, double> StripChart::followingXRange() const
{
    const int rows = m_points.rowCount();
    const double newest = rows > 0 ? m_points.time(rows - 1) : m_xMin;
    if (newest <= m_xMax)
        return {m_xMin, m_xMax};
    return {newest - (m_xMax - m_xMin), newest};
}

} // namespace quenta
