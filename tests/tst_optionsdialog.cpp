#include "app/config.h"
#include "app/sharedstate.h"
#include "support/modalwatcher.h"
#include "support/widgets.h"
#include "ui/main/optionsdialog.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

/// The six parameters in field order, as one comparable list.
QList<double> values(const TestParameters &p)
{
    return {p.StartPressureLimit,       p.LeakFallLimit,
            double(p.LeakTestDuration), p.BathFallLimit,
            double(p.MainTestDuration), p.MinBathTemp};
}

QLineEdit *field(const QWidget *dialog, int index)
{
    return named<QLineEdit>(dialog, "txtPara", index);
}

const double kLargest = std::numeric_limits<float>::max();

} // namespace

class TestOptionsDialog : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void captionsStandBesideTheirFields();
    void fieldsShowTheParametersAndOkKeepsThem_data();
    void fieldsShowTheParametersAndOkKeepsThem();
    void onlyOkStoresTheTexts_data();
    void onlyOkStoresTheTexts();

private:
    TestParameters m_parameters;
    ModalGuard m_guard;
};

void TestOptionsDialog::init()
{
    SharedState state;
    applyConfigDefaults(state);
    m_parameters = state.parameters;
}

void TestOptionsDialog::cleanup()
{
    const QString stray = m_guard.takeStray();
    QVERIFY2(stray.isEmpty(), qPrintable(QStringLiteral("unanswered: ") + stray));
}

void TestOptionsDialog::captionsStandBesideTheirFields()
{
    OptionsDialog dialog(m_parameters, nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Options"));
    auto *frame = named<QGroupBox>(&dialog, "Frame1");
    QCOMPARE(frame->title(), QStringLiteral("Test Settings"));
    const QStringList captions = {
        "Test Start Pressure Limit (KPa):", "Leak Test Fall Pressure Limit (KPa):",
        "Leak Test Duration (sec):",        "Test Fall Pressure in Bath (KPa):",
        "Main Test Duration (sec):",        "Min. Bath Temperature (°C):"};
    int previousBottom = -1;
    for (int i = 0; i < 6; ++i) {
        auto *label = named<QLabel>(&dialog, QStringLiteral("Label%1").arg(i + 3));
        const QRect edit = field(&dialog, i)->geometry();
        QCOMPARE(label->text(), captions[i]);
        QVERIFY(field(&dialog, i)->parent() == frame && label->parent() == frame);
        QVERIFY(label->geometry().right() < edit.left()); // caption on the left
        QCOMPARE(label->geometry().top(), edit.top());    // on the field's row
        QVERIFY(edit.top() > previousBottom);             // rows top to bottom
        previousBottom = edit.bottom();
    }
    auto *ok = named<QPushButton>(&dialog, "cmdOK");
    auto *cancel = named<QPushButton>(&dialog, "cmdCancel");
    QCOMPARE(ok->text() + u'|' + cancel->text(), QStringLiteral("OK|Cancel"));
    QVERIFY(cancel->x() < ok->x() && ok->y() > frame->geometry().bottom());
}

void TestOptionsDialog::fieldsShowTheParametersAndOkKeepsThem_data()
{
    QTest::addColumn<QList<double>>("parameters");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("defaults") << QList<double>{600, 7, 600, 14, 900, 100}
                              << QStringList{"600", "7", "600", "14", "900", "100"};
    // Seven significant digits, exponents of two digits; a comma locale changes nothing.
    QTest::newRow("extremes") << QList<double>{1234.567f, 1.234567e-20f, -32768,
                                               kLargest,  32767,         -0.1f}
                              << QStringList{"1234.567",     "1.234567E-20", "-32768",
                                             "3.402823E+38", "32767",        "-0.1"};
}

void TestOptionsDialog::fieldsShowTheParametersAndOkKeepsThem()
{
    QFETCH(QList<double>, parameters);
    QFETCH(QStringList, texts);
    m_parameters = {float(parameters[0]), float(parameters[1]),   int16_t(parameters[2]),
                    float(parameters[3]), int16_t(parameters[4]), float(parameters[5])};
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    OptionsDialog dialog(m_parameters, nullptr);
    QLocale::setDefault(saved);
    for (int i = 0; i < 6; ++i)
        QCOMPARE(field(&dialog, i)->text(), texts[i]);

    // OK without edits: a float shown with 7 digits may come back as a close neighbour.
    QTest::mouseClick(named<QPushButton>(&dialog, "cmdOK"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const QList<double> after = values(m_parameters);
    for (int i = 0; i < 6; ++i)
        QVERIFY2(std::fabs(after[i] - parameters[i]) <= std::fabs(parameters[i]) * 5e-7,
                 qPrintable(texts[i] + QStringLiteral(" became ") + QString::number(after[i])));
}

void TestOptionsDialog::onlyOkStoresTheTexts_data()
{
    QTest::addColumn<QString>("way"); // how the dialog is closed
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QList<double>>("stored"); // empty: the parameters stay as they were
    // Each field takes its leading number; the durations round half to even.
    QTest::newRow("leading numbers")
        << "OK" << QStringList{"650.5", "7,5", "2.5", " 14 ", "3.5", "abc"}
        << QList<double>{650.5, 7, 2, 14, 4, 0};
    // Floats saturate at the largest float, durations at the 16-bit bounds.
    QTest::newRow("beyond the ranges")
        << "OK" << QStringList{"1e39", "-1e39", "40000", "0.1", "-1e9", "12abc"}
        << QList<double>{kLargest, -kLargest, 32767, double(0.1f), -32768, 12};
    // Cancel, Escape and the close box change nothing.
    const QStringList ones(6, QStringLiteral("1"));
    QTest::newRow("Cancel") << "Cancel" << ones << QList<double>();
    QTest::newRow("Escape") << "Escape" << ones << QList<double>();
    QTest::newRow("close box") << "close" << ones << QList<double>();
    // Enter presses the focused button, whichever it is.
    QTest::newRow("Return on Cancel") << "Return on Cancel" << ones << QList<double>();
    QTest::newRow("keypad Enter on Cancel") << "Enter on Cancel" << ones << QList<double>();
}

void TestOptionsDialog::onlyOkStoresTheTexts()
{
    QFETCH(QString, way);
    QFETCH(QStringList, texts);
    QFETCH(QList<double>, stored);
    const QList<double> before = values(m_parameters);
    OptionsDialog dialog(m_parameters, nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (int i = 0; i < 6; ++i)
        field(&dialog, i)->setText(texts[i]);
    if (way.contains(QLatin1String(" on "))) {
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        named<QPushButton>(&dialog, "cmd" + way.section(u' ', 2))->setFocus();
        const bool keypad = way.startsWith(QLatin1String("Enter"));
        QTest::keyClick(QApplication::focusWidget(), keypad ? Qt::Key_Enter : Qt::Key_Return,
                        keypad ? Qt::KeypadModifier : Qt::NoModifier);
    } else if (way == QLatin1String("Escape"))
        QTest::keyClick(field(&dialog, 3), Qt::Key_Escape);
    else if (way == QLatin1String("close"))
        dialog.close();
    else
        QTest::mouseClick(named<QPushButton>(&dialog, "cmd" + way), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(stored.isEmpty() ? QDialog::Rejected : QDialog::Accepted));
    QCOMPARE(values(m_parameters), stored.isEmpty() ? before : stored);
}

QTEST_MAIN(TestOptionsDialog)
#include "tst_optionsdialog.moc"
