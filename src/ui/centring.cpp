#include "ui/centring.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void centreOnScreen(QWidget *window, const QWidget *owner)
{
    if (const QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
}

void placeOnScreen(QWidget *window, const QWidget *owner, QSize wanted)
{
    const QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen) {
        window->resize(wanted);
        return;
    }
    // The frame is known once a window is shown: the owner's stands for this one's; without
    // one, room is left for a title bar and borders.
    QMargins frame(8, 32, 8, 8);
    if (owner && owner->isVisible())
        frame = QMargins(owner->geometry().left() - owner->frameGeometry().left(),
                         owner->geometry().top() - owner->frameGeometry().top(),
                         owner->frameGeometry().right() - owner->geometry().right(),
                         owner->frameGeometry().bottom() - owner->geometry().bottom());
    const QSize border(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QRect available = screen->availableGeometry();
    window->resize(wanted.boundedTo(available.size() - border));
    const QSize outer = window->size() + border;
    // A window's position is that of its frame.
    window->move(available.left() + (available.width() - outer.width()) / 2,
                 available.top() + (available.height() - outer.height()) / 2);
}
