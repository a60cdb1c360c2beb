#include "report/printerdialog.h"
#include "support/modalwatcher.h"
#include "support/widgets.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

const QStringList kTwoPrinters{QStringLiteral("Office Laser"), QStringLiteral("Lab PDF")};

QListWidget *listOf(QWidget *dialog)
{
    return named<QListWidget>(dialog, "ListPrinters");
}

/// Shows the dialog as the active window, with the focus where it opens: in the list.
bool showWithFocus(PrinterDialog &dialog)
{
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    dialog.activateWindow();
    return QTest::qWaitForWindowActive(&dialog) &&
           QTest::qWaitFor([&dialog] { return listOf(&dialog)->hasFocus(); }, 5000);
}

} // namespace

class TstPrinterDialog : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void listsPrintersInOrderWithNothingCurrent();
    void keysAnswer_data();
    void keysAnswer();
    void chooseAnswersWhatTheUserClicked_data();
    void chooseAnswersWhatTheUserClicked();

private:
    ModalGuard m_guard;
};

void TstPrinterDialog::cleanup()
{
    const QString stray = m_guard.takeStray();
    QVERIFY2(stray.isEmpty(), qPrintable(QStringLiteral("unanswered: ") + stray));
}

void TstPrinterDialog::listsPrintersInOrderWithNothingCurrent()
{
    PrinterDialog dialog({"b", "a", "c"}, nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Print"));
    QCOMPARE(named<QLabel>(&dialog, "Label1")->text(), QStringLiteral("Select Printer"));
    auto *print = named<QPushButton>(&dialog, "cmdPrint");
    QCOMPARE(print->text(), QStringLiteral("Print"));
    QVERIFY(print->isDefault());
    QCOMPARE(named<QPushButton>(&dialog, "cmdCancel")->text(), QStringLiteral("Cancel"));
    QListWidget *list = listOf(&dialog);
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->item(0)->text(), QStringLiteral("b")); // not sorted
    QCOMPARE(list->item(2)->text(), QStringLiteral("c"));

    // With the focus in the list no printer looks chosen, not even as the current entry.
    QVERIFY(showWithFocus(dialog));
    QCOMPARE(list->currentRow(), -1);
    QVERIFY(list->selectedItems().isEmpty());
    QVERIFY(!dialog.answer());
}

void TstPrinterDialog::keysAnswer_data()
{
    QTest::addColumn<QStringList>("printers");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("result");
    const int accepted = QDialog::Accepted;
    const int rejected = QDialog::Rejected;
    // The first Down chooses the first printer, not the second.
    QTest::newRow("Down, Return") << kTwoPrinters << QList<int>{Qt::Key_Down, Qt::Key_Return} << 0
                                  << accepted;
    QTest::newRow("Down, Down, Enter")
        << kTwoPrinters << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Enter} << 1 << accepted;
    QTest::newRow("Return, nothing chosen")
        << kTwoPrinters << QList<int>{Qt::Key_Return} << -1 << accepted;
    QTest::newRow("Down, Escape") << kTwoPrinters << QList<int>{Qt::Key_Down, Qt::Key_Escape} << -1
                                  << rejected;
    QTest::newRow("no printer installed")
        << QStringList() << QList<int>{Qt::Key_Down, Qt::Key_Return} << -1 << accepted;
}

void TstPrinterDialog::keysAnswer()
{
    QFETCH(QStringList, printers);
    QFETCH(QList<int>, keys);
    QFETCH(int, answer);
    QFETCH(int, result);
    PrinterDialog dialog(printers, nullptr);
    QVERIFY(showWithFocus(dialog));
    for (int key : keys)
        QTest::keyClick(listOf(&dialog), Qt::Key(key));
    QTRY_VERIFY(!dialog.isVisible());
    QVERIFY(dialog.answer());
    QCOMPARE(*dialog.answer(), answer);
    QCOMPARE(dialog.result(), result);
}

void TstPrinterDialog::chooseAnswersWhatTheUserClicked_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QVariant>("answer"); // none when the dialog gives no answer
    QTest::newRow("first") << 0 << "cmdPrint" << QVariant(0);
    QTest::newRow("second") << 1 << "cmdPrint" << QVariant(1);
    QTest::newRow("nothing selected") << -1 << "cmdPrint" << QVariant(-1);
    QTest::newRow("cancel after choosing") << 1 << "cmdCancel" << QVariant(-1);
    QTest::newRow("close control") << 0 << "" << QVariant();
}

void TstPrinterDialog::chooseAnswersWhatTheUserClicked()
{
    QFETCH(int, row);
    QFETCH(QString, control);
    QFETCH(QVariant, answer);
    bool answered = false;
    onNextModal([&](QWidget *modal) {
        answered = true;
        QListWidget *list = listOf(modal);
        if (row >= 0) {
            const QRect item = list->visualItemRect(list->item(row));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
        }
        if (control.isEmpty())
            modal->close();
        else
            QTest::mouseClick(named<QPushButton>(modal, control), Qt::LeftButton);
    });
    const std::optional<int> chosen = PrinterDialog::choose(kTwoPrinters, nullptr);
    QVERIFY(answered);
    QCOMPARE(chosen.has_value(), answer.isValid());
    if (chosen)
        QCOMPARE(*chosen, answer.toInt());
}

QTEST_MAIN(TstPrinterDialog)
#include "tst_printerdialog.moc"
