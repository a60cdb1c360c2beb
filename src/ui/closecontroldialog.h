#pragma once

#include <QDialog>

/// A modal window that closes only by its close control or its own buttons: Escape, which a
/// plain QDialog takes as a close, does nothing here.
class CloseControlDialog : public QDialog {
    Q_OBJECT

public:
    using QDialog::QDialog;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
