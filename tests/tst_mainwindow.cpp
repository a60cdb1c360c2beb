#include "app/config.h"
#include "app/sharedstate.h"
#include "app/signalclose.h"
#include "app/startup.h"
#include "calib/calibrationwindow.h"
#include "support/modalwatcher.h"
#include "ui/main/aboutwindow.h"
#include "ui/main/portdialog.h"
#include "ui/main/mainwindow.h"
#include "ui/twips.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

namespace {
const QString kDash = QStringLiteral("---");
}

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void commErrorComesBeforeTheWindow();
    void missingDeviceNamesTheReason();
    void panelsFollowTheLayout();
    void pictureButtonsAreDescribed();
    void closedPortShowsDashesAndThePort();
    void readingsAfterADisplayTick();
    void negativeTemperatureFieldShowsDashesForTemperatureOnly();
    void samplesOnlyTheRunningStation();
    void calibrationStopsAndRestartsTheScan();
    void refusedStartShowsTheReason();
    void exportFailureIsReportedAfterTheTick();
    void closingWritesTheConfiguration();
    void unwritableConfigurationIsReported();
    void aboutBoxWaitsForOk();
    void startUpShowsTheSplashFirst();
    void terminationSignalClosesInOrder();

private:
    /// Opens the main window; the port fails to open, so the "Comm Error" box is answered.
    std::unique_ptr<MainWindow> openMainWindow(SeenMessage *seen = nullptr);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SharedState> m_state;
};

void TestMainWindow::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("KESTRAVA_PORT_DIR", m_dir->path().toLocal8Bit()); // holds no ports
    m_state = std::make_unique<SharedState>();
    m_state->AppPath = m_dir->path();
    applyConfigDefaults(*m_state);
}

void TestMainWindow::cleanup()
{
    qunsetenv("KESTRAVA_PORT_DIR");
}

std::unique_ptr<MainWindow> TestMainWindow::openMainWindow(SeenMessage *seen)
{
    SeenMessage local;
    SeenMessage &message = seen ? *seen : local;
    acceptNextMessage(message);
    auto window = std::make_unique<MainWindow>(*m_state);
    window->show();
    return window;
}

void TestMainWindow::commErrorComesBeforeTheWindow()
{
    m_state->CommPort = 0;
    SeenMessage seen;
    bool windowVisibleDuringBox = true;
    onNextModal([&](QWidget *modal) {
        windowVisibleDuringBox = false;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (qobject_cast<MainWindow *>(top) && top->isVisible())
                windowVisibleDuringBox = true;
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.seen = true;
        box->accept();
    });
    MainWindow window(*m_state);
    QVERIFY(seen.seen);
    QVERIFY(!windowVisibleDuringBox);
    QCOMPARE(seen.title, QStringLiteral("Comm Error"));
    QCOMPARE(seen.icon, QMessageBox::Information);
    QVERIFY2(seen.text.contains(QStringLiteral("0")), qPrintable(seen.text));
    QVERIFY(!m_state->PortReady);
    QVERIFY(window.tmrScan->isActive());
    QVERIFY(window.tmrDisplay->isActive());
    QCOMPARE(window.tmrScan->interval(), 100);
    QCOMPARE(window.tmrDisplay->interval(), 1000);
}

void TestMainWindow::missingDeviceNamesTheReason()
{
    m_state->CommPort = 5;
    SeenMessage seen;
    auto window = openMainWindow(&seen);
    QVERIFY(seen.seen);
    QCOMPARE(seen.title, QStringLiteral("Comm Error"));
    QVERIFY2(seen.text.contains(QStringLiteral("COM5")), qPrintable(seen.text));
    QVERIFY2(seen.text.contains(QStringLiteral("No such file")), qPrintable(seen.text));
    QVERIFY(!m_state->PortReady);
}

void TestMainWindow::panelsFollowTheLayout()
{
    auto window = openMainWindow();
    QCOMPARE(window->windowTitle(), QStringLiteral("Kestrava"));
    QCOMPARE(window->centralWidget()->size(), QSize(770, 564));

    const QStringList titles = {QStringLiteral("TEST 1"), QStringLiteral("TEST 2")};
    for (int s = 0; s < 2; ++s) {
        const int shift = s * 5640;
        QCOMPARE(window->lbl[s == 0 ? 0 : 7]->text(), titles[s]);
        QCOMPARE(window->lbl[s == 0 ? 1 : 6]->text(), QStringLiteral("Vessel Pressure"));
        QCOMPARE(window->lbl[s == 0 ? 2 : 5]->text(), QStringLiteral("Bath Temp"));
        QCOMPARE(window->lblMeter[s]->text(), QStringLiteral("000.0KPa"));
        QCOMPARE(window->lblMeter[2 + s]->text(), QStringLiteral("000.0°C"));
        QCOMPARE(window->lblTime[s]->text(), QStringLiteral("Time: 00:00:00"));
        QCOMPARE(window->lblMsg[s]->text(), QStringLiteral("Process in Idle Mode"));
        QCOMPARE(window->Shape2[s]->geometry(), twipsRect(600 + shift, 600, 4695, 7095));
        QCOMPARE(window->lblMeter[s]->geometry(), twipsRect(1080 + shift, 2760, 3735, 855));
        QCOMPARE(window->lblMsg[s]->geometry(), twipsRect(960 + shift, 6960, 4095, 615));
        // The button row reads stop, start, graph, report from left to right.
        QCOMPARE(window->cmdTestStop[s]->geometry(), twipsRect(960 + shift, 6000, 735, 615));
        QCOMPARE(window->cmdTestStart[s]->geometry(), twipsRect(2040 + shift, 6000, 735, 615));
        QCOMPARE(window->cmdGraph[s]->geometry(), twipsRect(3120 + shift, 6000, 735, 615));
        QCOMPARE(window->cmdReport[s]->geometry(), twipsRect(4200 + shift, 6000, 735, 615));
        QVERIFY(window->cmdTestStart[s]->text().isEmpty());
        QVERIFY(!window->cmdTestStart[s]->icon().isNull());
        QCOMPARE(window->lblMsg[s]->palette().color(QPalette::WindowText), QColor(128, 255, 255));
        QCOMPARE(window->lblMeter[s]->palette().color(QPalette::Window), QColor(0, 0, 192));
        QCOMPARE(window->lblMeter[s]->font().pointSizeF(), 36.0);
    }
    QCOMPARE(window->findChild<QLabel *>(QStringLiteral("lbl(7)")), window->lbl[7]);
    QCOMPARE(window->findChild<QPushButton *>(QStringLiteral("cmdTestStart(1)")),
             window->cmdTestStart[1]);
    QCOMPARE(window->Label1->text(), QStringLiteral("ZQ"));
    QCOMPARE(window->Label2->text(), QStringLiteral("Kestrava"));
    QVERIFY(window->Label1->font().italic());
    QCOMPARE(window->Image1->geometry(), twipsRect(6960, 0, 3195, 660));
    QVERIFY(!window->Image1->pixmap().isNull());
    QCOMPARE(window->cmdSbar->geometry(), twipsRect(0, 7920, 11550, 495));
    QCOMPARE(window->SettingsComm->text(), QStringLiteral("Communication"));
    QCOMPARE(window->SettingsCalib->text(), QStringLiteral("Calibration"));
    QCOMPARE(window->SettingsOptions->text(), QStringLiteral("Options"));
    QCOMPARE(window->HelpAbout->text(), QStringLiteral("About"));
}

void TestMainWindow::pictureButtonsAreDescribed()
{
    auto window = openMainWindow();
    const QStringList expected = {QStringLiteral("Stop test 2"), QStringLiteral("Start test 2"),
                                  QStringLiteral("Trend of test 2"),
                                  QStringLiteral("Report of test 2")};
    const QList<QPushButton *> buttons = {window->cmdTestStop[1], window->cmdTestStart[1],
                                          window->cmdGraph[1], window->cmdReport[1]};
    for (int i = 0; i < buttons.size(); ++i) {
        QCOMPARE(buttons[i]->toolTip(), expected[i]);
        QCOMPARE(buttons[i]->accessibleName(), expected[i]);
    }
    QCOMPARE(window->cmdTestStart[0]->accessibleName(), QStringLiteral("Start test 1"));
}

void TestMainWindow::closedPortShowsDashesAndThePort()
{
    m_state->CommPort = 7;
    auto window = openMainWindow();
    QTRY_COMPARE(window->lblMeter[0]->text(), kDash);
    QCOMPARE(window->lblMeter[1]->text(), kDash);
    QCOMPARE(window->lblMeter[2]->text(), kDash);
    QCOMPARE(window->lblMeter[3]->text(), kDash);
    QVERIFY2(window->cmdSbar->text().startsWith(QStringLiteral("COM 7 | ")),
             qPrintable(window->cmdSbar->text()));
    const QRegularExpression shape(QStringLiteral(R"(^COM 7 \| \d\d-\d\d-\d{4} \| \d\d:\d\d:\d\d$)"));
    QVERIFY(shape.match(window->cmdSbar->text()).hasMatch());
}

void TestMainWindow::readingsAfterADisplayTick()
{
    auto window = openMainWindow();
    m_state->readings.BathTemp = 25;
    m_state->readings.Pressure1 = 1234.56f;
    m_state->readings.Pressure2 = 700;
    m_state->readings.BathTempValid = m_state->readings.Pressure1Valid = m_state->readings.Pressure2Valid = true;
    QTRY_COMPARE(window->lblMeter[2]->text(), QStringLiteral("25.0°C"));
    QCOMPARE(window->lblMeter[3]->text(), QStringLiteral("25.0°C"));
    QCOMPARE(window->lblMeter[0]->text(), QStringLiteral("1234.6KPa"));
    QCOMPARE(window->lblMeter[1]->text(), QStringLiteral("700.0KPa"));
}

void TestMainWindow::negativeTemperatureFieldShowsDashesForTemperatureOnly()
{
    auto window = openMainWindow();
    m_state->readings.BathTemp = 0;
    m_state->readings.BathTempValid = false;
    m_state->readings.Pressure1 = 500;
    m_state->readings.Pressure2 = 600;
    m_state->readings.Pressure1Valid = m_state->readings.Pressure2Valid = true;
    QTRY_COMPARE(window->lblMeter[0]->text(), QStringLiteral("500.0KPa"));
    QCOMPARE(window->lblMeter[1]->text(), QStringLiteral("600.0KPa"));
    QCOMPARE(window->lblMeter[2]->text(), kDash);
    QCOMPARE(window->lblMeter[3]->text(), kDash);
}

void TestMainWindow::samplesOnlyTheRunningStation()
{
    auto window = openMainWindow();
    m_state->readings.Pressure1 = 111;
    m_state->readings.Pressure2 = 222;
    m_state->stations[1].TestRunning = true;
    QTRY_VERIFY_WITH_TIMEOUT(m_state->stations[1].SampleIndex >= 2, 5000);
    QCOMPARE(m_state->stations[1].Samples[0], 222.0f);
    QCOMPARE(m_state->stations[1].Samples[1], 222.0f);
    QCOMPARE(m_state->stations[1].SampleCount, int16_t(m_state->stations[1].SampleIndex - 1));
    QCOMPARE(m_state->stations[0].SampleIndex, 0);
    QCOMPARE(m_state->stations[0].Samples[0], 0.0f);
}

void TestMainWindow::calibrationStopsAndRestartsTheScan()
{
    auto window = openMainWindow();
    m_state->readings.RxBuffer = QStringLiteral("stale text");
    bool scanWasStopped = false;
    bool bufferWasEmpty = false;
    bool displayKeptRunning = false;
    onNextModal([&](QWidget *modal) {
        QVERIFY(qobject_cast<CalibrationWindow *>(modal));
        scanWasStopped = !window->tmrScan->isActive();
        bufferWasEmpty = m_state->readings.RxBuffer.isEmpty();
        displayKeptRunning = window->tmrDisplay->isActive();
        m_state->readings.RxBuffer = QStringLiteral("text during calibration");
        modal->close();
    });
    window->SettingsCalib->trigger();
    QVERIFY(scanWasStopped);
    QVERIFY(bufferWasEmpty);
    QVERIFY(displayKeptRunning);
    QVERIFY(window->tmrScan->isActive());
    QVERIFY(m_state->readings.RxBuffer.isEmpty());
}

void TestMainWindow::refusedStartShowsTheReason()
{
    auto window = openMainWindow();
    m_state->readings.Pressure2 = 599.9f;
    SeenMessage seen;
    acceptNextMessage(seen);
    QTest::mouseClick(window->cmdTestStart[1], Qt::LeftButton);
    QVERIFY(seen.seen);
    QCOMPARE(seen.title, QStringLiteral("Test Start Fail"));
    QCOMPARE(seen.text, QStringLiteral("Pressure less than 600.0KPa"));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QVERIFY(!m_state->stations[1].TestRunning);
    QCOMPARE(window->lblMsg[1]->text(), QStringLiteral("Process in Idle Mode"));

    m_state->readings.Pressure2 = 600;
    QTest::mouseClick(window->cmdTestStart[1], Qt::LeftButton);
    QCOMPARE(window->lblMsg[1]->text(), QStringLiteral("Leak Test In Progress")); // at once
    QTest::mouseClick(window->cmdTestStop[1], Qt::LeftButton);
    QCOMPARE(window->lblMsg[1]->text(), QStringLiteral("Process In Idle Mode"));
    QCOMPARE(window->lblTime[1]->text(), QStringLiteral("Time: 00:00:00"));
}

void TestMainWindow::exportFailureIsReportedAfterTheTick()
{
    m_state->AppPath = m_dir->filePath(QStringLiteral("gone")); // the export cannot be written
    auto window = openMainWindow();
    // Station 0 waits in its post-test phase for the fall that the next tick sees.
    m_state->stations[0].TestRunning = true;
    m_state->stations[0].LeakTestPassed = true;
    m_state->stations[0].PostTestActive = true;
    m_state->stations[0].PhaseStartTime = m_state->clock->now();
    m_state->stations[0].RefPressure = 700;
    m_state->readings.Pressure1 = 600;
    m_state->readings.Pressure1Valid = true;
    // Station 1 counts down its leak test meanwhile.
    m_state->stations[1].TestRunning = true;
    m_state->stations[1].LeakTestActive = true;
    m_state->stations[1].PhaseStartTime = m_state->clock->now();
    m_state->stations[1].RefPressure = 700;
    m_state->readings.Pressure2 = 700;
    m_state->readings.Pressure2Valid = true;
    bool tickFinishedFirst = false;
    bool otherStationWentOn = false;
    SeenMessage seen;
    onNextModal([&](QWidget *modal) {
        tickFinishedFirst = window->lblMsg[0]->text() == QStringLiteral("Test Complete");
        const QString countdown = window->lblTime[1]->text();
        QTest::qWait(1500); // the box stays up; the other station goes on being sequenced
        otherStationWentOn = window->lblTime[1]->text() != countdown;
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.seen = true;
        box->accept();
    });
    QTRY_VERIFY_WITH_TIMEOUT(seen.seen, 10000);
    QVERIFY(tickFinishedFirst);
    QVERIFY(otherStationWentOn);
    QCOMPARE(seen.title, QStringLiteral("Export Error"));
    QVERIFY2(seen.text.contains(QStringLiteral("test1.kvr")), qPrintable(seen.text));
    QCOMPARE(window->lblMsg[0]->text(), QStringLiteral("Test Complete"));
    QVERIFY(!m_state->stations[0].TestRunning);
    SeenMessage configError; // closing cannot write the configuration either
    acceptNextMessage(configError);
    window->close();
    QVERIFY(configError.seen);
}

void TestMainWindow::closingWritesTheConfiguration()
{
    QVERIFY(!QFile::exists(configPath(*m_state)));
    auto window = openMainWindow();
    m_state->CommPort = 7; // as the port dialog would store it
    window->close();
    QFile file(configPath(*m_state));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 17); // sixteen lines, each ended by CR LF
    QCOMPARE(lines[0], QByteArray("Tarnwell DAQ Config. File Ver.1.0\r"));
    QCOMPARE(lines[1], QByteArray(" 7 \r"));
    QCOMPARE(lines[2], QByteArray(" 600 \r"));
}

void TestMainWindow::unwritableConfigurationIsReported()
{
    m_state->AppPath = m_dir->filePath(QStringLiteral("gone"));
    auto window = openMainWindow();
    SeenMessage seen;
    acceptNextMessage(seen);
    window->close();
    QVERIFY(seen.seen);
    QCOMPARE(seen.title, QStringLiteral("Config Error"));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QVERIFY2(seen.text.contains(QStringLiteral("twdaq.cfg")), qPrintable(seen.text));
    QVERIFY(!window->isVisible());
}

void TestMainWindow::aboutBoxWaitsForOk()
{
    auto window = openMainWindow();
    for (int round = 0; round < 2; ++round) {
        bool okVisible = false;
        bool stillOpenLater = false;
        bool modalToTheMain = false;
        onNextModal([&](QWidget *modal) {
            auto *about = qobject_cast<AboutWindow *>(modal);
            QVERIFY(about);
            okVisible = about->cmdOK->isVisible();
            modalToTheMain = about->parentWidget() == window.get();
            QTimer::singleShot(1500, about, [&, about] {
                stillOpenLater = about->isVisible();
                QTest::mouseClick(about->cmdOK, Qt::LeftButton);
            });
        });
        window->HelpAbout->trigger();
        QVERIFY(okVisible);
        QVERIFY(modalToTheMain);
        QVERIFY(stillOpenLater);
        QVERIFY(m_state->AboutFromMenu);
    }
}

void TestMainWindow::startUpShowsTheSplashFirst()
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(m_dir->path());
    SharedState state;
    bool splashWithoutButton = false;
    bool splashGoneBeforeCommError = false;
    qint64 splashMs = 0;
    QElapsedTimer clock;
    clock.start();
    onNextModal([&](QWidget *modal) {
        auto *splash = qobject_cast<AboutWindow *>(modal);
        QVERIFY(splash);
        splashWithoutButton = !splash->cmdOK->isVisible();
        // The splash closes by itself; the next modal window is the port failure.
        QObject::connect(splash, &QDialog::finished, [&] {
            splashMs = clock.elapsed();
            onNextModal([&](QWidget *next) {
                splashGoneBeforeCommError = !qobject_cast<AboutWindow *>(next);
                for (QWidget *top : QApplication::topLevelWidgets())
                    if (qobject_cast<AboutWindow *>(top) && top->isVisible())
                        splashGoneBeforeCommError = false;
                next->close();
            });
        });
    });
    auto window = subMain(state);
    QDir::setCurrent(previous);
    QVERIFY(splashWithoutButton);
    QVERIFY(splashGoneBeforeCommError);
    QVERIFY2(splashMs >= 900, qPrintable(QString::number(splashMs)));
    QVERIFY(window->isVisible());
    QCOMPARE(state.AppPath, m_dir->path());
    QCOMPARE(state.CommPort, int16_t(1)); // no configuration file: the defaults
    QVERIFY(!state.AboutFromMenu);
    window->close();
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("twdaq.cfg"))));
}

void TestMainWindow::terminationSignalClosesInOrder()
{
    SignalClose signalClose;
    auto window = openMainWindow();
    signalClose.setMainWindow(window.get());
    m_state->CommPort = 9;
    bool dialogWasOpen = false;
    onNextModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<PortDialog *>(modal);
        QVERIFY(dialog);
        dialogWasOpen = true;
        dialog->cmbComm->setCurrentIndex(2); // chosen but never confirmed
        std::raise(SIGTERM);
    });
    window->SettingsComm->trigger();
    QVERIFY(dialogWasOpen);
    QTRY_VERIFY(!window->isVisible());
    QCOMPARE(m_state->CommPort, int16_t(9)); // the open dialog closed without applying
    QFile file(configPath(*m_state));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("\r\n 9 \r\n"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
