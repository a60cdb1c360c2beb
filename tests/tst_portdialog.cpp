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
    // Keys pressed in the field first ("Enter then ", "Tab then ", "Down then "), then "OK"
    // clicked, "Space" or "Enter" on OK, or the close box.
    QTest::addColumn<QString>("close");
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
        {"Enter on OK", 3, "COM 3", "COM 12", "Enter", 12},
        {"last port, first entry", 255, "COM 255", "COM 1", "OK", 1},
        {"closing changes nothing", 3, "COM 3", "COM 7", "close", 3},
        // Typed text selects no entry, so OK keeps the selected one; nothing typed becomes one.
        // Not even an entry's text, however the field's editing ends.
        {"typed text is not a port", 3, "COM 3", "typed 12", "OK", 3},
        {"typed entry text", 3, "COM 3", "typed COM 9", "OK", 3},
        {"typed entry text, Enter", 3, "COM 3", "typed COM 9", "Enter then OK", 3},
        {"typed in other case, Tab", 3, "COM 3", "typed com 9", "Tab then Space", 3},
        {"typed over no selection", 0, "Combo1", "typed COM 2", "Enter then OK", 0},
        // The list still counts after typing: Down selects the entry after the selected one.
        {"typed, then the next entry", 3, "COM 3", "typed COM 9", "Down then OK", 4},
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
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto *list = named<QComboBox>(&dialog, "cmbComm");
    auto *ok = named<QPushButton>(&dialog, "cmdOK");
    QCOMPARE(list->currentText(), shown);
    if (pick.startsWith(QStringLiteral("typed "))) {
        list->setFocus();
        list->lineEdit()->selectAll();
        QTest::keyClicks(list, pick.mid(6));
        QCOMPARE(list->currentText(), pick.mid(6)); // the field stays editable
    } else if (!pick.isEmpty()) {
        list->setCurrentIndex(list->findText(pick));
    }
    const QMap<QString, Qt::Key> keys{
        {"Enter", Qt::Key_Return}, {"Tab", Qt::Key_Tab}, {"Down", Qt::Key_Down}};
    if (const qsizetype then = close.indexOf(QStringLiteral(" then ")); then > 0) {
        QTest::keyClick(list, keys.value(close.left(then)));
        close = close.mid(then + 6);
    }
    if (close == QLatin1String("OK")) {
        QTest::mouseClick(ok, Qt::LeftButton);
    } else if (close == QLatin1String("Space") || close == QLatin1String("Enter")) {
        ok->setFocus();
        QTest::keyClick(ok, close == QLatin1String("Space") ? Qt::Key_Space : Qt::Key_Return);
    } else {
        dialog.close();
    }
    QVERIFY(!dialog.isVisible());
    QCOMPARE(commPort, int16_t(stored));
    QCOMPARE(list->count(), 255);
}

QTEST_MAIN(TestPortDialog)
#include "tst_portdialog.moc"
