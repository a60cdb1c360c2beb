#include "ui/dayfilter.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionComboBox>

namespace {

const QString kAny = QStringLiteral("Any");

/// A date field that Tab leaves, that takes "2026-07-11" typed in full, and whose calendar
/// opens from the keyboard.
class DayField final : public QDateEdit {
public:
    using QDateEdit::QDateEdit;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
            if (plain && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
                const bool forward =
                    key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier);
                QWidget::focusNextPrevChild(forward);
                return true;
            }
        }
        return QDateEdit::event(event);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        const bool altDown = event->key() == Qt::Key_Down && event->modifiers() == Qt::AltModifier;
        if (altDown || (event->key() == Qt::Key_F4 && event->modifiers() == Qt::NoModifier)) {
            openCalendar();
            return;
        }
        // A section typed full moves on to the next by itself; the "-" typed after it would
        // then skip a section, so it counts as the separator already passed.
        const QLineEdit *edit = lineEdit();
        const int at = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
        if (event->text() == u"-" && at > 0 && edit->text().at(at - 1) == u'-') {
            event->accept();
            return;
        }
        QDateEdit::keyPressEvent(event);
    }

private:
    /// Opens the calendar as a click on the field's arrow does.
    void openCalendar()
    {
        QStyleOptionComboBox option;
        option.initFrom(this);
        option.editable = true;
        option.subControls = QStyle::SC_All;
        const QPoint arrow =
            style()
                ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, this)
                .center();
        QMouseEvent press(QEvent::MouseButtonPress, arrow, mapToGlobal(arrow), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        mousePressEvent(&press);
    }
};

} // namespace

DayFilter::DayFilter(const QString &caption, const QString &name, QDate day, QWidget *parent)
    : QWidget(parent)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    m_on = new QCheckBox(caption, this);
    m_on->setObjectName(QStringLiteral("chk") + name);
    m_field = new DayField(day, this);
    m_field->setObjectName(QStringLiteral("dt") + name);
    m_field->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_field->setCalendarPopup(true);
    row->addWidget(m_on);
    row->addWidget(m_field);
    onToggled(false);
    connect(m_on, &QCheckBox::toggled, this, [this](bool on) {
        onToggled(on);
        emit changed();
    });
    connect(m_field, &QDateEdit::dateChanged, this, [this] {
        if (m_on->isChecked())
            emit changed();
    });
}

std::optional<QDate> DayFilter::day() const
{
    return m_on->isChecked() ? std::optional<QDate>(m_field->date()) : std::nullopt;
}

void DayFilter::onToggled(bool on)
{
    const QSignalBlocker quiet(m_field);
    if (on) {
        // The day last shown comes back, with every other day in reach again.
        const QDate day = m_field->minimumDate();
        m_field->setSpecialValueText(QString());
        m_field->clearMinimumDate();
        m_field->clearMaximumDate();
        m_field->setDate(day);
    } else {
        // "Any" is the field's only value: its day is both ends of its range.
        const QDate day = m_field->date();
        m_field->setSpecialValueText(kAny);
        m_field->setDateRange(day, day);
    }
    m_field->setEnabled(on);
}
