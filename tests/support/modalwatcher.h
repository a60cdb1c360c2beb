#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

/// Answers the next modal window that opens: when one is up, `handle` runs with it (to read
/// and press its controls; it should close the window). Set up before the code that opens it.
/// Gives up after `limitMs`, so a window that never opens shows as a failed check. The
/// watcher belongs to the application and is gone once it has answered or given up.
inline void onNextModal(std::function<void(QWidget *)> handle, int limitMs = 10000)
{
    auto *timer = new QTimer(qApp);
    timer->setInterval(10);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, handle, clock, limitMs] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            handle(modal);
            return;
        }
        if (clock->elapsed() > limitMs) {
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
inline void acceptNextMessage(SeenMessage &seen, int limitMs = 10000)
{
    onNextModal(
        [&seen](QWidget *modal) {
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
        },
        limitMs);
}

/// Describes a modal window for a failure message: its name, title and message text.
inline QString describeModal(QWidget *modal)
{
    QString what = QStringLiteral("%1 \"%2\"").arg(modal->objectName(), modal->windowTitle());
    if (auto *box = qobject_cast<QMessageBox *>(modal))
        what += QStringLiteral(": ") + box->text();
    return what;
}

/// Closes a modal window without applying anything: a dialog is rejected, another window closed.
inline void closeModal(QWidget *modal)
{
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
}

/// While it lives, closes every modal window that opens over `base` and records it: for
/// checking that a key or a click opened nothing (no printer dialog, no save dialog).
class ModalsOver : public QObject {
public:
    explicit ModalsOver(QWidget *base) : m_base(base)
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal || modal == m_base || !modal->isVisible())
                return;
            m_opened << describeModal(modal);
            closeModal(modal);
        });
        m_timer.start();
    }

    /// The windows that opened over the base window, as describeModal() gives them.
    QStringList opened() const { return m_opened; }

private:
    QPointer<QWidget> m_base;
    QTimer m_timer;
    QStringList m_opened;
};

/// Closes any modal window that nobody answers within `limitMs`, so that a test whose code
/// opened an unexpected box fails within seconds instead of hanging until the test run's
/// time-out. Keep one per test program (a member of the test object) and check takeStray() in
/// cleanup(): it holds the titles of the windows it had to close.
class ModalGuard : public QObject {
public:
    explicit ModalGuard(int limitMs = 8000) : m_limitMs(limitMs)
    {
        m_timer.setInterval(100);
        connect(&m_timer, &QTimer::timeout, this, &ModalGuard::check);
        m_timer.start();
    }

    /// Titles of the modal windows closed since the last call, joined by " | ".
    QString takeStray()
    {
        QString titles = m_stray;
        m_stray.clear();
        return titles;
    }

private:
    void check()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal != m_modal) {
            m_modal = modal;
            m_since.start();
            return;
        }
        if (!modal || m_since.elapsed() < m_limitMs)
            return;
        const QString what = describeModal(modal);
        m_stray += (m_stray.isEmpty() ? QString() : QStringLiteral(" | ")) + what;
        qWarning("ModalGuard: closing an unanswered modal window: %s", qPrintable(what));
        closeModal(modal);
        m_modal = nullptr;
    }

    QTimer m_timer;
    QElapsedTimer m_since;
    QPointer<QWidget> m_modal;
    QString m_stray;
    int m_limitMs;
};
