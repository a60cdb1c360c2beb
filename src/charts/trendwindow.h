#pragma once

#include "ui/closecontroldialog.h"

struct SharedState;
class PictureBox;
class QTimer;

/// The real-time trend (frmGraph) of station GraphStation: the grid on black, and every second
/// the chart drawn again from the recorded samples. It reads the shared state and changes
/// nothing. It closes only by its close control.
class TrendWindow final : public CloseControlDialog {
    Q_OBJECT

public:
    /// Loads the window: title, scale and grid. The first redraw comes one interval later.
    TrendWindow(const SharedState &state, QWidget *parent);

    /// Closing stops the redraws; the caller destroys the window after exec().
    void done(int result) override;

private:
    void onTrendTick();

    const SharedState &m_state;
    PictureBox *m_picture = nullptr;
    QTimer *m_trendTimer = nullptr;
};
