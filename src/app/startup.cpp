#include "app/startup.h"

#include "app/config.h"
#include "app/sharedstate.h"
#include "ui/keyboard.h"
#include "ui/main/aboutwindow.h"
#include "ui/main/mainwindow.h"

#include <QDir>

std::unique_ptr<MainWindow> subMain(SharedState &state)
{
    useFocusFrames();
    state.AppPath = QDir::currentPath();
    loadConfig(state);
    state.PortReady = false;
    state.AboutFromMenu = false;
    {
        AboutWindow splash(state.AboutFromMenu, nullptr);
        splash.exec();
    }
    auto mainWindow = std::make_unique<MainWindow>(state);
    mainWindow->show();
    return mainWindow;
}
