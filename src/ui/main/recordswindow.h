#pragma once

#include "records/testrecord.h"
#include "ui/closecontroldialog.h"

#include <QDate>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class Clock;
class DayFilter;
class PictureBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class SharedRecordsBar;
class SyncSupervisor;
class QTableView;
class RecordListModel;
class RecordStore;
class StatisticsView;
struct RecordFilter;
class TestRecorder;
struct WindowHandover;

/// The test records window (frmRecords): every record of the database in a table, newest
/// first, filtered by station, result, part model, start days and a text (found in the test
/// name, the operator or the serial), and sorted by a click on a
/// column header. The selected record is described beside it, past a splitter (times,
/// parameters, calibration, leak figures, link events), with the decay chart of its leak or
/// main test. Its report opens in the report window, drawn from its trace; its names can be
/// edited (Enter in a name field saves them, and names not saved are asked about before
/// another record is shown or the window closes); the selected records export to a CSV file.
/// It closes only by its close control, and opens inside the screen at the size and split the
/// user last left, kept in the user's settings.
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

    /// The shared database (empty for none), which adds "This rig" / "All rigs" and the sync's
    /// state line, kept up to date from the supervisor (may be null).
    void setShared(const QString &url, const SyncSupervisor *supervisor);

    /// Every way of closing keeps the window's size and split for the next opening.
    void done(int result) override;

protected:
    /// The close control asks first about names typed and not saved.
    void closeEvent(QCloseEvent *event) override;

private:
    /// Sets the list's column widths for the list the table shows.
    void applyColumnWidths();
    void buildFilters(QWidget *bar, QDate today);
    void buildDetailPane(QWidget *pane);
    void onFilterChanged();
    /// The filter the controls give.
    RecordFilter currentFilter() const;
    /// The part models of the store into the model filter.
    void loadModels();
    void onUnitChanged();
    void onStatisticsToggled(bool on);
    /// The records the filters keep into the statistics view, when it shows: read from the
    /// local store at once, or from the shared database in the background for All rigs.
    void loadStatistics();
    /// Selects the record in the list (a point of the statistics chosen).
    void selectRecord(const RecordKey &key);
    /// Selects the shared record in the All rigs list, or shows it if it is not listed.
    void selectSharedRecord(const RecordKey &key);
    void onListReset();
    void onCurrentRowChanged();
    void onLeavingNamedRecord();
    /// A listing of All rigs came: the shown record stays selected while it is listed.
    void onSharedListReset();
    /// Shows the record (or nothing) in the detail pane.
    void showDetails(std::optional<RecordDetails> details);
    /// This rig / All rigs changed: the list shows the local store or the shared database.
    void onScopeChanged();
    /// Follows the current row of the table's selection model, which a new model replaces.
    void followCurrentRow();
    std::optional<int64_t> currentId() const;
    /// The row listing the record, or -1.
    int rowOf(int64_t id) const;
    /// Makes the shown record the list's current and only selected row, if it is listed.
    void selectShown();
    /// Whether the name fields differ from the shown record's names.
    bool namesEdited() const;
    /// Before the shown record makes way: true when no names are typed, or the user saved or
    /// discarded them; false when they chose Cancel or saving failed.
    bool mayLeaveRecord();
    /// Stores the typed names with the shown record; false after a "Records Error" box.
    bool saveNames();
    void onPhaseChanged();
    void onReportClicked();
    void onExportCsvClicked();
    void onSaveNamesClicked();
    /// Shows the record with the id (or nothing) in the detail pane.
    void showRecord(std::optional<int64_t> id);
    void drawDecay();
    std::vector<RecordKey> selectedKeys() const;
    /// Stores the names of the shown record; false, after a "Records Error" box, when it fails.
    bool storeNames(const QString &testName, const QString &operatorName, QWidget *boxOwner);

    TestRecorder &m_recorder;
    std::unique_ptr<RecordStore> m_reader;
    WindowHandover &m_handover;
    QString m_appPath;
    RecordListModel *m_model = nullptr;

    QComboBox *m_station = nullptr;
    QComboBox *m_outcome = nullptr;
    DayFilter *m_from = nullptr;
    DayFilter *m_to = nullptr;
    QLabel *m_daysHint = nullptr;
    QLineEdit *m_filterText = nullptr;
    QSplitter *m_splitter = nullptr;
    SharedRecordsBar *m_sharedBar = nullptr;
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
    /// Set while the window itself moves the list's current row.
    bool m_selecting = false;
    /// Set while the question about typed names waits to be asked.
    bool m_asking = false;
};
