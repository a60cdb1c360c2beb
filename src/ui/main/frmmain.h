#pragma once

#include "app/sharedstate.h"

#include <QMainWindow>

#include <array>

class SerialComponent;
class QAction;
class QFrame;
class QLabel;
class QPushButton;
class QTimer;

/// The operator's working screen: two station panels, the status line and the menu. Owns the
/// serial component and the two timers that drive the program: the scan timer (poll step, then
/// the sequencer) and the display timer (readings, status line, samples). Its load opens the
/// port; its unload writes the configuration file.
class FrmMain final : public QMainWindow {
    Q_OBJECT

public:
    /// Builds the window and runs its load step (which may show "Comm Error").
    explicit FrmMain(SharedState &state, QWidget *parent = nullptr);
    ~FrmMain() override;

    /// Closes the window for a termination signal: a configuration write failure then goes
    /// to standard error instead of a message box.
    void closeFromSignal();

    SerialComponent *cm = nullptr;
    QTimer *tmrScan = nullptr;
    QTimer *tmrDisplay = nullptr;

    QAction *SettingsComm = nullptr;
    QAction *SettingsCalib = nullptr;
    QAction *SettingsOptions = nullptr;
    QAction *HelpAbout = nullptr;

    std::array<QLabel *, 8> lbl{};
    std::array<QLabel *, 4> lblMeter{};
    std::array<QLabel *, kUsedStations> lblTime{};
    std::array<QLabel *, kUsedStations> lblMsg{};
    std::array<QPushButton *, kUsedStations> cmdTestStart{};
    std::array<QPushButton *, kUsedStations> cmdTestStop{};
    std::array<QPushButton *, kUsedStations> cmdGraph{};
    std::array<QPushButton *, kUsedStations> cmdReport{};
    std::array<QWidget *, kUsedStations> Shape2{};
    std::array<QFrame *, kUsedStations> Line1{};
    QLabel *Label1 = nullptr; ///< the maker mark of the banner, Label1(0)
    QLabel *Label2 = nullptr; ///< the product name of the banner, Label2(0)
    QLabel *Image1 = nullptr;
    QPushButton *cmdSbar = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenu();
    void buildBanner(QWidget *client);
    void buildStationPanel(QWidget *client, int station);
    void buildStatusLine(QWidget *client);
    void formLoad();
    void formUnload();

    void scanTick();
    void displayTick();
    void receiveEvent();
    void showStationTexts();

    void startClicked(int station);
    void stopClicked(int station);
    void graphClicked(int station);
    void reportClicked(int station);
    void openCommunication();
    void openCalibration();
    void openOptions();
    void openAbout();

    SharedState &m_state;
    bool m_closingFromSignal = false;
    bool m_unloaded = false;
};
