#pragma once

#include <QDialog>

#include <array>

struct LineElement;
struct SharedState;
class PictureBox;
class QTimer;

/// The real-time trend of station GraphStation: the grid on black, and every second the
/// chart drawn again from the recorded samples. It reads the shared state and changes nothing.
class FrmGraph final : public QDialog {
    Q_OBJECT

public:
    /// Loads the window: title, scale and grid. The first redraw comes one interval later.
    FrmGraph(SharedState &state, QWidget *parent);

    PictureBox *pic = nullptr;
    QTimer *tmrTrend = nullptr;
    std::array<LineElement *, 11> x_axis{};
    std::array<LineElement *, 11> y_axis{};

    /// The tick of tmrTrend: clears and redraws the chart.
    void tmrTrendTimer();

    /// Closing stops the redraws; the caller destroys the window after exec().
    void done(int result) override;

private:
    SharedState &m_state;
};
