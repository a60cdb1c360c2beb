#pragma once

#include <QDate>
#include <QWidget>

#include <optional>

class QCheckBox;
class QDateEdit;

/// One end of a filter by day: a check box with the caption turns the limit on or off, and a
/// date field beside it takes the day, typed as yyyy-mm-dd or picked from its calendar (a
/// click on the arrow, or Alt+Down or F4). Off, the field shows "Any" and takes no input.
/// Tab leaves the field at once rather than walking its year, month and day.
class DayFilter final : public QWidget {
    Q_OBJECT

public:
    /// The check box is named "chk" + name, the field "dt" + name; `day` is what the field
    /// offers once the limit is turned on.
    DayFilter(const QString &caption, const QString &name, QDate day, QWidget *parent);

    /// The day, or none while the limit is off.
    std::optional<QDate> day() const;

signals:
    /// The limit was turned on or off, or its day changed.
    void changed();

private:
    void onToggled(bool on);

    QCheckBox *m_on = nullptr;
    QDateEdit *m_field = nullptr;
};
