#include "ui/main/optionsdialog.h"

#include "app/sharedstate.h"
#include "ui/designfont.h"
#include "ui/keyboard.h"
#include "ui/twips.h"

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

OptionsDialog::OptionsDialog(TestParameters &parameters, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_parameters(parameters)
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Options"));
    setModal(true);
    setFixedSize(twips(kFormWidth), twips(kFormHeight));
    setFont(designFont(QStringLiteral("MS Sans Serif"), 8.25));

    auto *frame = new QGroupBox(QStringLiteral("Test Settings"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(kFrame);

    const TestParameterTexts texts = testParameterTexts(parameters);
    for (int i = 0; i < kTestParameterCount; ++i) {
        const int top = kRowTop + i * kRowPitch;
        auto *label = new QLabel(kCaptions[size_t(i)], frame);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 3));
        label->setGeometry(twipsRect(kLabelLeft, top, kLabelWidth, kRowHeight));
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

        auto *field = new QLineEdit(texts[size_t(i)], frame);
        field->setObjectName(QStringLiteral("txtPara(%1)").arg(i));
        field->setGeometry(twipsRect(kFieldLeft, top, kFieldWidth, kRowHeight));
        label->setBuddy(field);
        m_fields[size_t(i)] = field;
    }

    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    cancel->setGeometry(kCancel);
    cancel->setAutoDefault(false); // Enter in a field means OK; on Cancel, Cancel
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setGeometry(kOK);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &OptionsDialog::onOkClicked);

    // Fields top to bottom, then the buttons left to right.
    for (size_t i = 1; i < m_fields.size(); ++i)
        setTabOrder(m_fields[i - 1], m_fields[i]);
    setTabOrder(m_fields.back(), cancel);
    setTabOrder(cancel, ok);
    m_fields.front()->setFocus();
    enterPressesFocusedButton(this);
}

void OptionsDialog::onOkClicked()
{
    TestParameterTexts texts;
    for (size_t i = 0; i < m_fields.size(); ++i)
        texts[i] = m_fields[i]->text();
    applyTestParameterTexts(m_parameters, texts);
    accept();
}
