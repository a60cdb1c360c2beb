#include "app/sharedstate.h"
#include "app/signalclose.h"
#include "app/startup.h"
#include "ui/main/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    SignalClose signalClose;
    auto state = std::make_unique<SharedState>();
    auto mainWindow = subMain(*state);
    signalClose.setMainWindow(mainWindow.get());
    // A signal during start-up (over the splash or the "Comm Error" box) has already closed
    // the window in order; the event loop would have nothing left to end it.
    if (!mainWindow->isVisible())
        return 0;
    return app.exec();
}
