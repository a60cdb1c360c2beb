#pragma once

#include <QDialog>

struct SharedState;
class QPushButton;
class QTimer;

/// The about window, which is also the start-up splash. Opened from the Help menu
/// (AboutFromMenu set) it shows an OK button and stays until OK; otherwise it closes itself
/// one second after it was created.
class FrmAbout final : public QDialog {
    Q_OBJECT

public:
    FrmAbout(const SharedState &state, QWidget *parent);

    QPushButton *cmdOK = nullptr;
    QTimer *tmrClose = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};
