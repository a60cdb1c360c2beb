#include "app/sharedstate.h"
#include "ui/main/portdialog.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class TestCommDialog : public QObject {
    Q_OBJECT

private slots:
    void listsEveryPortAndSelectsTheConfiguredOne();
    void okStoresTheSelectedEntry();
    void closingChangesNothing();
    void numbersWithoutAnEntrySelectNothing_data();
    void numbersWithoutAnEntrySelectNothing();
    void typedTextIsNotAPortNumber();
};

void TestCommDialog::listsEveryPortAndSelectsTheConfiguredOne()
{
    SharedState state;
    state.CommPort = 3;
    PortDialog dialog(state, nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("COMM"));
    QCOMPARE(dialog.Frame1->title(), QStringLiteral("Select USB Port"));
    QCOMPARE(dialog.cmbComm->count(), 255);
    QCOMPARE(dialog.cmbComm->itemText(0), QStringLiteral("COM 1"));
    QCOMPARE(dialog.cmbComm->itemText(254), QStringLiteral("COM 255"));
    QCOMPARE(dialog.cmbComm->currentIndex(), 2);
    QCOMPARE(dialog.cmbComm->currentText(), QStringLiteral("COM 3"));
}

void TestCommDialog::okStoresTheSelectedEntry()
{
    SharedState state;
    state.CommPort = 3;
    PortDialog dialog(state, nullptr);
    dialog.show();
    dialog.cmbComm->setCurrentIndex(6);
    QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    QCOMPARE(state.CommPort, int16_t(7));
    QVERIFY(!dialog.isVisible());
}

void TestCommDialog::closingChangesNothing()
{
    SharedState state;
    state.CommPort = 3;
    PortDialog dialog(state, nullptr);
    dialog.show();
    dialog.cmbComm->setCurrentIndex(6);
    dialog.close();
    QCOMPARE(state.CommPort, int16_t(3));
}

void TestCommDialog::numbersWithoutAnEntrySelectNothing_data()
{
    QTest::addColumn<int>("port");
    QTest::newRow("zero") << 0;
    QTest::newRow("above the list") << 300;
    QTest::newRow("negative") << -4;
}

void TestCommDialog::numbersWithoutAnEntrySelectNothing()
{
    QFETCH(int, port);
    SharedState state;
    state.CommPort = static_cast<int16_t>(port);
    PortDialog dialog(state, nullptr);
    dialog.show();
    QCOMPARE(dialog.cmbComm->currentIndex(), -1);
    QCOMPARE(dialog.cmbComm->currentText(), QStringLiteral("Combo1"));
    QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    QCOMPARE(state.CommPort, int16_t(0)); // OK with nothing selected stores 0
}

void TestCommDialog::typedTextIsNotAPortNumber()
{
    SharedState state;
    state.CommPort = 3;
    PortDialog dialog(state, nullptr);
    dialog.show();
    dialog.cmbComm->lineEdit()->selectAll();
    QTest::keyClicks(dialog.cmbComm->lineEdit(), QStringLiteral("12"));
    QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    QCOMPARE(state.CommPort, int16_t(3));
    QCOMPARE(dialog.cmbComm->count(), 255); // nothing typed became an entry
}

QTEST_MAIN(TestCommDialog)
#include "tst_commdialog.moc"
