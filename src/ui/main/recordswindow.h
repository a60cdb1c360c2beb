#pragma once

#include "records/testrecord.h"
#include "ui/closecontroldialog.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class Clock;
class PictureBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class RecordListModel;
class RecordStore;
class StatisticsView;
struct RecordFilter;
class TestRecorder;
struct WindowHandover;

/// The test records window (frmRecords): every record of the database in a table, newest
/// first, filtered by station, result, start days and a text, and sorted by a click on a
/// column header. The selected record is described beside it (times, parameters, calibration,
/// leak figures, link events) with the decay chart of its leak or main test. Its report opens
/// in the report window, drawn from its trace; its names can be edited; the selected records
/// export to a CSV file. It closes only by its close control.
///
/// The window reads through a read-only connection of its own, which never holds up the
/// program's writes; names go through the program's recorder.
class RecordsWindow final : public CloseControlDialog {
    Q_OBJECT

public:
    /// `recorder` keeps the program's records in the database at `databasePath`; `appPath` is
    /// the folder the CSV file dialog opens in.
    RecordsWindow(TestRecorder &recorder, const QString &databasePath, const Clock &clock,
                  WindowHandover &handover, const QString &appPath, QWidget *parent);
    ~RecordsWindow() override;

    /// Lists the records anew, to show what was written since; the shown record stays shown.
    /// A database given up by releaseDatabase() is opened again first.
    void refresh();
    /// Gives up the database file, which has gone from its path, before the program makes a
    /// new one there.
    void releaseDatabase();

    /// Writes the CSV of the selected records to path; a failure shows an "Export Error" box.
    void exportTo(const QString &path);

private:
    void buildFilters(QWidget *bar);
    void onFilterChanged();
    /// The filter the controls give.
    RecordFilter currentFilter() const;
    /// The part models of the store into the model filter.
    void loadModels();
    void onUnitChanged();
    void onStatisticsToggled(bool on);
    /// The records the filters keep into the statistics view, when it shows.
    void loadStatistics();
    /// Selects the record in the list (a point of the statistics chosen).
    void selectRecord(int64_t id);
    void onListReset();
    void onCurrentRowChanged();
    void onPhaseChanged();
    void onReportClicked();
    void onExportCsvClicked();
    void onSaveNamesClicked();
    /// Shows the record with the id (or nothing) in the detail pane.
    void showRecord(std::optional<int64_t> id);
    void drawDecay();
    std::vector<int64_t> selectedIds() const;
    /// Stores the names of the shown record; false, after a "Records Error" box, when it fails.
    bool storeNames(const QString &testName, const QString &operatorName, QWidget *boxOwner);

    TestRecorder &m_recorder;
    std::unique_ptr<RecordStore> m_reader;
    WindowHandover &m_handover;
    QString m_appPath;
    RecordListModel *m_model = nullptr;

    QComboBox *m_station = nullptr;
    QComboBox *m_outcome = nullptr;
    QDateEdit *m_from = nullptr;
    QDateEdit *m_to = nullptr;
    QLineEdit *m_filterText = nullptr;
    QTableView *m_table = nullptr;
    QPlainTextEdit *m_detail = nullptr;
    QLineEdit *m_testName = nullptr;
    QLineEdit *m_operator = nullptr;
    QPushButton *m_saveNames = nullptr;
    QComboBox *m_phase = nullptr;
    PictureBox *m_decay = nullptr;
    QPushButton *m_report = nullptr;
    QPushButton *m_exportCsv = nullptr;
    QLabel *m_status = nullptr;
    QComboBox *m_partModel = nullptr;
    QComboBox *m_unit = nullptr;
    QPushButton *m_showStatistics = nullptr;
    StatisticsView *m_statistics = nullptr;

    /// The record in the detail pane, with its trace, decisions and link events.
    std::optional<RecordDetails> m_shown;
};
