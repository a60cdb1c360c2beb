#include "records/partserialdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

PartSerialDialog::PartSerialDialog(int station, std::vector<PartModel> models,
                                   const QString &lastModel, SerialLookup lookup, QWidget *parent)
    : QDialog(parent), m_models(std::move(models)), m_lookup(std::move(lookup))
{
    setObjectName(QStringLiteral("frmPartSerial"));
    setWindowTitle(QStringLiteral("Part Serial - Test %1").arg(station + 1));
    setModal(true);

    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    layout->addLayout(form);
    m_model = new QComboBox(this);
    m_model->setObjectName(QStringLiteral("cmbPartModel"));
    m_model->addItem(QStringLiteral("No model"));
    for (const PartModel &model : m_models) {
        m_model->addItem(model.name);
        if (model.name == lastModel)
            m_model->setCurrentIndex(m_model->count() - 1);
    }
    form->addRow(QStringLiteral("Part model:"), m_model);
    m_serial = new QLineEdit(this);
    m_serial->setObjectName(QStringLiteral("txtSerial"));
    m_serial->setMinimumWidth(260);
    form->addRow(QStringLiteral("Serial:"), m_serial);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("lblSerialNote"));
    m_note->setWordWrap(true);
    m_note->setMinimumHeight(m_note->fontMetrics().height() * 2);
    layout->addWidget(m_note);

    auto *buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    m_ok->setObjectName(QStringLiteral("cmdOK"));
    m_ok->setDefault(true);
    QPushButton *cancel =
        buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    layout->addWidget(buttons);
    // Enter on a focused button presses that button; in the field it presses OK.
    connect(m_ok, &QPushButton::clicked, this, &PartSerialDialog::onOkClicked);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_serial, &QLineEdit::textEdited, this, &PartSerialDialog::onSerialEdited);
    connect(m_model, &QComboBox::currentIndexChanged, this, [this] { m_note->clear(); });
    m_serial->setFocus();
}

std::optional<PartModel> PartSerialDialog::chosenModel() const
{
    const int index = m_model->currentIndex() - 1;
    if (index < 0 || index >= int(m_models.size()))
        return std::nullopt;
    return m_models[size_t(index)];
}

PartChoice PartSerialDialog::choice() const
{
    return {m_serial->text().trimmed(), chosenModel()};
}

void PartSerialDialog::onSerialEdited()
{
    m_note->setStyleSheet(QString());
    const QString serial = m_serial->text().trimmed();
    const std::optional<TestRecord> latest =
        serial.isEmpty() || !m_lookup ? std::nullopt : m_lookup(serial);
    m_note->setText(latest ? retestText(*latest) : QString());
}

void PartSerialDialog::onOkClicked()
{
    if (const MaybeFailure refused = checkSerial(m_serial->text(), chosenModel())) {
        m_note->setStyleSheet(QStringLiteral("color: #c00000;"));
        m_note->setText(refused->reason);
        // The next scan replaces the refused serial.
        m_serial->selectAll();
        m_serial->setFocus();
        return;
    }
    accept();
}
