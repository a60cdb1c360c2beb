#pragma once

#include "calib/calibration.h"
#include "device/devicelink.h"
#include "ui/closecontroldialog.h"

#include <array>

struct SharedState;
class CommOutput;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

/// The calibration window (frmCalib): captures the zero and span readings of the two pressure
/// channels and the temperature channel and takes the pressure ranges. Its own scan timer
/// polls the instrument while the main window's scan timer is stopped. It closes only by its
/// close control, and closing takes both ranges. It opens with the focus on the first range;
/// no key typed in a range field presses a button. What its polls find out about the link
/// (readings gone stale) goes to its owner.
class CalibrationWindow final : public CloseControlDialog {
    Q_OBJECT

public:
    CalibrationWindow(SharedState &state, CommOutput &port, QWidget *parent);

    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

signals:
    /// A poll of this window changed the link (LinkEvent::ReadingsStale).
    void linkEvent(LinkEvent event);

private:
    /// The controls of one channel: its frame, capture buttons, value label and toggle.
    struct Channel {
        QGroupBox *frame = nullptr;
        QPushButton *zero = nullptr;
        QPushButton *span = nullptr;
        QLabel *value = nullptr;
        QLineEdit *range = nullptr; ///< pressure channels only
        QPushButton *calibrate = nullptr;
    };

    void buildChannel(int channel);
    void onCalibrateClicked(int channel);
    void onScanTick();
    void takeRanges();

    SharedState &m_state;
    CommOutput &m_port;
    std::array<Channel, kCalibChannels> m_channels{};
    QTimer *m_scanTimer = nullptr;
};
