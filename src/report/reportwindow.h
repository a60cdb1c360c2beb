#pragma once

#include "app/failure.h"
#include "charts/chartdrawing.h"
#include "ui/closecontroldialog.h"

#include <QString>

#include <functional>

struct SharedState;
struct WindowHandover;
class PictureBox;
class QLineEdit;

/// What a report shows: the station, the start texts of its test and the test's samples.
struct ReportSource {
    int station = 0;
    QString startDate;
    QString startTime;
    /// The samples as they stand when asked: the window draws them once, a print asks again.
    std::function<ChartSamples()> samples;
    /// The names the fields start with; empty ones keep "New Test" and "Operator".
    QString testName;
    QString operatorName;
    /// The part of a reprinted record: shown right of the buttons and printed on the page.
    QString serial;
    QString model;
};

/// The report of the station's last test: ReportStation's record, as the report button shows.
ReportSource stationReport(const SharedState &state);

/// The report window (frmReport): the test details, which the user may edit for the printed
/// page, and the chart of the whole recording, drawn once before the window is shown. Print
/// asks for a printer and prints; Save writes the printed page as a PDF file. It closes only
/// by its close control.
class ReportWindow final : public CloseControlDialog {
    Q_OBJECT

public:
    /// `appPath` is the folder the save dialog opens in.
    ReportWindow(ReportSource source, WindowHandover &handover, const QString &appPath,
                 QWidget *parent);

    /// The four details as they stand in the text fields.
    ReportHeader header() const;

    /// Writes the report page, as printed, to a PDF file at path in one atomic step.
    [[nodiscard]] MaybeFailure saveReport(const QString &path) const;

    /// Saves the report to path; a failure shows a "Save Error" warning box with the reason.
    void saveTo(const QString &path);

signals:
    /// The report was printed or saved, with these details.
    void reportIssued(const ReportHeader &header);

private:
    void onSaveClicked();
    void onPrintClicked();
    QString documentTitle() const;

    ReportSource m_source;
    WindowHandover &m_handover;
    QString m_appPath;
    QLineEdit *m_testName = nullptr;
    QLineEdit *m_operator = nullptr;
    QLineEdit *m_date = nullptr;
    QLineEdit *m_time = nullptr;
    PictureBox *m_picture = nullptr;
};
