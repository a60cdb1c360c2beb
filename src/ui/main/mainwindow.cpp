#include "ui/main/mainwindow.h"

#include "app/config.h"
#include "app/safefile.h"
#include "calib/calibrationwindow.h"
#include "charts/trendwindow.h"
#include "device/devicelink.h"
#include "device/serialcomponent.h"
#include "records/partmodels.h"
#include "records/partmodelsdialog.h"
#include "records/partserialdialog.h"
#include "records/recordstore.h"
#include "records/sharedsettings.h"
#include "records/syncsupervisor.h"
#include "records/testrecorder.h"
#include "report/reportwindow.h"
#include "station/exportfile.h"
#include "station/livedisplay.h"
#include "station/sequencer.h"
#include "station/stationcontrol.h"
#include "station/stationsession.h"
#include "ui/banner.h"
#include "ui/designcolours.h"
#include "ui/designfont.h"
#include "ui/main/aboutwindow.h"
#include "ui/main/optionsdialog.h"
#include "ui/main/portdialog.h"
#include "ui/main/recordswindow.h"
#include "ui/main/shareddatabasedialog.h"
#include "ui/pictures.h"
#include "ui/twips.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <cstdint>
#include <cstdio>

namespace {

// Layout in twips of the client area; the station 1 panel is the station 0 panel shifted right.
constexpr int kClientWidth = 11550;
constexpr int kClientHeight = 8460;
constexpr int kStationShift = 5640;

struct Box {
    int left, top, width, height;
};
constexpr Box kPanelFrame{600, 600, 4695, 7095};
constexpr Box kTitle{1800, 720, 2055, 855};
constexpr Box kTime{720, 1680, 4455, 495};
constexpr Box kPressureCaption{1200, 2400, 3495, 495};
constexpr Box kPressure{1080, 2760, 3735, 855};
constexpr Box kTempCaption{2880, 3840, 1815, 495};
constexpr Box kTemp{2880, 4200, 1815, 615};
constexpr int kLineLeft = 600, kLineRight = 5280, kLineTop = 5400;
constexpr Box kStop{960, 6000, 735, 615};
constexpr Box kStart{2040, 6000, 735, 615};
constexpr Box kGraph{3120, 6000, 735, 615};
constexpr Box kReport{4200, 6000, 735, 615};
constexpr Box kMsg{960, 6960, 4095, 615};
constexpr int kStatusTop = 7920, kStatusHeight = 495;

// Label indices of each panel: title, pressure caption, temperature caption.
constexpr int kTitleLabel[kStations] = {0, 7};
constexpr int kPressureCaptionLabel[kStations] = {1, 6};
constexpr int kTempCaptionLabel[kStations] = {2, 5};

const QColor kPanelBorder(0, 255, 255);
const QColor kMessageCyan(128, 255, 255);
const QColor kStatusTeal(0, 192, 192);

QRect stationRect(const Box &box, int station)
{
    return twipsRect(box.left + station * kStationShift, box.top, box.width, box.height);
}

QString indexed(const char *name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

/// The rounded panel behind a station's controls: dark blue fill, cyan border.
class PanelShape final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(kPanelBorder, 2));
        painter.setBrush(kPanelBlue);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 16, 16);
    }
};

QLabel *panelLabel(QWidget *parent, const QString &name, const QString &text, const QRect &box,
                   qreal pointSize, const QColor &color = Qt::white)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(box);
    // Centred across, text at the top, as overlapping labels are laid out to show.
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    label->setFont(designFont(QStringLiteral("Arial Rounded MT Bold"), pointSize, true));
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, kPanelBlue);
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

const QString kConfigErrorTitle = QStringLiteral("Config Error");

/// Text of the "Config Error" box: the settings file and why it could not be written.
QString configErrorText(const QString &path, const QString &reason)
{
    return MainWindow::tr("The settings could not be saved to %1: %2")
        .arg(QDir::toNativeSeparators(path), reason);
}

} // namespace

MainWindow::MainWindow(SharedState &state, QWidget *parent) : QMainWindow(parent), m_state(state)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Kestrava"));
    buildMenu();

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twips(kClientWidth), twips(kClientHeight));
    client->setAutoFillBackground(true);
    QPalette palette = client->palette();
    palette.setColor(QPalette::Window, Qt::white);
    client->setPalette(palette);
    setCentralWidget(client);
    addBanner(client, {QRect(twips(360), twips(120), 0, 0), QRect(twips(960), twips(120), 0, 0),
                       twipsRect(6960, 0, 3195, 660), 15.75, false});
    for (int station = 0; station < kStations; ++station)
        buildStationPanel(client, station);
    buildStatusLine(client);

    m_port = new SerialComponent(this);
    m_port->setObjectName(QStringLiteral("cm"));
    connect(m_port, &SerialComponent::onComm, this, &MainWindow::onReceive);
    connect(m_port, &SerialComponent::portLost, this,
            [this](const QString &reason) { onLinkEvent(LinkEvent::PortLost, reason); });
    connect(m_port, &SerialComponent::reconnected, this,
            [this] { onLinkEvent(LinkEvent::Reconnected, {}); });

    m_sessions = std::make_unique<StationSessions>(m_state);

    m_scanTimer = new QTimer(this);
    m_scanTimer->setObjectName(QStringLiteral("tmrScan"));
    m_scanTimer->setInterval(100);
    connect(m_scanTimer, &QTimer::timeout, this, &MainWindow::onScanTick);
    m_displayTimer = new QTimer(this);
    m_displayTimer->setObjectName(QStringLiteral("tmrDisplay"));
    m_displayTimer->setInterval(1000);
    connect(m_displayTimer, &QTimer::timeout, this, &MainWindow::onDisplayTick);

    load();
}

MainWindow::~MainWindow() = default;

void MainWindow::buildMenu()
{
    struct Item {
        QMenu *menu;
        const char *name;
        const char *text;
        void (MainWindow::*handler)();
    };
    QMenu *settings = menuBar()->addMenu(QStringLiteral("Settings"));
    QMenu *records = menuBar()->addMenu(QStringLiteral("Records"));
    QMenu *help = menuBar()->addMenu(QStringLiteral("Help"));
    const Item items[] = {
        {settings, "SettingsComm", "Communication", &MainWindow::onCommunicationTriggered},
        {settings, "SettingsCalib", "Calibration", &MainWindow::onCalibrationTriggered},
        {settings, "SettingsOptions", "Options", &MainWindow::onOptionsTriggered},
        {records, "RecordsTestRecords", "Test Records", &MainWindow::onTestRecordsTriggered},
        {records, "RecordsSharedDatabase", "Shared Database...",
         &MainWindow::onSharedDatabaseTriggered},
        {help, "HelpAbout", "About", &MainWindow::onAboutTriggered},
    };
    for (const Item &item : items) {
        QAction *action = item.menu->addAction(QLatin1String(item.text));
        action->setObjectName(QLatin1String(item.name));
        connect(action, &QAction::triggered, this, item.handler);
    }
    QAction *models = records->addAction(QStringLiteral("Part Models..."));
    models->setObjectName(QStringLiteral("RecordsPartModels"));
    connect(models, &QAction::triggered, this, &MainWindow::onPartModelsTriggered);
    QAction *ask = records->addAction(QStringLiteral("Ask for Part Serial at Start"));
    ask->setObjectName(QStringLiteral("RecordsAskSerial"));
    ask->setCheckable(true);
    ask->setChecked(partsettings::askSerial(m_state.AppPath));
    connect(ask, &QAction::toggled, this, [this](bool on) {
        if (const MaybeFailure failure = partsettings::setAskSerial(m_state.AppPath, on))
            QMessageBox::warning(this, kConfigErrorTitle,
                                 configErrorText(failure->path, failure->reason));
    });
}

void MainWindow::buildStationPanel(QWidget *client, int station)
{
    auto *shape = new PanelShape(client);
    shape->setObjectName(indexed("Shape2", station));
    shape->setGeometry(stationRect(kPanelFrame, station));

    auto *line = new QFrame(client);
    line->setObjectName(indexed("Line1", station));
    line->setGeometry(twips(kLineLeft + station * kStationShift), twips(kLineTop),
                      twips(kLineRight - kLineLeft), 1);
    line->setAutoFillBackground(true);
    QPalette linePalette = line->palette();
    linePalette.setColor(QPalette::Window, kPanelBorder);
    line->setPalette(linePalette);

    StationPanel &panel = m_panels[size_t(station)];
    const StationRecord &record = m_state.stations[size_t(station)];
    const int title = kTitleLabel[station];
    panel.title =
        panelLabel(client, indexed("lbl", title), QStringLiteral("TEST %1").arg(station + 1),
                   stationRect(kTitle, station), 27.75);
    const int pressureCaption = kPressureCaptionLabel[station];
    panelLabel(client, indexed("lbl", pressureCaption), QStringLiteral("Vessel Pressure"),
               stationRect(kPressureCaption, station), 14.25);
    const int tempCaption = kTempCaptionLabel[station];
    panelLabel(client, indexed("lbl", tempCaption), QStringLiteral("Bath Temp"),
               stationRect(kTempCaption, station), 14.25);

    panel.pressure = panelLabel(client, indexed("lblMeter", station), QStringLiteral("000.0KPa"),
                                stationRect(kPressure, station), 36);
    panel.temperature = panelLabel(client, indexed("lblMeter", 2 + station),
                                   QStringLiteral("000.0°C"), stationRect(kTemp, station), 21.75);
    panel.time = panelLabel(client, indexed("lblTime", station), record.TimeCaption,
                            stationRect(kTime, station), 14.25);
    panel.message = panelLabel(client, indexed("lblMsg", station), record.MsgCaption,
                               stationRect(kMsg, station), 14.25, kMessageCyan);

    const QString test = QString::number(station + 1);
    panel.stop =
        pictureButton(client, indexed("cmdTestStop", station), QStringLiteral(":/stop.svg"),
                      QStringLiteral("Stop test ") + test, stationRect(kStop, station));
    panel.start =
        pictureButton(client, indexed("cmdTestStart", station), QStringLiteral(":/start.svg"),
                      QStringLiteral("Start test ") + test, stationRect(kStart, station));
    panel.graph =
        pictureButton(client, indexed("cmdGraph", station), QStringLiteral(":/trend.svg"),
                      QStringLiteral("Trend of test ") + test, stationRect(kGraph, station));
    panel.report =
        pictureButton(client, indexed("cmdReport", station), QStringLiteral(":/report.svg"),
                      QStringLiteral("Report of test ") + test, stationRect(kReport, station));
    for (QPushButton *button : {panel.stop, panel.start, panel.graph, panel.report})
        button->setFocusPolicy(Qt::TabFocus); // a click leaves the focus where it was
    connect(panel.stop, &QPushButton::clicked, this, [this, station] { onStopClicked(station); });
    connect(panel.start, &QPushButton::clicked, this, [this, station] { onStartClicked(station); });
    connect(panel.graph, &QPushButton::clicked, this, [this, station] { onGraphClicked(station); });
    connect(panel.report, &QPushButton::clicked, this,
            [this, station] { onReportClicked(station); });
}

void MainWindow::buildStatusLine(QWidget *client)
{
    m_statusLine = new QPushButton(client);
    m_statusLine->setObjectName(QStringLiteral("cmdSbar"));
    m_statusLine->setGeometry(twipsRect(0, kStatusTop, kClientWidth, kStatusHeight));
    m_statusLine->setFont(designFont(QStringLiteral("Arial Narrow"), 11.25));
    m_statusLine->setFocusPolicy(Qt::NoFocus);
    m_statusLine->setAutoDefault(false);
    m_statusLine->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: black; "
                                               "border: 1px solid #008080; }")
                                    .arg(kStatusTeal.name()));
}

void MainWindow::load()
{
    resetAtMainWindowLoad(m_state);
    m_port->setCommPort(m_state.CommPort);
    if (m_port->open())
        m_state.PortReady = true;
    else
        QMessageBox::information(nullptr, QStringLiteral("Comm Error"), m_port->errorString());

    // Records a crash left open are closed as interrupted before anything of this run is
    // written. Without a database there is nothing to close: it is made with the first test.
    showRecordsNotice(m_sessions->begin());
    startSync();

    m_scanTimer->start();
    m_displayTimer->start();
}

void MainWindow::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_scanTimer->stop();
    m_displayTimer->stop();
    const auto report = [this](const QString &title, const QString &text) {
        if (m_closingFromSignal)
            std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
        else
            QMessageBox::warning(this, title, text);
    };
    if (const MaybeFailure failure = saveConfig(m_state))
        report(kConfigErrorTitle, configErrorText(configPath(m_state), failure->reason));
    // The tests still running end here; the sync goes after their last write.
    if (const std::optional<QString> notice = m_sessions->end())
        report(RecordStore::kErrorTitle, *notice);
    if (m_sync)
        m_sync->stop();
}

void MainWindow::closeFromSignal()
{
    m_closingFromSignal = true;
    close();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    unload(); // closing is never cancelled
    event->accept();
}

void MainWindow::onScanTick()
{
    const LinkEvent polled = pollStep(m_state.readings, m_state.PortReady, *m_port, kPollCommand);
    if (polled != LinkEvent::None)
        onLinkEvent(polled, {});
    const SequencerResult result = m_sessions->scanTick();
    showStationTexts();
    // An export that failed is reported once the tick is over, so that a box left open does
    // not hold up the sequencing of the other station.
    for (const Failure &failure : result.exportFailures)
        showAfterTick(kExportErrorTitle, exportErrorText(failure));
}

void MainWindow::showAfterTick(const QString &title, const QString &text)
{
    QTimer::singleShot(0, this, [this, title, text] { QMessageBox::warning(this, title, text); });
}

void MainWindow::onReceive()
{
    if (m_port->commEvent() != SerialComponent::kEventReceive)
        return;
    const LinkEvent received = receiveText(m_state.readings, m_state.calibration, m_port->input());
    if (received != LinkEvent::None)
        onLinkEvent(received, {});
}

void MainWindow::onLinkEvent(LinkEvent kind, const QString &detail)
{
    // Readings that are invalid decide nothing in the sequencer, so the running tests wait
    // for the link to come back; only the status line tells that the port is being reopened.
    // The records of the running tests keep each change.
    switch (kind) {
    case LinkEvent::PortLost:
        m_state.PortReady = false;
        invalidateReadings(m_state.readings);
        m_reconnecting = true;
        showLiveTexts();
        m_sessions->linkEvent(LinkEventKind::PortLost, detail);
        break;
    case LinkEvent::Reconnected:
        m_state.PortReady = true;
        m_reconnecting = false;
        showLiveTexts();
        m_sessions->linkEvent(LinkEventKind::Reconnected, detail);
        break;
    case LinkEvent::ReadingsStale: // the next display tick shows the readings
        m_sessions->linkEvent(LinkEventKind::ReadingsStale, detail);
        break;
    case LinkEvent::ReadingsBack:
        m_sessions->linkEvent(LinkEventKind::ReadingsBack, detail);
        break;
    case LinkEvent::None:
        break;
    }
}

void MainWindow::onDisplayTick()
{
    showLiveTexts();
    // A database file that went from the folder is given up by the records window before a
    // new one is made at its path.
    if (m_recordsWindow && m_sessions->store().fileGone())
        m_recordsWindow->releaseDatabase();
    showRecordsNotice(m_sessions->displayTick());
}

void MainWindow::showRecordsNotice(const std::optional<QString> &notice)
{
    if (notice)
        showAfterTick(RecordStore::kErrorTitle, *notice);
    if (m_sessions->takeRecordsChanged() && m_recordsWindow)
        m_recordsWindow->refresh();
}

bool MainWindow::openStore(bool needed)
{
    const StationSessions::StoreOpening opening = m_sessions->openStore();
    std::optional<QString> text = opening.notice;
    if (!text && opening.failure && needed)
        text = recordsErrorText(*opening.failure);
    if (text)
        QMessageBox::warning(this, RecordStore::kErrorTitle, *text);
    return !opening.failure;
}

void MainWindow::showLiveTexts()
{
    const LiveTexts texts =
        liveTexts(m_state.readings, m_state.CommPort, m_state.clock->now(), m_reconnecting);
    m_panels[0].temperature->setText(texts.bathTemp);
    m_panels[1].temperature->setText(m_panels[0].temperature->text());
    m_panels[0].pressure->setText(texts.pressure[0]);
    m_panels[1].pressure->setText(texts.pressure[1]);
    m_statusLine->setText(texts.statusLine);
}

void MainWindow::showStationTexts()
{
    for (int station = 0; station < kStations; ++station) {
        const StationRecord &record = m_state.stations[size_t(station)];
        m_panels[size_t(station)].time->setText(record.TimeCaption);
        m_panels[size_t(station)].message->setText(record.MsgCaption);
    }
}

std::optional<PartChoice> MainWindow::askPart(int station)
{
    PartChoice none;
    if (m_state.stations[size_t(station)].TestRunning || !partsettings::askSerial(m_state.AppPath))
        return none;
    // The store holds the models and the serials tested before; without it the box still
    // asks for the serial.
    std::vector<PartModel> models;
    RecordStore &store = m_sessions->store();
    if (openStore(false)) {
        const Fallible<std::vector<PartModel>> stored = store.partModels();
        if (stored.ok())
            models = *stored;
    }
    PartSerialDialog dialog(
        station, models, partsettings::lastModel(m_state.AppPath, station),
        [&store](const QString &serial) -> std::optional<TestRecord> {
            if (!store.isOpen())
                return std::nullopt;
            const Fallible<std::optional<TestRecord>> latest = store.latestOfSerial(serial);
            return latest.ok() ? *latest : std::nullopt;
        },
        this);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const PartChoice choice = dialog.choice();
    if (const MaybeFailure failure = partsettings::setLastModel(
            m_state.AppPath, station, choice.model ? choice.model->name : QString()))
        QMessageBox::warning(this, kConfigErrorTitle,
                             configErrorText(failure->path, failure->reason));
    return choice;
}

void MainWindow::onStartClicked(int station)
{
    const std::optional<PartChoice> part = askPart(station);
    if (!part)
        return;
    const StartOutcome outcome = m_sessions->startPressed(station, *part);
    showStationTexts();
    if (outcome.refusal)
        QMessageBox::warning(this, kStartFailTitle, outcome.refusal->reason);
}

void MainWindow::onStopClicked(int station)
{
    m_sessions->stopPressed(station);
    showStationTexts();
}

void MainWindow::onGraphClicked(int station)
{
    m_state.handover.GraphStation = static_cast<int16_t>(station);
    TrendWindow window(m_state, this);
    window.exec();
}

void MainWindow::onReportClicked(int station)
{
    m_state.handover.ReportStation = static_cast<int16_t>(station);
    ReportSource source = stationReport(m_state);
    // The report of the station's latest test shows its record's names, and the names of a
    // printed or saved report go to that record.
    if (const std::optional<RecordNames> names = m_sessions->reportNames(station)) {
        source.testName = names->testName;
        source.operatorName = names->operatorName;
    }
    ReportWindow window(source, m_state.handover, m_state.AppPath, this);
    connect(&window, &ReportWindow::reportIssued, this, [this, station](const ReportHeader &h) {
        m_sessions->reportIssued(station, h.testName, h.operatorName);
    });
    window.exec();
}

void MainWindow::onCommunicationTriggered()
{
    PortDialog dialog(m_state.CommPort, this);
    dialog.exec();
}

void MainWindow::onCalibrationTriggered()
{
    m_scanTimer->stop();
    m_state.readings.RxBuffer.clear();
    {
        CalibrationWindow window(m_state, *m_port, this);
        connect(&window, &CalibrationWindow::linkEvent, this,
                [this](LinkEvent event) { onLinkEvent(event, {}); });
        window.exec();
    }
    m_scanTimer->start();
    m_state.readings.RxBuffer.clear();
}

void MainWindow::onOptionsTriggered()
{
    OptionsDialog dialog(m_state.parameters, this);
    dialog.exec();
}

void MainWindow::onTestRecordsTriggered()
{
    // The window reads the database that the first write makes, so it is made now.
    if (!openStore(true))
        return;
    RecordsWindow window(m_sessions->recorder(), m_sessions->store().path(), *m_state.clock,
                         m_state.handover, m_state.AppPath, this);
    window.setShared(readSharedSettings(sharedSettingsPath()).url, m_sync);
    m_recordsWindow = &window;
    window.exec();
}

QString MainWindow::sharedSettingsPath() const
{
    // The working folder's, beside the records database.
    return pathInFolder(QFileInfo(m_sessions->store().path()).absolutePath(), kSettingsFileName);
}

void MainWindow::startSync()
{
    if (!m_sync)
        m_sync = new SyncSupervisor(*m_state.clock, this);
    m_sync->start(m_sessions->store().path(), readSharedSettings(sharedSettingsPath()));
}

void MainWindow::onSharedDatabaseTriggered()
{
    SharedDatabaseDialog dialog(readSharedSettings(sharedSettingsPath()), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (const MaybeFailure failure = writeSharedSettings(sharedSettingsPath(), dialog.settings())) {
        QMessageBox::warning(this, kConfigErrorTitle,
                             configErrorText(failure->path, failure->reason));
        return;
    }
    startSync();
}

void MainWindow::onPartModelsTriggered()
{
    if (!openStore(true))
        return;
    PartModelsDialog dialog(m_sessions->recorder(), this);
    dialog.exec();
}

void MainWindow::onAboutTriggered()
{
    m_state.AboutFromMenu = true;
    AboutWindow about(m_state.AboutFromMenu, this);
    about.exec();
}
