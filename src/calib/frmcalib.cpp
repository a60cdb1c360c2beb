#include "calib/frmcalib.h"

#include "app/sharedstate.h"
#include "device/devicelink.h"
#include "ui/main/designfont.h"
#include "ui/main/twips.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

// Window layout in twips. Frames stand side by side, each with its "Calibrate" button below.
constexpr int kFrameLeft[kCalibChannels] = {120, 3240, 6360};
constexpr int kFrameTop = 120;
constexpr int kFrameWidth = 3000;
constexpr int kFrameHeight = 1680;
constexpr int kCalibButtonTop = 1920;

const char *const kFrameCaptions[kCalibChannels] = {
    "Calibrate Pressure 1", "Calibrate Pressure 2", "Calibrate Temperature"};
const char *const kZeroCaptions[kCalibChannels] = {"4mA", "4mA", "0 deg."};
const char *const kSpanCaptions[kCalibChannels] = {"20mA", "20mA", "100 deg."};

const QString kCalibrate = QStringLiteral("Calibrate");
const QString kStop = QStringLiteral("Stop");

QString indexed(const char *name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

} // namespace

FrmCalib::FrmCalib(SharedState &state, CommOutput &port, QWidget *parent)
    : QDialog(parent), m_state(state), m_port(port)
{
    setObjectName(QStringLiteral("frmCalib"));
    setWindowTitle(QStringLiteral("Calibration"));
    setModal(true);
    setFixedSize(twips(9480), twips(2580));

    for (int channel = 0; channel < kCalibChannels; ++channel)
        buildFrame(channel);

    tmrScan = new QTimer(this);
    tmrScan->setObjectName(QStringLiteral("tmrScan"));
    tmrScan->setInterval(100);
    connect(tmrScan, &QTimer::timeout, this, &FrmCalib::scanTick);
    tmrScan->start();
}

void FrmCalib::buildFrame(int channel)
{
    auto *frame = new QGroupBox(QLatin1String(kFrameCaptions[channel]), this);
    frame->setObjectName(QStringLiteral("Frame%1").arg(channel + 1));
    frame->setGeometry(twipsRect(kFrameLeft[channel], kFrameTop, kFrameWidth, kFrameHeight));
    Frame[channel] = frame;

    cmd4[channel] = new QPushButton(QLatin1String(kZeroCaptions[channel]), frame);
    cmd4[channel]->setObjectName(indexed("cmd4", channel));
    cmd4[channel]->setGeometry(twipsRect(240, 360, 855, 495));
    connect(cmd4[channel], &QPushButton::clicked, this,
            [this, channel] { captureZero(m_state, channel); });

    cmd20[channel] = new QPushButton(QLatin1String(kSpanCaptions[channel]), frame);
    cmd20[channel]->setObjectName(indexed("cmd20", channel));
    cmd20[channel]->setGeometry(twipsRect(240, 1020, 855, 495));
    connect(cmd20[channel], &QPushButton::clicked, this,
            [this, channel] { captureSpan(m_state, channel); });

    lblValue[channel] = new QLabel(QStringLiteral("0.0"), frame);
    lblValue[channel]->setObjectName(indexed("lblValue", channel));
    lblValue[channel]->setGeometry(twipsRect(1200, 1020, 1575, 495));
    lblValue[channel]->setAlignment(Qt::AlignCenter);
    lblValue[channel]->setFont(designFont(QStringLiteral("Arial"), 12, true));
    lblValue[channel]->setAutoFillBackground(true);
    QPalette palette = lblValue[channel]->palette();
    palette.setColor(QPalette::Window, QColor(0, 0, 192));
    palette.setColor(QPalette::WindowText, Qt::white);
    lblValue[channel]->setPalette(palette);

    if (channel < 2) {
        Label1[channel] = new QLabel(QStringLiteral("Range:"), frame);
        Label1[channel]->setObjectName(indexed("Label1", channel));
        Label1[channel]->setGeometry(twipsRect(1200, 480, 615, 255));
        txtRange[channel] = new QLineEdit(rangeText(m_state.CalRange[channel]), frame);
        txtRange[channel]->setObjectName(indexed("txtRange", channel));
        txtRange[channel]->setGeometry(twipsRect(1860, 420, 915, 315));
    }

    cmdCalib[channel] = new QPushButton(kCalibrate, this);
    cmdCalib[channel]->setObjectName(indexed("cmdCalib", channel));
    cmdCalib[channel]->setGeometry(
        twipsRect(kFrameLeft[channel] + 840, kCalibButtonTop, 1335, 495));
    cmdCalib[channel]->setAutoDefault(false);
    connect(cmdCalib[channel], &QPushButton::clicked, this,
            [this, channel] { toggleCalibrate(channel); });
}

void FrmCalib::toggleCalibrate(int channel)
{
    const bool starting = cmdCalib[channel]->text() == kCalibrate;
    cmdCalib[channel]->setText(starting ? kStop : kCalibrate);
    for (int other = 0; other < kCalibChannels; ++other) {
        if (other == channel)
            continue;
        cmdCalib[other]->setEnabled(!starting);
        Frame[other]->setEnabled(!starting);
    }
    if (starting && channel < 2)
        m_state.CalRange[channel] = rangeFromText(txtRange[channel]->text());
}

void FrmCalib::scanTick()
{
    pollStep(m_state, m_port, m_state.CalCommand);
    for (int channel = 0; channel < kCalibChannels; ++channel)
        lblValue[channel]->setText(channelValueText(m_state, channel));
}

void FrmCalib::takeRanges()
{
    for (int channel = 0; channel < 2; ++channel)
        m_state.CalRange[channel] = rangeFromText(txtRange[channel]->text());
}

void FrmCalib::done(int result)
{
    // Every way of closing takes both ranges, whatever the toggle state.
    tmrScan->stop();
    takeRanges();
    QDialog::done(result);
}
