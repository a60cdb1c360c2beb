#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

/// Answers the next modal window that opens: when one is up, `handle` runs with it (to read
/// and press its controls; it should close the window). Set up before the code that opens it.
/// Gives up silently after `limitMs`, so a window that never opens shows as a failed check.
inline void onNextModal(std::function<void(QWidget *)> handle, int limitMs = 10000)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    auto elapsed = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, handle, elapsed, limitMs] {
        *elapsed += timer->interval();
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            handle(modal);
            return;
        }
        if (*elapsed > limitMs) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

/// What a message box showed.
struct SeenMessage {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool seen = false;
};

/// Records the next message box and presses its OK button.
inline void acceptNextMessage(SeenMessage &seen)
{
    onNextModal([&seen](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box) {
            modal->close();
            return;
        }
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.seen = true;
        box->accept();
    });
}
