#pragma once

#include <QObject>
#include <QPointer>

class MainWindow;
class QSocketNotifier;

/// Turns SIGTERM, SIGINT and SIGHUP into an orderly close: open dialogs are closed without
/// applying, then the main window closes (which writes the configuration file).
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
