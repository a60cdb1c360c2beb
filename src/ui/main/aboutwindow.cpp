#include "ui/main/aboutwindow.h"

#include "ui/banner.h"
#include "ui/centring.h"
#include "ui/designfont.h"
#include "ui/keyboard.h"
#include "ui/labels.h"
#include "ui/twips.h"

#include <QPainter>
#include <QPushButton>
#include <QTimer>

AboutWindow::AboutWindow(bool fromMenu, QWidget *parent)
    : CloseControlDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setModal(true);
    setFixedSize(twips(7845), twips(3675));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);

    // The logo at its natural size, from the top left of its box.
    addBanner(this, {twipsRect(1200, 480, 1095, 735), twipsRect(2280, 480, 4695, 855),
                     twipsRect(1800, 1320, 4395, 1260), 24, true});
    addLabel(this, QStringLiteral("Label3"), QStringLiteral("Build Ver.1.1"),
             twipsRect(240, 3120, 1095, 255), designFont(QStringLiteral("Arial"), 8),
             QColor(Qt::black));

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setGeometry(twipsRect(3120, 3000, 1575, 495));
    ok->setVisible(false);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *closeTimer = new QTimer(this);
    closeTimer->setObjectName(QStringLiteral("tmrClose"));
    closeTimer->setInterval(1000);
    connect(closeTimer, &QTimer::timeout, this, &QDialog::accept);

    // The use decides the way out: the OK button for the about box, the timer for the splash.
    if (fromMenu) {
        ok->setVisible(true);
        ok->setDefault(true);
        ok->setFocus();
    } else {
        closeTimer->start();
    }
    enterPressesFocusedButton(this);
    centreOnScreen(this, parent);
}

void AboutWindow::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    QPainter painter(this); // the fixed single-line border
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
