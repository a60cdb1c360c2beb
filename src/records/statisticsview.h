#pragma once

#include "records/flowunits.h"
#include "records/statistics.h"
#include "records/testrecord.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QListWidget;
class ControlChartArea;

/// The records window's "Statistics" view (statisticsView) over the records its filters keep:
/// a figure choice, the individuals and moving-range charts, the figures (n, mean, σ, limits,
/// Cpk, failed), the fail rate by day and the points that break a rule. A click on a point
/// or on a listed break asks for its record (recordChosen).
class StatisticsView final : public QWidget {
    Q_OBJECT

public:
    explicit StatisticsView(QWidget *parent = nullptr);

    /// Where the records come from: what statistics of a figure read of them, in any order
    /// (RecordStore::figureRecords over the window's filter).
    using Source = std::function<Fallible<std::vector<RecordFigures>>(StatisticsFigure)>;
    /// Takes the source and reads it for the figure shown; again whenever the figure changes.
    void setSource(Source source);
    /// Reads the source again.
    void reload();
    void setUnit(RateUnit unit);
    /// Rings the record's point, if it is one.
    void showRecord(std::optional<int64_t> id);
    /// The statistics shown; empty with too few records.
    const std::optional<ProcessStatistics> &statistics() const { return m_statistics; }

signals:
    void recordChosen(int64_t id);

private:
    void recompute();

    Source m_source;
    std::vector<RecordFigures> m_records;
    QString m_readFailure;
    RateUnit m_unit = RateUnit::KpaPerMinute;
    std::optional<ProcessStatistics> m_statistics;
    QComboBox *m_figure = nullptr;
    ControlChartArea *m_chart = nullptr;
    QLabel *m_summary = nullptr;
    QListWidget *m_breaks = nullptr;
};
