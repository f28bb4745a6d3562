#include "framedecode.h"
#include "velmorbusframe.h"

#include <QtTest>

using FrameDecode::Protocol;
Q_DECLARE_METATYPE(FrameDecode::Protocol)

// What the traffic monitor says of each frame, for the bytes the links trace: Modbus as
// unit id and PDU, Velmorbus as the whole frame.
class TestFrameDecode : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void everyShortPrefixIsSafe_data();
    void everyShortPrefixIsSafe();
};

void TestFrameDecode::decode_data()
{
    QTest::addColumn<Protocol>("protocol");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    const auto hex = [](const char *text) { return QByteArray::fromHex(text); };
    QTest::newRow("Modbus read holding 100, 2 registers from 1")
        << Protocol::Modbus << true << hex("010300640002") << "адрес 1: чтение holding 100, 2 рег.";
    QTest::newRow("Modbus read input 10, 1 register from 3")
        << Protocol::Modbus << true << hex("0304000a0001") << "адрес 3: чтение input 10, 1 рег.";
    QTest::newRow("Modbus TCP read as traced: unit 255 and the PDU, no MBAP header")
        << Protocol::Modbus << true << hex("ff0300000001") << "адрес 255: чтение holding 0, 1 рег.";
    QTest::newRow("Modbus answer of 4 bytes")
        << Protocol::Modbus << false << hex("0103040001000a") << "адрес 1: ответ: 4 байта";
    QTest::newRow("Modbus answer of 1 byte count") << Protocol::Modbus << false << hex("01030100") << "адрес 1: ответ: 1 байт";
    QTest::newRow("Modbus exception 0x02 to a read") << Protocol::Modbus << false << hex("018302") << "адрес 1: исключение 0x02";
    QTest::newRow("Modbus write of 1 register at 200 to 7")
        << Protocol::Modbus << true << hex("071000c80001020005") << "адрес 7: запись holding 200, 1 рег.";
    QTest::newRow("Modbus write confirmed") << Protocol::Modbus << false << hex("071000c80001")
                                            << "адрес 7: записано holding 200, 1 рег.";
    QTest::newRow("Modbus write single register") << Protocol::Modbus << true << hex("0106000a0005")
                                                  << "адрес 1: запись holding 10 = 5";
    QTest::newRow("Modbus function the tool does not send") << Protocol::Modbus << true << hex("012b0e0100")
                                                            << "адрес 1: функция 0x2b";
    QTest::newRow("Modbus read cut short") << Protocol::Modbus << true << hex("010300")
                                           << "адрес 1: функция 0x03, кадр короток: 3 байта";
    QTest::newRow("Modbus exception without its code") << Protocol::Modbus << false << hex("0183")
                                                       << "адрес 1: исключение без кода";
    QTest::newRow("Modbus single byte") << Protocol::Modbus << false << hex("01") << "кадр короток: 1 байт";
    QTest::newRow("Modbus empty frame") << Protocol::Modbus << false << QByteArray() << "пустой кадр";

    QTest::newRow("Velmorbus read 8 bytes at 0x0C02 from 33")
        << Protocol::Velmorbus << true << hex("2102020c0800b911") << "устр. 33: чтение 0x0C02, 8 байт";
    QTest::newRow("Velmorbus write 4 bytes at 0x00FD on 1")
        << Protocol::Velmorbus << true << hex("0104fd00040001000000dda7")
        << "устр. 1: запись 0x00FD, 4 байта";
    QTest::newRow("Velmorbus read answered with 8 bytes")
        << Protocol::Velmorbus << false << hex("2112020c080036140a1409e107030282") << "устр. 33: ответ чтения 0x0C02, 8 байт";
    QTest::newRow("Velmorbus write acknowledged")
        << Protocol::Velmorbus << false << hex("2114020c0800f0d2") << "устр. 33: запись подтверждена 0x0C02, 8 байт";
    QTest::newRow("Velmorbus refusal with status 0x20")
        << Protocol::Velmorbus << false << VelmorbusFrame::build(33, hex("22020c0800"))
        << "устр. 33: отказ, статус 0x20, адрес 0x0C02";
    QTest::newRow("Velmorbus CRC wrong") << Protocol::Velmorbus << true << hex("2102020c0800b912") << "устр. 33: CRC неверна";
    QTest::newRow("Velmorbus write whose data falls short of its size")
        << Protocol::Velmorbus << true << VelmorbusFrame::build(1, hex("04fd00040001")) << "устр. 1: запрос не разобран";
    QTest::newRow("Velmorbus answer that does not fit its command")
        << Protocol::Velmorbus << false << VelmorbusFrame::build(1, hex("1f0000")) << "устр. 1: ответ не разобран";
    QTest::newRow("Velmorbus three bytes") << Protocol::Velmorbus << false << hex("01ffff") << "кадр короток: 3 байта";
    QTest::newRow("Velmorbus empty frame") << Protocol::Velmorbus << true << QByteArray() << "пустой кадр";
}

void TestFrameDecode::decode()
{
    QFETCH(Protocol, protocol);
    QFETCH(bool, sent);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    QCOMPARE(FrameDecode::text(protocol, sent, bytes), text);
}

void TestFrameDecode::everyShortPrefixIsSafe_data()
{
    QTest::addColumn<Protocol>("protocol");
    QTest::newRow("Modbus") << Protocol::Modbus;
    QTest::newRow("Velmorbus") << Protocol::Velmorbus;
    QTest::newRow("unknown protocol") << Protocol::Unknown;
}

// Every cut of frames of every function and command reads within its bytes.
void TestFrameDecode::everyShortPrefixIsSafe()
{
    QFETCH(Protocol, protocol);
    const QList<QByteArray> frames = {QByteArray::fromHex("071000c80001020005"), QByteArray::fromHex("0106000a0005"),
                                      QByteArray::fromHex("0104fd00040001000000dda7"),
                                      QByteArray::fromHex("2112020c080036140a1409e107030282")};
    for (const QByteArray &frame : frames) {
        for (int size = 0; size <= frame.size(); ++size) {
            QVERIFY(!FrameDecode::text(protocol, true, frame.left(size)).isEmpty());
            QVERIFY(!FrameDecode::text(protocol, false, frame.left(size)).isEmpty());
        }
    }
}

QTEST_APPLESS_MAIN(TestFrameDecode)
#include "tst_framedecode.moc"
