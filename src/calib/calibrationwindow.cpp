#include "calib/calibrationwindow.h"

#include "app/sharedstate.h"
#include "device/devicelink.h"
#include "ui/designcolours.h"
#include "ui/designfont.h"
#include "ui/keyboard.h"
#include "ui/labels.h"
#include "ui/twips.h"

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

const char *const kFrameCaptions[kCalibChannels] = {"Calibrate Pressure 1", "Calibrate Pressure 2",
                                                    "Calibrate Temperature"};
const char *const kZeroCaptions[kCalibChannels] = {"4mA", "4mA", "0 deg."};
const char *const kSpanCaptions[kCalibChannels] = {"20mA", "20mA", "100 deg."};

const QString kCalibrate = QStringLiteral("Calibrate");
const QString kStop = QStringLiteral("Stop");

QString indexed(const char *name, int index)
{
    return QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(index);
}

/// A button that a click, or Space or Enter on it, presses: never Enter typed elsewhere.
QPushButton *addButton(QWidget *parent, const QString &name, const QString &text, const QRect &box)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(box);
    button->setAutoDefault(false);
    return button;
}

} // namespace

CalibrationWindow::CalibrationWindow(SharedState &state, CommOutput &port, QWidget *parent)
    : CloseControlDialog(parent), m_state(state), m_port(port)
{
    setObjectName(QStringLiteral("frmCalib"));
    setWindowTitle(QStringLiteral("Calibration"));
    setModal(true);
    setFixedSize(twips(9480), twips(2580));

    for (int channel = 0; channel < kCalibChannels; ++channel)
        buildChannel(channel);
    // The first key typed goes to the first range, never to a capture button.
    m_channels[0].range->setFocus();
    enterPressesFocusedButton(this);

    m_scanTimer = new QTimer(this);
    m_scanTimer->setObjectName(QStringLiteral("tmrScan"));
    m_scanTimer->setInterval(100);
    connect(m_scanTimer, &QTimer::timeout, this, &CalibrationWindow::onScanTick);
    m_scanTimer->start();
}

void CalibrationWindow::buildChannel(int channel)
{
    Channel &controls = m_channels[size_t(channel)];
    controls.frame = new QGroupBox(QLatin1String(kFrameCaptions[channel]), this);
    controls.frame->setObjectName(QStringLiteral("Frame%1").arg(channel + 1));
    controls.frame->setGeometry(
        twipsRect(kFrameLeft[channel], kFrameTop, kFrameWidth, kFrameHeight));

    controls.zero = addButton(controls.frame, indexed("cmd4", channel),
                              QLatin1String(kZeroCaptions[channel]), twipsRect(240, 360, 855, 495));
    connect(controls.zero, &QPushButton::clicked, this,
            [this, channel] { captureZero(m_state.calibration, m_state.readings, channel); });
    controls.span =
        addButton(controls.frame, indexed("cmd20", channel), QLatin1String(kSpanCaptions[channel]),
                  twipsRect(240, 1020, 855, 495));
    connect(controls.span, &QPushButton::clicked, this,
            [this, channel] { captureSpan(m_state.calibration, m_state.readings, channel); });

    controls.value = new QLabel(QStringLiteral("0.0"), controls.frame);
    controls.value->setObjectName(indexed("lblValue", channel));
    controls.value->setGeometry(twipsRect(1200, 1020, 1575, 495));
    controls.value->setAlignment(Qt::AlignCenter);
    controls.value->setFont(designFont(QStringLiteral("Arial"), 12, true));
    controls.value->setAutoFillBackground(true);
    QPalette palette = controls.value->palette();
    palette.setColor(QPalette::Window, kPanelBlue);
    palette.setColor(QPalette::WindowText, Qt::white);
    controls.value->setPalette(palette);

    if (channel < 2) {
        addLabel(controls.frame, indexed("Label1", channel), QStringLiteral("Range:"),
                 twipsRect(1200, 480, 615, 255));
        controls.range =
            new QLineEdit(rangeText(m_state.calibration.CalRange[size_t(channel)]), controls.frame);
        controls.range->setObjectName(indexed("txtRange", channel));
        controls.range->setGeometry(twipsRect(1860, 420, 915, 315));
    }

    controls.calibrate =
        addButton(this, indexed("cmdCalib", channel), kCalibrate,
                  twipsRect(kFrameLeft[channel] + 840, kCalibButtonTop, 1335, 495));
    connect(controls.calibrate, &QPushButton::clicked, this,
            [this, channel] { onCalibrateClicked(channel); });
}

void CalibrationWindow::onCalibrateClicked(int channel)
{
    QPushButton *toggle = m_channels[size_t(channel)].calibrate;
    const bool starting = toggle->text() == kCalibrate;
    toggle->setText(starting ? kStop : kCalibrate);
    for (int other = 0; other < kCalibChannels; ++other) {
        if (other == channel)
            continue;
        m_channels[size_t(other)].calibrate->setEnabled(!starting);
        m_channels[size_t(other)].frame->setEnabled(!starting);
    }
    if (starting && channel < 2)
        m_state.calibration.CalRange[size_t(channel)] =
            rangeFromText(m_channels[size_t(channel)].range->text());
}

void CalibrationWindow::onScanTick()
{
    const LinkEvent polled =
        pollStep(m_state.readings, m_state.PortReady, m_port, m_state.readings.CalCommand);
    if (polled != LinkEvent::None)
        emit linkEvent(polled);
    for (int channel = 0; channel < kCalibChannels; ++channel)
        m_channels[size_t(channel)].value->setText(channelValueText(m_state.readings, channel));
}

void CalibrationWindow::takeRanges()
{
    for (int channel = 0; channel < 2; ++channel)
        m_state.calibration.CalRange[size_t(channel)] =
            rangeFromText(m_channels[size_t(channel)].range->text());
}

void CalibrationWindow::showEvent(QShowEvent *event)
{
    CloseControlDialog::showEvent(event);
    // A dialog that opens selects its first field's text, so a first key typed would replace
    // the range the window takes when it closes: the cursor goes to its end instead.
    QMetaObject::invokeMethod(
        this, [this] { m_channels[0].range->end(false); }, Qt::QueuedConnection);
}

void CalibrationWindow::done(int result)
{
    // Every way of closing takes both ranges, whatever the toggle state.
    m_scanTimer->stop();
    takeRanges();
    QDialog::done(result);
}
