#pragma once

#include "station/testparameters.h"

#include <QDialog>

#include <array>

class QLineEdit;
struct TestParameters;

/// The "Options" dialog (frmSettings): shows the six test parameters and stores the edited
/// texts on OK (the default button, Enter). Cancel, Escape and the close box change nothing.
class OptionsDialog final : public QDialog {
    Q_OBJECT

public:
    OptionsDialog(TestParameters &parameters, QWidget *parent);

private:
    void onOkClicked();

    TestParameters &m_parameters;
    std::array<QLineEdit *, kTestParameterCount> m_fields{};
};
