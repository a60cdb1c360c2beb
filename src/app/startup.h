#pragma once

#include <memory>

struct SharedState;
class MainWindow;

/// Start-up: frames the focus of every button, records the working folder, reads the
/// configuration, shows the splash until it closes itself, then shows the main window (whose
/// load opens the port).
std::unique_ptr<MainWindow> subMain(SharedState &state);
