#pragma once

#include <QSize>

class QWidget;

/// Centres a window on the screen of its owner, or on the primary screen when it has none.
void centreOnScreen(QWidget *window, const QWidget *owner);

/// Gives a window the wanted size, or less where its owner's screen (or the primary screen)
/// has less room, and centres it there with its frame inside the screen's available area.
void placeOnScreen(QWidget *window, const QWidget *owner, QSize wanted);
