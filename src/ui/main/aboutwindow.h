#pragma once

#include "ui/closecontroldialog.h"

/// The about window (frmAbout), which is also the start-up splash. Opened from the Help menu
/// it shows an OK button and stays until OK; otherwise it closes itself one second after it
/// was created. Neither use closes on Escape.
class AboutWindow final : public CloseControlDialog {
    Q_OBJECT

public:
    /// `fromMenu` is AboutFromMenu as it stands when the window loads.
    AboutWindow(bool fromMenu, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;
};
