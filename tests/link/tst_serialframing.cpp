#include "descriptiondir.h"
#include "portframing.h"
#include "ptypeer.h"
#include "velmordevicemodel.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QtTest>

// The framing of a serial line, from the description and the properties to the port
// that each serial link opens.
class TestSerialFraming : public QObject
{
    Q_OBJECT

private slots:
    void framingReachesThePort_data();
    void framingReachesThePort();
    void changeTakesEffectAtTheNextConnect();
    void settersIgnoreWhatNoLineTakes();
};

void TestSerialFraming::framingReachesThePort_data()
{
    QTest::addColumn<QByteArray>("protocol");
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QVariantMap>("properties");
    QTest::addColumn<QString>("framing");

    const QByteArray modbus("ModBUS RTU");
    const QByteArray velmorbus("VelmorBUS RTU");
    const QVariantMap none;
    const QVariantMap odd81 {{QStringLiteral("parity"), QStringLiteral("odd")},
                             {QStringLiteral("dataBits"), 8},
                             {QStringLiteral("stopBits"), 1}};

    QTest::newRow("Modbus RTU without keys: 8N1") << modbus << QByteArray() << none << QStringLiteral("8N1");
    QTest::newRow("Modbus RTU parity even: 8E1") << modbus << QByteArray("parity: even\n") << none << QStringLiteral("8E1");
    QTest::newRow("Modbus RTU 7O2") << modbus << QByteArray("parity: odd\ndatabits: 7\nstopbits: 2\n") << none
                                    << QStringLiteral("7O2");
    QTest::newRow("Modbus RTU properties over the file's 7E2")
        << modbus << QByteArray("parity: even\ndatabits: 7\nstopbits: 2\n") << odd81 << QStringLiteral("8O1");
    QTest::newRow("Velmorbus without keys: 8N1") << velmorbus << QByteArray() << none << QStringLiteral("8N1");
    QTest::newRow("Velmorbus parity none written: 8N1") << velmorbus << QByteArray("parity: none\n") << none
                                                        << QStringLiteral("8N1");
    QTest::newRow("Velmorbus 7E2") << velmorbus << QByteArray("parity: even\ndatabits: 7\nstopbits: 2\n") << none
                                   << QStringLiteral("7E2");
    QTest::newRow("Velmorbus properties over the file's 7E2")
        << velmorbus << QByteArray("parity: even\ndatabits: 7\nstopbits: 2\n") << odd81 << QStringLiteral("8O1");
}

void TestSerialFraming::framingReachesThePort()
{
    QFETCH(QByteArray, protocol);
    QFETCH(QByteArray, keys);
    QFETCH(QVariantMap, properties);
    QFETCH(QString, framing);

    PtyPeer peer;
    QVERIFY(peer.isOpen());
    DescriptionDir dir;
    VelmorDeviceModel model(dir.write(QStringLiteral("device.yml"),
                                      "protocol: " + protocol + "\nport: " + peer.slavePath().toUtf8()
                                          + "\nbaudrate: 19200\nid: 1\n" + keys + "variables: []\n"));
    QVERIFY(model.valid());
    for (auto it = properties.cbegin(); it != properties.cend(); ++it)
        QVERIFY(model.setProperty(qPrintable(it.key()), it.value()));
    model.connectDevice();
    QVERIFY(model.connected());

    QCOMPARE(portFraming(model.findChild<QSerialPort *>()), framing);
    // Of the three, only the stop bits reach a pseudo-terminal.
    QCOMPARE(peer.stopBits(), framing.right(1).toInt());
}

void TestSerialFraming::changeTakesEffectAtTheNextConnect()
{
    PtyPeer peer;
    QVERIFY(peer.isOpen());
    DescriptionDir dir;
    VelmorDeviceModel model(dir.write(QStringLiteral("device.yml"), "protocol: VelmorBUS RTU\nport: "
                                                                        + peer.slavePath().toUtf8()
                                                                        + "\nvariables: []\n"));
    model.connectDevice();
    const auto *port = model.findChild<QSerialPort *>();
    model.setParity(QStringLiteral("even"));
    model.setStopBits(2);
    QCOMPARE(portFraming(port), QStringLiteral("8N1"));
    QCOMPARE(peer.stopBits(), 1);

    model.disconnectDevice();
    model.connectDevice();
    QCOMPARE(portFraming(port), QStringLiteral("8E2"));
    QCOMPARE(peer.stopBits(), 2);
}

void TestSerialFraming::settersIgnoreWhatNoLineTakes()
{
    DescriptionDir dir;
    VelmorDeviceModel model(dir.write(QStringLiteral("device.yml"),
                                      "protocol: ModBUS RTU\nparity: even\ndatabits: 7\nstopbits: 2\nvariables: []\n"));
    QVERIFY(model.valid());
    QSignalSpy parityChanged(&model, &VelmorDeviceModel::parityChanged);
    QSignalSpy dataBitsChanged(&model, &VelmorDeviceModel::dataBitsChanged);
    QSignalSpy stopBitsChanged(&model, &VelmorDeviceModel::stopBitsChanged);

    QTest::ignoreMessage(QtWarningMsg, "(VelmorDeviceModel) Bad value of parity setting: Odd");
    model.setParity(QStringLiteral("Odd"));
    QTest::ignoreMessage(QtWarningMsg, "(VelmorDeviceModel) Bad value of databits setting: 9");
    model.setDataBits(9);
    QTest::ignoreMessage(QtWarningMsg, "(VelmorDeviceModel) Bad value of stopbits setting: 3");
    model.setStopBits(3);
    QCOMPARE(model.parity(), QStringLiteral("even"));
    QCOMPARE(model.dataBits(), 7);
    QCOMPARE(model.stopBits(), 2);

    model.setParity(QStringLiteral("odd"));
    model.setParity(QStringLiteral("odd"));
    model.setDataBits(8);
    model.setStopBits(2);
    QCOMPARE(parityChanged.size(), 1);
    QCOMPARE(dataBitsChanged.size(), 1);
    QCOMPARE(stopBitsChanged.size(), 0);
    QCOMPARE(VelmorDeviceModel::parityNames(), (QStringList{"none", "even", "odd"}));
}

QTEST_MAIN(TestSerialFraming)
#include "tst_serialframing.moc"
