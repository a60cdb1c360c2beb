#include "app/startup.h"

#include "app/config.h"
#include "app/sharedstate.h"
#include "ui/main/frmabout.h"
#include "ui/main/frmmain.h"

#include <QDir>

std::unique_ptr<FrmMain> subMain(SharedState &state)
{
    state.AppPath = QDir::currentPath();
    loadConfig(state);
    state.PortReady = false;
    state.AboutFromMenu = false;
    {
        FrmAbout splash(state, nullptr);
        splash.exec();
    }
    auto mainWindow = std::make_unique<FrmMain>(state);
    mainWindow->show();
    return mainWindow;
}
