#pragma once

#include <QDialog>

struct SharedState;
class QComboBox;
class QGroupBox;
class QPushButton;

/// The port dialog: picks the instrument's port number, 1 to 255, used from the next start.
/// OK stores the selected entry's number (0 when none is selected); closing changes nothing.
class FrmComm final : public QDialog {
    Q_OBJECT

public:
    /// Entries in the list: COM 1 to COM 255.
    static constexpr int kPortCount = 255;

    FrmComm(SharedState &state, QWidget *parent);

    QGroupBox *Frame1 = nullptr;
    QComboBox *cmbComm = nullptr;
    QPushButton *cmdOK = nullptr;

private:
    void okClicked();

    SharedState &m_state;
};
