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
    return app.exec();
}
