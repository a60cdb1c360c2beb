#pragma once

#include <QDialog>
#include <QStringList>

struct SharedState;
class QLabel;
class QListWidget;
class QPushButton;

/// The "Print" dialog: lists the given printer names, nothing selected, and leaves the chosen
/// position in PrinterIndex (-1 for none or Cancel). Closing it by the window's close control
/// leaves PrinterIndex as it was.
class FrmPrint final : public QDialog {
    Q_OBJECT

public:
    /// Builds the dialog over the printers' device names in the printing system's order.
    FrmPrint(SharedState &state, const QStringList &printerNames, QWidget *parent);

    QLabel *Label1 = nullptr;
    QListWidget *ListPrinters = nullptr;
    QPushButton *cmdPrint = nullptr;
    QPushButton *cmdCancel = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void cmdPrintClick();
    void cmdCancelClick();

    SharedState &m_state;
};
