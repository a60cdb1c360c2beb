#pragma once

#include "records/recordreader.h"

#include <QWidget>

#include <vector>

class QComboBox;
class QLabel;
class SharedReader;
class SharedRecordModel;

/// The records window's line for the shared database, above its filters: "This rig" or "All
/// rigs" (cmbRigs), the rig filter of All rigs (cmbRig, "All" or a rig's name, typed or
/// picked), and the sync's state (lblSync). With All rigs the list comes from the shared
/// database through kestrava-records in a child process, so the window never waits on the
/// server: a server that cannot be reached shows as failed(). Hidden without a shared
/// database.
class SharedRecordsBar final : public QWidget {
    Q_OBJECT

public:
    /// The newest records one listing takes at most.
    static constexpr int kListLimit = 1000;

    explicit SharedRecordsBar(QWidget *parent);

    /// The shared database's URL; empty for none (This rig only, the bar hidden).
    void setDatabase(const QString &url);
    void setSyncState(const QString &text);
    bool allRigs() const;
    /// Goes back to this rig's records (scopeChanged follows).
    void showThisRig();
    SharedRecordModel *model() const { return m_model; }

    /// Lists the records the filter and the rig filter take.
    void list(RecordFilter filter);
    /// Reads the record with everything it holds.
    void readDetails(const RecordKey &key);
    /// Reads what statistics of the figure read of the records the filter and the rig filter
    /// take, all of them (figuresRead or figuresFailed follow).
    void readFigures(RecordFilter filter, StatisticsFigure figure);
    void exportCsv(const std::vector<RecordKey> &keys, const QString &path);

signals:
    /// This rig / All rigs or the rig filter was changed.
    void scopeChanged();
    /// The model holds a new listing; the text says what it shows.
    void listed(const QString &text);
    void detailsRead(const RecordDetails &details);
    void figuresRead(StatisticsFigure figure, const std::vector<RecordFigures> &records);
    /// The statistics' records could not be read: "Shared database: unreachable: ...".
    void figuresFailed(StatisticsFigure figure, const QString &text);
    /// What the window's status line says of a failure: "Shared database: unreachable: ...".
    void failed(const QString &text);
    void exported(const QString &line);
    /// Why the CSV file could not be written.
    void exportFailed(const QString &reason);

private:
    void onListed(const std::vector<TestRecord> &records);
    /// The filter with the rig filter's rig, if one is chosen.
    RecordFilter withRig(RecordFilter filter) const;

    QString m_url;
    QComboBox *m_scope = nullptr;
    QComboBox *m_rig = nullptr;
    QLabel *m_sync = nullptr;
    SharedRecordModel *m_model = nullptr;
    SharedReader *m_lister = nullptr;
    SharedReader *m_reader = nullptr;
    /// Its own reader: a record clicked meanwhile must not end an export.
    SharedReader *m_exporter = nullptr;
    SharedReader *m_figures = nullptr;
    StatisticsFigure m_figure = StatisticsFigure::MainFall; ///< the one m_figures reads
};
