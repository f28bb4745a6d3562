#include "descriptiondir.h"
#include "descriptionreader.h"
#include "portframing.h"
#include "ptypeer.h"
#include "simoptions.h"
#include "simulator.h"

#include <QSerialPort>
#include <QtTest>

// The framing of the simulator's serial line: what it asks of the port it opens, for
// each serial protocol, taken from the description file.
class TestSimFraming : public QObject
{
    Q_OBJECT

private slots:
    void lineTakesTheFilesFraming_data();
    void lineTakesTheFilesFraming();
};

void TestSimFraming::lineTakesTheFilesFraming_data()
{
    QTest::addColumn<QByteArray>("protocol");
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QString>("framing");

    const QByteArray modbus("ModBUS RTU");
    const QByteArray velmorbus("VelmorBUS RTU");
    QTest::newRow("Modbus RTU without keys: 8N1") << modbus << QByteArray() << QStringLiteral("8N1");
    QTest::newRow("Modbus RTU parity even: 8E1") << modbus << QByteArray("parity: even\n") << QStringLiteral("8E1");
    QTest::newRow("Modbus RTU 7O2, databits in hexadecimal")
        << modbus << QByteArray("parity: odd\ndatabits: 0x7\nstopbits: 2\n") << QStringLiteral("7O2");
    QTest::newRow("Velmorbus without keys: 8N1") << velmorbus << QByteArray() << QStringLiteral("8N1");
    QTest::newRow("Velmorbus 7E2") << velmorbus << QByteArray("parity: even\ndatabits: 7\nstopbits: 2\n")
                                   << QStringLiteral("7E2");
}

void TestSimFraming::lineTakesTheFilesFraming()
{
    QFETCH(QByteArray, protocol);
    QFETCH(QByteArray, keys);
    QFETCH(QString, framing);

    PtyPeer peer;
    QVERIFY(peer.isOpen());
    DescriptionDir dir;
    DescriptionReader reader;
    DeviceDescription description;
    QVERIFY2(reader.read(dir.write(QStringLiteral("device.yml"), "protocol: " + protocol + "\nid: 1\n" + keys
                                                                     + "variables: []\n"),
                         &description),
             qPrintable(reader.errorString()));
    SimOptions options;
    options.serialPort = peer.slavePath();
    Simulator simulator(description, options);
    QVERIFY2(simulator.start(), qPrintable(simulator.errorString()));

    QCOMPARE(portFraming(simulator.findChild<QSerialPort *>()), framing);
    QCOMPARE(peer.stopBits(), framing.right(1).toInt());
}

QTEST_MAIN(TestSimFraming)
#include "tst_simframing.moc"
