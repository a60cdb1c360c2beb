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
/// or on a listed break asks for its record (recordChosen), named by its rig and id.
class StatisticsView final : public QWidget {
    Q_OBJECT

public:
    explicit StatisticsView(QWidget *parent = nullptr);

    /// Where the records come from: what statistics of a figure read of them, in any order
    /// (RecordStore::figureRecords over the window's filter).
    using Source = std::function<Fallible<std::vector<RecordFigures>>(StatisticsFigure)>;
    /// Takes the source and reads it for the figure shown; again whenever the figure changes.
    void setSource(Source source);
    /// Where the records come from when they are read in the background (the shared
    /// database): asked for a figure, it starts reading, and the records come to receive().
    /// Meanwhile the view says "Reading the records...".
    using Request = std::function<void(StatisticsFigure)>;
    /// Takes the request and asks it for the figure shown; again whenever the figure changes.
    void setRequest(Request request);
    /// The records that the request read for the figure, or why they could not be read (the
    /// reason is shown). An answer that no request of the figure waits for is left alone.
    void receive(StatisticsFigure figure, Fallible<std::vector<RecordFigures>> records);
    /// Reads the source, or asks the request, again.
    void reload();
    void setUnit(RateUnit unit);
    /// Rings the record's point, if it is one, now and whenever the points change.
    void showRecord(std::optional<RecordKey> key);
    /// The statistics shown; empty with too few records.
    const std::optional<ProcessStatistics> &statistics() const { return m_statistics; }

signals:
    void recordChosen(const RecordKey &key);

private:
    void recompute();
    /// Rings the point of m_ringed, if it is one.
    void ring();

    Source m_source;
    Request m_request;
    /// The figure whose records the request is reading.
    std::optional<StatisticsFigure> m_awaited;
    std::vector<RecordFigures> m_records;
    /// Shown instead of the figures: what is being done, or why the records are not there.
    QString m_readState;
    std::optional<RecordKey> m_ringed;
    RateUnit m_unit = RateUnit::KpaPerMinute;
    std::optional<ProcessStatistics> m_statistics;
    QComboBox *m_figure = nullptr;
    ControlChartArea *m_chart = nullptr;
    QLabel *m_summary = nullptr;
    QListWidget *m_breaks = nullptr;
};
