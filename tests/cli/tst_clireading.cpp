#include "reading.h"

#include <QtTest>

#include <sstream>

// The number a reading gives the metrics: the value its text shows, without reading the text.
class TestReading : public QObject
{
    Q_OBJECT

private slots:
    void numberIsWhatTheTextShows_data();
    void numberIsWhatTheTextShows();
    void floatNumberMatchesItsSevenDigitText_data();
    void floatNumberMatchesItsSevenDigitText();
};

void TestReading::numberIsWhatTheTextShows_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("bitfield");
    QTest::addColumn<double>("number");
    QTest::newRow("negative int") << QVariant(-5) << false << -5.0;
    QTest::newRow("bit field below the top bit") << QVariant(5) << true << 5.0;
    QTest::newRow("bit field with the top bit set") << QVariant(-1) << true << 4294967295.0;
    QTest::newRow("float32 of a short decimal") << QVariant(0.1f) << false << 0.1;
    QTest::newRow("float32 with more digits than its text") << QVariant(1234567.9f) << false << 1234568.0;
    QTest::newRow("float32 zero") << QVariant(0.0f) << false << 0.0;
}

void TestReading::numberIsWhatTheTextShows()
{
    QFETCH(QVariant, value);
    QFETCH(bool, bitfield);
    QFETCH(double, number);
    QCOMPARE(Reading::numberOf(value, bitfield), number);
}

void TestReading::floatNumberMatchesItsSevenDigitText_data()
{
    QTest::addColumn<float>("value");
    QTest::newRow("temperature") << 21.37f;
    QTest::newRow("negative") << -273.15f;
    QTest::newRow("tiny") << 1.5e-5f;
    QTest::newRow("large") << 3.0e12f;
    QTest::newRow("third") << 1.0f / 3.0f;
    QTest::newRow("largest float32") << std::numeric_limits<float>::max();
}

// The model's text of a float32 is the stream's seven significant digits.
void TestReading::floatNumberMatchesItsSevenDigitText()
{
    QFETCH(float, value);
    std::ostringstream text;
    text.precision(7);
    text << value;
    QCOMPARE(Reading::numberOf(QVariant(value), false), std::stod(text.str()));
}

QTEST_GUILESS_MAIN(TestReading)
#include "tst_clireading.moc"
