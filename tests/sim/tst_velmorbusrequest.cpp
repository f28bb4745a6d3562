#include "velmorbusrequest.h"

#include <QtTest>

// The simulator's decoder of Velmorbus request bodies.
class TestVelmorbusRequest : public QObject
{
    Q_OBJECT

private slots:
    void decodes_data();
    void decodes();
    void refuses_data();
    void refuses();
};

void TestVelmorbusRequest::decodes_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("cmd");
    QTest::addColumn<int>("addr");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("meaning");

    QTest::newRow("read 8 bytes at 0x0C02") << QByteArray::fromHex("02020c0800") << 2 << 0x0C02 << 8 << QByteArray()
                                            << "read addr=0x0c02 size=8";
    QTest::newRow("flash store write") << QByteArray::fromHex("04fd000400" "01000000") << 4 << 0xFD << 4
                                       << QByteArray::fromHex("01000000") << "write addr=0x00fd size=4 data=01000000";
    QTest::newRow("read4 at 0x0010") << QByteArray::fromHex("011000") << 1 << 0x10 << 0 << QByteArray()
                                     << "read4 addr=0x0010";
}

void TestVelmorbusRequest::decodes()
{
    QFETCH(QByteArray, body);
    QFETCH(int, cmd);
    QFETCH(int, addr);
    QFETCH(int, size);
    QFETCH(QByteArray, data);
    QFETCH(QString, meaning);

    const VelmorbusRequest request = VelmorbusRequest::fromBody(body);
    QVERIFY(request.isValid());
    QCOMPARE(request.cmd(), cmd);
    QCOMPARE(int(request.addr()), addr);
    QCOMPARE(int(request.size()), size);
    QCOMPARE(request.data(), data);
    QCOMPARE(request.meaning(), meaning);
}

void TestVelmorbusRequest::refuses_data()
{
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("two bytes") << QByteArray::fromHex("0210");
    QTest::newRow("read without size") << QByteArray::fromHex("021000");
    QTest::newRow("read with data") << QByteArray::fromHex("021000040001020304");
    QTest::newRow("write with fewer bytes than size") << QByteArray::fromHex("041000040001");
    QTest::newRow("write with more bytes than size") << QByteArray::fromHex("04100002000102030405");
    QTest::newRow("status nibble set") << QByteArray::fromHex("12020c0800");
    QTest::newRow("command 3") << QByteArray::fromHex("03020c0800");
    QTest::newRow("read4 with size") << QByteArray::fromHex("0110000400");
}

void TestVelmorbusRequest::refuses()
{
    QFETCH(QByteArray, body);

    const VelmorbusRequest request = VelmorbusRequest::fromBody(body);
    QVERIFY(!request.isValid());
    QCOMPARE(request.cmd(), 0);
    QCOMPARE(request.data(), QByteArray());
}

QTEST_GUILESS_MAIN(TestVelmorbusRequest)
#include "tst_velmorbusrequest.moc"
