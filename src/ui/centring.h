#pragma once

class QWidget;

/// Centres a window on the screen of its owner, or on the primary screen when it has none.
void centreOnScreen(QWidget *window, const QWidget *owner);
