#include "app/signalclose.h"

#include "ui/main/mainwindow.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// The one place a signal handler may touch: it writes a byte, the event loop does the rest.
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[0], &byte, 1);
}
} // namespace

SignalClose::SignalClose(QObject *parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    m_notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalClose::handleSignal);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

SignalClose::~SignalClose()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
    for (int &fd : g_signalPipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void SignalClose::setMainWindow(MainWindow *window)
{
    m_mainWindow = window;
    if (m_requested)
        closeEverything();
}

void SignalClose::handleSignal()
{
    char buffer[16];
    [[maybe_unused]] const auto got = ::read(g_signalPipe[1], buffer, sizeof buffer);
    m_requested = true;
    closeEverything();
}

void SignalClose::closeEverything()
{
    // Close the modal windows from the top down; each one's nested event loop then returns to
    // the handler that opened it. The main window closes once none is left.
    if (QWidget *modal = QApplication::activeModalWidget()) {
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
        QTimer::singleShot(0, this, &SignalClose::closeEverything);
        return;
    }
    if (m_mainWindow)
        m_mainWindow->closeFromSignal();
}
