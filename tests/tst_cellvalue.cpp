#include "CellValue.h"

#include <QTest>

#include <limits>

using namespace plivan;

class TestCellValue : public QObject {
    Q_OBJECT

private slots:
    void numberText_data();
    void numberText();
    void dateText_data();
    void dateText();
    void isDateFormat_data();
    void isDateFormat();
    void errorText_data();
    void errorText();
};

void TestCellValue::numberText_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("small whole")        << 17.0                    << "17";
    QTest::newRow("million")            << 1234567.0               << "1234567";
    QTest::newRow("beyond 32 bits")     << 12345678901.0           << "12345678901";
    QTest::newRow("2^53 - 1")           << 9007199254740991.0      << "9007199254740991";
    QTest::newRow("negative whole")     << -42.0                   << "-42";
    QTest::newRow("zero")               << 0.0                     << "0";
    QTest::newRow("negative zero")      << -0.0                    << "0";
    QTest::newRow("0.1 + 0.2")          << 0.1 + 0.2               << "0.30000000000000004";
    QTest::newRow("half")               << 0.5                     << "0.5";
    QTest::newRow("tenth")              << 0.1                     << "0.1";
    QTest::newRow("many digits")        << 123456789.123           << "123456789.123";
    QTest::newRow("negative fraction")  << -2.25                   << "-2.25";
    QTest::newRow("not a number")       << std::numeric_limits<double>::quiet_NaN() << "#NUM!";
    QTest::newRow("infinity")           << std::numeric_limits<double>::infinity()  << "#NUM!";
}

void TestCellValue::numberText()
{
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(NumberText(value), text);
    if (std::isfinite(value))
        QCOMPARE(NumberText(value).toDouble(), value); // reads back the same
}

void TestCellValue::dateText_data()
{
    QTest::addColumn<double>("serial");
    QTest::addColumn<bool>("date1904");
    QTest::addColumn<QString>("text");

    QTest::newRow("whole day")            << 45537.0            << false << "2024-09-02";
    QTest::newRow("day and time")         << 45537.572916666664 << false << "2024-09-02 13:45:00";
    QTest::newRow("time alone")           << 0.5729166666666666 << false << "13:45:00";
    QTest::newRow("midnight alone")       << 0.0                << false << "00:00:00";
    QTest::newRow("rounds to the second") << 45537.0 + 59.6 / 86400 << false << "2024-09-02 00:01:00";
    QTest::newRow("just below next day")  << 45537.9999999999   << false << "2024-09-03";
    QTest::newRow("first day")            << 1.0                << false << "1900-01-01";
    QTest::newRow("before the leap day")  << 59.0               << false << "1900-02-28";
    QTest::newRow("the false leap day")   << 60.0               << false << "1900-02-29";
    QTest::newRow("after the leap day")   << 61.0               << false << "1900-03-01";
    QTest::newRow("last date")            << 2958465.0          << false << "9999-12-31";
    QTest::newRow("past the last date")   << 2958466.0          << false << "2958466";
    QTest::newRow("negative")             << -1.0               << false << "-1";
    QTest::newRow("1904 whole day")       << 44075.0            << true  << "2024-09-02";
    QTest::newRow("1904 first day")       << 1.0                << true  << "1904-01-02";
    QTest::newRow("1904 time alone")      << 0.25               << true  << "06:00:00";
    QTest::newRow("1904 past last date")  << 2957004.0          << true  << "2957004";
}

void TestCellValue::dateText()
{
    QFETCH(double, serial);
    QFETCH(bool, date1904);
    QFETCH(QString, text);
    QCOMPARE(DateText(serial, date1904), text);
}

void TestCellValue::isDateFormat_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("isDate");

    QTest::newRow("General")              << "General"                << false;
    QTest::newRow("integer")              << "0"                      << false;
    QTest::newRow("decimals")             << "#,##0.00"               << false;
    QTest::newRow("scientific")           << "0.00E+00"               << false;
    QTest::newRow("percent")              << "0%"                     << false;
    QTest::newRow("text")                 << "@"                      << false;
    QTest::newRow("ISO date")             << "yyyy-mm-dd"             << true;
    QTest::newRow("US date")              << "m/d/yy"                 << true;
    QTest::newRow("upper case")           << "DD.MM.YYYY"             << true;
    QTest::newRow("time")                 << "h:mm:ss"                << true;
    QTest::newRow("time with AM/PM")      << "h:mm AM/PM"             << true;
    QTest::newRow("elapsed hours")        << "[h]:mm:ss"              << true;
    QTest::newRow("elapsed minutes")      << "[mm]:ss"                << true;
    QTest::newRow("colour and number")    << "[Red]0.00"              << false;
    QTest::newRow("colour and date")      << "[Blue]yyyy-mm-dd"       << true;
    QTest::newRow("locale and date")      << "[$-409]mmmm d, yyyy"    << true;
    QTest::newRow("currency in brackets") << "[$\u20ac-2] #,##0.00"   << false;
    QTest::newRow("condition")            << "[<100]0;0.0"            << false;
    QTest::newRow("quoted letters")       << "0 \"days and hours\""   << false;
    QTest::newRow("escaped letter")       << "0\\m"                   << false;
    QTest::newRow("fill character")       << "*s0"                    << false;
    QTest::newRow("space as wide as")     << "0_m"                    << false;
    QTest::newRow("AM/PM alone")          << "0 AM/PM"                << false;
    QTest::newRow("date after quotes")    << "\"on \"d mmm"           << true;
    QTest::newRow("unclosed quote")       << "0\"d"                   << false;
    QTest::newRow("empty")                << ""                       << false;
}

void TestCellValue::isDateFormat()
{
    QFETCH(QString, code);
    QFETCH(bool, isDate);
    QCOMPARE(IsDateFormat(code), isDate);
}

void TestCellValue::errorText_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");

    QTest::newRow("null")     << 0x00 << "#NULL!";
    QTest::newRow("div0")     << 0x07 << "#DIV/0!";
    QTest::newRow("value")    << 0x0F << "#VALUE!";
    QTest::newRow("ref")      << 0x17 << "#REF!";
    QTest::newRow("name")     << 0x1D << "#NAME?";
    QTest::newRow("num")      << 0x24 << "#NUM!";
    QTest::newRow("n/a")      << 0x2A << "#N/A";
    QTest::newRow("unknown")  << 0x55 << "#N/A";
}

void TestCellValue::errorText()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(ErrorText(code), text);
}

QTEST_GUILESS_MAIN(TestCellValue)
#include "tst_cellvalue.moc"
