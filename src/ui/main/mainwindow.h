#pragma once

#include "app/sharedstate.h"
#include "device/devicelink.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <memory>

class RecordStore;
class RecordsWindow;
class SerialComponent;
class TestRecorder;
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
/// Every test is kept as a record in the record store in the working folder: the window tells
/// its recorder of each start, stop, phase change, sample and link event, and writes what it
/// queued once a second, at the display tick. A write that fails never stops a test: it is
/// tried again at the next tick, and one "Records Error" box tells of each run of failures.
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
    /// Writes what the recorder queued, once the store is in use; a failure or a database set
    /// aside is shown after the tick.
    void flushRecords();
    void showAfterTick(const QString &title, const QString &text);

    void onScanTick();
    void onDisplayTick();
    void onReceive();
    /// Every change of the link to the instrument comes here, the one place that sees them
    /// all: the port lost (detail: the reason) or reopened, the readings gone stale or back.
    void onLinkEvent(LinkEvent kind, const QString &detail);
    void onStartClicked(int station);
    void onStopClicked(int station);
    void onGraphClicked(int station);
    void onReportClicked(int station);
    void onCommunicationTriggered();
    void onCalibrationTriggered();
    void onOptionsTriggered();
    void onTestRecordsTriggered();
    void onAboutTriggered();

    SharedState &m_state;
    SerialComponent *m_port = nullptr;
    QTimer *m_scanTimer = nullptr;
    QTimer *m_displayTimer = nullptr;
    std::array<StationPanel, kUsedStations> m_panels{};
    QPushButton *m_statusLine = nullptr;
    std::unique_ptr<RecordStore> m_records;
    std::unique_ptr<TestRecorder> m_recorder;
    /// The store is in use: it existed at the load, or a test or the records window began.
    bool m_recording = false;
    /// A record began or ended since the last write, so an open records window lists anew.
    bool m_recordsChanged = false;
    QString m_setAsideShown;
    QPointer<RecordsWindow> m_recordsWindow;
    bool m_reconnecting = false;
    bool m_closingFromSignal = false;
    bool m_unloaded = false;
};
