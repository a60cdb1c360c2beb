#include "support/modalwatcher.h"
#include "support/widgets.h"
#include "ui/main/portdialog.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

class TestPortDialog : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void storesTheChosenPort_data();
    void storesTheChosenPort();
    void typedTextIsNeverRead_data();
    void typedTextIsNeverRead();

private:
    ModalGuard m_guard;
};

void TestPortDialog::cleanup()
{
    const QString stray = m_guard.takeStray();
    QVERIFY2(stray.isEmpty(), qPrintable(QStringLiteral("unanswered: ") + stray));
}

void TestPortDialog::storesTheChosenPort_data()
{
    QTest::addColumn<int>("port");      // CommPort as the dialog opens
    QTest::addColumn<QString>("shown"); // what the list shows then
    QTest::addColumn<QString>("pick");  // an entry chosen, or "typed ..." text typed into the field
    QTest::addColumn<QString>("close"); // "OK" clicked, "Space" on OK, or the close box
    QTest::addColumn<int>("stored");
    struct Row {
        const char *name;
        int port;
        const char *shown, *pick, *close;
        int stored;
    };
    const Row rows[] = {
        {"OK stores the entry", 3, "COM 3", "COM 7", "OK", 7},
        {"Space on OK, last entry", 3, "COM 3", "COM 255", "Space", 255},
        {"last port, first entry", 255, "COM 255", "COM 1", "OK", 1},
        {"closing changes nothing", 3, "COM 3", "COM 7", "close", 3},
        // Typed text selects no entry, so OK keeps the selected one; nothing typed becomes one.
        {"typed text is not a port", 3, "COM 3", "typed 12", "OK", 3},
        // A number without an entry selects nothing, and OK with nothing selected stores 0.
        {"zero", 0, "Combo1", "", "OK", 0},
        {"above the list", 256, "Combo1", "", "OK", 0},
        {"negative", -4, "Combo1", "", "OK", 0},
    };
    for (const Row &r : rows)
        QTest::newRow(r.name) << r.port << QString(r.shown) << QString(r.pick) << QString(r.close)
                              << r.stored;
}

void TestPortDialog::storesTheChosenPort()
{
    QFETCH(int, port);
    QFETCH(QString, shown);
    QFETCH(QString, pick);
    QFETCH(QString, close);
    QFETCH(int, stored);
    int16_t commPort = int16_t(port);
    PortDialog dialog(commPort, nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("COMM"));
    QCOMPARE(named<QGroupBox>(&dialog, "Frame1")->title(), QStringLiteral("Select USB Port"));
    dialog.show();
    auto *list = named<QComboBox>(&dialog, "cmbComm");
    auto *ok = named<QPushButton>(&dialog, "cmdOK");
    QCOMPARE(list->currentText(), shown);
    if (pick.startsWith(QStringLiteral("typed "))) {
        list->lineEdit()->selectAll();
        QTest::keyClicks(list->lineEdit(), pick.mid(6));
    } else if (!pick.isEmpty()) {
        list->setCurrentIndex(list->findText(pick));
    }
    if (close == QLatin1String("OK"))
        QTest::mouseClick(ok, Qt::LeftButton);
    else if (close == QLatin1String("Space"))
        QTest::keyClick(ok, Qt::Key_Space);
    else
        dialog.close();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(commPort, int16_t(stored));
    QCOMPARE(list->count(), 255);
}

void TestPortDialog::typedTextIsNeverRead_data()
{
    QTest::addColumn<int>("port");      // CommPort as the dialog opens
    QTest::addColumn<QString>("typed"); // typed into the field, which has the focus
    QTest::addColumn<QString>("then");  // what the operator does before OK is clicked
    QTest::addColumn<int>("stored");
    struct Row {
        const char *name;
        int port;
        const char *typed, *then;
        int stored;
    };
    const Row rows[] = {
        // The text of an entry, typed, still selects nothing, however the field's editing
        // ends: the focus leaving it for OK, Enter, or Tab.
        {"an entry's text", 3, "COM 9", "", 3},
        {"then Enter", 3, "COM 9", "Enter", 3},
        {"other case, then Tab", 3, "com 9", "Tab", 3},
        {"an entry that others begin with", 3, "COM 2", "Enter", 3},
        {"nothing selected", 0, "COM 9", "Enter", 0},
        // The list still counts after typing: Down selects the entry after the selected one.
        {"then the next entry", 3, "COM 9", "Down", 4},
    };
    for (const Row &r : rows)
        QTest::newRow(r.name) << r.port << QString(r.typed) << QString(r.then) << r.stored;
}

void TestPortDialog::typedTextIsNeverRead()
{
    QFETCH(int, port);
    QFETCH(QString, typed);
    QFETCH(QString, then);
    QFETCH(int, stored);
    int16_t commPort = int16_t(port);
    PortDialog dialog(commPort, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto *list = named<QComboBox>(&dialog, "cmbComm");
    list->setFocus();
    QTRY_VERIFY(list->hasFocus());
    list->lineEdit()->selectAll();
    QTest::keyClicks(list, typed);
    QCOMPARE(list->currentText(), typed); // the field stays editable
    if (then == QLatin1String("Enter"))
        QTest::keyClick(list, Qt::Key_Return);
    else if (then == QLatin1String("Tab"))
        QTest::keyClick(list, Qt::Key_Tab);
    else if (then == QLatin1String("Down"))
        QTest::keyClick(list, Qt::Key_Down);
    QVERIFY(dialog.isVisible());
    QTest::mouseClick(named<QPushButton>(&dialog, "cmdOK"), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(commPort, int16_t(stored));
}

QTEST_MAIN(TestPortDialog)
#include "tst_portdialog.moc"
