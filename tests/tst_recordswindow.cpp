// The records window over a database of four hand-made records: the list, its filters and
// sorting, the detail pane, a record's report, its names, the CSV of selected records, the
// window on a 1024 × 768 screen and from the keyboard, and the window as the main window opens
// it while a test begins and ends.
#include "app/clock.h"
#include "app/config.h"
#include "app/sharedstate.h"
#include "charts/chartdrawing.h"
#include "charts/picturearea.h"
#include "charts/picturebox.h"
#include "records/decaychart.h"
#include "records/leakfigures.h"
#include "records/recordcsv.h"
#include "records/recordlistmodel.h"
#include "records/recordstore.h"
#include "records/recordview.h"
#include "records/testrecorder.h"
#include "report/reportwindow.h"
#include "support/diskfaults.h"
#include "support/modalwatcher.h"
#include "support/records.h"
#include "support/statisticsset.h"
#include "support/widgets.h"
#include "ui/dayfilter.h"
#include "ui/main/mainwindow.h"
#include "ui/main/recordswindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDirIterator>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {

/// A record written as the program would have written it.
using Made = RecordDetails;

Made made(int station, const QString &start, Outcome outcome, const QString &name,
          const QString &operatorName, const QString &trace)
{
    Made m;
    TestRecord &r = m.record;
    r.station = station;
    r.start = fromIsoTime(start);
    r.outcome = outcome;
    r.parameters = {600, 7, 600, 14, 900, 100};
    r.leakRefPressure = 700;
    r.testName = name;
    r.operatorName = operatorName;
    m.trace = traceOf(r.start, trace); // "pressure:bath:phase" items a second apart
    r.end = r.start.addSecs(qint64(m.trace.size()));
    return m;
}

/// The four records, oldest first. Record A has a main test and a second without a reading.
std::vector<Made> fourRecords()
{
    std::vector<Made> records{
        made(0, "2026-07-10T09:00:00+02:00", Outcome::Completed, "Vessel A", "Kim",
             "700:105:L -:105:L 699:105:L 699:105:M 698:105:M 697:105:P"),
        made(1, "2026-07-11T14:00:00+02:00", Outcome::LeakTestFailed, "Vessel B", "Lee",
             "700:105:L 695:105:L"),
        made(0, "2026-07-12T08:00:00+02:00", Outcome::Stopped, "Pump C", "Kim", "700:105:L"),
        made(1, "2026-07-12T11:00:00+02:00", Outcome::Interrupted, "Vessel D", "Ann", ""),
    };
    TestRecord &a = records[0].record;
    a.serial = QStringLiteral("SN-0007");
    a.model = QStringLiteral("Pump");
    a.modelVolume = 250;
    a.leakPassTime = a.mainStartTime = a.start.addSecs(3);
    a.mainRefPressure = 699;
    a.postTestTime = a.start.addSecs(6);
    for (Made &m : records) {
        const LeakFigures figures = leakFigures(m.record, m.trace, m.decisions);
        m.record.leakFall = figures.leak.fall;
        m.record.mainFall = figures.main.fall;
        m.record.postFall = figures.post.fall;
    }
    return records;
}

QPushButton *button(QWidget *window, const char *name)
{
    return named<QPushButton>(window, QLatin1String(name));
}

/// What is wrong with the layout of a window's visible controls (the widgets its layouts
/// place, not the parts of a control): one outside the window, smaller than it needs, or two
/// overlapping.
QStringList layoutFaults(QWidget *window)
{
    const auto container = [](const QWidget *w) {
        return w->metaObject() == &QWidget::staticMetaObject ||
               qobject_cast<const QSplitter *>(w) || qobject_cast<const DayFilter *>(w);
    };
    QList<QWidget *> controls;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        bool placed = w->isVisible() && !container(w);
        for (QWidget *p = w->parentWidget(); placed && p != window; p = p->parentWidget())
            placed = container(p);
        if (placed)
            controls << w;
    }
    QStringList faults;
    const auto box = [window](const QWidget *w) {
        return QRect(w->mapTo(window, QPoint()), w->size());
    };
    const auto name = [](const QWidget *w) {
        return w->objectName() + w->metaObject()->className();
    };
    for (int i = 0; i < controls.size(); ++i) {
        const QWidget *w = controls[i];
        const QSize least = w->minimumSizeHint();
        if (!window->rect().contains(box(w)) ||
            (least.isValid() && (w->width() < least.width() || w->height() < least.height())))
            faults << name(w) + QStringLiteral(" outside or squeezed");
        for (int j = i + 1; j < controls.size(); ++j)
            if (box(w).intersects(box(controls[j])))
                faults << name(w) + QStringLiteral(" overlaps ") + name(controls[j]);
    }
    return faults;
}

} // namespace

class TestRecordsWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void listing_data();
    void listing();
    void sortedByAClickedHeader();
    void detailPaneShowsTheSelectedRecord();
    void reportDrawsTheRecordsTrace();
    void namesAreStored();
    void namesNotSavedAreAskedAbout_data();
    void namesNotSavedAreAskedAbout();
    void csvOfTheSelectedRecords();
    void openedFromTheMainWindowWhileATestRuns();
    void opensInsideASmallScreen_data();
    void opensInsideASmallScreen();
    void tabWalksInReadingOrder();
    void daysTypedOrPicked_data();
    void daysTypedOrPicked();
    void statisticsOfTheListedRecords();

private:
    /// Opens the window over the store, shown and active but not modal, so that the boxes and
    /// windows it opens are the modal ones the test answers.
    std::unique_ptr<RecordsWindow> openWindow();
    QTableView *table() const { return named<QTableView>(m_window.get(), "tblRecords"); }
    /// The test names listed, top to bottom.
    QStringList listedNames() const;
    /// Selects the listed record with the test name, as a click on its row does.
    void select(const QString &name,
                QItemSelectionModel::SelectionFlags how = QItemSelectionModel::ClearAndSelect);
    /// What another program reads of the record.
    TestRecord stored(int64_t id);
    QString shownName() const { return named<QLineEdit>(m_window.get(), "txtTestName")->text(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QTemporaryDir> m_settings; // the user's settings, new for each test
    std::unique_ptr<ManualClock> m_clock;
    std::unique_ptr<RecordStore> m_store;
    std::unique_ptr<TestRecorder> m_recorder;
    std::vector<Made> m_records; // with their ids
    WindowHandover m_handover;
    std::unique_ptr<RecordsWindow> m_window;
    ModalGuard m_guard;
};

void TestRecordsWindow::initTestCase()
{
    // The days and times shown are those of Central European time.
    QCOMPARE(qgetenv("TZ"), QByteArray("Europe/Berlin"));
    QCOMPARE(QGuiApplication::primaryScreen()->availableGeometry(), QRect(0, 0, 1024, 768));
}

void TestRecordsWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_settings = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings->path());
    m_clock = std::make_unique<ManualClock>(QDateTime(QDate(2026, 7, 13), QTime(9, 0)));
    m_store = std::make_unique<RecordStore>(m_dir->filePath(RecordStore::kFileName), *m_clock);
    QVERIFY(!m_store->open());
    m_recorder = std::make_unique<TestRecorder>(*m_store);
    m_records = fourRecords();
    std::vector<RecordChange> changes;
    for (const Made &m : m_records) {
        RecordChange change;
        change.record = m.record;
        change.samples = m.trace;
        changes.push_back(change);
    }
    const Fallible<std::vector<int64_t>> ids = m_store->write(changes);
    QVERIFY(ids.ok());
    for (size_t i = 0; i < changes.size(); ++i)
        m_records[i].record.id = (*ids)[i];
}

void TestRecordsWindow::cleanup()
{
    m_window.reset();
    m_recorder.reset();
    m_store.reset();
    qunsetenv("KESTRAVA_PORT_DIR");
    const QString stray = m_guard.takeStray();
    QVERIFY2(stray.isEmpty(), qPrintable(QStringLiteral("unanswered: ") + stray));
}

std::unique_ptr<RecordsWindow> TestRecordsWindow::openWindow()
{
    auto window = std::make_unique<RecordsWindow>(*m_recorder, m_store->path(), *m_clock,
                                                  m_handover, m_dir->path(), nullptr);
    window->setModal(false);
    window->show();
    window->activateWindow(); // for the keys typed into it
    if (!QTest::qWaitForWindowActive(window.get()))
        qWarning("the records window did not become active");
    return window;
}

QStringList TestRecordsWindow::listedNames() const
{
    QStringList names;
    const QAbstractItemModel *model = table()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, RecordListModel::TestName).data().toString();
    return names;
}

void TestRecordsWindow::select(const QString &name, QItemSelectionModel::SelectionFlags how)
{
    const int row = int(listedNames().indexOf(name));
    QVERIFY2(row >= 0, qPrintable(name));
    table()->selectionModel()->setCurrentIndex(table()->model()->index(row, 0),
                                               how | QItemSelectionModel::Rows);
}

TestRecord TestRecordsWindow::stored(int64_t id)
{
    RecordStore reader(m_store->path(), *m_clock, RecordStore::Mode::ReadOnly);
    if (reader.open())
        return {};
    const Fallible<TestRecord> record = reader.record(id);
    return record.ok() ? *record : TestRecord{};
}

void TestRecordsWindow::listing_data()
{
    QTest::addColumn<int>("station"); // index of cmbStation: 0 all, 1 test 1, 2 test 2
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QDate>("from"); // null: "Any"
    QTest::addColumn<QDate>("to");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("listed");
    const QDate none;
    QTest::newRow("newest first") << 0 << "All" << none << none << ""
                                  << QStringList{"Vessel D", "Pump C", "Vessel B", "Vessel A"};
    QTest::newRow("test 1") << 1 << "All" << none << none << ""
                            << QStringList{"Pump C", "Vessel A"};
    QTest::newRow("stopped") << 0 << "stopped" << none << none << "" << QStringList{"Pump C"};
    QTest::newRow("days 11 to 12") << 0 << "All" << QDate(2026, 7, 11) << QDate(2026, 7, 12) << ""
                                   << QStringList{"Vessel D", "Pump C", "Vessel B"};
    QTest::newRow("from day 12") << 0 << "All" << QDate(2026, 7, 12) << none << ""
                                 << QStringList{"Vessel D", "Pump C"};
    QTest::newRow("name in any case") << 0 << "All" << none << none << "VESSEL"
                                      << QStringList{"Vessel D", "Vessel B", "Vessel A"};
    QTest::newRow("operator on test 1")
        << 1 << "All" << none << none << "kim" << QStringList{"Pump C", "Vessel A"};
    QTest::newRow("nothing") << 2 << "completed" << none << none << "" << QStringList{};
}

void TestRecordsWindow::listing()
{
    QFETCH(int, station);
    QFETCH(QString, outcome);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(QString, text);
    QFETCH(QStringList, listed);
    m_window = openWindow();
    named<QComboBox>(m_window.get(), "cmbStation")->setCurrentIndex(station);
    auto *outcomes = named<QComboBox>(m_window.get(), "cmbOutcome");
    outcomes->setCurrentIndex(outcomes->findText(outcome));
    for (const auto &[name, day] : {std::pair{"From", from}, std::pair{"To", to}}) {
        if (!day.isValid())
            continue;
        named<QCheckBox>(m_window.get(), QStringLiteral("chk") + name)->setChecked(true);
        named<QDateEdit>(m_window.get(), QStringLiteral("dt") + name)->setDate(day);
    }
    QTest::keyClicks(named<QLineEdit>(m_window.get(), "txtFilter"), text);
    QCOMPARE(listedNames(), listed);
    // The first record listed is described; with none, nothing is, and nothing can be done.
    auto *detail = named<QPlainTextEdit>(m_window.get(), "txtDetail");
    QCOMPARE(detail->toPlainText().isEmpty(), listed.isEmpty());
    QCOMPARE(button(m_window.get(), "cmdReport")->isEnabled(), !listed.isEmpty());
    if (!listed.isEmpty())
        QCOMPARE(named<QLineEdit>(m_window.get(), "txtTestName")->text(), listed.constFirst());
}

void TestRecordsWindow::sortedByAClickedHeader()
{
    m_window = openWindow();
    QHeaderView *header = table()->horizontalHeader();
    const auto clickHeader = [header](int column) {
        QTest::mouseClick(
            header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                   header->height() / 2));
    };
    select(QStringLiteral("Vessel B"));
    clickHeader(RecordListModel::TestName);
    if (header->sortIndicatorOrder() == Qt::DescendingOrder)
        clickHeader(RecordListModel::TestName);
    QCOMPARE(header->sortIndicatorSection(), int(RecordListModel::TestName));
    QCOMPARE(listedNames(), (QStringList{"Pump C", "Vessel A", "Vessel B", "Vessel D"}));
    // The record shown stays shown and selected.
    QCOMPARE(named<QLineEdit>(m_window.get(), "txtTestName")->text(), QStringLiteral("Vessel B"));
    QCOMPARE(table()->selectionModel()->selectedRows().value(0).row(), 2);
    clickHeader(RecordListModel::TestName);
    QCOMPARE(listedNames(), (QStringList{"Vessel D", "Vessel B", "Vessel A", "Pump C"}));
    // By the main fall, the records without one last: A fell 2 KPa, B and C have no main test.
    clickHeader(RecordListModel::MainFall);
    if (header->sortIndicatorOrder() == Qt::AscendingOrder)
        clickHeader(RecordListModel::MainFall);
    QCOMPARE(listedNames().constFirst(), QStringLiteral("Vessel A"));
}

void TestRecordsWindow::detailPaneShowsTheSelectedRecord()
{
    m_window = openWindow();
    select(QStringLiteral("Vessel A"));
    const Made &a = m_records[0];
    // Its description, figures and link events (none) of its own trace.
    QCOMPARE(named<QPlainTextEdit>(m_window.get(), "txtDetail")->toPlainText(),
             recordDetailText(a));
    QCOMPARE(named<QLineEdit>(m_window.get(), "txtOperator")->text(), QStringLiteral("Kim"));

    // The decay chart of the phase chosen, of this record.
    auto *phase = named<QComboBox>(m_window.get(), "cmbPhase");
    PictureArea &shown = named<PictureBox>(m_window.get(), "picDecay")->area();
    for (const FigurePhase figurePhase :
         {FigurePhase::Main, FigurePhase::Post, FigurePhase::Leak}) {
        phase->setCurrentIndex(int(figurePhase));
        PictureArea expected(shown.size(), RGB(255, 255, 255));
        drawDecayChart(expected, decayCurve(a, figurePhase));
        QVERIFY(shown.picture() == expected.picture());
    }
}

void TestRecordsWindow::reportDrawsTheRecordsTrace()
{
    m_window = openWindow();
    select(QStringLiteral("Vessel A"));
    const QString pdf = m_dir->filePath(QStringLiteral("report.pdf"));
    QStringList details;
    bool chartIsTheTrace = false;
    onNextModal([&](QWidget *modal) {
        auto *report = qobject_cast<ReportWindow *>(modal);
        if (!report) {
            modal->close();
            return;
        }
        for (const char *field : {"txtTestName", "txtOperator", "txtDate", "txtTime"})
            details << named<QLineEdit>(report, QLatin1String(field))->text();
        // The reprinted record's part, right of the buttons, clear of every other control.
        auto *part = named<QLabel>(report, "lblPart");
        details << part->text();
        for (const QWidget *other : report->findChildren<QWidget *>())
            if (other != part && other->parentWidget() == report && other->isVisible() &&
                other->geometry().intersects(part->geometry()))
                details << other->objectName() + QStringLiteral(" overlaps");
        // The trace as the export file would hold it, the second without a reading a gap.
        const std::vector<float> pressures{700, 0, 699, 699, 698, 697};
        const std::vector<uint8_t> valid{1, 0, 1, 1, 1, 1};
        PictureArea &chart = named<PictureBox>(report, "pic")->area();
        PictureArea expected(chart.size(), RGB(255, 255, 255));
        drawReportChart(expected, ChartSamples{pressures, 5, valid});
        chartIsTheTrace = chart.picture() == expected.picture();
        named<QLineEdit>(report, "txtTestName")->setText(QStringLiteral("Vessel A, retested"));
        report->saveTo(pdf);
        report->close();
    });
    // A double click: the first click, then the second, which Qt delivers as a double click.
    const QPoint row = table()->visualRect(table()->currentIndex()).center();
    QTest::mouseClick(table()->viewport(), Qt::LeftButton, {}, row);
    QTest::mouseDClick(table()->viewport(), Qt::LeftButton, {}, row);
    QCOMPARE(details, (QStringList{"Vessel A", "Kim", "10-07-2026", "09:00:00",
                                   "Serial: SN-0007    Model: Pump"}));
    QVERIFY(chartIsTheTrace);
    // The page has them too, left of the names, where it is empty above the chart.
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    QVERIFY(text.waitForFinished(30000));
    const QString page = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY2(
        page.contains(QRegularExpression(QStringLiteral("Serial: SN-0007 +Vessel A, retested"))),
        qPrintable(page));
    QVERIFY2(page.contains(QRegularExpression(QStringLiteral("Model: Pump +10-07-2026"))),
             qPrintable(page));

    // The names of the saved report are the record's now.
    QCOMPARE(stored(m_records[0].record.id).testName, QStringLiteral("Vessel A, retested"));
    QVERIFY(listedNames().contains(QStringLiteral("Vessel A, retested")));
}

void TestRecordsWindow::namesAreStored()
{
    m_window = openWindow();
    select(QStringLiteral("Pump C"));
    auto *name = named<QLineEdit>(m_window.get(), "txtTestName");
    auto *person = named<QLineEdit>(m_window.get(), "txtOperator");
    name->clear();
    QTest::keyClicks(name, QStringLiteral("Pump C2"));
    person->clear();
    QTest::keyClicks(person, QStringLiteral("Ann"));
    QCOMPARE(stored(m_records[2].record.id).testName, QStringLiteral("Pump C"));
    QTest::keyClick(person, Qt::Key_Return); // as Save Names does
    const TestRecord record = stored(m_records[2].record.id);
    QCOMPARE(record.testName, QStringLiteral("Pump C2"));
    QCOMPARE(record.operatorName, QStringLiteral("Ann"));
    QCOMPARE(listedNames(), (QStringList{"Vessel D", "Pump C2", "Vessel B", "Vessel A"}));
    QCOMPARE(stored(m_records[3].record.id).testName, QStringLiteral("Vessel D")); // untouched
}

void TestRecordsWindow::namesNotSavedAreAskedAbout_data()
{
    QTest::addColumn<QString>("leaving"); // another record "selected", or the window "closed"
    QTest::addColumn<int>("answer");      // the button of the question, pressed by Enter on it
    QTest::addColumn<QString>("stored");  // the test name stored then
    QTest::addColumn<QString>("shown");   // the test name shown then; empty: the window closed
    const auto row = [](const char *leaving, QMessageBox::StandardButton answer, const char *stored,
                        const char *shown) {
        const char *answerName = answer == QMessageBox::Save      ? "Save"
                                 : answer == QMessageBox::Discard ? "Discard"
                                                                  : "Cancel";
        QTest::addRow("%s, %s", leaving, answerName)
            << QString(leaving) << int(answer) << QString(stored) << QString(shown);
    };
    row("selected", QMessageBox::Save, "Pump C2", "Vessel B");
    row("selected", QMessageBox::Discard, "Pump C", "Vessel B");
    row("selected", QMessageBox::Cancel, "Pump C", "Pump C2");
    row("closed", QMessageBox::Save, "Pump C2", "");
    row("closed", QMessageBox::Discard, "Pump C", "");
    row("closed", QMessageBox::Cancel, "Pump C", "Pump C2");
}

void TestRecordsWindow::namesNotSavedAreAskedAbout()
{
    QFETCH(QString, leaving);
    QFETCH(int, answer);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    m_window = openWindow();
    select(QStringLiteral("Pump C"));
    named<QLineEdit>(m_window.get(), "txtTestName")->setText(QStringLiteral("Pump C2"));
    QString asked;
    onNextModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box || box->defaultButton() != box->button(QMessageBox::Save))
            return closeModal(modal);
        asked = box->text();
        QAbstractButton *pressed = box->button(QMessageBox::StandardButton(answer));
        pressed->setFocus();
        QTest::keyClick(pressed, Qt::Key_Return);
    });
    if (leaving == QLatin1String("selected"))
        select(QStringLiteral("Vessel B"));
    else
        m_window->close();
    QTRY_COMPARE(asked, QStringLiteral("Save the names of record %1?").arg(m_records[2].record.id));
    QCOMPARE(this->stored(m_records[2].record.id).testName, stored);
    QCOMPARE(m_window->isVisible(), !shown.isEmpty());
    if (shown.isEmpty())
        return;
    // The record shown is the one selected; the list shows what is stored.
    QTRY_COMPARE(shownName(), shown);
    QCOMPARE(listedNames().value(table()->currentIndex().row()),
             answer == QMessageBox::Cancel ? QStringLiteral("Pump C") : shown);
    QTRY_VERIFY(listedNames().contains(stored));
}

void TestRecordsWindow::csvOfTheSelectedRecords()
{
    m_window = openWindow();
    select(QStringLiteral("Vessel A"));
    select(QStringLiteral("Vessel B"), QItemSelectionModel::Select);
    QString path;
    onNextModal([&path](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
        path = dialog->selectedFiles().value(0);
        static_cast<QDialog *>(dialog)->accept(); // as its Save button does
    });
    QTest::mouseClick(button(m_window.get(), "cmdExportCsv"), Qt::LeftButton);
    QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("kestrava-records.csv"));
    QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(m_dir->path()).absoluteFilePath());
    // The selected records in the order listed: B, then A.
    QByteArray csv = csvHeaderLine();
    appendCsvRows(csv, m_records[1]);
    appendCsvRows(csv, m_records[0]);
    QCOMPARE(readAll(path), csv);

    // A folder that does not exist: the box names the file, and nothing is written.
    const QString missing = m_dir->filePath(QStringLiteral("gone/two.csv"));
    SeenMessage seen;
    acceptNextMessage(seen);
    m_window->exportTo(missing);
    QCOMPARE(seen.title, QStringLiteral("Export Error"));
    QVERIFY2(seen.text.contains(missing), qPrintable(seen.text));
    QVERIFY(!QFile::exists(missing));
}

void TestRecordsWindow::openedFromTheMainWindowWhileATestRuns()
{
    m_store.reset(); // the program's own store takes the database
    qputenv("KESTRAVA_PORT_DIR", m_dir->path().toLocal8Bit()); // holds no ports
    SharedState state;
    state.AppPath = m_dir->path();
    applyConfigDefaults(state);
    SeenMessage commError;
    acceptNextMessage(commError);
    MainWindow window(state);
    window.show();
    QVERIFY(commError.seen);
    QStringList menus;
    for (const QAction *menu : window.menuBar()->actions())
        menus << menu->text();
    QCOMPARE(menus, (QStringList{"Settings", "Records", "Help"}));

    // Without an instrument the readings are set by hand; the leak test runs meanwhile.
    state.readings.Pressure1 = 700;
    state.readings.Pressure1Valid = true;
    state.readings.BathTemp = 105;
    state.readings.BathTempValid = true;
    QStringList firstRows;
    onNextModal([&](QWidget *modal) {
        auto *records = qobject_cast<RecordsWindow *>(modal);
        if (!records) {
            modal->close();
            return;
        }
        const QAbstractItemModel *list = named<QTableView>(records, "tblRecords")->model();
        const auto firstRow = [list] {
            return list->index(0, RecordListModel::Station).data().toString() + u' ' +
                   list->index(0, RecordListModel::Result).data().toString();
        };
        firstRows << QString::number(list->rowCount()) + u' ' + firstRow();
        named<QPushButton>(&window, "cmdTestStart", 0)->click();
        if (QTest::qWaitFor([&] { return firstRow() == u"1 running"; }, 5000))
            firstRows << QString::number(list->rowCount()) + u' ' + firstRow();
        named<QPushButton>(&window, "cmdTestStop", 0)->click();
        if (QTest::qWaitFor([&] { return firstRow() == u"1 stopped"; }, 5000))
            firstRows << QString::number(list->rowCount()) + u' ' + firstRow();
        records->close();
    });
    named<QAction>(&window, "RecordsTestRecords")->trigger();
    QCOMPARE(firstRows, (QStringList{"4 2 interrupted", "5 1 running", "5 1 stopped"}));

    // Names saved in the records window for that test are what its report from the main
    // window shows, and a report saved from there keeps them.
    onNextModal([](QWidget *modal) {
        if (auto *records = qobject_cast<RecordsWindow *>(modal)) {
            named<QLineEdit>(records, "txtTestName")->setText(QStringLiteral("Vessel E"));
            named<QLineEdit>(records, "txtOperator")->setText(QStringLiteral("Ann"));
            named<QPushButton>(records, "cmdSaveNames")->click();
        }
        modal->close();
    });
    named<QAction>(&window, "RecordsTestRecords")->trigger();
    QStringList reportNames;
    const QString pdf = m_dir->filePath(QStringLiteral("report.pdf"));
    onNextModal([&](QWidget *modal) {
        if (auto *report = qobject_cast<ReportWindow *>(modal)) {
            reportNames << named<QLineEdit>(report, "txtTestName")->text()
                        << named<QLineEdit>(report, "txtOperator")->text();
            report->saveTo(pdf);
        }
        modal->close();
    });
    named<QPushButton>(&window, "cmdReport", 0)->click();
    QCOMPARE(reportNames, (QStringList{"Vessel E", "Ann"}));
    window.close();
    const std::vector<Stored> records = readStored(m_dir->filePath(RecordStore::kFileName));
    QCOMPARE(records.front().record.testName, QStringLiteral("Vessel E"));
    QCOMPARE(records.front().record.operatorName, QStringLiteral("Ann"));
}

void TestRecordsWindow::opensInsideASmallScreen_data()
{
    QTest::addColumn<QSize>("left"); // the size the user left the window at; none: first opening
    QTest::newRow("first opening") << QSize();
    QTest::newRow("left larger than the screen") << QSize(1400, 900);
    QTest::newRow("left small, split moved") << QSize(840, 600);
}

void TestRecordsWindow::opensInsideASmallScreen()
{
    QFETCH(QSize, left);
    QList<int> split;
    if (left.isValid()) {
        m_window = openWindow();
        m_window->resize(left);
        named<QSplitter>(m_window.get(), "splRecords")->setSizes({240, 580});
        split = named<QSplitter>(m_window.get(), "splRecords")->sizes();
        m_window->close();
        // Kept in the user's settings, which this test keeps in a folder of its own.
        QVERIFY(
            QDirIterator(m_settings->path(), QDir::Files, QDirIterator::Subdirectories).hasNext());
    }
    m_window = openWindow();
    const QRect screen = m_window->screen()->availableGeometry();
    QTRY_VERIFY(screen.contains(m_window->frameGeometry()));
    if (left.isValid() && left.width() < screen.width()) {
        QCOMPARE(m_window->size(), left);
        QCOMPARE(named<QSplitter>(m_window.get(), "splRecords")->sizes(), split);
    }
    const QStringList faults = layoutFaults(m_window.get());
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
}

void TestRecordsWindow::tabWalksInReadingOrder()
{
    m_window = openWindow();
    // The days on, so that their fields take part, and every record listed.
    named<QCheckBox>(m_window.get(), "chkFrom")->setChecked(true);
    named<QDateEdit>(m_window.get(), "dtFrom")->setDate(QDate(2026, 7, 1));
    named<QCheckBox>(m_window.get(), "chkTo")->setChecked(true);
    named<QWidget>(m_window.get(), "cmbStation")->setFocus();
    QStringList visited;
    do {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    } while (QApplication::focusWidget()->objectName() != u"cmbStation" && visited.size() < 40);
    QCOMPARE(visited, (QStringList{"cmbStation", "cmbOutcome", "cmbModel", "txtFilter", "chkFrom",
                                   "dtFrom", "chkTo", "dtTo", "cmbUnit", "tblRecords", "txtDetail",
                                   "txtTestName", "txtOperator", "cmdSaveNames", "cmbPhase",
                                   "cmdReport", "cmdExportCsv", "cmdStatistics"}));
    // Tab went through the list and left the shown record; in the list Down and Up move.
    QCOMPARE(shownName(), QStringLiteral("Vessel D"));
    QTest::keyClick(table(), Qt::Key_Down);
    QTest::keyClick(table(), Qt::Key_Down);
    QTest::keyClick(table(), Qt::Key_Up);
    QCOMPARE(shownName(), QStringLiteral("Pump C"));
}

void TestRecordsWindow::daysTypedOrPicked_data()
{
    // A day left "" (Any), typed, picked from the calendar so many days before the day it
    // offers (today, 13 July), or typed and turned off again.
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("hint"); // beside the days
    const auto row = [](const char *name, const char *from, const char *to, QStringList listed,
                        const char *hint) {
        QTest::newRow(name) << QString(from) << QString(to) << listed << QString(hint);
    };
    row("from typed", "2026-07-12", "", {"Vessel D", "Pump C"}, "");
    row("both typed", "2026-07-11", "2026-07-11", {"Vessel B"}, "");
    row("to picked", "", "calendar 2", {"Vessel B", "Vessel A"}, "");
    row("from turned off", "2026-07-12 off", "", {"Vessel D", "Pump C", "Vessel B", "Vessel A"},
        "");
    // The list stays as the first day alone made it.
    row("reversed", "2026-07-12", "2026-07-11", {"Vessel D", "Pump C"},
        "The first day is after the last.");
}

void TestRecordsWindow::daysTypedOrPicked()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QStringList, listed);
    QFETCH(QString, hint);
    m_window = openWindow();
    for (const auto &[name, how] : {std::pair{"From", from}, std::pair{"To", to}}) {
        auto *field = named<QDateEdit>(m_window.get(), QStringLiteral("dt") + name);
        auto *on = named<QCheckBox>(m_window.get(), QStringLiteral("chk") + name);
        QCOMPARE(field->text(), QStringLiteral("Any"));
        if (how.isEmpty())
            continue;
        on->setFocus(); // Space turns the day on, Tab goes to its field
        QTest::keyClick(on, Qt::Key_Space);
        QTest::keyClick(on, Qt::Key_Tab);
        if (how.startsWith(QLatin1String("calendar"))) {
            QTest::keyClick(field, Qt::Key_Down, Qt::AltModifier);
            QTRY_VERIFY(QApplication::activePopupWidget());
            for (int back = how.section(u' ', 1).toInt(); back > 0; --back)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Left);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        } else {
            QTest::keyClicks(QApplication::focusWidget(), how.section(u' ', 0, 0));
        }
        if (how.endsWith(QLatin1String(" off"))) {
            QTest::keyClick(on, Qt::Key_Space);
            QCOMPARE(field->text(), QStringLiteral("Any"));
        }
    }
    QTRY_COMPARE(listedNames(), listed);
    QCOMPARE(named<QLabel>(m_window.get(), "lblDays")->text(), hint);
}

void TestRecordsWindow::statisticsOfTheListedRecords()
{
    // The hand-worked set after the four records: ids 5 to 26, its rule breaks on records
    // 12 (rule 4), 13 (rule 1), 19 (rule 2) and 25 (rule 3).
    QVERIFY_OK(m_store->savePartModel({0, QStringLiteral("Valve"), 250, {}}));
    std::vector<RecordChange> changes;
    for (TestRecord &record : statisticsSet()) {
        record.id = 0;
        changes.push_back({record, false, 0, {}, 0, {}, {}});
    }
    QVERIFY_OK(m_store->write(changes));
    m_window = openWindow();
    auto *model = named<QComboBox>(m_window.get(), "cmbModel");
    QCOMPARE(model->itemText(2), QStringLiteral("Valve"));
    model->setCurrentIndex(2);
    auto *view = named<QWidget>(m_window.get(), "statisticsView");
    QVERIFY(!view->isVisible());
    QTest::mouseClick(button(m_window.get(), "cmdStatistics"), Qt::LeftButton);
    QVERIFY(view->isVisible());
    // On the small screen too, nothing is squeezed or overlaps with the statistics shown.
    const QStringList faults = layoutFaults(m_window.get());
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
    auto *summary = named<QLabel>(view, "lblStatistics");
    QVERIFY2(summary->text().contains("n: 20 (of 22 records; 2 left out)\nmean: 2.002\n"),
             qPrintable(summary->text()));
    QVERIFY2(summary->text().contains("Cpk: 1.527\nfailed: 1\n\nFail rate by day:\n"
                                      "10-07-2026: 0 of 11 (0.0 %)\n11-07-2026: 1 of 10 (10.0 %)"),
             qPrintable(summary->text()));
    auto *breaks = named<QListWidget>(view, "lstRuleBreaks");
    QStringList listed;
    for (int row = 0; row < breaks->count(); ++row)
        listed << breaks->item(row)->text();
    QCOMPARE(listed,
             (QStringList{"record 12: rule 4 (8 in a row on one side)",
                          "record 13: rule 1 (beyond 3σ)", "record 19: rule 2 (2 of 3 beyond 2σ)",
                          "record 25: rule 3 (4 of 5 beyond 1σ)"}));

    // A listed break, and a click on the newest point, select their records in the list.
    const auto currentId = [this] {
        const QModelIndex current = table()->selectionModel()->currentIndex();
        return qobject_cast<RecordListModel *>(table()->model())->recordId(current.row());
    };
    QTest::mouseClick(breaks->viewport(), Qt::LeftButton, {},
                      breaks->visualItemRect(breaks->item(1)).center());
    QCOMPARE(currentId(), int64_t(13));
    auto *chart = named<QWidget>(view, "picStatistics");
    QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint(chart->width() - 80, chart->height() / 4));
    QCOMPARE(currentId(), int64_t(25));

    // Rates in Pa/s: the list's column and the statistics of the main rate.
    named<QComboBox>(m_window.get(), "cmbUnit")->setCurrentIndex(int(RateUnit::PaPerSecond));
    QCOMPARE(table()->model()->headerData(RecordListModel::MainRate, Qt::Horizontal).toString(),
             QStringLiteral("Main rate Pa/s"));
    named<QComboBox>(view, "cmbFigure")->setCurrentIndex(int(StatisticsFigure::MainRate));
    QVERIFY2(summary->text().startsWith("Main test rate, Pa/s\nn: 20 (of 22 records; 2 left out)"
                                        "\nmean: 33.37\n"),
             qPrintable(summary->text()));

    // The records without a model (B, C, D): none with a main test is too few.
    model->setCurrentIndex(1);
    named<QComboBox>(view, "cmbFigure")->setCurrentIndex(int(StatisticsFigure::MainFall));
    QCOMPARE(summary->text(), QStringLiteral("3 records: too few records for statistics."));
    QCOMPARE(breaks->count(), 0);
}

QTEST_MAIN(TestRecordsWindow)
#include "tst_recordswindow.moc"
