#include "ui/main/recordswindow.h"

#include "app/safefile.h"
#include "app/textrules.h"
#include "charts/picturearea.h"
#include "charts/picturebox.h"
#include "records/decaychart.h"
#include "records/leakfigures.h"
#include "records/recordcsv.h"
#include "records/recordlistmodel.h"
#include "records/recordstore.h"
#include "records/recordview.h"
#include "records/sharedrecordmodel.h"
#include "records/statisticsview.h"
#include "records/syncsupervisor.h"
#include "records/testrecorder.h"
#include "report/reportwindow.h"
#include "ui/centring.h"
#include "ui/dayfilter.h"
#include "ui/designfont.h"
#include "ui/keyboard.h"
#include "ui/main/sharedrecordsbar.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <memory>

namespace {

const QSize kDecaySize(560, 280);
/// The size the window asks for when none is remembered; a smaller screen gets less.
const QSize kWantedSize(1240, 720);
const QString kTitle = QStringLiteral("Test Records");
const QString kSizeKey = QStringLiteral("RecordsWindow/size");
const QString kSplitterKey = QStringLiteral("RecordsWindow/splitter");

/// The user's own settings, where the window's size and split are remembered.
QSettings userSettings()
{
    return QSettings(QSettings::UserScope, QStringLiteral("Kestrava"), QStringLiteral("kestrava"));
}

QLabel *caption(const QString &text, QWidget *parent)
{
    return new QLabel(text, parent);
}

QPushButton *button(const QString &name, const QString &text, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

} // namespace

RecordsWindow::RecordsWindow(TestRecorder &recorder, const QString &databasePath,
                             const Clock &clock, WindowHandover &handover, const QString &appPath,
                             QWidget *parent)
    : CloseControlDialog(parent), m_recorder(recorder),
      m_reader(std::make_unique<RecordStore>(databasePath, clock, RecordStore::Mode::ReadOnly)),
      m_handover(handover), m_appPath(appPath)
{
    setObjectName(QStringLiteral("frmRecords"));
    setModal(true);
    setWindowTitle(kTitle);
    setFont(designFont(QStringLiteral("Arial"), 9));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    auto *layout = new QVBoxLayout(this);
    m_sharedBar = new SharedRecordsBar(this);
    layout->addWidget(m_sharedBar);
    auto *bar = new QWidget(this);
    buildFilters(bar, clock.now().date());
    layout->addWidget(bar);

    // The list and the selected record side by side; the user moves the split.
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("splRecords"));
    m_splitter->setChildrenCollapsible(false);
    layout->addWidget(m_splitter, 1);
    m_table = new QTableView(m_splitter);
    m_table->setObjectName(QStringLiteral("tblRecords"));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setTabKeyNavigation(false); // Tab leaves the list; Up and Down choose the record
    m_table->verticalHeader()->hide();
    m_splitter->addWidget(m_table);
    auto *pane = new QWidget(m_splitter);
    buildDetailPane(pane);
    m_splitter->addWidget(pane);
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 0);

    m_statistics = new StatisticsView(this);
    m_statistics->hide();
    layout->addWidget(m_statistics, 1);

    auto *bottom = new QHBoxLayout;
    layout->addLayout(bottom);
    m_report = button(QStringLiteral("cmdReport"), QStringLiteral("Report"), this);
    m_exportCsv = button(QStringLiteral("cmdExportCsv"), QStringLiteral("Export CSV..."), this);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_showStatistics = button(QStringLiteral("cmdStatistics"), QStringLiteral("Statistics"), this);
    m_showStatistics->setCheckable(true);
    bottom->addWidget(m_report);
    bottom->addWidget(m_exportCsv);
    bottom->addWidget(m_showStatistics);
    bottom->addWidget(m_status, 1);

    // The list: a query over the window's own connection, rows fetched as they are shown.
    const MaybeFailure opened = m_reader->open();
    m_model = new RecordListModel(m_reader->connectionName(), this);
    m_table->setModel(m_model);
    applyColumnWidths();
    connect(m_model, &QAbstractItemModel::modelReset, this, &RecordsWindow::onListReset);
    followCurrentRow();
    // Queued: the table, given the model later, resets its selection after this connection.
    connect(m_sharedBar->model(), &QAbstractItemModel::modelReset, this,
            &RecordsWindow::onListReset, Qt::QueuedConnection);
    connect(m_sharedBar, &SharedRecordsBar::scopeChanged, this, &RecordsWindow::onScopeChanged);
    connect(m_sharedBar, &SharedRecordsBar::listed, m_status, &QLabel::setText);
    connect(m_sharedBar, &SharedRecordsBar::detailsRead, this,
            [this](const RecordDetails &details) { showDetails(details); });
    connect(m_sharedBar, &SharedRecordsBar::failed, this, [this](const QString &text) {
        m_status->setText(text);
        if (m_sharedBar->allRigs() && !m_shown)
            showDetails(std::nullopt);
    });
    connect(m_sharedBar, &SharedRecordsBar::figuresRead, this,
            [this](StatisticsFigure figure, const std::vector<RecordFigures> &records) {
                m_statistics->receive(figure, records);
            });
    connect(m_sharedBar, &SharedRecordsBar::figuresFailed, this,
            [this](StatisticsFigure figure, const QString &text) {
                m_statistics->receive(figure, Failure{text, {}});
            });
    connect(m_sharedBar, &SharedRecordsBar::exported, m_status, &QLabel::setText);
    connect(m_sharedBar, &SharedRecordsBar::exportFailed, this, [this](const QString &reason) {
        m_status->clear();
        QMessageBox::warning(
            this, QStringLiteral("Export Error"),
            QStringLiteral("The test records could not be exported: %1").arg(reason));
    });
    // Newest first until a header is clicked.
    m_table->horizontalHeader()->setSortIndicator(RecordListModel::Start, Qt::DescendingOrder);
    m_table->setSortingEnabled(true);
    if (opened)
        m_status->setText(opened->reason);

    connect(m_table, &QTableView::doubleClicked, this, &RecordsWindow::onReportClicked);
    connect(m_report, &QPushButton::clicked, this, &RecordsWindow::onReportClicked);
    connect(m_exportCsv, &QPushButton::clicked, this, &RecordsWindow::onExportCsvClicked);
    connect(m_showStatistics, &QPushButton::toggled, this, &RecordsWindow::onStatisticsToggled);
    connect(m_statistics, &StatisticsView::recordChosen, this, &RecordsWindow::selectRecord);
    loadModels();
    enterPressesFocusedButton(this);

    // The size and split the user left, within the screen the window opens on.
    const QSettings settings = userSettings();
    const QSize remembered = settings.value(kSizeKey).toSize();
    placeOnScreen(this, parent, remembered.isValid() ? remembered : kWantedSize);
    if (!m_splitter->restoreState(settings.value(kSplitterKey).toByteArray()))
        m_splitter->setSizes({width() - kDecaySize.width(), kDecaySize.width()});
}

RecordsWindow::~RecordsWindow()
{
    // The list's query reads through the reader's connection, so it goes first.
    m_table->setModel(nullptr);
    delete m_model;
    m_model = nullptr;
    m_reader.reset();
}

void RecordsWindow::setShared(const QString &url, const SyncSupervisor *supervisor)
{
    m_sharedBar->setDatabase(url);
    if (!supervisor)
        return;
    m_sharedBar->setSyncState(supervisor->stateText());
    connect(supervisor, &SyncSupervisor::stateChanged, m_sharedBar,
            &SharedRecordsBar::setSyncState);
}

void RecordsWindow::followCurrentRow()
{
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &RecordsWindow::onCurrentRowChanged);
}

void RecordsWindow::onScopeChanged()
{
    // Names typed for a local record are asked about before the list changes; Cancel keeps
    // this rig's list and the record.
    if (m_sharedBar->allRigs() && m_table->model() == m_model && !mayLeaveRecord()) {
        m_sharedBar->showThisRig();
        return;
    }
    QAbstractItemModel *model =
        m_sharedBar->allRigs() ? static_cast<QAbstractItemModel *>(m_sharedBar->model()) : m_model;
    if (m_table->model() != model) {
        showDetails(std::nullopt);
        m_table->setModel(model);
        followCurrentRow();
        m_table->horizontalHeader()->setSortIndicator(
            m_sharedBar->allRigs() ? int(SharedRecordModel::Start) : int(RecordListModel::Start),
            Qt::DescendingOrder);
        applyColumnWidths();
    }
    onFilterChanged();
}

void RecordsWindow::applyColumnWidths()
{
    // The local list's widths, after the rig's column for All rigs; a setting of the table, so
    // set again whenever the table is given the other list.
    std::vector<int> widths{50, 125, 62, 105, 115, 90, 95, 90, 90, 90, 105};
    if (m_table->model() != m_model)
        widths.insert(widths.begin(), 80);
    const int columns = std::min(int(widths.size()), m_table->model()->columnCount());
    for (int column = 0; column < columns; ++column)
        m_table->setColumnWidth(column, widths[size_t(column)]);
}

void RecordsWindow::buildFilters(QWidget *bar, QDate today)
{
    // Two rows, created in reading order, which is the order Tab visits them.
    auto *rows = new QGridLayout(bar);
    rows->setContentsMargins(0, 0, 0, 0);
    auto *first = new QHBoxLayout;
    auto *second = new QHBoxLayout;
    rows->addLayout(first, 0, 0);
    rows->addLayout(second, 1, 0);

    m_station = new QComboBox(bar);
    m_station->setObjectName(QStringLiteral("cmbStation"));
    m_station->addItems(
        {QStringLiteral("All"), QStringLiteral("Test 1"), QStringLiteral("Test 2")});
    m_outcome = new QComboBox(bar);
    m_outcome->setObjectName(QStringLiteral("cmbOutcome"));
    m_outcome->addItem(QStringLiteral("All"));
    for (const Outcome outcome : {Outcome::Completed, Outcome::LeakTestFailed,
                                  Outcome::MainTestFailed, Outcome::Stopped, Outcome::Interrupted})
        m_outcome->addItem(outcomeText(outcome), int(outcome));
    m_partModel = new QComboBox(bar);
    m_partModel->setObjectName(QStringLiteral("cmbModel"));
    m_filterText = new QLineEdit(bar);
    m_filterText->setObjectName(QStringLiteral("txtFilter"));
    m_filterText->setPlaceholderText(QStringLiteral("test name, operator or serial"));
    m_filterText->setClearButtonEnabled(true);
    first->addWidget(caption(QStringLiteral("Station:"), bar));
    first->addWidget(m_station);
    first->addWidget(caption(QStringLiteral("Result:"), bar));
    first->addWidget(m_outcome);
    first->addWidget(caption(QStringLiteral("Model:"), bar));
    first->addWidget(m_partModel);
    first->addWidget(caption(QStringLiteral("Find:"), bar));
    first->addWidget(m_filterText, 1);

    m_from = new DayFilter(QStringLiteral("Started from:"), QStringLiteral("From"), today, bar);
    m_to = new DayFilter(QStringLiteral("to:"), QStringLiteral("To"), today, bar);
    m_daysHint = new QLabel(bar);
    m_daysHint->setObjectName(QStringLiteral("lblDays"));
    m_unit = new QComboBox(bar);
    m_unit->setObjectName(QStringLiteral("cmbUnit"));
    for (int unit = 0; unit < kRateUnits; ++unit)
        m_unit->addItem(rateUnitText(RateUnit(unit)));
    second->addWidget(m_from);
    second->addWidget(m_to);
    second->addWidget(m_daysHint, 1);
    second->addWidget(caption(QStringLiteral("Rates in:"), bar));
    second->addWidget(m_unit);

    connect(m_station, &QComboBox::currentIndexChanged, this, &RecordsWindow::onFilterChanged);
    connect(m_outcome, &QComboBox::currentIndexChanged, this, &RecordsWindow::onFilterChanged);
    connect(m_from, &DayFilter::changed, this, &RecordsWindow::onFilterChanged);
    connect(m_to, &DayFilter::changed, this, &RecordsWindow::onFilterChanged);
    connect(m_filterText, &QLineEdit::textChanged, this, &RecordsWindow::onFilterChanged);
    connect(m_partModel, &QComboBox::currentIndexChanged, this, &RecordsWindow::onFilterChanged);
    connect(m_unit, &QComboBox::currentIndexChanged, this, &RecordsWindow::onUnitChanged);
}

void RecordsWindow::loadModels()
{
    const QSignalBlocker blocker(m_partModel);
    m_partModel->clear();
    m_partModel->addItem(QStringLiteral("All"));
    m_partModel->addItem(QStringLiteral("No model"), QString(QStringLiteral("")));
    if (!m_reader->isOpen())
        return;
    const Fallible<std::vector<PartModel>> models = m_reader->partModels();
    if (models.ok())
        for (const PartModel &model : *models)
            m_partModel->addItem(model.name, model.name);
}

void RecordsWindow::onUnitChanged()
{
    const auto unit = RateUnit(std::clamp(m_unit->currentIndex(), 0, kRateUnits - 1));
    m_model->setUnit(unit);
    m_statistics->setUnit(unit);
    if (m_shown)
        m_detail->setPlainText(recordDetailText(*m_shown, unit));
}

void RecordsWindow::onStatisticsToggled(bool on)
{
    m_statistics->setVisible(on);
    loadStatistics();
}

void RecordsWindow::loadStatistics()
{
    if (!m_statistics->isVisibleTo(this))
        return;
    if (m_sharedBar->allRigs()) {
        m_statistics->setRequest([this, filter = currentFilter()](StatisticsFigure figure) {
            m_sharedBar->readFigures(filter, figure);
        });
        return;
    }
    const RecordStore &reader = *m_reader;
    m_statistics->setSource([&reader, filter = currentFilter()](
                                StatisticsFigure figure) -> Fallible<std::vector<RecordFigures>> {
        if (!reader.isOpen())
            return Failure{QStringLiteral("The records database is not open."), reader.path()};
        return reader.figureRecords(filter, figure);
    });
}

void RecordsWindow::selectRecord(const RecordKey &key)
{
    if (!key.rig.isEmpty()) {
        selectSharedRecord(key);
        return;
    }
    const int64_t id = key.id;
    // Rows are read as they are shown: read on until the record's row is there. Making it the
    // current row shows it, asking first about names typed for the record shown.
    for (int row = 0;; ++row) {
        if (row >= m_model->rowCount()) {
            if (!m_model->canFetchMore())
                break;
            m_model->fetchMore();
        }
        if (row < m_model->rowCount() && m_model->recordId(row) == id) {
            m_table->selectionModel()->setCurrentIndex(m_model->index(row, 0),
                                                       QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
            m_table->scrollTo(m_model->index(row, 0));
            return;
        }
    }
    if (mayLeaveRecord()) // not listed: shown all the same
        showRecord(id);
}

void RecordsWindow::selectSharedRecord(const RecordKey &key)
{
    if (!m_sharedBar->allRigs())
        return;
    const SharedRecordModel *shared = m_sharedBar->model();
    for (int row = 0; row < shared->rowCount(); ++row) {
        if (RecordKey{shared->record(row).rig, shared->record(row).id} == key) {
            // Its details are read as the current row changes.
            m_table->selectionModel()->setCurrentIndex(shared->index(row, 0),
                                                       QItemSelectionModel::ClearAndSelect |
                                                           QItemSelectionModel::Rows);
            m_table->scrollTo(shared->index(row, 0));
            return;
        }
    }
    m_sharedBar->readDetails(key); // older than the newest listed: shown all the same
}

void RecordsWindow::buildDetailPane(QWidget *pane)
{
    auto *column = new QVBoxLayout(pane);
    column->setContentsMargins(0, 0, 0, 0);
    m_detail = new QPlainTextEdit(pane);
    m_detail->setObjectName(QStringLiteral("txtDetail"));
    m_detail->setReadOnly(true);
    m_detail->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    m_detail->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_detail->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    column->addWidget(m_detail, 1);

    auto *names = new QGridLayout;
    column->addLayout(names);
    m_testName = new QLineEdit(pane);
    m_testName->setObjectName(QStringLiteral("txtTestName"));
    m_operator = new QLineEdit(pane);
    m_operator->setObjectName(QStringLiteral("txtOperator"));
    m_saveNames = button(QStringLiteral("cmdSaveNames"), QStringLiteral("Save Names"), pane);
    names->addWidget(caption(QStringLiteral("Test Name:"), pane), 0, 0);
    names->addWidget(m_testName, 0, 1);
    names->addWidget(caption(QStringLiteral("Operator:"), pane), 1, 0);
    names->addWidget(m_operator, 1, 1);
    names->addWidget(m_saveNames, 1, 2);

    auto *phaseRow = new QHBoxLayout;
    column->addLayout(phaseRow);
    m_phase = new QComboBox(pane);
    m_phase->setObjectName(QStringLiteral("cmbPhase"));
    m_phase->addItems(
        {QStringLiteral("Leak test"), QStringLiteral("Main test"), QStringLiteral("Post-test")});
    phaseRow->addWidget(caption(QStringLiteral("Decay chart:"), pane));
    phaseRow->addWidget(m_phase);
    phaseRow->addStretch(1);
    m_decay = new PictureBox(kDecaySize, RGB(255, 255, 255), pane);
    m_decay->setObjectName(QStringLiteral("picDecay"));
    column->addWidget(m_decay);

    // Enter in a name field saves the names, as the button does.
    connect(m_testName, &QLineEdit::returnPressed, this, &RecordsWindow::onSaveNamesClicked);
    connect(m_operator, &QLineEdit::returnPressed, this, &RecordsWindow::onSaveNamesClicked);
    connect(m_saveNames, &QPushButton::clicked, this, &RecordsWindow::onSaveNamesClicked);
    connect(m_phase, &QComboBox::currentIndexChanged, this, &RecordsWindow::onPhaseChanged);
}

void RecordsWindow::refresh()
{
    // All rigs reads the server only when asked to.
    if (m_sharedBar->allRigs())
        return;
    if (!m_reader->isOpen()) {
        if (const MaybeFailure failure = m_reader->open())
            m_status->setText(failure->reason);
    }
    m_model->refresh();
    loadStatistics();
}

void RecordsWindow::releaseDatabase()
{
    m_model->clear();
    m_reader->close();
}

void RecordsWindow::onFilterChanged()
{
    const std::optional<QDate> from = m_from->day();
    const std::optional<QDate> to = m_to->day();
    // Reversed days would list nothing: that is said beside them, and the list stays as it was.
    const bool reversed = from && to && *from > *to;
    m_daysHint->setText(reversed ? QStringLiteral("The first day is after the last.") : QString());
    if (reversed)
        return;
    if (m_sharedBar->allRigs()) {
        m_status->setText(QStringLiteral("Reading the shared database..."));
        m_sharedBar->list(currentFilter());
    } else {
        m_model->setFilter(currentFilter());
    }
    loadStatistics();
}

RecordFilter RecordsWindow::currentFilter() const
{
    RecordFilter filter;
    if (m_station->currentIndex() > 0)
        filter.station = m_station->currentIndex() - 1;
    if (m_outcome->currentIndex() > 0)
        filter.outcome = Outcome(m_outcome->currentData().toInt());
    setStartDays(filter, m_from->day(), m_to->day());
    filter.text = m_filterText->text().trimmed();
    if (m_partModel->currentIndex() > 0)
        filter.model = m_partModel->currentData().toString();
    return filter;
}

void RecordsWindow::onListReset()
{
    if (m_sharedBar->allRigs()) {
        onSharedListReset();
        return;
    }
    if (m_table->model() != m_model)
        return;
    // Every new listing (filter, sort, refresh) keeps the shown record while it is listed, or
    // while it has names typed and not saved; otherwise the first record is shown.
    if (const MaybeFailure failure = m_model->lastFailure())
        m_status->setText(failure->reason);
    std::optional<int64_t> id;
    if (m_shown && (rowOf(m_shown->record.id) >= 0 || namesEdited()))
        id = m_shown->record.id;
    else if (m_model->rowCount() > 0)
        id = m_model->recordId(0);
    const bool keepNames = namesEdited() && id == m_shown->record.id;
    const QString testName = m_testName->text();
    const QString operatorName = m_operator->text();
    showRecord(id);
    if (keepNames) {
        m_testName->setText(testName);
        m_operator->setText(operatorName);
    }
    selectShown();
}

void RecordsWindow::onSharedListReset()
{
    if (m_table->model() != m_sharedBar->model())
        return;
    // The shown record stays selected while it is listed; otherwise the first is shown.
    const SharedRecordModel *shared = m_sharedBar->model();
    const int rows = shared->rowCount();
    int row = rows > 0 ? 0 : -1;
    if (m_shown) {
        for (int r = 0; r < rows; ++r) {
            if (RecordKey{shared->record(r).rig, shared->record(r).id} ==
                RecordKey{m_shown->record.rig, m_shown->record.id}) {
                row = r;
                break;
            }
        }
    }
    if (row < 0) {
        showDetails(std::nullopt);
        return;
    }
    m_table->selectionModel()->setCurrentIndex(m_table->model()->index(row, 0),
                                               QItemSelectionModel::ClearAndSelect |
                                                   QItemSelectionModel::Rows);
}

std::optional<int64_t> RecordsWindow::currentId() const
{
    const QModelIndex current = m_table->selectionModel()->currentIndex();
    return current.isValid() ? std::optional<int64_t>(m_model->recordId(current.row()))
                             : std::nullopt;
}

int RecordsWindow::rowOf(int64_t id) const
{
    for (int row = 0; row < m_model->rowCount(); ++row)
        if (m_model->recordId(row) == id)
            return row;
    return -1;
}

void RecordsWindow::selectShown()
{
    const QScopedValueRollback<bool> quiet(m_selecting, true);
    const int row = m_shown ? rowOf(m_shown->record.id) : -1;
    QItemSelectionModel *selection = m_table->selectionModel();
    if (row < 0)
        selection->clear();
    else
        selection->setCurrentIndex(m_model->index(row, 0),
                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void RecordsWindow::onCurrentRowChanged()
{
    if (m_selecting)
        return;
    if (m_sharedBar->allRigs()) {
        const QModelIndex current = m_table->selectionModel()->currentIndex();
        if (!current.isValid()) {
            showDetails(std::nullopt);
            return;
        }
        const TestRecord &record = m_sharedBar->model()->record(current.row());
        m_sharedBar->readDetails({record.rig, record.id});
        return;
    }
    if (!namesEdited()) {
        showRecord(currentId());
        return;
    }
    // Names typed for the shown record: the question waits until the list has finished its
    // change (a click goes on selecting after it moves the current row).
    if (!m_asking) {
        m_asking = true;
        QTimer::singleShot(0, this, &RecordsWindow::onLeavingNamedRecord);
    }
}

void RecordsWindow::onLeavingNamedRecord()
{
    const std::optional<int64_t> wanted = currentId();
    const bool leave = !m_shown || wanted == m_shown->record.id || mayLeaveRecord();
    m_asking = false;
    if (leave && (!m_shown || wanted != m_shown->record.id)) {
        showRecord(wanted);
        refresh(); // the list shows the names if they were saved
    }
    selectShown();
}

bool RecordsWindow::namesEdited() const
{
    return m_shown && m_shown->record.rig.isEmpty() &&
           (m_testName->text() != m_shown->record.testName ||
            m_operator->text() != m_shown->record.operatorName);
}

bool RecordsWindow::mayLeaveRecord()
{
    if (!namesEdited())
        return true;
    QMessageBox box(QMessageBox::Question, kTitle,
                    QStringLiteral("Save the names of record %1?").arg(m_shown->record.id),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Save);
    switch (box.exec()) {
    case QMessageBox::Save:
        return saveNames();
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void RecordsWindow::showRecord(std::optional<int64_t> id)
{
    std::optional<RecordDetails> shown;
    if (id) {
        Fallible<RecordDetails> details = m_reader->details(*id);
        if (details.ok())
            shown = std::move(*details);
        else
            m_status->setText(details.failure()->reason);
    }
    showDetails(std::move(shown));
}

void RecordsWindow::showDetails(std::optional<RecordDetails> details)
{
    m_shown = std::move(details);
    for (QWidget *control : std::initializer_list<QWidget *>{m_report, m_phase})
        control->setEnabled(m_shown.has_value());
    // A shared record's names are kept by its rig.
    const bool local = m_shown && m_shown->record.rig.isEmpty();
    for (QWidget *control : std::initializer_list<QWidget *>{m_testName, m_operator, m_saveNames})
        control->setEnabled(local);
    m_exportCsv->setEnabled(m_shown.has_value());
    if (!m_shown) {
        m_detail->clear();
        m_testName->clear();
        m_operator->clear();
    } else {
        m_detail->setPlainText(recordDetailText(*m_shown, m_model->unit()));
        m_testName->setText(m_shown->record.testName);
        m_operator->setText(m_shown->record.operatorName);
    }
    drawDecay();
    m_statistics->showRecord(
        m_shown ? std::optional<RecordKey>({m_shown->record.rig, m_shown->record.id})
                : std::nullopt);
}

void RecordsWindow::onPhaseChanged()
{
    drawDecay();
}

void RecordsWindow::drawDecay()
{
    PictureArea &area = m_decay->area();
    if (!m_shown) {
        area.cls();
    } else {
        const FigurePhase phases[] = {FigurePhase::Leak, FigurePhase::Main, FigurePhase::Post};
        drawDecayChart(area,
                       decayCurve(*m_shown, phases[std::clamp(m_phase->currentIndex(), 0, 2)]));
    }
    m_decay->update();
}

bool RecordsWindow::storeNames(const QString &testName, const QString &operatorName,
                               QWidget *boxOwner)
{
    if (const MaybeFailure failure =
            m_recorder.setNames(m_shown->record.id, {testName, operatorName})) {
        QMessageBox::warning(boxOwner, RecordStore::kErrorTitle, recordsErrorText(*failure));
        return false;
    }
    return true;
}

bool RecordsWindow::saveNames()
{
    const QString testName = m_testName->text();
    const QString operatorName = m_operator->text();
    if (!storeNames(testName, operatorName, this))
        return false;
    m_shown->record.testName = testName;
    m_shown->record.operatorName = operatorName;
    m_status->setText(QStringLiteral("The names of record %1 are saved.").arg(m_shown->record.id));
    return true;
}

void RecordsWindow::onSaveNamesClicked()
{
    if (m_shown && m_shown->record.rig.isEmpty() && saveNames())
        refresh();
}

void RecordsWindow::closeEvent(QCloseEvent *event)
{
    if (!mayLeaveRecord()) {
        event->ignore();
        return;
    }
    CloseControlDialog::closeEvent(event);
}

void RecordsWindow::done(int result)
{
    QSettings settings = userSettings();
    settings.setValue(kSizeKey, size());
    settings.setValue(kSplitterKey, m_splitter->saveState());
    CloseControlDialog::done(result);
}

void RecordsWindow::onReportClicked()
{
    if (!m_shown)
        return;
    const TestRecord record = m_shown->record;
    // The report draws the pressures the export file would hold, with a gap for each second
    // whose reading was invalid (0 in the file).
    auto pressures = std::make_shared<const std::vector<float>>(exportedPressures(m_shown->trace));
    auto valid = std::make_shared<const std::vector<uint8_t>>(pressureValidity(m_shown->trace));
    ReportSource source;
    source.station = record.station;
    source.startDate = formatDate(record.start);
    source.startTime = formatTime(record.start);
    source.samples = [pressures, valid] { return chartSamplesOf(*pressures, *valid); };
    source.testName = record.testName;
    source.operatorName = record.operatorName;
    source.serial = record.serial;
    source.model = record.model;
    ReportWindow window(source, m_handover, m_appPath, this);
    bool named = false;
    connect(&window, &ReportWindow::reportIssued, this, [&](const ReportHeader &header) {
        if (!record.rig.isEmpty()) // a shared record's names are kept by its rig
            return;
        const RecordNames names = namesFromReport(header.testName, header.operatorName);
        named = storeNames(names.testName, names.operatorName, &window) || named;
    });
    window.exec();
    if (named)
        refresh();
}

std::vector<RecordKey> RecordsWindow::selectedKeys() const
{
    QModelIndexList rows = m_table->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    std::vector<RecordKey> keys;
    for (const QModelIndex &row : rows) {
        if (m_sharedBar->allRigs()) {
            const TestRecord &record = m_sharedBar->model()->record(row.row());
            keys.push_back({record.rig, record.id});
        } else {
            keys.push_back({QString(), m_model->recordId(row.row())});
        }
    }
    return keys;
}

void RecordsWindow::onExportCsvClicked()
{
    if (selectedKeys().empty())
        return;
    const QString folder = m_appPath.isEmpty() ? QDir::currentPath() : m_appPath;
    QFileDialog dialog(this, QStringLiteral("Export CSV"),
                       pathInFolder(folder, QStringLiteral("kestrava-records.csv")),
                       QStringLiteral("CSV files (*.csv)"));
    dialog.setObjectName(QStringLiteral("csvDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    exportTo(dialog.selectedFiles().constFirst());
}

void RecordsWindow::exportTo(const QString &path)
{
    const std::vector<RecordKey> keys = selectedKeys();
    if (m_sharedBar->allRigs()) {
        m_status->setText(QStringLiteral("Exporting..."));
        m_sharedBar->exportCsv(keys, path);
        return;
    }
    std::vector<int64_t> ids;
    for (const RecordKey &key : keys)
        ids.push_back(key.id);
    if (const MaybeFailure failure = exportCsv(*m_reader, ids, path)) {
        QMessageBox::warning(this, QStringLiteral("Export Error"),
                             QStringLiteral("The test records could not be exported to %1: %2")
                                 .arg(QDir::toNativeSeparators(path), failure->reason));
        return;
    }
    m_status->setText(QStringLiteral("%1 records exported to %2")
                          .arg(ids.size())
                          .arg(QDir::toNativeSeparators(path)));
}
