#pragma once

#include "calib/calibration.h"

#include <QDialog>

#include <array>

struct SharedState;
class CommOutput;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

/// The calibration window: captures the zero and span readings of the two pressure channels and
/// the temperature channel and takes the pressure ranges. Its own scan timer polls the
/// instrument while the main window's scan timer is stopped. Closing it takes both ranges.
class FrmCalib final : public QDialog {
    Q_OBJECT

public:
    FrmCalib(SharedState &state, CommOutput &port, QWidget *parent);

    void done(int result) override;

    std::array<QGroupBox *, kCalibChannels> Frame{};
    std::array<QPushButton *, kCalibChannels> cmd4{};
    std::array<QPushButton *, kCalibChannels> cmd20{};
    std::array<QPushButton *, kCalibChannels> cmdCalib{};
    std::array<QLabel *, kCalibChannels> lblValue{};
    std::array<QLabel *, 2> Label1{};
    std::array<QLineEdit *, 2> txtRange{};
    QTimer *tmrScan = nullptr;

private:
    void buildFrame(int channel);
    void toggleCalibrate(int channel);
    void scanTick();
    void takeRanges();

    SharedState &m_state;
    CommOutput &m_port;
};
