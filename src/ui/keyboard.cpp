#include "ui/keyboard.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleOption>

namespace {

/// Presses the focused button on Enter. Such a key reaches the dialog only when the button
/// has ignored it, as a button that is not the default does.
class FocusedButtonEnter final : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if (!enter || modifiers != Qt::NoModifier)
            return false;
        auto *button = qobject_cast<QPushButton *>(static_cast<QWidget *>(watched)->focusWidget());
        if (!button || !button->isVisible() || !button->isEnabled())
            return false;
        button->click();
        return true;
    }
};

constexpr int kFrameWidth = 2;
constexpr int kFrameInset = 3; // inside the style's own border, clear of caption and picture

class FocusFrameStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        QProxyStyle::drawControl(element, option, painter, widget);
        if (!(option->state & State_HasFocus))
            return;
        QRect frame;
        if (element == CE_PushButton)
            frame = option->rect.adjusted(kFrameInset, kFrameInset, -kFrameInset, -kFrameInset);
        else if (element == CE_CheckBox)
            frame = subElementRect(SE_CheckBoxFocusRect, option, widget).adjusted(-1, -1, 1, 1);
        else
            return;
        const QColor colour = option->palette.color(QPalette::Highlight);
        // Four bars, so that the frame is exactly kFrameWidth pixels thick at any scale.
        const int w = kFrameWidth;
        painter->fillRect(QRect(frame.left(), frame.top(), frame.width(), w), colour);
        painter->fillRect(QRect(frame.left(), frame.bottom() - w + 1, frame.width(), w), colour);
        painter->fillRect(QRect(frame.left(), frame.top(), w, frame.height()), colour);
        painter->fillRect(QRect(frame.right() - w + 1, frame.top(), w, frame.height()), colour);
    }
};

} // namespace

void enterPressesFocusedButton(QDialog *dialog)
{
    dialog->installEventFilter(new FocusedButtonEnter(dialog));
}

void useFocusFrames()
{
    if (dynamic_cast<FocusFrameStyle *>(QApplication::style()))
        return;
    // Over the style the platform (or -style) chose; the application owns the new one.
    QApplication::setStyle(new FocusFrameStyle(QApplication::style()->name()));
}
