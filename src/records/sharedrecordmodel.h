#pragma once

#include "records/testrecord.h"

#include <QAbstractTableModel>

#include <vector>

/// The records of every rig, as the shared database listed them, for the records window's
/// "All rigs": the columns of the local list with the rig first. Sorting is done on the rows
/// held; the list holds what one reading brought (the newest records the filter takes).
class SharedRecordModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column {
        Rig,
        Station,  ///< "1" or "2"
        Start,    ///< "12-07-2026 10:00:00"
        Duration, ///< "00:20:05"; empty while the test runs
        Result,   ///< the outcome's text; "running" while the test runs
        TestName,
        Operator,
        LeakStartPressure, ///< "700.0"
        MainFall,          ///< "1.25"
        ColumnCount
    };

    explicit SharedRecordModel(QObject *parent = nullptr);

    /// Shows these records, in the order of the last sort.
    void setRecords(std::vector<TestRecord> records);
    const TestRecord &record(int row) const { return m_records[size_t(row)]; }
    /// The rigs of the records held, sorted.
    QStringList rigs() const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    void sortRecords();

    std::vector<TestRecord> m_records;
    int m_sortColumn = Start;
    Qt::SortOrder m_sortOrder = Qt::DescendingOrder;
};
