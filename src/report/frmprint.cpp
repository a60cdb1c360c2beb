#include "report/frmprint.h"

#include "app/sharedstate.h"
#include "ui/main/twips.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>

FrmPrint::FrmPrint(SharedState &state, const QStringList &printerNames, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_state(state)
{
    setObjectName(QStringLiteral("frmPrint"));
    setModal(true);
    setWindowTitle(QStringLiteral("Print"));
    setFixedSize(twips(4995), twips(3195));

    Label1 = new QLabel(QStringLiteral("Select Printer"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(twipsRect(120, 240, 2895, 375));

    ListPrinters = new QListWidget(this);
    ListPrinters->setObjectName(QStringLiteral("ListPrinters"));
    ListPrinters->setGeometry(twipsRect(120, 600, 3015, 2400));
    ListPrinters->setSelectionMode(QAbstractItemView::SingleSelection);
    ListPrinters->setSortingEnabled(false);
    ListPrinters->addItems(printerNames);
    ListPrinters->clearSelection();

    cmdPrint = new QPushButton(QStringLiteral("Print"), this);
    cmdPrint->setObjectName(QStringLiteral("cmdPrint"));
    cmdPrint->setGeometry(twipsRect(3360, 600, 1455, 495));
    cmdPrint->setDefault(true);
    connect(cmdPrint, &QPushButton::clicked, this, &FrmPrint::cmdPrintClick);

    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setGeometry(twipsRect(3360, 1320, 1455, 495));
    connect(cmdCancel, &QPushButton::clicked, this, &FrmPrint::cmdCancelClick);

    setTabOrder(ListPrinters, cmdPrint);
    setTabOrder(cmdPrint, cmdCancel);
    ListPrinters->setFocus();

    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void FrmPrint::keyPressEvent(QKeyEvent *event)
{
    // Escape is the Cancel button, not a plain close: it answers -1.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdCancel->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FrmPrint::cmdPrintClick()
{
    const QList<QListWidgetItem *> selected = ListPrinters->selectedItems();
    m_state.PrinterIndex =
        selected.isEmpty() ? int16_t(-1) : int16_t(ListPrinters->row(selected.first()));
    accept();
}

void FrmPrint::cmdCancelClick()
{
    m_state.PrinterIndex = -1;
    reject();
}
