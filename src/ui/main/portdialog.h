#pragma once

#include <QDialog>

#include <cstdint>

class QComboBox;

/// The port dialog (frmComm): picks the instrument's port number, 1 to 255, used from the
/// next start. OK stores the selected entry's number in CommPort (0 when none is selected);
/// text typed into the field is never read. Closing changes nothing.
class PortDialog final : public QDialog {
    Q_OBJECT

public:
    /// Entries in the list: COM 1 to COM 255.
    static constexpr int kPortCount = 255;

    PortDialog(int16_t &commPort, QWidget *parent);

private:
    void onOkClicked();

    int16_t &m_commPort;
    QComboBox *m_list = nullptr;
};
