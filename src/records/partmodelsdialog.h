#pragma once

#include "records/partmodels.h"

#include <QDialog>

#include <vector>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TestRecorder;

/// Records > "Part Models..." (frmPartModels): the part models of the record store, each
/// with its name, its volume in millilitres and an optional serial pattern. New clears the
/// fields for a new model; Save stores the fields (as a new model, or over the selected one,
/// renaming its records with it); Delete removes the selected model after a question, and is
/// refused while records use it. A refused entry leaves the store as it was and says why
/// under the fields.
class PartModelsDialog final : public QDialog {
    Q_OBJECT

public:
    PartModelsDialog(TestRecorder &recorder, QWidget *parent);

private:
    void reload(int64_t selectId);
    void onSelectionChanged();
    void onNewClicked();
    void onSaveClicked();
    void onDeleteClicked();
    void refuse(const QString &reason);
    int64_t selectedId() const;

    TestRecorder &m_recorder;
    std::vector<PartModel> m_models;
    QListWidget *m_list = nullptr;
    QLineEdit *m_name = nullptr;
    QLineEdit *m_volume = nullptr;
    QLineEdit *m_pattern = nullptr;
    QLabel *m_reason = nullptr;
    QPushButton *m_delete = nullptr;
};
