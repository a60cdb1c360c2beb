#include "report/reportwindow.h"

#include "app/safefile.h"
#include "app/sharedstate.h"
#include "charts/chartdrawing.h"
#include "charts/picturearea.h"
#include "charts/picturebox.h"
#include "report/reportfilename.h"
#include "report/reportprint.h"
#include "ui/banner.h"
#include "ui/centring.h"
#include "ui/keyboard.h"
#include "ui/labels.h"
#include "ui/pictures.h"
#include "ui/twips.h"

#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace {

QLineEdit *addField(QWidget *parent, const QString &name, const QString &text, const QRect &box)
{
    auto *field = new QLineEdit(text, parent);
    field->setObjectName(name);
    field->setGeometry(box);
    return field;
}

} // namespace

ReportSource stationReport(const SharedState &state)
{
    ReportSource source;
    source.station = state.handover.ReportStation;
    if (source.station < 0 || source.station >= kStations) {
        source.samples = [] { return ChartSamples{}; };
        return source;
    }
    const StationRecord &record = state.stations[size_t(source.station)];
    source.startDate = record.TestStartDate;
    source.startTime = record.TestStartTime;
    source.samples = [&record] { return chartSamplesOf(record); };
    return source;
}

ReportWindow::ReportWindow(ReportSource source, WindowHandover &handover, const QString &appPath,
                           QWidget *parent)
    : CloseControlDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint),
      m_source(std::move(source)), m_handover(handover), m_appPath(appPath)
{
    setObjectName(QStringLiteral("frmReport"));
    setModal(true);
    setFixedSize(twips(10350), twips(9150));
    setWindowTitle(QStringLiteral("Report - Test ") + QString::number(m_source.station + 1));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    auto *frame = new QGroupBox(QStringLiteral("Test Details"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(twipsRect(120, 120, 6015, 1575));
    // White inside, as the window: the style's own frame tints what it encloses. The title
    // stands above the border, as the style places it.
    frame->setStyleSheet(
        QStringLiteral("QGroupBox#Frame1 { background-color: #ffffff; border: 1px solid #c4c4c4;"
                       " border-radius: 2px; margin-top: %1px; }"
                       " QGroupBox#Frame1::title { subcontrol-origin: margin; left: 0px; }")
            .arg(frame->fontMetrics().height() + 2));
    addLabel(frame, QStringLiteral("Label1(1)"), QStringLiteral("Test Name:"),
             twipsRect(240, 360, 1095, 255));
    m_testName = addField(frame, QStringLiteral("txtTestName"), QStringLiteral("New Test"),
                          twipsRect(1320, 360, 4455, 285));
    addLabel(frame, QStringLiteral("Label2(1)"), QStringLiteral("Operator:"),
             twipsRect(240, 720, 1095, 255));
    m_operator = addField(frame, QStringLiteral("txtOperator"), QStringLiteral("Operator"),
                          twipsRect(1320, 720, 4455, 285));
    addLabel(frame, QStringLiteral("Label3"), QStringLiteral("Date:"),
             twipsRect(240, 1080, 855, 255));
    m_date = addField(frame, QStringLiteral("txtDate"), QStringLiteral("00-00-0000"),
                      twipsRect(1320, 1080, 1335, 285));
    addLabel(frame, QStringLiteral("Label4"), QStringLiteral("Time:"),
             twipsRect(3720, 1080, 495, 255));
    m_time = addField(frame, QStringLiteral("txtTime"), QStringLiteral("00:00:00"),
                      twipsRect(4320, 1080, 1455, 285));

    addBanner(this, {twipsRect(6360, 360, 615, 375), twipsRect(6960, 360, 3015, 375),
                     twipsRect(6720, 720, 3195, 660), 15.75, false});

    QPushButton *save = pictureButton(this, QStringLiteral("cmdSave"), QStringLiteral(":/save.svg"),
                                      QStringLiteral("Save"), twipsRect(360, 1800, 615, 615));
    QPushButton *print =
        pictureButton(this, QStringLiteral("cmdPrint"), QStringLiteral(":/print.svg"),
                      QStringLiteral("Print"), twipsRect(1080, 1800, 615, 615));
    for (QPushButton *button : {save, print}) { // light grey picture buttons
        QPalette palette = button->palette();
        palette.setColor(QPalette::Button, QColor(0xe0, 0xe0, 0xe0));
        button->setPalette(palette);
        button->setAutoFillBackground(true);
    }
    connect(save, &QPushButton::clicked, this, &ReportWindow::onSaveClicked);
    connect(print, &QPushButton::clicked, this, &ReportWindow::onPrintClicked);

    const QRect picBox = twipsRect(360, 2640, 9615, 6135);
    m_picture = new PictureBox(picBox.size(), RGB(255, 255, 255), this);
    m_picture->setObjectName(QStringLiteral("pic"));
    m_picture->move(picBox.topLeft());

    // The part of a reprinted record, where the layout leaves room beside the buttons.
    if (!m_source.serial.isEmpty() || !m_source.model.isEmpty()) {
        auto *part = new QLabel(this);
        part->setObjectName(QStringLiteral("lblPart"));
        part->setGeometry(twipsRect(1920, 1800, 8055, 615));
        part->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        QStringList texts;
        if (!m_source.serial.isEmpty())
            texts << QStringLiteral("Serial: ") + m_source.serial;
        if (!m_source.model.isEmpty())
            texts << QStringLiteral("Model: ") + m_source.model;
        part->setText(texts.join(QStringLiteral("    ")));
    }

    setTabOrder(m_testName, m_operator);
    setTabOrder(m_operator, m_date);
    setTabOrder(m_date, m_time);
    setTabOrder(m_time, save);
    setTabOrder(save, print);

    // The load: details of the test, then the chart, before the window shows.
    if (!m_source.testName.isEmpty())
        m_testName->setText(m_source.testName);
    if (!m_source.operatorName.isEmpty())
        m_operator->setText(m_source.operatorName);
    m_date->setText(m_source.startDate);
    m_time->setText(m_source.startTime);
    drawReportChart(m_picture->area(), m_source.samples());
    enterPressesFocusedButton(this);
    centreOnScreen(this, parent);
}

ReportHeader ReportWindow::header() const
{
    return {m_testName->text(), m_operator->text(), m_date->text(),
            m_time->text(),     m_source.serial,    m_source.model};
}

QString ReportWindow::documentTitle() const
{
    return QStringLiteral("Kestrava report - Test ") + QString::number(m_source.station + 1);
}

MaybeFailure ReportWindow::saveReport(const QString &path) const
{
    QByteArray pdf;
    if (MaybeFailure failure = renderReportPdf(m_source.samples(), header(), documentTitle(), pdf))
        return failure;
    return writeFileAtomically(path, pdf);
}

void ReportWindow::onSaveClicked()
{
    const QString folder = m_appPath.isEmpty() ? QDir::currentPath() : m_appPath;
    QFileDialog dialog(this, QStringLiteral("Save"),
                       pathInFolder(folder, reportFileName(m_source.station, m_source.startDate,
                                                           m_source.startTime)),
                       QStringLiteral("PDF files (*.pdf)"));
    dialog.setObjectName(QStringLiteral("saveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    saveTo(dialog.selectedFiles().constFirst());
}

void ReportWindow::saveTo(const QString &path)
{
    if (MaybeFailure failure = saveReport(path)) {
        QMessageBox::warning(this, QStringLiteral("Save Error"),
                             QStringLiteral("The report could not be saved to %1.\n%2")
                                 .arg(QDir::toNativeSeparators(path), failure->reason));
        return;
    }
    emit reportIssued(header());
}

void ReportWindow::onPrintClicked()
{
    if (printReport(this, m_handover, m_source.samples, header(), documentTitle()))
        emit reportIssued(header());
}
