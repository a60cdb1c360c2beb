#include "ui/main/frmmain.h"

#include "app/config.h"
#include "app/sharedstate.h"
#include "device/serialcomponent.h"
#include "ui/main/frmabout.h"
#include "ui/main/twips.h"

#include <QCloseEvent>
#include <QDir>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>

FrmMain::FrmMain(SharedState &state, QWidget *parent) : QMainWindow(parent), m_state(state)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Kestrava"));
    buildMenu();

    auto *client = new QWidget(this);
    client->setFixedSize(twips(11550), twips(8460));
    setCentralWidget(client);

    cm = new SerialComponent(this);
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
    connect(HelpAbout, &QAction::triggered, this, &FrmMain::showAbout);
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

void FrmMain::scanTick() {}

void FrmMain::displayTick() {}

void FrmMain::showAbout()
{
    m_state.AboutFromMenu = true;
    FrmAbout about(m_state, this);
    about.exec();
}
