#include "ui/centring.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void centreOnScreen(QWidget *window, const QWidget *owner)
{
    if (const QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
        window->move(screen->availableGeometry().center() - window->rect().center());
}
