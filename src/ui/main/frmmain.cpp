#include "ui/main/frmmain.h"

#include "app/config.h"
#include "calib/frmcalib.h"
#include "charts/frmgraph.h"
#include "device/devicelink.h"
#include "device/serialcomponent.h"
#include "report/frmreport.h"
#include "test/sequencer.h"
#include "test/stationcontrol.h"
#include "ui/main/designfont.h"
#include "ui/main/frmabout.h"
#include "ui/main/frmcomm.h"
#include "ui/main/frmsettings.h"
#include "ui/main/livedisplay.h"
#include "ui/main/pictures.h"
#include "ui/main/twips.h"

#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

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
constexpr Box kLogo{6960, 0, 3195, 660};
constexpr int kStatusTop = 7920, kStatusHeight = 495;

// Label indices of each panel: title, pressure caption, temperature caption.
constexpr int kTitleLabel[kUsedStations] = {0, 7};
constexpr int kPressureCaptionLabel[kUsedStations] = {1, 6};
constexpr int kTempCaptionLabel[kUsedStations] = {2, 5};

const QColor kPanelBlue(0, 0, 192);
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

} // namespace

FrmMain::FrmMain(SharedState &state, QWidget *parent) : QMainWindow(parent), m_state(state)
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
    buildBanner(client);
    for (int station = 0; station < kUsedStations; ++station)
        buildStationPanel(client, station);
    buildStatusLine(client);

    cm = new SerialComponent(this);
    connect(cm, &SerialComponent::onComm, this, &FrmMain::receiveEvent);
    connect(cm, &SerialComponent::portLost, this, [this] { markPortLost(m_state); });

    tmrScan = new QTimer(this);
    tmrScan->setObjectName(QStringLiteral("tmrScan"));
    tmrScan->setInterval(100);
    connect(tmrScan, &QTimer::timeout, this, &FrmMain::scanTick);
    tmrDisplay = new QTimer(this);
    tmrDisplay->setObjectName(QStringLiteral("tmrDisplay"));
    tmrDisplay->setInterval(1000);
    connect(tmrDisplay, &QTimer::timeout, this, &FrmMain::displayTick);

    formLoad();
}

FrmMain::~FrmMain() = default;

void FrmMain::buildMenu()
{
    QMenu *settings = menuBar()->addMenu(QStringLiteral("Settings"));
    SettingsComm = settings->addAction(QStringLiteral("Communication"));
    SettingsCalib = settings->addAction(QStringLiteral("Calibration"));
    SettingsOptions = settings->addAction(QStringLiteral("Options"));
    QMenu *help = menuBar()->addMenu(QStringLiteral("Help"));
    HelpAbout = help->addAction(QStringLiteral("About"));
    SettingsComm->setObjectName(QStringLiteral("SettingsComm"));
    SettingsCalib->setObjectName(QStringLiteral("SettingsCalib"));
    SettingsOptions->setObjectName(QStringLiteral("SettingsOptions"));
    HelpAbout->setObjectName(QStringLiteral("HelpAbout"));
    connect(SettingsComm, &QAction::triggered, this, &FrmMain::openCommunication);
    connect(SettingsCalib, &QAction::triggered, this, &FrmMain::openCalibration);
    connect(SettingsOptions, &QAction::triggered, this, &FrmMain::openOptions);
    connect(HelpAbout, &QAction::triggered, this, &FrmMain::openAbout);
}

void FrmMain::buildBanner(QWidget *client)
{
    Label1 = new QLabel(QStringLiteral("ZQ"), client);
    Label1->setObjectName(QStringLiteral("Label1(0)"));
    Label1->setFont(designFont(QStringLiteral("Arial"), 15.75, true, true));
    QPalette blue = Label1->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    Label1->setPalette(blue);
    Label1->move(twips(360), twips(120));
    Label1->adjustSize();

    Label2 = new QLabel(QStringLiteral("Kestrava"), client);
    Label2->setObjectName(QStringLiteral("Label2(0)"));
    Label2->setFont(designFont(QStringLiteral("Arial"), 15.75, true));
    QPalette black = Label2->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    Label2->setPalette(black);
    Label2->move(twips(960), twips(120));
    Label2->adjustSize();

    Image1 = new QLabel(client);
    Image1->setObjectName(QStringLiteral("Image1"));
    const QRect logoBox = twipsRect(kLogo.left, kLogo.top, kLogo.width, kLogo.height);
    Image1->setGeometry(logoBox);
    Image1->setPixmap(svgPicture(QStringLiteral(":/logo.svg"), logoBox.size(), devicePixelRatioF()));
}

void FrmMain::buildStationPanel(QWidget *client, int station)
{
    auto *shape = new PanelShape(client);
    shape->setObjectName(indexed("Shape2", station));
    shape->setGeometry(stationRect(kPanelFrame, station));
    Shape2[station] = shape;

    auto *line = new QFrame(client);
    line->setObjectName(indexed("Line1", station));
    line->setGeometry(twips(kLineLeft + station * kStationShift), twips(kLineTop),
                      twips(kLineRight - kLineLeft), 1);
    line->setAutoFillBackground(true);
    QPalette linePalette = line->palette();
    linePalette.setColor(QPalette::Window, kPanelBorder);
    line->setPalette(linePalette);
    Line1[station] = line;

    const int title = kTitleLabel[station];
    lbl[title] = panelLabel(client, indexed("lbl", title), QStringLiteral("TEST %1").arg(station + 1),
                            stationRect(kTitle, station), 27.75);
    const int pressureCaption = kPressureCaptionLabel[station];
    lbl[pressureCaption] =
        panelLabel(client, indexed("lbl", pressureCaption), QStringLiteral("Vessel Pressure"),
                   stationRect(kPressureCaption, station), 14.25);
    const int tempCaption = kTempCaptionLabel[station];
    lbl[tempCaption] = panelLabel(client, indexed("lbl", tempCaption), QStringLiteral("Bath Temp"),
                                  stationRect(kTempCaption, station), 14.25);

    lblMeter[station] = panelLabel(client, indexed("lblMeter", station),
                                   QStringLiteral("000.0KPa"), stationRect(kPressure, station), 36);
    lblMeter[2 + station] = panelLabel(client, indexed("lblMeter", 2 + station),
                                       QStringLiteral("000.0°C"), stationRect(kTemp, station), 21.75);
    lblTime[station] = panelLabel(client, indexed("lblTime", station), m_state.TimeCaption[station],
                                  stationRect(kTime, station), 14.25);
    lblMsg[station] = panelLabel(client, indexed("lblMsg", station), m_state.MsgCaption[station],
                                 stationRect(kMsg, station), 14.25, kMessageCyan);

    const QString test = QString::number(station + 1);
    cmdTestStop[station] =
        pictureButton(client, indexed("cmdTestStop", station), QStringLiteral(":/stop.svg"),
                      QStringLiteral("Stop test ") + test, stationRect(kStop, station));
    cmdTestStart[station] =
        pictureButton(client, indexed("cmdTestStart", station), QStringLiteral(":/start.svg"),
                      QStringLiteral("Start test ") + test, stationRect(kStart, station));
    cmdGraph[station] =
        pictureButton(client, indexed("cmdGraph", station), QStringLiteral(":/trend.svg"),
                      QStringLiteral("Trend of test ") + test, stationRect(kGraph, station));
    cmdReport[station] =
        pictureButton(client, indexed("cmdReport", station), QStringLiteral(":/report.svg"),
                      QStringLiteral("Report of test ") + test, stationRect(kReport, station));
    for (QPushButton *button :
         {cmdTestStop[station], cmdTestStart[station], cmdGraph[station], cmdReport[station]})
        button->setFocusPolicy(Qt::TabFocus); // a click leaves the focus where it was
    connect(cmdTestStop[station], &QPushButton::clicked, this, [this, station] { stopClicked(station); });
    connect(cmdTestStart[station], &QPushButton::clicked, this,
            [this, station] { startClicked(station); });
    connect(cmdGraph[station], &QPushButton::clicked, this, [this, station] { graphClicked(station); });
    connect(cmdReport[station], &QPushButton::clicked, this,
            [this, station] { reportClicked(station); });
}

void FrmMain::buildStatusLine(QWidget *client)
{
    cmdSbar = new QPushButton(client);
    cmdSbar->setObjectName(QStringLiteral("cmdSbar"));
    cmdSbar->setGeometry(twipsRect(0, kStatusTop, kClientWidth, kStatusHeight));
    cmdSbar->setFont(designFont(QStringLiteral("Arial Narrow"), 11.25));
    cmdSbar->setFocusPolicy(Qt::NoFocus);
    cmdSbar->setAutoDefault(false);
    cmdSbar->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: black; "
                                          "border: 1px solid #008080; }")
                               .arg(kStatusTeal.name()));
}

void FrmMain::formLoad()
{
    m_state.BathTempValid = false;
    m_state.Pressure1Valid = false;
    m_state.Pressure2Valid = false;
    m_state.PortReady = false;
    m_state.LeakTestPassed[0] = false;
    m_state.LeakTestPassed[1] = false;

    cm->setCommPort(m_state.CommPort);
    if (cm->open())
        m_state.PortReady = true;
    else
        QMessageBox::information(nullptr, QStringLiteral("Comm Error"), cm->errorString());

    tmrScan->start();
    tmrDisplay->start();
}

void FrmMain::formUnload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    tmrScan->stop();
    tmrDisplay->stop();
    const QString error = saveConfig(m_state);
    if (error.isEmpty())
        return;
    const QString text = tr("The settings could not be saved to %1: %2")
                             .arg(QDir::toNativeSeparators(configPath(m_state)), error);
    if (m_closingFromSignal)
        std::fprintf(stderr, "Config Error: %s\n", qPrintable(text));
    else
        QMessageBox::warning(this, QStringLiteral("Config Error"), text);
}

void FrmMain::closeFromSignal()
{
    m_closingFromSignal = true;
    close();
}

void FrmMain::closeEvent(QCloseEvent *event)
{
    formUnload(); // closing is never cancelled
    event->accept();
}

void FrmMain::scanTick()
{
    pollStep(m_state, *cm, kPollCommand);
    const SequencerResult result = sequencerTick(m_state);
    showStationTexts();
    // An export that failed is reported once the tick is over, so that a box left open does
    // not hold up the sequencing of the other station.
    for (const StationExportFailure &failed : result.exportFailures) {
        const QString text = exportErrorText(failed.failure);
        QTimer::singleShot(0, this, [this, text] {
            QMessageBox::warning(this, kExportErrorTitle, text);
        });
    }
}

void FrmMain::receiveEvent()
{
    if (cm->commEvent() != SerialComponent::kEventReceive)
        return;
    receiveText(m_state, cm->input());
}

void FrmMain::displayTick()
{
    const LiveTexts texts = liveTexts(m_state);
    lblMeter[2]->setText(texts.bathTemp);
    lblMeter[3]->setText(lblMeter[2]->text());
    lblMeter[0]->setText(texts.pressure[0]);
    lblMeter[1]->setText(texts.pressure[1]);
    cmdSbar->setText(texts.statusLine);
    recordSamples(m_state);
}

void FrmMain::showStationTexts()
{
    for (int station = 0; station < kUsedStations; ++station) {
        lblTime[station]->setText(m_state.TimeCaption[station]);
        lblMsg[station]->setText(m_state.MsgCaption[station]);
    }
}

void FrmMain::startClicked(int station)
{
    const StartOutcome outcome = testStartPressed(m_state, station);
    showStationTexts();
    if (outcome.refused())
        QMessageBox::warning(this, kStartFailTitle, outcome.failText);
}

void FrmMain::stopClicked(int station)
{
    testStopPressed(m_state, station);
    showStationTexts();
}

void FrmMain::graphClicked(int station)
{
    m_state.GraphStation = static_cast<int16_t>(station);
    FrmGraph window(m_state, this);
    window.exec();
}

void FrmMain::reportClicked(int station)
{
    m_state.ReportStation = static_cast<int16_t>(station);
    FrmReport window(m_state, this);
    window.exec();
}

void FrmMain::openCommunication()
{
    FrmComm dialog(m_state, this);
    dialog.exec();
}

void FrmMain::openCalibration()
{
    tmrScan->stop();
    m_state.RxBuffer.clear();
    {
        FrmCalib dialog(m_state, *cm, this);
        dialog.exec();
    }
    tmrScan->start();
    m_state.RxBuffer.clear();
}

void FrmMain::openOptions()
{
    FrmSettings dialog(m_state, this);
    dialog.exec();
}

void FrmMain::openAbout()
{
    m_state.AboutFromMenu = true;
    FrmAbout about(m_state, this);
    about.exec();
}
