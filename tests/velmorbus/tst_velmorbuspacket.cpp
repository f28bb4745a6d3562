#include "logcapture.h"
#include "referencecrc.h"
#include "velmorbusframe.h"
#include "velmorbuspacket.h"

#include <QDataStream>
#include <QDebug>
#include <QtTest>

Q_DECLARE_METATYPE(QDataStream::ByteOrder)

namespace {

QString debugText(const VelmorBusPacket &packet)
{
    QString text;
    QDebug(&text).nospace() << packet;
    return text;
}

} // namespace

class TestVelmorBusPacket : public QObject
{
    Q_OBJECT

private slots:
    void defaultPacketIsInvalid();
    void requestPacketIsValid();

    void encodeRequest_data();
    void encodeRequest();

    void decode_data();
    void decode();

    void workedResponse_data();
    void workedResponse();

    void crc16_data();
    void crc16();
    void crc16MatchesBitwiseComputation();

    void setDataInt32_data();
    void setDataInt32();

    void dataAsInt32Vector_data();
    void dataAsInt32Vector();

    void debugText_data();
    void debugText();
    void debugTextKeepsCallerSpacing();
    void debugLogLine();

    void streamWritesLittleEndian_data();
    void streamWritesLittleEndian();
};

void TestVelmorBusPacket::defaultPacketIsInvalid()
{
    const VelmorBusPacket packet;
    QVERIFY(!packet.isValid());
    QCOMPARE(packet.cmd(), 0);
    QCOMPARE(packet.stat(), 0);
    QCOMPARE(packet.addr(), quint16(0));
    QCOMPARE(packet.size(), quint16(0));
    QVERIFY(packet.data().isEmpty());
}

void TestVelmorBusPacket::requestPacketIsValid()
{
    const VelmorBusPacket packet(VelmorBusPacket::CmdRead, 0x0C02, 8);
    QVERIFY(packet.isValid());
    QCOMPARE(packet.stat(), 0);
    QVERIFY(packet.data().isEmpty());
}

void TestVelmorBusPacket::encodeRequest_data()
{
    QTest::addColumn<int>("cmd");
    QTest::addColumn<int>("addr");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("expectedFrame");

    QTest::newRow("read 8 bytes at 0x0C02 from 33")
        << 2 << 0x0C02 << 8 << QByteArray() << 33 << QByteArray::fromHex("2102020C0800B911");
    QTest::newRow("write 4 bytes 01 00 00 00 at 0x00FD on 1")
        << 4 << 0x00FD << 4 << QByteArray::fromHex("01000000") << 1
        << QByteArray::fromHex("0104FD00040001000000DDA7");
    QTest::newRow("read 4 bytes at 0x0010 from 1")
        << 2 << 0x0010 << 4 << QByteArray() << 1 << QByteArray::fromHex("0102100004007E0A");
    QTest::newRow("clock write 20.09.2017 10:20:54 to 33")
        << 4 << 0x0C02 << 8 << QByteArray::fromHex("36140A1409E10703") << 33
        << QByteArray::fromHex("2104020C080036140A1409E1070335D4");
    QTest::newRow("read request ignores data")
        << 2 << 0x0C02 << 8 << QByteArray::fromHex("0102") << 33 << QByteArray::fromHex("2102020C0800B911");
    QTest::newRow("read4 request has no size field")
        << 1 << 0x0010 << 4 << QByteArray() << 1 << VelmorbusFrame::build(1, QByteArray::fromHex("011000"));
}

void TestVelmorBusPacket::encodeRequest()
{
    QFETCH(int, cmd);
    QFETCH(int, addr);
    QFETCH(int, size);
    QFETCH(QByteArray, data);
    QFETCH(int, id);
    QFETCH(QByteArray, expectedFrame);

    VelmorBusPacket packet(cmd, quint16(addr), quint16(size));
    packet.setData(data);

    const QByteArray body = packet.toByteArray();
    QCOMPARE(body, expectedFrame.mid(1, expectedFrame.size() - 3));
    QCOMPARE(VelmorbusFrame::build(quint8(id), body), expectedFrame);
}

void TestVelmorBusPacket::decode_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("cmd");
    QTest::addColumn<int>("stat");
    QTest::addColumn<int>("addr");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("data");

    const auto invalid = [](const char *name, const char *hex) {
        QTest::newRow(name) << QByteArray::fromHex(hex) << false << 0 << 0 << 0 << 0 << QByteArray();
    };

    invalid("empty body", "");
    invalid("head byte only", "12");
    invalid("3 bytes: head and addr", "120C02");

    QTest::newRow("read4 ok, 4 data bytes")
        << QByteArray::fromHex("11100001020304") << true << 1 << 0x10 << 0x0010 << 0
        << QByteArray::fromHex("01020304");
    invalid("read4 status 0x00", "01100001020304");
    invalid("read4 status 0x20", "21100001020304");
    invalid("read4 ok, 3 data bytes", "111000010203");
    invalid("read4 ok, 5 data bytes", "1110000102030405");
    invalid("read4 ok, 4-byte body", "11100001");

    invalid("read ok, 4-byte body", "12020C08");
    invalid("read ok, size 8, no data", "12020C0800");
    QTest::newRow("read ok, size 8, 8 data bytes")
        << QByteArray::fromHex("12020C080036140A1409E10703") << true << 2 << 0x10 << 0x0C02 << 8
        << QByteArray::fromHex("36140A1409E10703");
    invalid("read ok, size 8, 7 data bytes", "12020C080036140A1409E107");
    invalid("read ok, size 8, 9 data bytes", "12020C080036140A1409E1070300");
    QTest::newRow("read ok, size 0, no data")
        << QByteArray::fromHex("12020C0000") << true << 2 << 0x10 << 0x0C02 << 0 << QByteArray();
    QTest::newRow("read status 0x20, no data")
        << QByteArray::fromHex("22020C0800") << true << 2 << 0x20 << 0x0C02 << 8 << QByteArray();
    invalid("read status 0x20, 1 data byte", "22020C080001");
    invalid("read status 0x20, 8 data bytes", "22020C080036140A1409E10703");
    invalid("read status 0x20, 4-byte body", "22020C08");

    QTest::newRow("write ack")
        << QByteArray::fromHex("14020C0800") << true << 4 << 0x10 << 0x0C02 << 8 << QByteArray();
    invalid("write ack with a trailing byte", "14020C080000");
    invalid("write ok, 4-byte body", "14020C08");
    invalid("write request form with data", "04FD00040001000000");
    QTest::newRow("write status 0x20")
        << QByteArray::fromHex("24FD000400") << true << 4 << 0x20 << 0x00FD << 4 << QByteArray();

    for (int stat = 0x00; stat <= 0xF0; stat += 0x10) {
        const QByteArray statText = QByteArray::number(stat, 16);
        const QByteArray readBody = QByteArray(1, char(stat | 2)) + QByteArray::fromHex("FFFF0100");
        const QByteArray writeBody = QByteArray(1, char(stat | 4)) + QByteArray::fromHex("FFFF0100");
        QTest::newRow(("write, status 0x" + statText + ", no data").constData())
            << writeBody << true << 4 << stat << 0xFFFF << 1 << QByteArray();
        if (stat != VelmorBusPacket::StatOk) {
            QTest::newRow(("read, status 0x" + statText + ", no data").constData())
                << readBody << true << 2 << stat << 0xFFFF << 1 << QByteArray();
        }
    }

    for (int cmd = 0; cmd <= 15; ++cmd) {
        if (cmd == 1 || cmd == 2 || cmd == 4)
            continue;
        const QByteArray cmdText = QByteArray::number(cmd);
        const char head = char(VelmorBusPacket::StatOk | cmd);
        QTest::newRow(("command " + cmdText + ", 5-byte body").constData())
            << QByteArray(1, head) + QByteArray::fromHex("020C0000") << false << 0 << 0 << 0 << 0 << QByteArray();
        QTest::newRow(("command " + cmdText + ", 7-byte body").constData())
            << QByteArray(1, head) + QByteArray::fromHex("1000010203") << false << 0 << 0 << 0 << 0
            << QByteArray();
    }
}

void TestVelmorBusPacket::decode()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, valid);
    QFETCH(int, cmd);
    QFETCH(int, stat);
    QFETCH(int, addr);
    QFETCH(int, size);
    QFETCH(QByteArray, data);

    const VelmorBusPacket packet = VelmorBusPacket::fromByteArray(body);
    QCOMPARE(packet.isValid(), valid);
    QCOMPARE(packet.cmd(), cmd);
    QCOMPARE(packet.stat(), stat);
    QCOMPARE(packet.addr(), quint16(addr));
    QCOMPARE(packet.size(), quint16(size));
    QCOMPARE(packet.data(), data);
    if (valid)
        QCOMPARE(packet.toByteArray(), body);
}

void TestVelmorBusPacket::workedResponse_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("cmd");
    QTest::addColumn<QByteArray>("data");

    QTest::newRow("33 acknowledges a write of 8 bytes at 0x0C02")
        << QByteArray::fromHex("2114020C0800F0D2") << 4 << QByteArray();
    QTest::newRow("33 answers a read of 8 bytes at 0x0C02")
        << QByteArray::fromHex("2112020C080036140A1409E107030282") << 2 << QByteArray::fromHex("36140A1409E10703");
}

void TestVelmorBusPacket::workedResponse()
{
    QFETCH(QByteArray, frame);
    QFETCH(int, cmd);
    QFETCH(QByteArray, data);

    const QByteArray crcBytes = frame.right(2);
    QCOMPARE(VelmorBusPacket::crc16(frame.left(frame.size() - 2)), quint16(quint8(crcBytes[0]) | quint8(crcBytes[1]) << 8));

    const VelmorBusPacket packet = VelmorBusPacket::fromByteArray(frame.mid(1, frame.size() - 3));
    QVERIFY(packet.isValid());
    QCOMPARE(packet.cmd(), cmd);
    QCOMPARE(packet.stat(), int(VelmorBusPacket::StatOk));
    QCOMPARE(packet.addr(), quint16(0x0C02));
    QCOMPARE(packet.size(), quint16(8));
    QCOMPARE(packet.data(), data);
}

void TestVelmorBusPacket::crc16_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("expected");

    QTest::newRow("check value of \"123456789\"") << QByteArray("123456789") << 0x4B37;
    QTest::newRow("empty input") << QByteArray() << 0xFFFF;
    QTest::newRow("read 8 bytes at 0x0C02 from 33") << QByteArray::fromHex("2102020C0800") << 0x11B9;
    QTest::newRow("frame with its own CRC appended") << QByteArray::fromHex("2102020C0800B911") << 0x0000;
}

void TestVelmorBusPacket::crc16()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, expected);

    QCOMPARE(VelmorBusPacket::crc16(bytes), quint16(expected));
}

void TestVelmorBusPacket::crc16MatchesBitwiseComputation()
{
    QByteArray bytes;
    for (int i = 0; i < 512; ++i) {
        bytes.append(char((i * 37 + 11) & 0xFF));
        QCOMPARE(VelmorBusPacket::crc16(bytes), referenceCrc16(bytes));
    }
}

void TestVelmorBusPacket::setDataInt32_data()
{
    QTest::addColumn<QByteArray>("initialData");
    QTest::addColumn<qint32>("value");
    QTest::addColumn<QByteArray>("expectedData");

    QTest::newRow("1 into empty data") << QByteArray() << qint32(1) << QByteArray::fromHex("01000000");
    QTest::newRow("-2 into empty data") << QByteArray() << qint32(-2) << QByteArray::fromHex("FEFFFFFF");
    QTest::newRow("0x12345678 into empty data")
        << QByteArray() << qint32(0x12345678) << QByteArray::fromHex("78563412");
    QTest::newRow("bit pattern of 1.0f") << QByteArray() << qint32(0x3F800000) << QByteArray::fromHex("0000803F");
    QTest::newRow("over the start of longer data")
        << QByteArray::fromHex("AABBCCDDEEFF") << qint32(1) << QByteArray::fromHex("01000000EEFF");
}

void TestVelmorBusPacket::setDataInt32()
{
    QFETCH(QByteArray, initialData);
    QFETCH(qint32, value);
    QFETCH(QByteArray, expectedData);

    VelmorBusPacket packet(VelmorBusPacket::CmdWrite, 0x0010, 4);
    packet.setData(initialData);
    packet.setData(value);
    QCOMPARE(packet.data(), expectedData);
}

void TestVelmorBusPacket::dataAsInt32Vector_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QVector<qint32>>("expected");

    QTest::newRow("no data") << QByteArray() << QVector<qint32>();
    QTest::newRow("3 bytes") << QByteArray::fromHex("010000") << QVector<qint32>();
    QTest::newRow("6 bytes") << QByteArray::fromHex("010000000200") << QVector<qint32>();
    QTest::newRow("8 bytes: 1 and -1") << QByteArray::fromHex("01000000FFFFFFFF") << QVector<qint32> { 1, -1 };
    QTest::newRow("4 bytes little-endian") << QByteArray::fromHex("78563412") << QVector<qint32> { 0x12345678 };
    QTest::newRow("most negative") << QByteArray::fromHex("00000080")
                                   << QVector<qint32> { std::numeric_limits<qint32>::min() };
}

void TestVelmorBusPacket::dataAsInt32Vector()
{
    QFETCH(QByteArray, data);
    QFETCH(QVector<qint32>, expected);

    VelmorBusPacket packet(VelmorBusPacket::CmdRead, 0x0010, quint16(data.size()));
    packet.setData(data);
    QCOMPARE(packet.dataAsInt32Vector(), expected);
}

void TestVelmorBusPacket::debugText_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");

    QTest::newRow("read ok, 8 bytes at 3074")
        << QByteArray::fromHex("12020C080036140A1409E10703")
        << QStringLiteral("VelmorBusPacket(cmd/stat: \"0x12\", addr: 3074 [\"0xc02\"], size: 8, "
                          "data: \"36140a1409e10703\")");
    QTest::newRow("write ack at 5")
        << QByteArray::fromHex("1405000400")
        << QStringLiteral("VelmorBusPacket(cmd/stat: \"0x14\", addr: 5 [\"0x05\"], size: 4, data: \"\")");
    QTest::newRow("read status 0xF0 at 0xFFFF")
        << QByteArray::fromHex("F2FFFF0000")
        << QStringLiteral("VelmorBusPacket(cmd/stat: \"0xf2\", addr: 65535 [\"0xffff\"], size: 0, data: \"\")");
    QTest::newRow("invalid packet")
        << QByteArray()
        << QStringLiteral("VelmorBusPacket(cmd/stat: \"0x00\", addr: 0 [\"0x00\"], size: 0, data: \"\")");
}

void TestVelmorBusPacket::debugText()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);

    QCOMPARE(::debugText(VelmorBusPacket::fromByteArray(body)), expected);
}

void TestVelmorBusPacket::debugTextKeepsCallerSpacing()
{
    QString text;
    QDebug(&text) << "before" << VelmorBusPacket() << "after";
    QCOMPARE(text,
             QStringLiteral("before VelmorBusPacket(cmd/stat: \"0x00\", addr: 0 [\"0x00\"], size: 0, data: \"\") after "));
}

void TestVelmorBusPacket::debugLogLine()
{
    VelmorBusPacket packet(VelmorBusPacket::CmdRead, 0x0C02, 8);
    packet.setStat(VelmorBusPacket::StatOk);
    packet.setData(QByteArray::fromHex("36140A1409E10703"));

    const LogCapture capture;
    qDebug() << packet;
    QCOMPARE(capture.messages(),
             QList<LogCapture::Message>({ { QtDebugMsg,
                                            QStringLiteral("VelmorBusPacket(cmd/stat: \"0x12\", addr: 3074 [\"0xc02\"], "
                                                           "size: 8, data: \"36140a1409e10703\")") } }));
}

void TestVelmorBusPacket::streamWritesLittleEndian_data()
{
    QTest::addColumn<QDataStream::ByteOrder>("byteOrder");

    QTest::newRow("big-endian stream") << QDataStream::BigEndian;
    QTest::newRow("little-endian stream") << QDataStream::LittleEndian;
}

void TestVelmorBusPacket::streamWritesLittleEndian()
{
    QFETCH(QDataStream::ByteOrder, byteOrder);

    VelmorBusPacket packet(VelmorBusPacket::CmdWrite, 0x0C02, 8);
    packet.setData(QByteArray::fromHex("36140A1409E10703"));

    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream.setByteOrder(byteOrder);
    stream << packet << quint16(0x0102);

    QCOMPARE(stream.byteOrder(), byteOrder);
    const QByteArray tail = byteOrder == QDataStream::BigEndian ? QByteArray::fromHex("0102")
                                                                : QByteArray::fromHex("0201");
    QCOMPARE(bytes, QByteArray::fromHex("04020C080036140A1409E10703") + tail);
    QCOMPARE(packet.toByteArray(), bytes.left(bytes.size() - 2));
}

QTEST_GUILESS_MAIN(TestVelmorBusPacket)

#include "tst_velmorbuspacket.moc"
