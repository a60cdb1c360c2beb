#include "ui/closecontroldialog.h"

#include <QKeyEvent>

void CloseControlDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
