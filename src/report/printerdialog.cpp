#include "report/printerdialog.h"

#include "ui/centring.h"
#include "ui/keyboard.h"
#include "ui/labels.h"
#include "ui/twips.h"

#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>

PrinterDialog::PrinterDialog(const QStringList &printerNames, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmPrint"));
    setModal(true);
    setWindowTitle(QStringLiteral("Print"));
    setFixedSize(twips(4995), twips(3195));

    addLabel(this, QStringLiteral("Label1"), QStringLiteral("Select Printer"),
             twipsRect(120, 240, 2895, 375));

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("ListPrinters"));
    m_list->setGeometry(twipsRect(120, 600, 3015, 2400));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setSortingEnabled(false);
    m_list->addItems(printerNames);
    // No current entry either: a list taking the focus would otherwise make the first printer
    // current, so it looks chosen and a first Down skips it.
    m_list->setCurrentIndex(QModelIndex());
    m_list->clearSelection();

    auto *print = new QPushButton(QStringLiteral("Print"), this);
    print->setObjectName(QStringLiteral("cmdPrint"));
    print->setGeometry(twipsRect(3360, 600, 1455, 495));
    print->setDefault(true);
    connect(print, &QPushButton::clicked, this, &PrinterDialog::onPrintClicked);

    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    cancel->setGeometry(twipsRect(3360, 1320, 1455, 495));
    cancel->setAutoDefault(false); // Enter in the list means Print; on Cancel, Cancel
    connect(cancel, &QPushButton::clicked, this, &PrinterDialog::onCancelClicked);

    setTabOrder(m_list, print);
    setTabOrder(print, cancel);
    m_list->setFocus();
    enterPressesFocusedButton(this);
    centreOnScreen(this, parent);
}

std::optional<int> PrinterDialog::choose(const QStringList &printerNames, QWidget *owner)
{
    PrinterDialog dialog(printerNames, owner);
    dialog.exec();
    return dialog.answer();
}

void PrinterDialog::keyPressEvent(QKeyEvent *event)
{
    // Escape is the Cancel button, not a plain close: it answers -1.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        onCancelClicked();
        return;
    }
    QDialog::keyPressEvent(event);
}

void PrinterDialog::onPrintClicked()
{
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    m_answer = selected.isEmpty() ? -1 : m_list->row(selected.first());
    accept();
}

void PrinterDialog::onCancelClicked()
{
    m_answer = -1;
    reject();
}
