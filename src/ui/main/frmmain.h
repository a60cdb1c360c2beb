#pragma once

#include <QMainWindow>

struct SharedState;
class SerialComponent;
class QAction;
class QTimer;

/// The operator's working screen. Owns the serial component and the two timers that drive the
/// program: the scan timer (poll and sequencer) and the display timer (readings, status line,
/// samples). Its load opens the port; its unload writes the configuration file.
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

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenu();
    void formLoad();
    void formUnload();
    void scanTick();
    void displayTick();
    void showAbout();

    SharedState &m_state;
    bool m_closingFromSignal = false;
    bool m_unloaded = false;
};
