#include "app/config.h"
#include "app/sharedstate.h"
#include "app/signalclose.h"
#include "app/startup.h"
#include "calib/calibrationwindow.h"
#include "support/modalwatcher.h"
#include "support/widgets.h"
#include "ui/designfont.h"
#include "ui/main/aboutwindow.h"
#include "ui/main/mainwindow.h"
#include "ui/main/portdialog.h"
#include "ui/twips.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

const QString kDash = QStringLiteral("---");

QString textOf(const QWidget *window, const char *name, int index)
{
    return named<QLabel>(window, name, index)->text();
}

/// The four reading labels: pressure 1, pressure 2, then the temperature of each panel.
QStringList meterTexts(const QWidget *window)
{
    QStringList texts;
    for (int i = 0; i < 4; ++i)
        texts << textOf(window, "lblMeter", i);
    return texts;
}

/// What the buttons of a window show: caption and whether they can be pressed.
QStringList buttonStates(const QWidget *window)
{
    QStringList states;
    for (const QPushButton *button : window->findChildren<QPushButton *>())
        states << QStringLiteral("%1 \"%2\" %3")
                      .arg(button->objectName(), button->text(),
                           button->isEnabled() ? QStringLiteral("enabled")
                                               : QStringLiteral("disabled"));
    return states;
}

/// The family a font resolves to, without the foundry Qt adds where two foundries share it.
QString resolvedFamily(const QFont &font)
{
    return QFontInfo(font).family().section(QStringLiteral(" ["), 0, 0);
}

/// The lowest pixel row of `box` holding a dark pixel, leaving out `skip`; -1 when none.
int lowestDarkRow(const QImage &image, const QRect &box, const QRect &skip)
{
    for (int y = box.bottom(); y >= box.top(); --y)
        for (int x = box.left(); x <= box.right(); ++x)
            if (!skip.contains(x, y) && qGray(image.pixel(x, y)) < 96)
                return y;
    return -1;
}

/// Whether the focus shows as a frame: between grabs without and with the focus, the grey
/// level changes by 64 or more over two pixels' depth along the middle half of every side.
bool framedWhenFocused(const QImage &without, const QImage &with)
{
    const int w = with.width(), h = with.height();
    const QRect bands[] = {{w / 4, 0, w / 2, h / 4},
                           {w / 4, h - h / 4, w / 2, h / 4},
                           {0, h / 4, w / 4, h / 2},
                           {w - w / 4, h / 4, w / 4, h / 2}};
    for (int side = 0; side < 4; ++side) {
        const QRect &band = bands[side];
        int changed = 0;
        for (int y = band.top(); y <= band.bottom(); ++y)
            for (int x = band.left(); x <= band.right(); ++x)
                changed += qAbs(qGray(without.pixel(x, y)) - qGray(with.pixel(x, y))) >= 64;
        if (changed < (side < 2 ? band.width() : band.height()) * 18 / 10)
            return false;
    }
    return true;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void panelsFollowTheLayout();
    void statusLineIsNarrow();
    void aboutNamesShareABaseline();
    void displayTickShowsTheReadings();
    void calibrationStopsAndRestartsTheScan();
    void refusedStartShowsTheReason_data();
    void refusedStartShowsTheReason();
    void keysTypedInAWindow_data();
    void keysTypedInAWindow();
    void unwritableFolderIsReported();
    void aboutBoxWaitsForOk();
    void focusIsFramed_data();
    void focusIsFramed();
    void startUpShowsTheSplashFirst();
    void terminationSignalClosesInOrder();
    void signalDuringStartUpEndsTheProgram_data();
    void signalDuringStartUpEndsTheProgram();

private:
    /// Opens the main window; the port fails to open, so the "Comm Error" box is answered.
    std::unique_ptr<MainWindow> openMainWindow();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SharedState> m_state;
    ModalGuard m_guard;
};

void TestMainWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("KESTRAVA_PORT_DIR", m_dir->path().toLocal8Bit()); // holds no ports
    // What windows keep in the user's settings (a file dialog's folders) stays in the test.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir->path());
    m_state = std::make_unique<SharedState>();
    m_state->AppPath = m_dir->path();
    applyConfigDefaults(*m_state);
}

void TestMainWindow::cleanup()
{
    qunsetenv("KESTRAVA_PORT_DIR");
    const QString stray = m_guard.takeStray();
    QVERIFY2(stray.isEmpty(), qPrintable(QStringLiteral("unanswered: ") + stray));
}

std::unique_ptr<MainWindow> TestMainWindow::openMainWindow()
{
    SeenMessage commError;
    acceptNextMessage(commError);
    auto window = std::make_unique<MainWindow>(*m_state);
    window->show();
    return window;
}

void TestMainWindow::panelsFollowTheLayout()
{
    auto window = openMainWindow();
    const QWidget *w = window.get();
    QCOMPARE(window->windowTitle(), QStringLiteral("Kestrava"));
    QCOMPARE(window->centralWidget()->size(), QSize(770, 564));

    const char *const buttons[] = {"cmdTestStop", "cmdTestStart", "cmdGraph", "cmdReport"};
    const QString descriptions[] = {QStringLiteral("Stop test "), QStringLiteral("Start test "),
                                    QStringLiteral("Trend of test "),
                                    QStringLiteral("Report of test ")};
    for (int s = 0; s < 2; ++s) {
        const QString test = QString::number(s + 1);
        // Title, pressure caption, temperature caption (lbl(0..2), and lbl(7..5) on the right),
        // pressure, temperature, time and message.
        QCOMPARE((QStringList{textOf(w, "lbl", s ? 7 : 0), textOf(w, "lbl", s ? 6 : 1),
                              textOf(w, "lbl", s ? 5 : 2), textOf(w, "lblMeter", s),
                              textOf(w, "lblMeter", 2 + s), textOf(w, "lblTime", s),
                              textOf(w, "lblMsg", s)}),
                 (QStringList{"TEST " + test, "Vessel Pressure", "Bath Temp", "000.0KPa", "000.0°C",
                              "Time: 00:00:00", "Process in Idle Mode"}));
        QCOMPARE(named<QLabel>(w, "lblMsg", s)->palette().color(QPalette::WindowText),
                 QColor(128, 255, 255));
        auto *pressure = named<QLabel>(w, "lblMeter", s);
        QCOMPARE(pressure->palette().color(QPalette::Window), QColor(0, 0, 192));
        QCOMPARE(pressure->font().pointSizeF(), 36.0);
        // The button row reads stop, start, trend, report from left to right; pictures only.
        int left = -1;
        for (int b = 0; b < 4; ++b) {
            auto *button = named<QPushButton>(w, buttons[b], s);
            QVERIFY(button->x() > left);
            left = button->x();
            QVERIFY(button->text().isEmpty() && !button->icon().isNull());
            QCOMPARE(button->toolTip(), descriptions[b] + test);
            QCOMPARE(button->accessibleName(), descriptions[b] + test);
        }
    }
    QCOMPARE(named<QWidget>(w, "Shape2(0)")->geometry(), twipsRect(600, 600, 4695, 7095));
    QCOMPARE(named<QWidget>(w, "lblMeter(0)")->geometry(), twipsRect(1080, 2760, 3735, 855));
    QCOMPARE(named<QWidget>(w, "cmdReport(0)")->geometry(), twipsRect(4200, 6000, 735, 615));
    // The second panel is the first one moved right by 5640 twips.
    for (const char *name : {"Shape2", "lblMeter", "lblTime", "lblMsg", "cmdTestStart", "cmdGraph"})
        QCOMPARE(named<QWidget>(w, name, 1)->geometry(),
                 named<QWidget>(w, name, 0)->geometry().translated(twips(5640), 0));
    QCOMPARE(named<QWidget>(w, "cmdSbar")->geometry(), twipsRect(0, 7920, 11550, 495));

    QCOMPARE(named<QLabel>(w, "Label1(0)")->text() + named<QLabel>(w, "Label2(0)")->text(),
             QStringLiteral("ZQKestrava"));
    QVERIFY(named<QLabel>(w, "Label1(0)")->font().italic());
    auto *logo = named<QLabel>(w, "Image1");
    QCOMPARE(logo->geometry(), twipsRect(6960, 0, 3195, 660));
    QVERIFY(!logo->pixmap().isNull());
    QStringList menu;
    for (const char *name : {"SettingsComm", "SettingsCalib", "SettingsOptions", "HelpAbout"})
        menu << named<QAction>(w, name)->text();
    QCOMPARE(menu, (QStringList{"Communication", "Calibration", "Options", "About"}));
}

void TestMainWindow::statusLineIsNarrow()
{
    const QString sample = QStringLiteral("COM 7 | 08-12-2026 | 19:29:15");
    const qreal size = 11.25;
    const qreal regular =
        QFontMetricsF(designFont(QStringLiteral("Arial"), size)).horizontalAdvance(sample);
    // The face that stands in for Arial Narrow must itself be installed and narrow.
    const QString substitute = fontconfigSubstitute(QStringLiteral("Arial Narrow"));
    QFont narrow(substitute);
    narrow.setPointSizeF(size);
    QVERIFY2(!substitute.isEmpty() && resolvedFamily(narrow) == substitute &&
                 QFontMetricsF(narrow).horizontalAdvance(sample) < 0.9 * regular,
             qPrintable(QStringLiteral("no narrow face stands in for Arial Narrow (fontconfig "
                                       "gives \"%1\"): install the package fonts-urw-base35")
                            .arg(substitute)));

    auto window = openMainWindow();
    const QFont font = named<QPushButton>(window.get(), "cmdSbar")->font();
    QCOMPARE(resolvedFamily(font), substitute);
    const qreal width = QFontMetricsF(font).horizontalAdvance(sample);
    QVERIFY2(width < 0.9 * regular,
             qPrintable(QStringLiteral("%1 px against %2 px in Arial").arg(width).arg(regular)));
}

void TestMainWindow::aboutNamesShareABaseline()
{
    AboutWindow about(true, nullptr);
    const QImage image = about.grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    auto inImage = [ratio](const QRect &box) {
        return QRect((QPointF(box.topLeft()) * ratio).toPoint(), box.size() * ratio);
    };
    auto *mark = named<QLabel>(&about, "Label1(0)");
    auto *name = named<QLabel>(&about, "Label2(0)");
    const QRect logo = inImage(named<QLabel>(&about, "Image1")->geometry());
    // The "Z" of "ZQ" only: the tail of the Q goes below the line.
    QRect zBox = mark->geometry();
    zBox.setWidth(QFontMetrics(mark->font()).horizontalAdvance(u'Z') * 4 / 5);
    const int markLine = lowestDarkRow(image, inImage(zBox), logo);
    const int nameLine = lowestDarkRow(image, inImage(name->geometry()), logo);
    QVERIFY(markLine > 0 && nameLine > 0);
    QVERIFY2(qAbs(markLine - nameLine) <= ratio,
             qPrintable(QStringLiteral("\"ZQ\" stands on row %1, \"Kestrava\" on row %2")
                            .arg(markLine)
                            .arg(nameLine)));
}

void TestMainWindow::displayTickShowsTheReadings()
{
    m_state->CommPort = 7;
    auto window = openMainWindow(); // no port: the readings below stand until changed
    QTRY_COMPARE(meterTexts(window.get()), (QStringList{kDash, kDash, kDash, kDash}));
    Readings &readings = m_state->readings;
    readings.Pressure1 = 1234.56f;
    readings.Pressure2 = 700;
    readings.BathTemp = 25;
    readings.Pressure1Valid = readings.Pressure2Valid = readings.BathTempValid = true;
    QTRY_COMPARE(meterTexts(window.get()),
                 (QStringList{"1234.6KPa", "700.0KPa", "25.0°C", "25.0°C"}));
    const QString status = named<QPushButton>(window.get(), "cmdSbar")->text();
    const QRegularExpression form(
        QStringLiteral(R"(^COM 7 \| \d\d-\d\d-\d{4} \| \d\d:\d\d:\d\d$)"));
    QVERIFY2(form.match(status).hasMatch(), qPrintable(status));
}

void TestMainWindow::calibrationStopsAndRestartsTheScan()
{
    auto window = openMainWindow();
    auto *scan = named<QTimer>(window.get(), "tmrScan");
    auto *display = named<QTimer>(window.get(), "tmrDisplay");
    m_state->readings.RxBuffer = QStringLiteral("stale text");
    bool opened = false, scanWasStopped = false, bufferWasEmpty = false, displayRan = false;
    onNextModal([&](QWidget *modal) {
        opened = qobject_cast<CalibrationWindow *>(modal) != nullptr;
        scanWasStopped = !scan->isActive();
        bufferWasEmpty = m_state->readings.RxBuffer.isEmpty();
        displayRan = display->isActive();
        m_state->readings.RxBuffer = QStringLiteral("text during calibration");
        modal->close();
    });
    named<QAction>(window.get(), "SettingsCalib")->trigger();
    QVERIFY(opened);
    QVERIFY(scanWasStopped);
    QVERIFY(bufferWasEmpty);
    QVERIFY(displayRan);
    QVERIFY(scan->isActive());
    QVERIFY(m_state->readings.RxBuffer.isEmpty());
}

void TestMainWindow::refusedStartShowsTheReason_data()
{
    // Without a port every reading is lost. Start needs the pressure; once the leak test has
    // passed it begins the main test, which needs the temperature too.
    QTest::addColumn<bool>("mainStart");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no pressure reading") << false << "No pressure reading";
    QTest::newRow("no temperature reading") << true << "No temperature reading";
}

void TestMainWindow::refusedStartShowsTheReason()
{
    QFETCH(bool, mainStart);
    QFETCH(QString, reason);
    auto window = openMainWindow();
    auto *start = named<QPushButton>(window.get(), "cmdTestStart(1)");
    auto *message = named<QLabel>(window.get(), "lblMsg(1)");
    Readings &readings = m_state->readings;
    if (mainStart) {
        m_state->parameters.LeakTestDuration = 0;
        readings.Pressure2 = 700;
        readings.Pressure2Valid = true;
        QTest::mouseClick(start, Qt::LeftButton);
        QTRY_COMPARE(message->text(), "Leak Test Passed.");
    }
    // What the operator sees: the lost reading as dashes.
    QTRY_COMPARE(meterTexts(window.get())[mainStart ? 3 : 1], kDash);
    SeenMessage seen;
    acceptNextMessage(seen);
    const QString before = message->text();
    QTest::mouseClick(start, Qt::LeftButton);
    QVERIFY(seen.seen);
    QCOMPARE(seen.title, QStringLiteral("Test Start Fail"));
    QCOMPARE(seen.text, reason);
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(message->text(), before);
    QCOMPARE(m_state->stations[1].TestRunning, mainStart);
    QVERIFY(!m_state->stations[1].MainTestActive);

    // With good readings the same press starts at once; Stop ends the test.
    readings.Pressure2 = 700;
    readings.Pressure2Valid = true;
    readings.BathTemp = 105;
    readings.BathTempValid = true;
    QTest::mouseClick(start, Qt::LeftButton);
    QCOMPARE(message->text(), mainStart ? "Main Test In Progress" : "Leak Test In Progress");
    QTest::mouseClick(named<QPushButton>(window.get(), "cmdTestStop(1)"), Qt::LeftButton);
    QCOMPARE(message->text(), "Process In Idle Mode");
    QCOMPARE(named<QLabel>(window.get(), "lblTime(1)")->text(), "Time: 00:00:00");
}

void TestMainWindow::keysTypedInAWindow_data()
{
    QTest::addColumn<QString>("opener"); // the main window's menu item or button
    QTest::addColumn<QString>("field");  // the control focused and typed into; empty: as opened
    QTest::addColumn<QString>("typed");  // typed into the field, or the entry chosen in a list
    QTest::addColumn<int>("key");
    // The window "stays", "closes", or closes and "applies"; it stays and "captures" (a
    // calibration value) or "toggles" (a button's caption); it "opens" another window over it.
    QTest::addColumn<QString>("outcome");
    auto row = [](const char *name, const char *opener, const char *field, const char *typed,
                  int key, const char *outcome) {
        QTest::newRow(name) << QString(opener) << QString(field) << QString(typed) << key
                            << QString(outcome);
    };
    const int enter = Qt::Key_Return, escape = Qt::Key_Escape;
    // Enter presses no capture, calibrate, print or save button, and Escape closes nothing.
    row("calibration range 1, Enter", "SettingsCalib", "txtRange(0)", "1600", enter, "stays");
    row("calibration range 2, keypad Enter", "SettingsCalib", "txtRange(1)", "1600", Qt::Key_Enter,
        "stays");
    row("calibration, Escape", "SettingsCalib", "txtRange(0)", "1600", escape, "stays");
    row("report test name, Enter", "cmdReport(0)", "txtTestName", "Pump 7", enter, "stays");
    row("report operator, Enter", "cmdReport(1)", "txtOperator", "J. Smith", enter, "stays");
    row("report, Escape", "cmdReport(0)", "txtTestName", "Pump 7", escape, "stays");
    row("trend, Escape", "cmdGraph(0)", "", "", escape, "stays");
    row("port list, Enter", "SettingsComm", "cmbComm", "COM 7", enter, "stays");
    // The windows whose design gives Enter a meaning.
    row("options, Enter is OK", "SettingsOptions", "txtPara(4)", "1600", enter, "applies");
    row("about, Enter is OK", "HelpAbout", "", "", enter, "closes");
    // Enter on a focused button presses that button.
    row("calibration, Enter on 4mA", "SettingsCalib", "cmd4(0)", "", enter, "captures");
    row("calibration, Enter on Calibrate", "SettingsCalib", "cmdCalib(1)", "", enter, "toggles");
    row("port, Enter on OK", "SettingsComm", "cmdOK", "", enter, "closes");
    row("report, Enter on Print", "cmdReport(0)", "cmdPrint", "", enter, "opens frmPrint");
}

void TestMainWindow::keysTypedInAWindow()
{
    QFETCH(QString, opener);
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(QString, outcome);
    const bool closes = outcome == QLatin1String("closes") || outcome == QLatin1String("applies");
    const bool applies =
        outcome == QLatin1String("applies") || outcome == QLatin1String("captures");
    const QString opens = outcome.section(QLatin1String("opens "), 1);
    auto window = openMainWindow();
    // Raw values that any capture button would take into the calibration.
    m_state->readings.RawPressure1 = 2000;
    m_state->readings.RawPressure2 = 3000;
    m_state->readings.RawTemp = 400;

    struct {
        bool opened = false, openAfter = false;
        QStringList over, buttonsBefore, buttonsAfter;
        QByteArray settingsBefore, settingsAfter;
        QString textAfter;
    } seen;
    onNextModal([&](QWidget *modal) {
        seen.opened = true;
        QWidget *target = modal->focusWidget() ? modal->focusWidget() : modal;
        std::function<QString()> text = [] { return QString(); };
        if (!field.isEmpty()) {
            target = named<QWidget>(modal, field);
            target->setFocus();
        }
        if (auto *list = qobject_cast<QComboBox *>(target)) {
            list->setCurrentIndex(list->findText(typed));
            target = list->lineEdit();
            text = [list] { return list->currentText(); };
        } else if (auto *edit = qobject_cast<QLineEdit *>(target)) {
            edit->selectAll();
            QTest::keyClicks(edit, typed);
            text = [edit] { return edit->text(); };
        }
        seen.settingsBefore = configText(*m_state);
        seen.buttonsBefore = buttonStates(modal);
        {
            ModalsOver over(modal);
            QTest::keyClick(target, Qt::Key(key));
            seen.over = over.opened();
        }
        seen.openAfter = modal->isVisible();
        seen.settingsAfter = configText(*m_state);
        if (!seen.openAfter)
            return;
        seen.buttonsAfter = buttonStates(modal);
        seen.textAfter = text();
        modal->close();
    });
    if (auto *action = window->findChild<QAction *>(opener))
        action->trigger();
    else
        named<QPushButton>(window.get(), opener)->click();
    QVERIFY(seen.opened);
    QCOMPARE(seen.over.join(QStringLiteral(" | ")).section(u' ', 0, 0), opens);
    if (applies)
        QVERIFY(seen.settingsAfter != seen.settingsBefore);
    else
        QCOMPARE(seen.settingsAfter, seen.settingsBefore);
    QCOMPARE(!seen.openAfter, closes);
    if (!closes) {
        // Only the button pressed toggles; what was typed is still there.
        QCOMPARE(seen.buttonsAfter != seen.buttonsBefore, outcome == QLatin1String("toggles"));
        QCOMPARE(seen.textAfter, typed);
    }
}

void TestMainWindow::unwritableFolderIsReported()
{
    m_state->AppPath = m_dir->filePath(QStringLiteral("gone"));
    auto window = openMainWindow();
    auto *message0 = named<QLabel>(window.get(), "lblMsg(0)");
    auto *time1 = named<QLabel>(window.get(), "lblTime(1)");
    // Station 0 waits in its post-test phase for the fall that the next tick sees.
    StationRecord &completing = m_state->stations[0];
    completing.TestRunning = completing.LeakTestPassed = completing.PostTestActive = true;
    completing.PhaseStartTime = m_state->clock->now();
    completing.RefPressure = 700;
    m_state->readings.Pressure1 = 600;
    m_state->readings.Pressure1Valid = true;
    // Station 1 counts down its leak test meanwhile.
    StationRecord &counting = m_state->stations[1];
    counting.TestRunning = counting.LeakTestActive = true;
    counting.PhaseStartTime = m_state->clock->now();
    counting.RefPressure = 700;
    m_state->readings.Pressure2 = 700;
    m_state->readings.Pressure2Valid = true;
    bool tickFinishedFirst = false;
    bool otherStationWentOn = false;
    SeenMessage seen;
    onNextModal([&](QWidget *modal) {
        tickFinishedFirst = message0->text() == QStringLiteral("Test Complete");
        // The box stays up while the other station goes on being sequenced.
        const QString countdown = time1->text();
        otherStationWentOn = QTest::qWaitFor([&] { return time1->text() != countdown; }, 5000);
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            seen = {box->windowTitle(), box->text(), box->icon(), true};
        closeModal(modal);
    });
    QTRY_VERIFY_WITH_TIMEOUT(seen.seen, 10000);
    QVERIFY(tickFinishedFirst);
    QVERIFY(otherStationWentOn);
    QCOMPARE(seen.title, QStringLiteral("Export Error"));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QVERIFY2(seen.text.contains(QStringLiteral("test1.kvr")), qPrintable(seen.text));
    QVERIFY(!completing.TestRunning);

    // Closing cannot write the configuration either; the window closes all the same.
    SeenMessage configError;
    acceptNextMessage(configError);
    window->close();
    QVERIFY(configError.seen);
    QCOMPARE(configError.title, QStringLiteral("Config Error"));
    QCOMPARE(configError.icon, QMessageBox::Warning);
    QVERIFY2(configError.text.contains(QStringLiteral("twdaq.cfg")), qPrintable(configError.text));
    QVERIFY(!window->isVisible());
}

void TestMainWindow::focusIsFramed_data()
{
    QTest::addColumn<QString>("opener"); // what opens the window; empty: the main window itself
    QTest::addColumn<QString>("button"); // empty: the message box's button
    const auto row = [](const char *name, const char *opener, const char *button) {
        QTest::newRow(name) << QString(opener) << QString(button);
    };
    row("main window, picture button", "", "cmdTestStart(0)");
    row("options, Cancel", "SettingsOptions", "cmdCancel");
    row("report, grey picture button", "cmdReport(0)", "cmdPrint");
    row("message box", "cmdTestStart(1)", "");
}

void TestMainWindow::focusIsFramed()
{
    QFETCH(QString, opener);
    QFETCH(QString, button);
    // The program as started, in a folder without configuration or port.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    SeenMessage commError;
    onNextModal([&commError](QWidget *splash) {
        closeModal(splash);
        acceptNextMessage(commError);
    });
    auto window = subMain(*m_state);
    QDir::setCurrent(previous);
    bool framed = false;
    const auto grabBoth = [&](QWidget *shown) {
        auto *pressable = button.isEmpty() ? shown->findChild<QPushButton *>()
                                           : named<QPushButton>(shown, button);
        shown->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(shown));
        pressable->clearFocus();
        const QImage without = pressable->grab().toImage();
        pressable->setFocus();
        QTRY_VERIFY(pressable->hasFocus());
        framed = framedWhenFocused(without, pressable->grab().toImage());
        if (shown != window.get())
            closeModal(shown);
    };
    if (opener.isEmpty())
        grabBoth(window.get());
    else
        onNextModal(grabBoth);
    if (auto *action = window->findChild<QAction *>(opener))
        action->trigger();
    else if (!opener.isEmpty())
        named<QPushButton>(window.get(), opener)->click();
    QVERIFY(framed);
}

void TestMainWindow::aboutBoxWaitsForOk()
{
    auto window = openMainWindow();
    bool opened = false, closesByItself = true;
    onNextModal([&](QWidget *modal) {
        // From the menu the about window belongs to the main window and waits for its OK.
        opened = qobject_cast<AboutWindow *>(modal) && modal->parentWidget() == window.get();
        closesByItself = named<QTimer>(modal, "tmrClose")->isActive();
        auto *ok = named<QPushButton>(modal, "cmdOK");
        QVERIFY(ok->isVisible());
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    named<QAction>(window.get(), "HelpAbout")->trigger();
    QVERIFY(opened);
    QVERIFY(!closesByItself);
    QVERIFY(m_state->AboutFromMenu);
}

void TestMainWindow::startUpShowsTheSplashFirst()
{
    // Started in a folder without configuration: port 1, which the port folder does not hold.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    SharedState state;
    bool splashWithoutButton = false;
    bool boxBeforeTheWindow = false; // the splash gone, the main window not shown yet
    SeenMessage commError;
    qint64 splashMs = 0;
    QElapsedTimer clock;
    clock.start();
    onNextModal([&](QWidget *modal) {
        auto *splash = qobject_cast<AboutWindow *>(modal);
        QVERIFY(splash);
        splashWithoutButton = !named<QPushButton>(splash, "cmdOK")->isVisible();
        // The splash closes by itself; the next modal window is the port failure.
        QObject::connect(splash, &QDialog::finished, [&] {
            splashMs = clock.elapsed();
            onNextModal([&](QWidget *next) {
                boxBeforeTheWindow = true;
                for (QWidget *top : QApplication::topLevelWidgets())
                    if ((qobject_cast<AboutWindow *>(top) || qobject_cast<MainWindow *>(top)) &&
                        top->isVisible())
                        boxBeforeTheWindow = false;
                if (auto *box = qobject_cast<QMessageBox *>(next))
                    commError = {box->windowTitle(), box->text(), box->icon(), true};
                closeModal(next);
            });
        });
    });
    auto window = subMain(state);
    QDir::setCurrent(previous);
    QVERIFY(splashWithoutButton);
    QVERIFY2(splashMs >= 900, qPrintable(QString::number(splashMs)));
    QVERIFY(boxBeforeTheWindow);
    QCOMPARE(commError.title, QStringLiteral("Comm Error"));
    QCOMPARE(commError.icon, QMessageBox::Information);
    QCOMPARE(commError.text, QString::fromLocal8Bit(std::strerror(ENOENT)));
    QVERIFY(window->isVisible());
    QCOMPARE(state.AppPath, m_dir->path());
    QCOMPARE(state.CommPort, int16_t(1));
    QVERIFY(!state.AboutFromMenu);
    QVERIFY(!state.PortReady);
    // The program runs on without the instrument.
    auto *scan = named<QTimer>(window.get(), "tmrScan");
    auto *display = named<QTimer>(window.get(), "tmrDisplay");
    QVERIFY(scan->isActive() && display->isActive());
    QCOMPARE(scan->interval(), 100);
    QCOMPARE(display->interval(), 1000);
    window->close(); // writes the configuration
    QFile file(m_dir->filePath(QStringLiteral("twdaq.cfg")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), configText(state));
}

void TestMainWindow::terminationSignalClosesInOrder()
{
    SignalClose signalClose;
    auto window = openMainWindow();
    signalClose.setMainWindow(window.get());
    m_state->CommPort = 9;
    bool dialogWasOpen = false;
    onNextModal([&](QWidget *modal) {
        dialogWasOpen = qobject_cast<PortDialog *>(modal) != nullptr;
        named<QComboBox>(modal, "cmbComm")->setCurrentIndex(2); // chosen but never confirmed
        std::raise(SIGTERM);
    });
    named<QAction>(window.get(), "SettingsComm")->trigger();
    QVERIFY(dialogWasOpen);
    QTRY_VERIFY(!window->isVisible());
    QCOMPARE(m_state->CommPort, int16_t(9)); // the open dialog closed without applying
    QFile file(configPath(*m_state));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("\r\n 9 \r\n"));
}

namespace {
/// Whether the process has installed its own handler for SIGTERM (its caught-signals mask).
bool catchesSigterm(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}
} // namespace

void TestMainWindow::signalDuringStartUpEndsTheProgram_data()
{
    QTest::addColumn<int>("afterMs");
    QTest::newRow("over the splash") << 0;
    // An outside process shows no sign that its box is up: the splash stands for one second,
    // so two seconds after the handler is in place the "Comm Error" box is.
    QTest::newRow("over the Comm Error box") << 2000;
}

void TestMainWindow::signalDuringStartUpEndsTheProgram()
{
    // The real program, started where its port does not exist: the splash, then the
    // "Comm Error" box, both before the event loop runs. A SIGTERM over either must end the
    // process in order, with the configuration written, and no box left waiting.
    QFETCH(int, afterMs);
    QProcess program;
    program.setWorkingDirectory(m_dir->path());
    program.setProgram(qEnvironmentVariable("KESTRAVA_BIN"));
    program.start();
    QVERIFY2(program.waitForStarted(), qPrintable(program.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(catchesSigterm(program.processId()), 10000);
    if (afterMs > 0)
        QTest::qWait(afterMs);
    ::kill(pid_t(program.processId()), SIGTERM);
    const bool ended = program.waitForFinished(10000);
    if (!ended) {
        program.kill();
        program.waitForFinished();
    }
    QVERIFY2(ended, "the program did not end after SIGTERM");
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(QFile::exists(QDir(m_dir->path()).filePath(QStringLiteral("twdaq.cfg"))));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
