#include "live/Samples.h"

#include <cmath>
#include <limits>

namespace quenta {

namespace {
// How a missing value is kept in a cell; never handed out as a number.
constexpr double Missing = std::numeric_limits<double>::quiet_NaN();
}

Samples::Samples(qsizetype capacity, QObject *parent)
    : QAbstractTableModel(parent), m_capacity(qMax<qsizetype>(1, capacity))
{
}

void Samples::setColumns(const QList<SampleColumn> &parameters)
{
    beginResetModel();
    m_columns = parameters;
    m_cells.clear();
    m_oldest = 0;
    m_rows = 0;
    m_appended = 0;
    endResetModel();
}

SampleColumn Samples::column(int column) const
{
    if (column == TimeColumn)
        return {QStringLiteral("Elapsed Time"), QStringLiteral("s")};
    if (column < 1 || column > parameterCount())
        return {};
    return m_columns[column - 1];
}

bool Samples::append(double time, const QList<std::optional<double>> &values)
{
    if (values.size() != m_columns.size() || !std::isfinite(time) || (m_rows > 0 && time < this->time(int(m_rows) - 1)))
        return false;
    if (m_rows == m_capacity)
        evict(m_capacity - 1);

    const qsizetype row = m_rows;
    beginInsertRows(QModelIndex(), int(row), int(row));
    const size_t at = size_t((m_oldest + row) % m_capacity) * size_t(stride());
    if (m_cells.size() < at + size_t(stride()))
        m_cells.resize(at + size_t(stride()));
    m_cells[at] = time;
    for (int c = 0; c < parameterCount(); ++c) {
        const std::optional<double> &v = values[c];
        m_cells[at + 1 + size_t(c)] = v && std::isfinite(*v) ? *v : Missing;
    }
    ++m_rows;
    ++m_appended;
    endInsertRows();
    return true;
}

void Samples::clear()
{
    if (m_rows > 0) {
        beginRemoveRows(QModelIndex(), 0, int(m_rows) - 1);
        m_rows = 0;
        m_oldest = 0;
        m_cells.clear();
        m_appended = 0;
        endRemoveRows();
    }
    m_appended = 0;
}

void Samples::setCapacity(qsizetype capacity)
{
    capacity = qMax<qsizetype>(1, capacity);
    if (capacity == m_capacity)
        return;
    evict(capacity);
    // The ring's length changes: lay the kept rows out oldest first.
    std::vector<double> cells;
    cells.reserve(size_t(m_rows) * size_t(stride()));
    for (qsizetype r = 0; r < m_rows; ++r) {
        const auto from = m_cells.begin() + qsizetype((m_oldest + r) % m_capacity) * stride();
        cells.insert(cells.end(), from, from + stride());
    }
    m_cells = std::move(cells);
    m_oldest = 0;
    m_capacity = capacity;
}

void Samples::evict(qsizetype keep)
{
    if (m_rows <= keep)
        return;
    const qsizetype drop = m_rows - keep;
    beginRemoveRows(QModelIndex(), 0, int(drop) - 1);
    m_oldest = (m_oldest + drop) % m_capacity;
    m_rows = keep;
    endRemoveRows();
}

double Samples::cell(int row, int column) const
{
    if (row < 0 || row >= m_rows || column < 0 || column >= stride())
        return Missing;
    return m_cells[size_t((m_oldest + row) % m_capacity) * size_t(stride()) + size_t(column)];
}

std::optional<double> Samples::value(int row, int column) const
{
    const double v = cell(row, column);
    if (std::isnan(v))
        return std::nullopt;
    return v;
}

int Samples::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows);
}

int Samples::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : stride();
}

QVariant Samples::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    const std::optional<double> v = value(index.row(), index.column());
    return v ? QVariant(*v) : QVariant();
}

QVariant Samples::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical) {
        if (role != Qt::DisplayRole || section < 0 || section >= m_rows)
            return QVariant();
        return QVariant(m_appended - m_rows + section + 1);
    }
    if (section < 0 || section >= stride())
        return QVariant();
    if (role == Qt::DisplayRole)
        return column(section).name;
    if (role == UnitsRole)
        return column(section).units;
    return QVariant();
}

} // namespace quenta
