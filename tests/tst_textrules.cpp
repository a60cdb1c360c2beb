#include "app/textrules.h"

#include <QTest>

#include <clocale>
#include <cmath>
#include <limits>

namespace {
constexpr int kNone = 99999;
} // namespace

class TestTextRules : public QObject {
    Q_OBJECT

private slots:
    void leadingNumber_data();
    void leadingNumber();
    void integers_data();
    void integers();
    void singleRange();
    void printForm_data();
    void printForm();
    void printFormIntegers();
    void generalText_data();
    void generalText();
    void oneDecimal_data();
    void oneDecimal();
    void clockText_data();
    void clockText();
    void numbersIgnoreTheLocale();
};

void TestTextRules::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("plain") << "600" << 600.0;
    QTest::newRow("fraction") << "7.5" << 7.5;
    QTest::newRow("blanks around") << "  7.5  " << 7.5;
    QTest::newRow("tabs and line feeds") << "\t\n 12" << 12.0;
    QTest::newRow("blanks inside digits") << "1 2 3" << 123.0;
    QTest::newRow("letters after") << "12abc" << 12.0;
    QTest::newRow("letters only") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("point only") << "." << 0.0;
    QTest::newRow("sign only") << "-" << 0.0;
    QTest::newRow("negative") << "-00001" << -1.0;
    QTest::newRow("plus sign") << "+5" << 5.0;
    QTest::newRow("sign then blank") << "- 5" << -5.0;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("trailing point") << "5." << 5.0;
    QTest::newRow("comma stops") << "1,500" << 1.0;
    QTest::newRow("exponent") << "1.5E+07" << 1.5e7;
    QTest::newRow("small exponent") << "1e-05" << 1e-5;
    QTest::newRow("beyond a double") << "1e999" << qInf();
    QTest::newRow("beyond a double, negative") << "-1e999" << -qInf();
    QTest::newRow("below a double") << "1e-999" << 0.0;
    QTest::newRow("exponent without digits") << "3E" << 3.0;
    QTest::newRow("second point stops") << "1.2.3" << 1.2;
    QTest::newRow("carriage return stops") << "4\r5" << 4.0;
}

void TestTextRules::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(::leadingNumber(text), expected);
}

void TestTextRules::integers_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("whole"); // toInteger(); kNone: out of range
    QTest::addColumn<int>("clamped");
    QTest::newRow("12.5 to even") << 12.5 << 12 << 12;
    QTest::newRow("13.5 to even") << 13.5 << 14 << 14;
    QTest::newRow("-2.5 to even") << -2.5 << -2 << -2;
    QTest::newRow("2.6") << 2.6 << 3 << 3;
    QTest::newRow("lowest") << -32768.0 << -32768 << -32768;
    QTest::newRow("highest") << 32767.4 << 32767 << 32767;
    QTest::newRow("rounds to 32768") << 32767.5 << kNone << 32767;
    QTest::newRow("40000") << 40000.0 << kNone << 32767;
    QTest::newRow("-32769") << -32769.0 << kNone << -32768;
    QTest::newRow("not a number") << std::nan("") << kNone << 0;
}

void TestTextRules::integers()
{
    QFETCH(double, value);
    QFETCH(int, whole);
    QFETCH(int, clamped);
    const std::optional<int16_t> result = toInteger(value);
    QCOMPARE(result ? int(*result) : kNone, whole);
    QCOMPARE(int(clampToInteger(value)), clamped);
}

void TestTextRules::singleRange()
{
    QVERIFY(!toSingle(1e39).has_value());
    QVERIFY(!toSingle(std::numeric_limits<double>::infinity()).has_value());
    QCOMPARE(*toSingle(101.5), 101.5f);
    QCOMPARE(clampToSingle(1e39), std::numeric_limits<float>::max());
    QCOMPARE(clampToSingle(-1e300), std::numeric_limits<float>::lowest());
}

void TestTextRules::printForm_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("whole") << 600.0f << " 600 ";
    QTest::newRow("fraction") << 101.5f << " 101.5 ";
    QTest::newRow("below one") << 0.5f << " .5 ";
    QTest::newRow("negative below one") << -0.25f << "-.25 ";
    QTest::newRow("negative") << -7.0f << "-7 ";
    QTest::newRow("zero") << 0.0f << " 0 ";
    QTest::newRow("negative zero") << -0.0f << " 0 ";
    QTest::newRow("seven digits") << 1234567.0f << " 1234567 ";
    QTest::newRow("eight digits rounds to exponent") << 12345678.0f << " 1.234568E+07 ";
    QTest::newRow("large exponent") << 1.5e7f << " 1.5E+07 ";
    QTest::newRow("ten million") << 1e7f << " 1E+07 ";
    QTest::newRow("small exponent") << 1e-5f << " 1E-05 ";
    QTest::newRow("smallest plain") << 0.0001f << " .0001 ";
    QTest::newRow("float noise cut at 7 digits") << 0.1f << " .1 ";
    QTest::newRow("seven significant") << 3.14159265f << " 3.141593 ";
    QTest::newRow("huge") << 3.4e38f << " 3.4E+38 ";
}

void TestTextRules::printForm()
{
    QFETCH(float, value);
    QFETCH(QString, expected);
    QCOMPARE(::printForm(value), expected);
}

void TestTextRules::printFormIntegers()
{
    QCOMPARE(printFormInteger(1199), QStringLiteral(" 1199 "));
    QCOMPARE(printFormInteger(0), QStringLiteral(" 0 "));
    QCOMPARE(printFormInteger(-7), QStringLiteral("-7 "));
    QCOMPARE(printFormInteger(-32768), QStringLiteral("-32768 "));
}

void TestTextRules::generalText_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("whole") << 600.0f << "600";
    QTest::newRow("fraction") << 7.5f << "7.5";
    QTest::newRow("below one keeps its zero") << 0.5f << "0.5";
    QTest::newRow("negative") << -12.25f << "-12.25";
    QTest::newRow("exponent") << 1.5e7f << "1.5E+07";
}

void TestTextRules::generalText()
{
    QFETCH(float, value);
    QFETCH(QString, expected);
    QCOMPARE(::generalText(value), expected);
    QCOMPARE(float(::leadingNumber(::generalText(value))), value); // reads back
}

void TestTextRules::oneDecimal_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("whole") << 25.0f << "25.0";
    QTest::newRow("rounds up") << 1234.56f << "1234.6";
    QTest::newRow("exact half away from zero") << 0.25f << "0.3";
    QTest::newRow("negative exact half") << -0.75f << "-0.8";
    QTest::newRow("negative") << -3.45f << "-3.5"; // -3.45f lies below -3.45
    // A negative value keeps its minus sign when it rounds to zero; zero itself has none.
    QTest::newRow("negative rounding to zero") << -0.04f << "-0.0";
    QTest::newRow("smallest negative") << -1e-45f << "-0.0";
    QTest::newRow("negative just rounding away from zero") << -0.05f << "-0.1";
    QTest::newRow("positive rounding to zero") << 0.04f << "0.0";
    QTest::newRow("zero") << 0.0f << "0.0";
    QTest::newRow("negative zero") << -0.0f << "0.0";
    QTest::newRow("large") << 600.0f << "600.0";
}

void TestTextRules::oneDecimal()
{
    QFETCH(float, value);
    QFETCH(QString, expected);
    QCOMPARE(formatOneDecimal(value), expected);
}

void TestTextRules::clockText_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("3725") << 3725 << "01:02:05";
    QTest::newRow("600") << 600 << "00:10:00";
    QTest::newRow("zero") << 0 << "00:00:00";
    QTest::newRow("-7") << -7 << "00:00:-07";
    QTest::newRow("-3725") << -3725 << "-01:-02:-05";
    QTest::newRow("largest") << 32767 << "09:06:07";
    QTest::newRow("hundred hours keeps its digits") << 360000 << "100:00:00";
}

void TestTextRules::clockText()
{
    QFETCH(int, seconds);
    QFETCH(QString, expected);
    QCOMPARE(::clockText(seconds), expected);
}

void TestTextRules::numbersIgnoreTheLocale()
{
    // Qt's default locale writes "7,5"; so does the C library's where de_DE is installed.
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const bool cLocaleSet = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    const QString printed = ::printForm(101.5f);
    const QString general = ::generalText(7.5f);
    const double read = ::leadingNumber(u"7.5");
    const QString shown = formatOneDecimal(25.0f);
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(previous);
    if (!cLocaleSet)
        qInfo("No de_DE locale installed: only Qt's default locale was German.");
    QCOMPARE(printed, QStringLiteral(" 101.5 "));
    QCOMPARE(general, QStringLiteral("7.5"));
    QCOMPARE(read, 7.5);
    QCOMPARE(shown, QStringLiteral("25.0"));
}

QTEST_APPLESS_MAIN(TestTextRules)
#include "tst_textrules.moc"
