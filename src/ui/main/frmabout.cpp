#include "ui/main/frmabout.h"

#include "app/sharedstate.h"
#include "ui/main/designfont.h"
#include "ui/main/pictures.h"
#include "ui/main/twips.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

namespace {
QLabel *addLabel(QWidget *parent, const QString &name, const QString &text, const QRect &box,
                 const QFont &font, const QColor &color)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(box);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}
} // namespace

FrmAbout::FrmAbout(const SharedState &state, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setModal(true);
    setFixedSize(twips(7845), twips(3675));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);

    addLabel(this, QStringLiteral("Label2(0)"), QStringLiteral("Kestrava"),
             twipsRect(2280, 480, 4695, 855), designFont(QStringLiteral("Arial"), 24, true),
             Qt::black);
    addLabel(this, QStringLiteral("Label1(0)"), QStringLiteral("ZQ"),
             twipsRect(1200, 480, 1095, 735), designFont(QStringLiteral("Arial"), 24, true, true),
             Qt::blue);
    addLabel(this, QStringLiteral("Label3"), QStringLiteral("Build Ver.1.1"),
             twipsRect(240, 3120, 1095, 255), designFont(QStringLiteral("Arial"), 8), Qt::black);

    // The logo at its natural size, from the top left of its box.
    const QString logo = QStringLiteral(":/logo.svg");
    auto *image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image1"));
    image->setGeometry(QRect(twipsRect(1800, 1320, 4395, 1260).topLeft(), svgNaturalSize(logo)));
    image->setPixmap(svgPicture(logo, svgNaturalSize(logo), devicePixelRatioF()));

    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(twipsRect(3120, 3000, 1575, 495));
    cmdOK->setVisible(false);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    tmrClose = new QTimer(this);
    tmrClose->setObjectName(QStringLiteral("tmrClose"));
    tmrClose->setInterval(1000);
    connect(tmrClose, &QTimer::timeout, this, &QDialog::accept);

    // The use decides the way out: the OK button for the about box, the timer for the splash.
    if (state.AboutFromMenu) {
        cmdOK->setVisible(true);
        cmdOK->setDefault(true);
        cmdOK->setFocus();
    } else {
        tmrClose->start();
    }

    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void FrmAbout::keyPressEvent(QKeyEvent *event)
{
    // Neither use closes on Escape: the splash waits for its timer, the about box for OK.
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FrmAbout::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    QPainter painter(this); // the fixed single-line border
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
