#include "ui/main/frmsettings.h"

#include "app/sharedstate.h"
#include "test/testparameters.h"
#include "ui/main/designfont.h"
#include "ui/main/twips.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

const std::array<QString, kTestParameterCount> kCaptions = {
    QStringLiteral("Test Start Pressure Limit (KPa):"),
    QStringLiteral("Leak Test Fall Pressure Limit (KPa):"),
    QStringLiteral("Leak Test Duration (sec):"),
    QStringLiteral("Test Fall Pressure in Bath (KPa):"),
    QStringLiteral("Main Test Duration (sec):"),
    QStringLiteral("Min. Bath Temperature (°C):"),
};

// Layout in twips: left, top, width, height; rows inside the frame relative to it.
constexpr int kFormWidth = 5880;
constexpr int kFormHeight = 4095;
constexpr QRect kFrame = twipsRect(240, 120, 5400, 3135);
constexpr int kRowTop = 360;
constexpr int kRowPitch = 450;
constexpr int kLabelLeft = 240;
constexpr int kLabelWidth = 3615;
constexpr int kFieldLeft = 3960;
constexpr int kFieldWidth = 1215;
constexpr int kRowHeight = 315;
constexpr QRect kCancel = twipsRect(2520, 3450, 1455, 435);
constexpr QRect kOK = twipsRect(4185, 3450, 1455, 435);

} // namespace

FrmSettings::FrmSettings(SharedState &state, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_state(state)
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Options"));
    setModal(true);
    setFixedSize(twips(kFormWidth), twips(kFormHeight));
    setFont(designFont(QStringLiteral("MS Sans Serif"), 8.25));

    Frame1 = new QGroupBox(QStringLiteral("Test Settings"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(kFrame);

    const std::array<QLabel **, kTestParameterCount> labels = {&Label3, &Label4, &Label5,
                                                               &Label6, &Label7, &Label8};
    const TestParameterTexts texts = testParameterTexts(state);
    for (int i = 0; i < kTestParameterCount; ++i) {
        const int top = kRowTop + i * kRowPitch;
        auto *label = new QLabel(kCaptions[i], Frame1);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 3));
        label->setGeometry(twipsRect(kLabelLeft, top, kLabelWidth, kRowHeight));
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        *labels[i] = label;

        auto *field = new QLineEdit(texts[i], Frame1);
        field->setObjectName(QStringLiteral("txtPara(%1)").arg(i));
        field->setGeometry(twipsRect(kFieldLeft, top, kFieldWidth, kRowHeight));
        label->setBuddy(field);
        txtPara[i] = field;
    }

    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(kCancel);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(kOK);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &FrmSettings::okClicked);

    // Fields top to bottom, then the buttons left to right.
    for (int i = 1; i < kTestParameterCount; ++i)
        setTabOrder(txtPara[i - 1], txtPara[i]);
    setTabOrder(txtPara[kTestParameterCount - 1], cmdCancel);
    setTabOrder(cmdCancel, cmdOK);
    txtPara[0]->setFocus();
}

void FrmSettings::okClicked()
{
    TestParameterTexts texts;
    for (int i = 0; i < kTestParameterCount; ++i)
        texts[i] = txtPara[i]->text();
    applyTestParameterTexts(m_state, texts);
    accept();
}
