#include "records/partmodelsdialog.h"

#include "records/testrecorder.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

PartModelsDialog::PartModelsDialog(TestRecorder &recorder, QWidget *parent)
    : QDialog(parent), m_recorder(recorder)
{
    setObjectName(QStringLiteral("frmPartModels"));
    setWindowTitle(QStringLiteral("Part Models"));
    setModal(true);

    auto *layout = new QHBoxLayout(this);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("lstModels"));
    m_list->setMinimumWidth(180);
    layout->addWidget(m_list);

    auto *right = new QVBoxLayout;
    layout->addLayout(right, 1);
    auto *form = new QFormLayout;
    right->addLayout(form);
    const auto field = [this](const char *name) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        return edit;
    };
    m_name = field("txtModelName");
    m_volume = field("txtVolume");
    m_pattern = field("txtSerialPattern");
    m_pattern->setPlaceholderText(QStringLiteral("any serial"));
    form->addRow(QStringLiteral("Name:"), m_name);
    form->addRow(QStringLiteral("Volume (ml):"), m_volume);
    form->addRow(QStringLiteral("Serial pattern:"), m_pattern);
    m_reason = new QLabel(this);
    m_reason->setObjectName(QStringLiteral("lblReason"));
    m_reason->setWordWrap(true);
    m_reason->setStyleSheet(QStringLiteral("color: #c00000;"));
    m_reason->setMinimumWidth(320);
    right->addWidget(m_reason);
    right->addStretch(1);

    auto *buttons = new QHBoxLayout;
    right->addLayout(buttons);
    const auto button = [this, buttons](const char *name, const QString &text) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        buttons->addWidget(b);
        return b;
    };
    QPushButton *add = button("cmdNew", QStringLiteral("New"));
    QPushButton *save = button("cmdSave", QStringLiteral("Save"));
    m_delete = button("cmdDelete", QStringLiteral("Delete..."));
    QPushButton *close = button("cmdClose", QStringLiteral("Close"));
    // Enter in a field saves it; on a focused button it presses that button.
    save->setDefault(true);

    connect(m_list, &QListWidget::currentRowChanged, this, &PartModelsDialog::onSelectionChanged);
    connect(add, &QPushButton::clicked, this, &PartModelsDialog::onNewClicked);
    connect(save, &QPushButton::clicked, this, &PartModelsDialog::onSaveClicked);
    connect(m_delete, &QPushButton::clicked, this, &PartModelsDialog::onDeleteClicked);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    reload(0);
    m_name->setFocus();
}

void PartModelsDialog::reload(int64_t selectId)
{
    const Fallible<std::vector<PartModel>> models = m_recorder.partModels();
    m_models = models.ok() ? *models : std::vector<PartModel>{};
    const QSignalBlocker blocker(m_list);
    m_list->clear();
    int row = -1;
    for (const PartModel &model : m_models) {
        m_list->addItem(model.name);
        if (model.id == selectId)
            row = m_list->count() - 1;
    }
    m_list->setCurrentRow(row);
    onSelectionChanged();
    if (!models.ok())
        refuse(models.failure()->reason);
}

int64_t PartModelsDialog::selectedId() const
{
    const int row = m_list->currentRow();
    return row >= 0 && row < int(m_models.size()) ? m_models[size_t(row)].id : 0;
}

void PartModelsDialog::onSelectionChanged()
{
    const int row = m_list->currentRow();
    const bool selected = row >= 0 && row < int(m_models.size());
    m_delete->setEnabled(selected);
    m_reason->clear();
    if (!selected) {
        m_name->clear();
        m_volume->clear();
        m_pattern->clear();
        return;
    }
    const PartModel &model = m_models[size_t(row)];
    m_name->setText(model.name);
    m_volume->setText(QString::number(model.volumeMl, 'g', 10));
    m_pattern->setText(model.serialPattern);
}

void PartModelsDialog::onNewClicked()
{
    m_list->setCurrentRow(-1);
    onSelectionChanged();
    m_name->setFocus();
}

void PartModelsDialog::refuse(const QString &reason)
{
    m_reason->setText(reason);
}

void PartModelsDialog::onSaveClicked()
{
    const Fallible<PartModel> model =
        partModelFrom(selectedId(), m_name->text(), m_volume->text(), m_pattern->text(), m_models);
    if (!model.ok()) {
        refuse(model.failure()->reason);
        return;
    }
    const Fallible<int64_t> saved = m_recorder.savePartModel(*model);
    if (!saved.ok()) {
        refuse(saved.failure()->reason);
        return;
    }
    reload(*saved);
}

void PartModelsDialog::onDeleteClicked()
{
    const int64_t id = selectedId();
    if (id == 0)
        return;
    const QString name = m_models[size_t(m_list->currentRow())].name;
    QMessageBox question(QMessageBox::Question, QStringLiteral("Part Models"),
                         QStringLiteral("Delete part model %1?").arg(name),
                         QMessageBox::Yes | QMessageBox::Cancel, this);
    question.setDefaultButton(QMessageBox::Cancel);
    if (question.exec() != QMessageBox::Yes)
        return;
    if (const MaybeFailure refused = m_recorder.deletePartModel(id)) {
        refuse(refused->reason);
        return;
    }
    reload(0);
}
