#include "report/frmreport.h"

#include "app/safefile.h"
#include "app/sharedstate.h"
#include "charts/chartdrawing.h"
#include "charts/picturearea.h"
#include "charts/picturebox.h"
#include "report/reportfilename.h"
#include "report/reportprint.h"
#include "ui/main/designfont.h"
#include "ui/main/pictures.h"
#include "ui/main/twips.h"

#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace {

QLabel *addLabel(QWidget *parent, const QString &name, const QString &text, const QRect &box)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(box);
    return label;
}

QLineEdit *addField(QWidget *parent, const QString &name, const QString &text, const QRect &box)
{
    auto *field = new QLineEdit(text, parent);
    field->setObjectName(name);
    field->setGeometry(box);
    return field;
}

} // namespace

FrmReport::FrmReport(SharedState &state, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), m_state(state)
{
    const int station = state.ReportStation;
    setObjectName(QStringLiteral("frmReport"));
    setModal(true);
    setFixedSize(twips(10350), twips(9150));
    setWindowTitle(QStringLiteral("Report - Test ") + QString::number(station + 1));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    Frame1 = new QGroupBox(QStringLiteral("Test Details"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(twipsRect(120, 120, 6015, 1575));
    Label1[1] = addLabel(Frame1, QStringLiteral("Label1(1)"), QStringLiteral("Test Name:"),
                         twipsRect(240, 360, 1095, 255));
    txtTestName = addField(Frame1, QStringLiteral("txtTestName"), QStringLiteral("New Test"),
                           twipsRect(1320, 360, 4455, 285));
    Label2[1] = addLabel(Frame1, QStringLiteral("Label2(1)"), QStringLiteral("Operator:"),
                         twipsRect(240, 720, 1095, 255));
    txtOperator = addField(Frame1, QStringLiteral("txtOperator"), QStringLiteral("Operator"),
                           twipsRect(1320, 720, 4455, 285));
    Label3 = addLabel(Frame1, QStringLiteral("Label3"), QStringLiteral("Date:"),
                      twipsRect(240, 1080, 855, 255));
    txtDate = addField(Frame1, QStringLiteral("txtDate"), QStringLiteral("00-00-0000"),
                       twipsRect(1320, 1080, 1335, 285));
    Label4 = addLabel(Frame1, QStringLiteral("Label4"), QStringLiteral("Time:"),
                      twipsRect(3720, 1080, 495, 255));
    txtTime = addField(Frame1, QStringLiteral("txtTime"), QStringLiteral("00:00:00"),
                       twipsRect(4320, 1080, 1455, 285));

    Label1[0] = addLabel(this, QStringLiteral("Label1(0)"), QStringLiteral("ZQ"),
                         twipsRect(6360, 360, 615, 375));
    Label1[0]->setFont(designFont(QStringLiteral("Arial"), 15.75, true, true));
    QPalette blue = Label1[0]->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    Label1[0]->setPalette(blue);
    Label2[0] = addLabel(this, QStringLiteral("Label2(0)"), QStringLiteral("Kestrava"),
                         twipsRect(6960, 360, 3015, 375));
    Label2[0]->setFont(designFont(QStringLiteral("Arial"), 15.75, true));

    const QRect imageBox = twipsRect(6720, 720, 3195, 660);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(imageBox);
    Image1->setPixmap(
        svgPicture(QStringLiteral(":/logo.svg"), imageBox.size(), devicePixelRatioF()));

    cmdSave = pictureButton(this, QStringLiteral("cmdSave"), QStringLiteral(":/save.svg"),
                            QStringLiteral("Save"), twipsRect(360, 1800, 615, 615));
    cmdPrint = pictureButton(this, QStringLiteral("cmdPrint"), QStringLiteral(":/print.svg"),
                             QStringLiteral("Print"), twipsRect(1080, 1800, 615, 615));
    for (QPushButton *button : {cmdSave, cmdPrint}) { // light grey picture buttons
        QPalette palette = button->palette();
        palette.setColor(QPalette::Button, QColor(0xe0, 0xe0, 0xe0));
        button->setPalette(palette);
        button->setAutoFillBackground(true);
    }
    connect(cmdSave, &QPushButton::clicked, this, &FrmReport::cmdSaveClick);
    connect(cmdPrint, &QPushButton::clicked, this, &FrmReport::cmdPrintClick);

    const QRect picBox = twipsRect(360, 2640, 9615, 6135);
    pic = new PictureBox(picBox.size(), RGB(255, 255, 255), this);
    pic->setObjectName(QStringLiteral("pic"));
    pic->move(picBox.topLeft());

    setTabOrder(txtTestName, txtOperator);
    setTabOrder(txtOperator, txtDate);
    setTabOrder(txtDate, txtTime);
    setTabOrder(txtTime, cmdSave);
    setTabOrder(cmdSave, cmdPrint);

    // The load: details of the station's last test, then the chart, before the window shows.
    if (station >= 0 && station < kStations) {
        txtDate->setText(state.TestStartDate[size_t(station)]);
        txtTime->setText(state.TestStartTime[size_t(station)]);
    }
    drawReportChart(pic->area(), state);

    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

ReportHeader FrmReport::header() const
{
    return {txtTestName->text(), txtOperator->text(), txtDate->text(), txtTime->text()};
}

QString FrmReport::saveReport(const QString &path) const
{
    QString reason;
    const QByteArray pdf = reportPdf(m_state, header(), &reason);
    if (pdf.isEmpty())
        return reason.isEmpty() ? QStringLiteral("The report page could not be made.") : reason;
    return writeFileAtomically(path, pdf);
}

void FrmReport::cmdSaveClick()
{
    const QString folder = m_state.AppPath.isEmpty() ? QDir::currentPath() : m_state.AppPath;
    QFileDialog dialog(this, QStringLiteral("Save"),
                       pathInFolder(folder, reportFileName(m_state, m_state.ReportStation)),
                       QStringLiteral("PDF files (*.pdf)"));
    dialog.setObjectName(QStringLiteral("saveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    saveTo(dialog.selectedFiles().constFirst());
}

void FrmReport::saveTo(const QString &path)
{
    const QString reason = saveReport(path);
    if (!reason.isEmpty())
        QMessageBox::warning(this, QStringLiteral("Save Error"),
                             QStringLiteral("The report could not be saved to %1.\n%2")
                                 .arg(QDir::toNativeSeparators(path), reason));
}

void FrmReport::cmdPrintClick()
{
    printReport(this, m_state, header());
}
