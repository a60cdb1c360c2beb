#pragma once

class QDialog;

/// Makes Enter (Return or keypad Enter) on a focused push button of `dialog` press that
/// button, Cancel included. Buttons keep autoDefault off, so Enter typed in a field or a list
/// still presses only the dialog's default button, or nothing where it has none.
void enterPressesFocusedButton(QDialog *dialog);

/// Draws a frame in the highlight colour inside every push button and around every check box
/// that has the focus, in every window, whatever the platform style shows of the focus. The
/// rest of the look stays the platform style's. Called once at start-up.
void useFocusFrames();
