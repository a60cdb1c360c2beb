#pragma once

#include <QDialog>

#include <array>

struct SharedState;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// The "Options" dialog: shows the six test parameters and stores the edited texts on OK.
/// Cancel, Escape and the close box change nothing.
class FrmSettings final : public QDialog {
    Q_OBJECT

public:
    FrmSettings(SharedState &state, QWidget *parent);

    QGroupBox *Frame1 = nullptr;
    QLabel *Label3 = nullptr; ///< beside txtPara(0); Label4 to Label8 follow in order
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label8 = nullptr;
    std::array<QLineEdit *, 6> txtPara{};
    QPushButton *cmdCancel = nullptr;
    QPushButton *cmdOK = nullptr;

private:
    void okClicked();

    SharedState &m_state;
};
