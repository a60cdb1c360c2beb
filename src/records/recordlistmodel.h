#pragma once

#include "records/flowunits.h"
#include "records/recordstore.h"

#include <QSqlQueryModel>

#include <cstdint>

/// The records as a list for a view: one row per record, newest first until sort() asks
/// otherwise. Sorting is the query's ORDER BY and the filter its WHERE, and rows are fetched as
/// the view needs them, so a list of tens of thousands of records opens at once.
///
/// A query not yet read to its end keeps a read snapshot of the database, and while it lasts
/// the write-ahead log cannot start over: refresh() or dropping the model ends it.
///
/// DisplayRole gives the texts shown; Qt::UserRole the stored values (the station 0 or 1, the
/// start as ISO 8601 text, the duration in seconds, KPa as numbers; an open record has no
/// duration, outcome or fall).
class RecordListModel : public QSqlQueryModel {
    Q_OBJECT

public:
    enum Column {
        Station,  ///< "1" or "2"
        Start,    ///< "12-07-2026 10:00:00", the local time it was recorded in
        Duration, ///< "00:20:05"; empty while the test runs
        Result,   ///< the outcome's text; "running" while the test runs
        TestName,
        Operator,
        LeakStartPressure, ///< the leak start's reference pressure, "700.0"
        MainFall,          ///< the pressure fall over the main test, "1.25"
        Serial,            ///< the part's serial
        Model,             ///< the part's model
        MainRate,          ///< the main test's end-to-end rate in the chosen unit, "2.083"
        ColumnCount
    };

    /// A model over the open store's connection (or any connection to the same database).
    explicit RecordListModel(const QString &connectionName, QObject *parent = nullptr);

    /// Takes the records the filter takes; reruns the query.
    void setFilter(const RecordFilter &filter);
    /// Orders by the column; ties newest first. Reruns the query.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    /// Shows the main rate in the unit (KPa/min at first) and sorts it by its value there.
    void setUnit(RateUnit unit);
    RateUnit unit() const { return m_unit; }
    /// Reruns the query, to show what was written since.
    void refresh();
    /// The id of the record at the row.
    int64_t recordId(int row) const;
    /// The last query's failure; empty when it ran.
    MaybeFailure lastFailure() const;

    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QString m_connection;
    RecordFilter m_filter;
    int m_sortColumn = Start;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
    RateUnit m_unit = RateUnit::KpaPerMinute;
};
