#include "descriptiondir.h"
#include "reading.h"

#include <QtTest>

#include <memory>

// The number a reading gives the metrics is the value its text shows in the table and CSV.
class TestReading : public QObject
{
    Q_OBJECT

private slots:
    void numberIsWhatTheTextShows_data();
    void numberIsWhatTheTextShows();
};

void TestReading::numberIsWhatTheTextShows_data()
{
    QTest::addColumn<QByteArray>("typeLines");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("negative int") << QByteArray("type: int16") << QVariant(-5) << QStringLiteral("-5");
    QTest::newRow("bit field with the top bit set")
        << QByteArray("type: int32\n    bitfield: true") << QVariant(4294967295u) << QStringLiteral("4294967295");
    QTest::newRow("float32 with more digits than its text")
        << QByteArray("type: float32") << QVariant(1234567.9) << QStringLiteral("1234568");
    QTest::newRow("float32 of a short decimal") << QByteArray("type: float32") << QVariant(0.1) << QStringLiteral("0.1");
}

void TestReading::numberIsWhatTheTextShows()
{
    QFETCH(QByteArray, typeLines);
    QFETCH(QVariant, value);
    QFETCH(QString, text);

    DescriptionDir dir;
    const QByteArray description = "protocol: ModBUS RTU\nvariables:\n  - name: V\n    addr: 1\n    " + typeLines + "\n";
    VelmorDeviceModel model(dir.write(QStringLiteral("device.yml"), description));
    QVERIFY(model.valid());
    QVERIFY(model.setVarValue(0, value));

    const Reading reading = Reading::of(&model, 0);
    QCOMPARE(reading.text, text);
    QCOMPARE(reading.number, text.toDouble());
}

QTEST_GUILESS_MAIN(TestReading)
#include "tst_clireading.moc"
