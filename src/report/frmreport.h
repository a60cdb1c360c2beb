#pragma once

#include <QDialog>

#include <array>

struct ReportHeader;
struct SharedState;
class PictureBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

/// The report of station ReportStation: the test details, which the user may edit for the
/// printed page, and the chart of the whole recording, drawn once before the window is shown.
class FrmReport final : public QDialog {
    Q_OBJECT

public:
    FrmReport(SharedState &state, QWidget *parent);

    QGroupBox *Frame1 = nullptr;
    std::array<QLabel *, 2> Label1{};
    std::array<QLabel *, 2> Label2{};
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *txtTestName = nullptr;
    QLineEdit *txtOperator = nullptr;
    QLineEdit *txtDate = nullptr;
    QLineEdit *txtTime = nullptr;
    QLabel *Image1 = nullptr;
    QPushButton *cmdSave = nullptr;
    QPushButton *cmdPrint = nullptr;
    PictureBox *pic = nullptr;

    /// The four details as they stand in the text fields.
    ReportHeader header() const;

    /// Writes the report page, as printed, to a PDF file at path in one atomic step. Returns an
    /// empty text, or the reason the file was not written.
    QString saveReport(const QString &path) const;

    /// Saves the report to path; a failure shows a "Save Error" warning box with the reason.
    void saveTo(const QString &path);

    /// The click of cmdSave: asks for a file name, then saveTo().
    void cmdSaveClick();
    /// The click of cmdPrint: asks for a printer and prints.
    void cmdPrintClick();

private:
    SharedState &m_state;
};
