// Part serials and part models as the operator meets them: the box "Part Serial - Test N" at a
// Start (a scanner's line and Enter, Escape, an empty or non-matching serial, a retest), the
// menu item that turns it on, and the refusals of the part models dialog.
#include "app/clock.h"
#include "app/config.h"
#include "app/sharedstate.h"
#include "records/partmodels.h"
#include "records/partmodelsdialog.h"
#include "records/recordstore.h"
#include "records/testrecorder.h"
#include "support/diskfaults.h"
#include "support/modalwatcher.h"
#include "support/records.h"
#include "support/widgets.h"
#include "ui/main/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>

namespace {

const QString kPattern = QStringLiteral("SN-\\d{4}");

/// A store with the part model Valve (250 ml, serials SN- and four digits) and a completed
/// test of serial SN-0001 on 10-07-2026 at 09:00.
void prepareStore(const QString &path)
{
    const SystemClock clock;
    RecordStore store(path, clock);
    QVERIFY_OK(store.open());
    QVERIFY_OK(store.savePartModel({0, QStringLiteral("Valve"), 250, kPattern}));
    RecordChange change;
    change.record.start = fromIsoTime(QStringLiteral("2026-07-10T09:00:00+02:00"));
    change.record.end = change.record.start.addSecs(1200);
    change.record.outcome = Outcome::Completed;
    change.record.serial = QStringLiteral("SN-0001");
    change.record.model = QStringLiteral("Valve");
    QVERIFY_OK(store.write({change}));
}

} // namespace

class TestParts : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void serialBox_data();
    void serialBox();
    void askSerialMenuItem();
    void faultsAtStartAreToldOnce();
    void modelRefusals_data();
    void modelRefusals();
    void savedModelChangesItsRecords_data();
    void savedModelChangesItsRecords();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SharedState> m_state;
    QString m_db;
    ModalGuard m_guard;
};

void TestParts::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("KESTRAVA_PORT_DIR", m_dir->path().toLocal8Bit()); // holds no ports
    m_state = std::make_unique<SharedState>();
    m_state->AppPath = m_dir->path();
    applyConfigDefaults(*m_state);
    m_db = m_dir->filePath(RecordStore::kFileName);
    prepareStore(m_db);
}

void TestParts::cleanup()
{
    qunsetenv("KESTRAVA_PORT_DIR");
    const QString stray = m_guard.takeStray();
    QVERIFY2(stray.isEmpty(), qPrintable(QStringLiteral("unanswered: ") + stray));
}

void TestParts::serialBox_data()
{
    QTest::addColumn<bool>("ask");      // kestrava.ini [parts] ask_serial
    QTest::addColumn<QString>("typed"); // as a scanner types it, then the key
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("note");   // under the field once the key is pressed
    QTest::addColumn<QString>("serial"); // of the record started; "-": none started
    QTest::addColumn<QString>("model");

    QTest::newRow("scanner line and Enter") << true << "SN-0042" << int(Qt::Key_Return) << ""
                                            << "SN-0042"
                                            << "Valve";
    QTest::newRow("Escape starts nothing") << true << "SN-0042" << int(Qt::Key_Escape) << ""
                                           << "-"
                                           << "";
    QTest::newRow("empty serial refused")
        << true << "" << int(Qt::Key_Enter) << "Enter the part's serial."
        << "-"
        << "";
    QTest::newRow("serial not matching the model's pattern")
        << true << "4711" << int(Qt::Key_Return)
        << "Serial 4711 does not match the pattern SN-\\d{4} of part model Valve."
        << "-"
        << "";
    QTest::newRow("retest") << true << "SN-0001" << int(Qt::Key_Return)
                            << "Serial SN-0001 was tested on 10-07-2026 09:00:00: completed"
                            << "SN-0001"
                            << "Valve";
    QTest::newRow("not asked: Start as before") << false << "" << 0 << ""
                                                << ""
                                                << "";
}

void TestParts::serialBox()
{
    QFETCH(bool, ask);
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(QString, note);
    QFETCH(QString, serial);
    QFETCH(QString, model);
    QVERIFY_OK(partsettings::setAskSerial(m_state->AppPath, ask));
    QVERIFY_OK(partsettings::setLastModel(m_state->AppPath, 1, QStringLiteral("Valve")));

    SeenMessage commError;
    acceptNextMessage(commError);
    MainWindow window(*m_state);
    window.show();
    Readings &readings = m_state->readings;
    readings.Pressure2 = 700;
    readings.Pressure2Valid = true;

    QString title, seenNote, focused, chosenModel;
    bool stillOpen = false;
    if (ask) {
        onNextModal([&](QWidget *box) {
            title = box->windowTitle();
            focused = box->focusWidget() ? box->focusWidget()->objectName() : QString();
            chosenModel = named<QComboBox>(box, "cmbPartModel")->currentText();
            auto *field = named<QLineEdit>(box, "txtSerial");
            QTest::keyClicks(field, typed);
            QTest::keyClick(field, Qt::Key(key));
            seenNote = named<QLabel>(box, "lblSerialNote")->text();
            stillOpen = box->isVisible();
            if (stillOpen)
                QTest::keyClick(field, Qt::Key_Escape);
        });
    }
    QTest::mouseClick(named<QPushButton>(&window, "cmdTestStart(1)"), Qt::LeftButton);
    const bool started = serial != u"-";
    QCOMPARE(m_state->stations[1].TestRunning, started);
    if (ask) {
        QCOMPARE(title, QStringLiteral("Part Serial - Test 2"));
        QCOMPARE(focused, QStringLiteral("txtSerial"));
        QCOMPARE(chosenModel, QStringLiteral("Valve")); // the station's last model
        QCOMPARE(seenNote, note);
        QCOMPARE(stillOpen, !note.isEmpty() && !started);
    }
    if (!started)
        return;
    // The record, written at the next display tick, keeps the part and the model's volume.
    QString stored;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const std::vector<Stored> records = readStored(m_db);
            if (records.size() < 2)
                return false;
            const TestRecord &r = records.front().record;
            stored = r.serial + u'|' + r.model + u'|' +
                     (r.modelVolume ? QString::number(*r.modelVolume) : QStringLiteral("-"));
            return true;
        }(),
        10000);
    QCOMPARE(stored, serial + u'|' + model + u'|' + (model.isEmpty() ? "-" : "250"));
}

void TestParts::askSerialMenuItem()
{
    SeenMessage commError;
    acceptNextMessage(commError);
    QVERIFY_OK(partsettings::setAskSerial(m_state->AppPath, true));
    MainWindow window(*m_state);
    auto *ask = named<QAction>(&window, "RecordsAskSerial");
    QCOMPARE(ask->text(), QStringLiteral("Ask for Part Serial at Start"));
    QVERIFY(ask->isCheckable() && ask->isChecked());
    ask->trigger();
    QCOMPARE(partsettings::askSerial(m_state->AppPath), false);
    QFile ini(m_dir->filePath(QStringLiteral("kestrava.ini")));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(ini.readAll()).contains(QStringLiteral("[parts]\nask_serial=false")));
}

void TestParts::faultsAtStartAreToldOnce()
{
    // No database when the program starts; the first, made at the Start that asks for the
    // serial, cannot be made, and the settings file refuses its replacement.
    QVERIFY(QFile::remove(m_db));
    QVERIFY_OK(partsettings::setAskSerial(m_state->AppPath, true));
    const QString ini = m_dir->filePath(partsettings::kFileName);
    ImmutableGuard guard;
    QVERIFY2(setImmutable(ini, true), "the immutable flag needs root and a file system with it");
    guard.paths.append(ini);
    SeenMessage commError;
    acceptNextMessage(commError);
    MainWindow window(*m_state);
    window.show();
    QVERIFY(QDir().mkpath(m_db));
    m_state->readings.Pressure2 = 700;
    m_state->readings.Pressure2Valid = true;

    // Every box is answered and noted while the test lasts: OK, or a serial and Enter.
    QStringList seen;
    QTimer answering;
    answering.setInterval(10);
    connect(&answering, &QTimer::timeout, [&seen] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            seen << box->windowTitle() + QStringLiteral(": ") + box->text();
            box->accept();
            return;
        }
        seen << modal->windowTitle();
        auto *field = named<QLineEdit>(modal, "txtSerial");
        QTest::keyClicks(field, QStringLiteral("SN-0042"));
        QTest::keyClick(field, Qt::Key_Return);
    });
    answering.start();
    QTest::mouseClick(named<QPushButton>(&window, "cmdTestStart(1)"), Qt::LeftButton);
    const QStringList atStart{
        QStringLiteral("Records Error: The test records could not be written to %1: The records "
                       "database is a folder, not a file.")
            .arg(QDir::toNativeSeparators(m_db)),
        QStringLiteral("Part Serial - Test 2"),
        QStringLiteral("Config Error: The settings could not be saved to %1: The settings cannot "
                       "be written.")
            .arg(QDir::toNativeSeparators(ini))};
    QCOMPARE(seen, atStart);
    QVERIFY(m_state->stations[1].TestRunning);

    // The failing writes of the next seconds are the same run of failures: no further box.
    QTRY_VERIFY_WITH_TIMEOUT(m_state->stations[1].SampleIndex >= 4, 10000);
    QCOMPARE(seen, atStart);
    QTest::mouseClick(named<QPushButton>(&window, "cmdTestStop(1)"), Qt::LeftButton);
    QVERIFY(QDir(m_db).removeRecursively());
}

void TestParts::modelRefusals_data()
{
    QTest::addColumn<QString>("select");     // the model selected first; "" for New
    QTest::addColumn<QStringList>("fields"); // name, volume, pattern typed
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("models");      // the store's models after, "name volume pattern"
    QTest::addColumn<QString>("recordModel"); // the model named by the record of SN-0001

    const QString before = QStringLiteral("Valve 250 SN-\\d{4}");
    QTest::newRow("empty name") << "" << QStringList{" ", "100", ""} << "cmdSave"
                                << "A part model needs a name." << before << "Valve";
    QTest::newRow("name taken, in another case")
        << "" << QStringList{"VALVE", "100", ""} << "cmdSave"
        << "There is already a part model named Valve." << before << "Valve";
    QTest::newRow("volume of 0") << "" << QStringList{"Pump", "0", ""} << "cmdSave"
                                 << "The volume must be a number of millilitres above 0, not \"0\"."
                                 << before << "Valve";
    QTest::newRow("volume with its unit")
        << "" << QStringList{"Pump", "100 ml", ""} << "cmdSave"
        << "The volume must be a number of millilitres above 0, not \"100 ml\"." << before
        << "Valve";
    QTest::newRow("pattern that is no regular expression")
        << "" << QStringList{"Pump", "100", "SN-("} << "cmdSave"
        << "The serial pattern is not a valid regular expression: missing closing parenthesis "
           "at position 4."
        << before << "Valve";
    QTest::newRow("delete of a model records use")
        << "Valve" << QStringList{} << "cmdDelete"
        << "Part model Valve is used by 1 record and cannot be deleted." << before << "Valve";
    QTest::newRow("new model saved") << "" << QStringList{"Pump", "100.5", ""} << "cmdSave"
                                     << ""
                                     << "Pump 100.5 |" + before << "Valve";
    QTest::newRow("rename takes the records along")
        << "Valve" << QStringList{"Valve B", "250", "SN-\\d{4}"} << "cmdSave"
        << ""
        << "Valve B 250 SN-\\d{4}"
        << "Valve B";
}

void TestParts::modelRefusals()
{
    QFETCH(QString, select);
    QFETCH(QStringList, fields);
    QFETCH(QString, button);
    QFETCH(QString, reason);
    QFETCH(QString, models);
    QFETCH(QString, recordModel);

    const SystemClock clock;
    RecordStore store(m_db, clock);
    TestRecorder recorder(store);
    QVERIFY_OK(store.open());
    PartModelsDialog dialog(recorder, nullptr);
    dialog.show();
    auto *list = named<QListWidget>(&dialog, "lstModels");
    if (!select.isEmpty()) {
        const QList<QListWidgetItem *> found = list->findItems(select, Qt::MatchExactly);
        QCOMPARE(found.size(), qsizetype(1));
        list->setCurrentItem(found.front());
    } else {
        QTest::mouseClick(named<QPushButton>(&dialog, "cmdNew"), Qt::LeftButton);
    }
    const char *names[] = {"txtModelName", "txtVolume", "txtSerialPattern"};
    for (qsizetype i = 0; i < fields.size(); ++i) {
        auto *field = named<QLineEdit>(&dialog, names[i]);
        field->clear();
        QTest::keyClicks(field, fields[i]);
    }
    if (button == u"cmdDelete") {
        // Deleting asks first; Cancel is the default, so only Yes goes on.
        onNextModal([](QWidget *box) {
            auto *question = qobject_cast<QMessageBox *>(box);
            QVERIFY(question);
            QCOMPARE(question->defaultButton(), question->button(QMessageBox::Cancel));
            question->button(QMessageBox::Yes)->click();
        });
        QTest::mouseClick(named<QPushButton>(&dialog, "cmdDelete"), Qt::LeftButton);
    } else {
        // Enter in a field presses Save, the default button.
        QTest::keyClick(named<QLineEdit>(&dialog, "txtVolume"), Qt::Key_Return);
    }
    QCOMPARE(named<QLabel>(&dialog, "lblReason")->text(), reason);
    QVERIFY(dialog.isVisible());

    const Fallible<std::vector<PartModel>> stored = store.partModels();
    QVERIFY_OK(stored);
    QStringList texts;
    for (const PartModel &m : *stored)
        texts << QStringLiteral("%1 %2 %3").arg(m.name).arg(m.volumeMl).arg(m.serialPattern);
    QCOMPARE(texts.join(u'|'), models);
    const Fallible<std::optional<TestRecord>> record =
        store.latestOfSerial(QStringLiteral("SN-0001"));
    QVERIFY_OK(record);
    QCOMPARE((*record)->model, recordModel);
}

void TestParts::savedModelChangesItsRecords_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("volume");
    QTest::addColumn<QStringList>("changed"); // "serial model" as a sync reads them, in order

    QTest::newRow("renamed: each of its records, with the new name")
        << "Valve B" << 250.0 << QStringList{"SN-0001 Valve B", "SN-0002 Valve B"};
    QTest::newRow("renamed in another case")
        << "VALVE" << 250.0 << QStringList{"SN-0001 VALVE", "SN-0002 VALVE"};
    QTest::newRow("volume changed: no record") << "Valve" << 300.0 << QStringList{};
}

void TestParts::savedModelChangesItsRecords()
{
    QFETCH(QString, name);
    QFETCH(double, volume);
    QFETCH(QStringList, changed);

    const SystemClock clock;
    RecordStore store(m_db, clock);
    QVERIFY_OK(store.open());
    QVERIFY_OK(store.savePartModel({0, QStringLiteral("Pump"), 100, {}}));
    for (const char *part : {"SN-0002 Valve", "P-7 Pump"}) {
        RecordChange change;
        change.record.start = fromIsoTime(QStringLiteral("2026-07-11T09:00:00+02:00"));
        change.record.serial = QString::fromLatin1(part).section(u' ', 0, 0);
        change.record.model = QString::fromLatin1(part).section(u' ', 1, 1);
        QVERIFY_OK(store.write({change}));
    }
    const Fallible<std::pair<int64_t, int64_t>> before = store.lastChange();
    QVERIFY_OK(before);
    const Fallible<std::vector<PartModel>> models = store.partModels();
    QVERIFY_OK(models);
    const auto valve = std::find_if(models->begin(), models->end(),
                                    [](const PartModel &m) { return m.name == u"Valve"; });
    QVERIFY(valve != models->end());
    QVERIFY_OK(store.savePartModel({valve->id, name, volume, kPattern}));

    // A sync reads the changes in batches, each from the last change it copied.
    QStringList read;
    for (int64_t last = before->first;;) {
        const Fallible<std::vector<TestRecord>> batch = store.changedSince(last, 1);
        QVERIFY_OK(batch);
        if (batch->empty())
            break;
        read << batch->front().serial + u' ' + batch->front().model;
        last = batch->front().changeSeq;
    }
    QCOMPARE(read, changed);
}

QTEST_MAIN(TestParts)
#include "tst_parts.moc"
