#pragma once

#include <QObject>
#include <QPointer>

class MainWindow;
class QSocketNotifier;

/// Turns SIGTERM, SIGINT and SIGHUP into an orderly close: open dialogs are closed from the top
/// down as by their close box (the calibration window takes its ranges then, as it always does;
/// the others change nothing), then the main window closes (which writes the configuration).
class SignalClose final : public QObject {
    Q_OBJECT

public:
    explicit SignalClose(QObject *parent = nullptr);
    ~SignalClose() override;

    /// The window to close; a signal that came before it exists closes it once it is set.
    void setMainWindow(MainWindow *window);

private:
    void handleSignal();
    void closeEverything();

    QSocketNotifier *m_notifier = nullptr;
    QPointer<MainWindow> m_mainWindow;
    bool m_requested = false;
};
