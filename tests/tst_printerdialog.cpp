#include "report/printerdialog.h"
#include "support/modalwatcher.h"
#include "support/widgets.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace {

const QStringList kTwoPrinters{QStringLiteral("Office Laser"), QStringLiteral("Lab PDF")};

QListWidget *listOf(QWidget *dialog)
{
    return named<QListWidget>(dialog, "ListPrinters");
}

} // namespace

class TstPrinterDialog : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
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

void TstPrinterDialog::keysAnswer_data()
{
    QTest::addColumn<QStringList>("printers");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("result");
    const int accepted = QDialog::Accepted;
    // The first Down chooses the first printer, not the second.
    QTest::newRow("Down, Return") << kTwoPrinters << QList<int>{Qt::Key_Down, Qt::Key_Return} << 0
                                  << accepted;
    QTest::newRow("Down, Down, Enter")
        << kTwoPrinters << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Enter} << 1 << accepted;
    QTest::newRow("Return, nothing chosen")
        << kTwoPrinters << QList<int>{Qt::Key_Return} << -1 << accepted;
    QTest::newRow("Down, Escape") << kTwoPrinters << QList<int>{Qt::Key_Down, Qt::Key_Escape} << -1
                                  << int(QDialog::Rejected);
    QTest::newRow("no printer installed")
        << QStringList() << QList<int>{Qt::Key_Down, Qt::Key_Return} << -1 << accepted;
    // Enter presses the button that has the focus: Cancel stays Cancel.
    QTest::newRow("Down, Tab to Cancel, Return")
        << kTwoPrinters << QList<int>{Qt::Key_Down, Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return} << -1
        << int(QDialog::Rejected);
}

void TstPrinterDialog::keysAnswer()
{
    QFETCH(QStringList, printers);
    QFETCH(QList<int>, keys);
    QFETCH(int, answer);
    QFETCH(int, result);
    PrinterDialog dialog(printers, nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Print"));
    QCOMPARE(named<QLabel>(&dialog, "Label1")->text(), QStringLiteral("Select Printer"));
    QCOMPARE(named<QPushButton>(&dialog, "cmdPrint")->text(), QStringLiteral("Print"));
    QCOMPARE(named<QPushButton>(&dialog, "cmdCancel")->text(), QStringLiteral("Cancel"));
    QListWidget *list = listOf(&dialog);
    QStringList listed;
    for (int i = 0; i < list->count(); ++i)
        listed << list->item(i)->text();
    QCOMPARE(listed, printers); // in the printing system's order, not sorted

    // Shown with the focus in the list, no printer looks chosen, not even as the current entry.
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTRY_VERIFY(list->hasFocus());
    QCOMPARE(list->currentRow(), -1);
    QVERIFY(list->selectedItems().isEmpty());
    QVERIFY(!dialog.answer());
    for (int key : keys)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
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
        if (row >= 0)
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(row)).center());
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
