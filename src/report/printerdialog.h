#pragma once

#include <QDialog>
#include <QStringList>

#include <optional>

class QListWidget;

/// The "Print" dialog (frmPrint): lists the given printer names with nothing chosen, not even
/// a current entry, and answers the chosen position. Print answers the selected position (-1
/// when none is selected), Cancel and Escape answer -1, the close control answers nothing.
class PrinterDialog final : public QDialog {
    Q_OBJECT

public:
    /// Builds the dialog over the printers' device names in the printing system's order.
    PrinterDialog(const QStringList &printerNames, QWidget *parent);

    /// The answer once the dialog has closed; empty when it was closed by its close control.
    std::optional<int> answer() const { return m_answer; }

    /// Shows the dialog modally, owned by `owner`, and returns its answer.
    static std::optional<int> choose(const QStringList &printerNames, QWidget *owner);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void onPrintClicked();
    void onCancelClicked();

    QListWidget *m_list = nullptr;
    std::optional<int> m_answer;
};
