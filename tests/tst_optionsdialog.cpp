#include "app/config.h"
#include "app/sharedstate.h"
#include "ui/main/optionsdialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <limits>

namespace {

/// The six parameters as one comparable list, floats bit for bit.
QList<double> parameters(const SharedState &s)
{
    return {s.parameters.StartPressureLimit,       s.parameters.LeakFallLimit,
            double(s.parameters.LeakTestDuration), s.parameters.BathFallLimit,
            double(s.parameters.MainTestDuration), s.parameters.MinBathTemp};
}

QLineEdit *field(OptionsDialog &dialog, int index)
{
    return dialog.findChild<QLineEdit *>(QStringLiteral("txtPara(%1)").arg(index));
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void init();
    void controlsHaveTheirDesignNames();
    void fieldsShowTheParameters_data();
    void fieldsShowTheParameters();
    void okStoresTheTexts_data();
    void okStoresTheTexts();
    void okWithoutEditsStoresTheSameValues_data();
    void okWithoutEditsStoresTheSameValues();
    void cancelEscapeAndCloseChangeNothing_data();
    void cancelEscapeAndCloseChangeNothing();
    void enterIsOK();
    void opensModallyFromAQueuedAnswer();

private:
    SharedState m_state;
};

void TestSettings::init()
{
    applyConfigDefaults(m_state);
}

void TestSettings::controlsHaveTheirDesignNames()
{
    OptionsDialog dialog(m_state, nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Options"));
    QVERIFY(dialog.isModal());
    QCOMPARE(dialog.Frame1->title(), QStringLiteral("Test Settings"));
    const QStringList captions = {QStringLiteral("Test Start Pressure Limit (KPa):"),
                                  QStringLiteral("Leak Test Fall Pressure Limit (KPa):"),
                                  QStringLiteral("Leak Test Duration (sec):"),
                                  QStringLiteral("Test Fall Pressure in Bath (KPa):"),
                                  QStringLiteral("Main Test Duration (sec):"),
                                  QStringLiteral("Min. Bath Temperature (°C):")};
    int previousTop = -1;
    for (int i = 0; i < 6; ++i) {
        auto *label = dialog.findChild<QLabel *>(QStringLiteral("Label%1").arg(i + 3));
        QVERIFY(label);
        QCOMPARE(label->text(), captions[i]);
        QLineEdit *edit = field(dialog, i);
        QVERIFY(edit);
        QCOMPARE(edit, dialog.txtPara[i]);
        QVERIFY(edit->parent() == dialog.Frame1 && label->parent() == dialog.Frame1);
        QVERIFY(label->geometry().right() < edit->geometry().left()); // label on the left
        QVERIFY(edit->geometry().top() > previousTop);                // rows top to bottom
        previousTop = edit->geometry().bottom();
    }
    QCOMPARE(dialog.Label3->text(), captions[0]);
    QCOMPARE(dialog.Label8->text(), captions[5]);
    QCOMPARE(dialog.cmdOK->text(), QStringLiteral("OK"));
    QCOMPARE(dialog.cmdCancel->text(), QStringLiteral("Cancel"));
    QVERIFY(dialog.cmdOK->isDefault());
    QVERIFY(dialog.cmdCancel->x() < dialog.cmdOK->x());
    QVERIFY(dialog.cmdOK->y() > dialog.Frame1->geometry().bottom());
}

void TestSettings::fieldsShowTheParameters_data()
{
    QTest::addColumn<float>("startPressure");
    QTest::addColumn<int>("leakDuration");
    QTest::addColumn<float>("minBath");
    QTest::addColumn<QStringList>("texts"); // txtPara(0), (2), (5)

    QTest::newRow("defaults") << 600.f << 600 << 100.f << QStringList{"600", "600", "100"};
    QTest::newRow("fractions") << 7.5f << -32768 << 0.1f << QStringList{"7.5", "-32768", "0.1"};
    QTest::newRow("seven digits") << 1234.567f << 32767 << -98.76543f
                                  << QStringList{"1234.567", "32767", "-98.76543"};
    QTest::newRow("exponent form") << 1.5e7f << 0 << 0.5f << QStringList{"1.5E+07", "0", "0.5"};
}

void TestSettings::fieldsShowTheParameters()
{
    QFETCH(float, startPressure);
    QFETCH(int, leakDuration);
    QFETCH(float, minBath);
    QFETCH(QStringList, texts);
    m_state.parameters.StartPressureLimit = startPressure;
    m_state.parameters.LeakTestDuration = int16_t(leakDuration);
    m_state.parameters.MinBathTemp = minBath;

    // A comma locale must not change the texts: OK reads "." only.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    OptionsDialog dialog(m_state, nullptr);
    QLocale::setDefault(saved);
    QCOMPARE(dialog.txtPara[0]->text(), texts[0]);
    QCOMPARE(dialog.txtPara[1]->text(), QStringLiteral("7"));
    QCOMPARE(dialog.txtPara[2]->text(), texts[1]);
    QCOMPARE(dialog.txtPara[3]->text(), QStringLiteral("14"));
    QCOMPARE(dialog.txtPara[4]->text(), QStringLiteral("900"));
    QCOMPARE(dialog.txtPara[5]->text(), texts[2]);
}

void TestSettings::okStoresTheTexts_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("stored");

    const double largest = std::numeric_limits<float>::max();
    QTest::newRow("number then letters") << 0 << "12abc" << 12.0;
    QTest::newRow("letters only") << 5 << "abc" << 0.0;
    QTest::newRow("empty") << 1 << "" << 0.0;
    QTest::newRow("blanks around") << 3 << " 7.5 " << 7.5;
    QTest::newRow("negative stays") << 1 << "-3.25" << -3.25;
    QTest::newRow("comma ends the number") << 0 << "7,5" << 7.0;
    QTest::newRow("exponent") << 5 << "1.2e2" << 120.0;
    QTest::newRow("float beyond the range") << 0 << "1e39" << largest;
    QTest::newRow("negative float beyond the range") << 3 << "-1e39" << -largest;
    QTest::newRow("float rounded to 32 bits") << 1 << "0.1" << double(0.1f);
    QTest::newRow("duration 2.5 to even") << 2 << "2.5" << 2.0;
    QTest::newRow("duration 3.5 to even") << 4 << "3.5" << 4.0;
    QTest::newRow("duration -2.5") << 2 << "-2.5" << -2.0;
    QTest::newRow("duration 12abc") << 4 << "12abc" << 12.0;
    QTest::newRow("duration letters") << 2 << "x1" << 0.0;
    QTest::newRow("duration above the range") << 2 << "40000" << 32767.0;
    QTest::newRow("duration below the range") << 4 << "-1e9" << -32768.0;
    QTest::newRow("duration 32767.5 rounds over") << 4 << "32767.5" << 32767.0;
    QTest::newRow("duration -32768.4") << 2 << "-32768.4" << -32768.0;
}

void TestSettings::okStoresTheTexts()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(double, stored);

    QList<double> expected = parameters(m_state);
    expected[index] = stored;
    OptionsDialog dialog(m_state, nullptr);
    dialog.txtPara[index]->setText(text);
    QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(parameters(m_state), expected);
}

void TestSettings::okWithoutEditsStoresTheSameValues_data()
{
    QTest::addColumn<float>("value");
    QTest::newRow("600") << 600.f;
    QTest::newRow("7.5") << 7.5f;
    QTest::newRow("seven digits") << 1234.567f;
    QTest::newRow("small") << 1.234567e-20f;
    QTest::newRow("largest") << std::numeric_limits<float>::max();
    QTest::newRow("negative") << -0.1f;
}

void TestSettings::okWithoutEditsStoresTheSameValues()
{
    QFETCH(float, value);
    m_state.parameters.LeakFallLimit = value;
    m_state.parameters.LeakTestDuration = -32768;
    m_state.parameters.MainTestDuration = 32767;
    const QList<double> before = parameters(m_state);
    OptionsDialog dialog(m_state, nullptr);
    QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
    const QList<double> after = parameters(m_state);
    for (int i = 0; i < 6; ++i) {
        // Shown with 7 significant digits, a float may come back as a close neighbour.
        const bool close = std::fabs(after[i] - before[i]) <= std::fabs(before[i]) * 5e-7;
        QVERIFY2(close, qPrintable(QStringLiteral("index %1: %2 became %3")
                                       .arg(i)
                                       .arg(before[i], 0, 'g', 9)
                                       .arg(after[i], 0, 'g', 9)));
    }
    QCOMPARE(after[2], -32768.0);
    QCOMPARE(after[4], 32767.0);
}

void TestSettings::cancelEscapeAndCloseChangeNothing_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("Cancel") << "cancel";
    QTest::newRow("Escape") << "escape";
    QTest::newRow("close box") << "close";
}

void TestSettings::cancelEscapeAndCloseChangeNothing()
{
    QFETCH(QString, way);
    const QList<double> before = parameters(m_state);
    OptionsDialog dialog(m_state, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (QLineEdit *edit : dialog.txtPara)
        edit->setText(QStringLiteral("1"));
    if (way == QLatin1String("cancel"))
        QTest::mouseClick(dialog.cmdCancel, Qt::LeftButton);
    else if (way == QLatin1String("escape"))
        QTest::keyClick(dialog.txtPara[3], Qt::Key_Escape);
    else
        dialog.close();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(parameters(m_state), before);
}

void TestSettings::enterIsOK()
{
    OptionsDialog dialog(m_state, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.txtPara[4]->setText(QStringLiteral("120"));
    QTest::keyClick(dialog.txtPara[4], Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(m_state.parameters.MainTestDuration, int16_t(120));
}

void TestSettings::opensModallyFromAQueuedAnswer()
{
    // As the main window opens it: exec() returns once OK has been pressed.
    OptionsDialog dialog(m_state, nullptr);
    QTimer::singleShot(0, &dialog, [&dialog] {
        dialog.txtPara[0]->setText(QStringLiteral("650.5"));
        dialog.cmdOK->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(m_state.parameters.StartPressureLimit, 650.5f);
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"
