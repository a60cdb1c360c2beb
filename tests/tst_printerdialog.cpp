#include "app/sharedstate.h"
#include "report/printerdialog.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QStringList kTwoPrinters{QStringLiteral("Office Laser"), QStringLiteral("Lab PDF")};

} // namespace

class TstPrintDialog : public QObject {
    Q_OBJECT

private slots:
    void listsPrintersInOrderWithNothingSelected();
    void printAnswersTheSelectedPosition_data();
    void printAnswersTheSelectedPosition();
    void cancelAnswersNone();
    void enterActsAsPrintAndEscapeAsCancel_data();
    void enterActsAsPrintAndEscapeAsCancel();
    void closeControlLeavesTheAnswerAlone();
    void reopeningBuildsAFreshList();
    void noPrinterInstalled();
};

void TstPrintDialog::listsPrintersInOrderWithNothingSelected()
{
    SharedState state;
    PrinterDialog dialog(state, {"b", "a", "c"}, nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Print"));
    QCOMPARE(dialog.Label1->text(), QStringLiteral("Select Printer"));
    QCOMPARE(dialog.cmdPrint->text(), QStringLiteral("Print"));
    QCOMPARE(dialog.cmdCancel->text(), QStringLiteral("Cancel"));
    QVERIFY(dialog.cmdPrint->isDefault());
    QCOMPARE(dialog.ListPrinters->count(), 3);
    QCOMPARE(dialog.ListPrinters->item(0)->text(), QStringLiteral("b")); // not sorted
    QCOMPARE(dialog.ListPrinters->item(2)->text(), QStringLiteral("c"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTRY_VERIFY(dialog.ListPrinters->hasFocus());
    QVERIFY(dialog.ListPrinters->selectedItems().isEmpty());
}

void TstPrintDialog::printAnswersTheSelectedPosition_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("answer");
    QTest::newRow("first") << 0 << 0;
    QTest::newRow("second") << 1 << 1;
    QTest::newRow("nothing selected") << -1 << -1;
}

void TstPrintDialog::printAnswersTheSelectedPosition()
{
    QFETCH(int, row);
    QFETCH(int, answer);
    SharedState state;
    state.handover.PrinterIndex = 7;
    PrinterDialog dialog(state, kTwoPrinters, nullptr);
    dialog.show();
    if (row >= 0)
        dialog.ListPrinters->setCurrentRow(row);
    QTest::mouseClick(dialog.cmdPrint, Qt::LeftButton);
    QCOMPARE(state.handover.PrinterIndex, int16_t(answer));
    QVERIFY(!dialog.isVisible());
}

void TstPrintDialog::cancelAnswersNone()
{
    SharedState state;
    PrinterDialog dialog(state, kTwoPrinters, nullptr);
    dialog.show();
    dialog.ListPrinters->setCurrentRow(1);
    QTest::mouseClick(dialog.cmdCancel, Qt::LeftButton);
    QCOMPARE(state.handover.PrinterIndex, int16_t(-1));
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
}

void TstPrintDialog::enterActsAsPrintAndEscapeAsCancel_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("result");
    QTest::newRow("Return") << int(Qt::Key_Return) << 1 << int(QDialog::Accepted);
    QTest::newRow("Enter") << int(Qt::Key_Enter) << 1 << int(QDialog::Accepted);
    QTest::newRow("Escape") << int(Qt::Key_Escape) << -1 << int(QDialog::Rejected);
}

void TstPrintDialog::enterActsAsPrintAndEscapeAsCancel()
{
    QFETCH(int, key);
    QFETCH(int, answer);
    QFETCH(int, result);
    SharedState state;
    state.handover.PrinterIndex = 5;
    PrinterDialog dialog(state, kTwoPrinters, nullptr);
    // Answered from inside the modal loop, as a user would.
    QTimer::singleShot(0, &dialog, [&dialog, key] {
        dialog.ListPrinters->setFocus();
        QTest::keyClick(dialog.ListPrinters, Qt::Key_Down); // first entry
        QTest::keyClick(dialog.ListPrinters, Qt::Key_Down); // second entry
        QTest::keyClick(dialog.ListPrinters, Qt::Key(key));
    });
    QCOMPARE(dialog.exec(), result);
    QCOMPARE(state.handover.PrinterIndex, int16_t(answer));
}

void TstPrintDialog::closeControlLeavesTheAnswerAlone()
{
    SharedState state;
    state.handover.PrinterIndex = -1;
    PrinterDialog dialog(state, kTwoPrinters, nullptr);
    dialog.show();
    dialog.ListPrinters->setCurrentRow(0);
    QVERIFY(dialog.close());
    QCOMPARE(state.handover.PrinterIndex, int16_t(-1));
}

void TstPrintDialog::reopeningBuildsAFreshList()
{
    SharedState state;
    {
        PrinterDialog first(state, kTwoPrinters, nullptr);
        first.show();
        first.ListPrinters->setCurrentRow(1);
        QTest::mouseClick(first.cmdPrint, Qt::LeftButton);
        QCOMPARE(state.handover.PrinterIndex, int16_t(1));
    }
    const QStringList three{"Office Laser", "Lab PDF", "Plotter"};
    PrinterDialog second(state, three, nullptr);
    second.show();
    QVERIFY(QTest::qWaitForWindowExposed(&second));
    QCOMPARE(second.ListPrinters->count(), 3);
    QVERIFY(second.ListPrinters->selectedItems().isEmpty());
    QTest::mouseClick(second.cmdPrint, Qt::LeftButton);
    QCOMPARE(state.handover.PrinterIndex, int16_t(-1));
}

void TstPrintDialog::noPrinterInstalled()
{
    SharedState state;
    PrinterDialog dialog(state, {}, nullptr);
    QTimer::singleShot(0, &dialog,
                       [&dialog] { QTest::keyClick(dialog.ListPrinters, Qt::Key_Return); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.ListPrinters->count(), 0);
    QCOMPARE(state.handover.PrinterIndex, int16_t(-1));
}

QTEST_MAIN(TstPrintDialog)
#include "tst_printdialog.moc"
