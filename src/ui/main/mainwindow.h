#pragma once

#include "app/sharedstate.h"
#include "device/devicelink.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <memory>
#include <optional>

class RecordsWindow;
struct PartChoice;
class SerialComponent;
class StationSessions;
class SyncSupervisor;
class QAction;
class QLabel;
class QPushButton;
class QTimer;

/// The operator's working screen (frmMain): two station panels, the status line and the menu.
/// Owns the serial component and the two timers that drive the program: the scan timer (poll
/// step, then the sequencer) and the display timer (readings, status line, samples). Its load
/// opens the port; its unload writes the configuration file. A port lost later is reopened by
/// the serial component; meanwhile the readings show "---" and the status line says so.
///
/// Every test is kept as a record in the record store in the working folder: the window's
/// handlers go through the station sessions, which keep the records, and show what they
/// return. A write that fails never stops a test, and one "Records Error" box tells of each
/// run of failures.
class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    /// Builds the window and runs its load step (which may show "Comm Error").
    explicit MainWindow(SharedState &state, QWidget *parent = nullptr);
    ~MainWindow() override;

    /// Closes the window for a termination signal: a configuration write failure then goes
    /// to standard error instead of a message box.
    void closeFromSignal();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    /// The controls of one station's panel.
    struct StationPanel {
        QLabel *title = nullptr;
        QLabel *pressure = nullptr;
        QLabel *temperature = nullptr;
        QLabel *time = nullptr;
        QLabel *message = nullptr;
        QPushButton *start = nullptr;
        QPushButton *stop = nullptr;
        QPushButton *graph = nullptr;
        QPushButton *report = nullptr;
    };

    void buildMenu();
    void buildStationPanel(QWidget *client, int station);
    void buildStatusLine(QWidget *client);
    void load();
    void unload();
    void showStationTexts();
    void showLiveTexts();
    /// Shows a "Records Error" box about the records, if there is one to show, after the tick;
    /// an open records window lists anew when a record began or ended.
    void showRecordsNotice(const std::optional<QString> &notice);
    void showAfterTick(const QString &title, const QString &text);
    /// Has the record store made or opened for a window that reads it, and shows at once the
    /// "Records Error" box its write calls for; a window that cannot do without the store
    /// (`needed`) also tells a failure already told. False when the store cannot be had.
    bool openStore(bool needed);

    void onScanTick();
    void onDisplayTick();
    void onReceive();
    /// Every change of the link to the instrument comes here, the one place that sees them
    /// all: the port lost (detail: the reason) or reopened, the readings gone stale or back.
    void onLinkEvent(LinkEvent kind, const QString &detail);
    /// The part a Start on an idle station tests, asked in the part serial box when part
    /// serials are asked for (no part otherwise, or for a main start); empty when the box was
    /// cancelled, and then nothing starts.
    std::optional<PartChoice> askPart(int station);
    void onStartClicked(int station);
    void onStopClicked(int station);
    void onGraphClicked(int station);
    void onReportClicked(int station);
    void onCommunicationTriggered();
    void onCalibrationTriggered();
    void onOptionsTriggered();
    void onTestRecordsTriggered();
    void onSharedDatabaseTriggered();
    /// Starts the sync of the records to the shared database that kestrava.ini names, if any.
    void startSync();
    /// The working folder's kestrava.ini.
    QString sharedSettingsPath() const;
    void onPartModelsTriggered();
    void onAboutTriggered();

    SharedState &m_state;
    SerialComponent *m_port = nullptr;
    QTimer *m_scanTimer = nullptr;
    QTimer *m_displayTimer = nullptr;
    std::array<StationPanel, kStations> m_panels{};
    QPushButton *m_statusLine = nullptr;
    std::unique_ptr<StationSessions> m_sessions;
    QPointer<RecordsWindow> m_recordsWindow;
    SyncSupervisor *m_sync = nullptr;
    bool m_reconnecting = false;
    bool m_closingFromSignal = false;
    bool m_unloaded = false;
};
