#pragma once
// The samples the live loops take (chart, data logger, wideband meter, fuel trims): a table of
// elapsed time and one column per parameter. The chart, the logger's displays and its file, and
// the CLI are views of it. Memory stays bounded: only the most recent rows are kept.
#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <optional>
#include <vector>

namespace quenta {

struct SampleColumn {
    QString name;
    QString units;
    bool operator==(const SampleColumn &) const = default;
};

class Samples : public QAbstractTableModel {
    Q_OBJECT
public:
    // Column 0 is the time; parameter columns follow from 1.
    static constexpr int TimeColumn = 0;
    // Holds a whole logger or wideband run (up to 17999 samples).
    static constexpr qsizetype DefaultCapacity = 18000;
    // headerData() role of a column's units.
    static constexpr int UnitsRole = Qt::UserRole + 1;

    explicit Samples(qsizetype capacity = DefaultCapacity, QObject *parent = nullptr);

    // Sets the parameter columns and empties the table (a reset of the model).
    void setColumns(const QList<SampleColumn> &parameters);
    QList<SampleColumn> columns() const { return m_columns; }
    int parameterCount() const { return int(m_columns.size()); }
    // Name and units of any column, the time column included.
    SampleColumn column(int column) const;

    // Appends one row: the stopwatch time in seconds and one entry per parameter column, empty
    // for a parameter that could not be read (a value that is not finite counts as empty too).
    // Refused (false, nothing added) when the entries do not match the columns or the time is not
    // a number or earlier than the last row's. When full, the oldest row goes first.
    bool append(double time, const QList<std::optional<double>> &values);
    // Removes every row; the columns stay.
    void clear();

    qsizetype capacity() const { return m_capacity; }
    // At least 1; the oldest rows go when the table holds more.
    void setCapacity(qsizetype capacity);

    // Rows appended since the table was last emptied, evicted ones included. The sample number
    // (from 1) of row r is appendedCount() - rowCount() + r + 1.
    qint64 appendedCount() const { return m_appended; }

    double time(int row) const { return cell(row, TimeColumn); }
    // Nothing for a parameter that was not read in that row.
    std::optional<double> value(int row, int column) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    // A missing value is an invalid QVariant, never a number.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // Horizontal: the column's name (DisplayRole) and units (UnitsRole). Vertical: the sample number.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    int stride() const { return 1 + parameterCount(); }
    double cell(int row, int column) const;
    // Drops the oldest rows until at most `keep` remain.
    void evict(qsizetype keep);

    QList<SampleColumn> m_columns;
    qsizetype m_capacity;
    // Rows of stride() cells, oldest at m_oldest; a ring once it holds m_capacity rows.
    std::vector<double> m_cells;
    qsizetype m_oldest = 0;
    qsizetype m_rows = 0;
    qint64 m_appended = 0;
};

} // namespace quenta
