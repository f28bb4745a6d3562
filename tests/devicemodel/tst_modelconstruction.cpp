#include "logcapture.h"
#include "logtexts.h"
#include "modelloader.h"
#include "velmordevicemodel.h"

#include <QtTest>

namespace {
const QString unableToOpen = QStringLiteral("(VelmorDeviceModel) Unable to open configuration file");
const QString unableToParse = QStringLiteral("(VelmorDeviceModel) Unable to parse configuration file");
const QString notSpecified = QStringLiteral("(VelmorDeviceModel) Device protocol not specified");
const QString notSupported = QStringLiteral("(VelmorDeviceModel) Device protocol not supported");
const QString velmorTcp = QStringLiteral("(VelmorDeviceModel) VelmorBUS TCP proto not suported yet");
const QString noVariables = QStringLiteral("(VelmorDeviceModel) No variables block in configuration file");

QString badConversion(const QString &key, int defaultValue)
{
    return QStringLiteral("Bad conversion of %1 field, using default (%2)").arg(key).arg(defaultValue);
}

}

class TestModelConstruction : public QObject
{
    Q_OBJECT

private slots:
    void refusals_data();
    void refusals();
    void missingFile();
    void refusedFileLeavesEmptyTree();
    void velmorTcpStopsBeforeLinkSettings();
    void missingVariablesKeepsLinkSettings();
    void unsupportedProtocolKeepsItsText();
    void boilerRoomExample();
    void startingValues();
    void protocols_data();
    void protocols();
    void intSettings_data();
    void intSettings();
    void textSettings_data();
    void textSettings();
    void deviceName_data();
    void deviceName();
    void emptyVariables();
    void unknownKeysAreIgnored();
    void onlyFirstDocumentIsRead();
};

void TestModelConstruction::refusals_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("protocolCode");

    QTest::newRow("empty file") << QByteArray() << notSpecified << -1;
    QTest::newRow("only a comment") << QByteArray("# nothing here\n") << notSpecified << -1;
    QTest::newRow("only a document marker") << QByteArray("---\n") << notSpecified << -1;
    QTest::newRow("top level sequence")
        << QByteArray("- protocol: ModBUS RTU\n  variables: []\n") << notSpecified << -1;
    QTest::newRow("top level scalar") << QByteArray("ModBUS RTU\n") << notSpecified << -1;
    QTest::newRow("no protocol key")
        << QByteArray("device: Pump\nport: COM2\nvariables: []\n") << notSpecified << -1;
    QTest::newRow("protocol key in another case")
        << QByteArray("Protocol: ModBUS RTU\nvariables: []\n") << notSpecified << -1;
    QTest::newRow("protocol in lower case")
        << QByteArray("protocol: modbus rtu\nvariables: []\n") << notSupported << -1;
    QTest::newRow("protocol in upper case")
        << QByteArray("protocol: MODBUS RTU\nvariables: []\n") << notSupported << -1;
    QTest::newRow("protocol with a trailing blank")
        << QByteArray("protocol: \"ModBUS RTU \"\nvariables: []\n") << notSupported << -1;
    QTest::newRow("protocol without its blank")
        << QByteArray("protocol: ModBUSRTU\nvariables: []\n") << notSupported << -1;
    QTest::newRow("protocol as a sequence")
        << QByteArray("protocol: [ModBUS RTU]\nvariables: []\n") << notSupported << -1;
    QTest::newRow("protocol as a mapping")
        << QByteArray("protocol: {ModBUS: RTU}\nvariables: []\n") << notSupported << -1;
    QTest::newRow("protocol without a value")
        << QByteArray("protocol:\nvariables: []\n") << notSupported << -1;
    QTest::newRow("VelmorBUS TCP")
        << QByteArray("protocol: VelmorBUS TCP\nvariables: []\n") << velmorTcp << 1;
    QTest::newRow("no variables key") << QByteArray("protocol: ModBUS RTU\n") << noVariables << 2;
    QTest::newRow("variables without a value")
        << QByteArray("protocol: ModBUS RTU\nvariables:\n") << noVariables << 2;
    QTest::newRow("variables as a mapping")
        << QByteArray("protocol: VelmorBUS RTU\nvariables:\n  addr: 1\n  type: int16\n") << noVariables << 0;
    QTest::newRow("variables as a scalar")
        << QByteArray("protocol: ModBUS TCP\nvariables: 5\n") << noVariables << 3;
    QTest::newRow("variables key in another case")
        << QByteArray("protocol: ModBUS RTU\nVariables: []\n") << noVariables << 2;
    const auto badValue = [](const char *key, const char *value) {
        return QStringLiteral("(VelmorDeviceModel) Bad value of %1 field: %2").arg(QLatin1String(key), QLatin1String(value));
    };
    QTest::newRow("block past 125") << QByteArray("protocol: ModBUS TCP\nblock: 126\nvariables: []\n") << badValue("block", "126") << 3;
    QTest::newRow("block negative") << QByteArray("protocol: ModBUS TCP\nblock: -1\nvariables: []\n") << badValue("block", "-1") << 3;
    QTest::newRow("block as a word") << QByteArray("protocol: ModBUS RTU\nblock: all\nvariables: []\n") << badValue("block", "all") << 2;
    QTest::newRow("gap past 124") << QByteArray("protocol: ModBUS TCP\ngap: 125\nvariables: []\n") << badValue("gap", "125") << 3;
    QTest::newRow("gap with a fraction") << QByteArray("protocol: ModBUS TCP\ngap: 1.5\nvariables: []\n") << badValue("gap", "1.5") << 3;
    QTest::newRow("timeout below 10 ms") << QByteArray("protocol: VelmorBUS RTU\ntimeout: 9\nvariables: []\n") << badValue("timeout", "9") << 0;
    QTest::newRow("timeout 0") << QByteArray("protocol: ModBUS RTU\ntimeout: 0\nvariables: []\n") << badValue("timeout", "0") << 2;
    QTest::newRow("timeout past 60000 ms") << QByteArray("protocol: ModBUS TCP\ntimeout: 60001\nvariables: []\n") << badValue("timeout", "60001") << 3;
    QTest::newRow("timeout with a unit") << QByteArray("protocol: ModBUS TCP\ntimeout: 250ms\nvariables: []\n") << badValue("timeout", "250ms") << 3;
    QTest::newRow("timeout without a value") << QByteArray("protocol: ModBUS TCP\ntimeout:\nvariables: []\n") << badValue("timeout", "") << 3;
    QTest::newRow("retries past 10") << QByteArray("protocol: ModBUS TCP\nretries: 11\nvariables: []\n") << badValue("retries", "11") << 3;
    QTest::newRow("retries as a sequence") << QByteArray("protocol: ModBUS TCP\nretries: [1]\nvariables: []\n") << badValue("retries", "") << 3;
    QTest::newRow("retries beyond int") << QByteArray("protocol: ModBUS RTU\nretries: 99999999999\nvariables: []\n") << badValue("retries", "99999999999") << 2;
    QTest::newRow("parity as a letter") << QByteArray("protocol: ModBUS RTU\nparity: E\nvariables: []\n") << badValue("parity", "E") << 2;
    QTest::newRow("parity capitalised") << QByteArray("protocol: VelmorBUS RTU\nparity: Even\nvariables: []\n") << badValue("parity", "Even") << 0;
    QTest::newRow("parity mark") << QByteArray("protocol: ModBUS RTU\nparity: mark\nvariables: []\n") << badValue("parity", "mark") << 2;
    QTest::newRow("databits 9") << QByteArray("protocol: ModBUS RTU\ndatabits: 9\nvariables: []\n") << badValue("databits", "9") << 2;
    QTest::newRow("databits 5") << QByteArray("protocol: VelmorBUS RTU\ndatabits: 5\nvariables: []\n") << badValue("databits", "5") << 0;
    QTest::newRow("stopbits 1.5") << QByteArray("protocol: ModBUS RTU\nstopbits: 1.5\nvariables: []\n") << badValue("stopbits", "1.5") << 2;
    QTest::newRow("stopbits 0") << QByteArray("protocol: VelmorBUS RTU\nstopbits: 0\nvariables: []\n") << badValue("stopbits", "0") << 0;
    QTest::newRow("unclosed flow sequence")
        << QByteArray("protocol: [ModBUS RTU\nvariables: []\n") << unableToParse << -1;
    QTest::newRow("tab indentation")
        << QByteArray("protocol: ModBUS RTU\nvariables:\n\t- addr: 1\n") << unableToParse << -1;
    QTest::newRow("map value at a wrong indent")
        << QByteArray("protocol: ModBUS RTU\n  variables: []\n") << unableToParse << -1;
    QTest::newRow("undefined alias")
        << QByteArray("protocol: ModBUS RTU\nvariables: [*nowhere]\n") << unableToParse << -1;
}

void TestModelConstruction::refusals()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, message);
    QFETCH(int, protocolCode);

    ModelLoader loader;
    LogCapture log;
    const auto model = loader.load(contents);

    QVERIFY(!model->valid());
    QCOMPARE(model->devProto(), protocolCode);
    QCOMPARE(model->devId(), 0);
    QCOMPARE(logTexts(log, QtCriticalMsg), QStringList {message});
    QCOMPARE(logTexts(log, QtWarningMsg), QStringList());
}

void TestModelConstruction::missingFile()
{
    ModelLoader loader;
    LogCapture log;
    const auto model = loader.loadPath(loader.folder() + QStringLiteral("/absent.yml"));

    QVERIFY(!model->valid());
    QCOMPARE(logTexts(log, QtCriticalMsg), QStringList {unableToOpen});
    QCOMPARE(model->devProto(), -1);
    QCOMPARE(model->devName(), QStringLiteral("Unknown Device"));
    QCOMPARE(model->devProtoName(), QString());
    QCOMPARE(model->varCount(), 0);
    QCOMPARE(model->rowCount(), 0);
}

void TestModelConstruction::refusedFileLeavesEmptyTree()
{
    ModelLoader loader;
    const auto model = loader.load("device: Pump\nprotocol: ModBUS RTU\nvariables: [ {addr: 1}\n");

    QVERIFY(!model->valid());
    QCOMPARE(model->devName(), QStringLiteral("Unknown Device"));
    QCOMPARE(model->devProtoName(), QString());
    QCOMPARE(model->devProto(), -1);
    QCOMPARE(model->varCount(), 0);
}

void TestModelConstruction::velmorTcpStopsBeforeLinkSettings()
{
    ModelLoader loader;
    LogCapture log;
    const auto model = loader.load("protocol: VelmorBUS TCP\n"
                                   "port: COM7\n"
                                   "baudrate: 9600\n"
                                   "host: 10.0.0.9\n"
                                   "id: 5\n"
                                   "variables: []\n");

    QVERIFY(!model->valid());
    QCOMPARE(model->devProto(), 1);
    QCOMPARE(model->devProtoName(), QStringLiteral("VelmorBUS TCP"));
    QCOMPARE(model->devId(), 0);
    QCOMPARE(model->serialPort(), QString());
    QCOMPARE(model->baudRate(), 0);
    QCOMPARE(model->tcpHost(), QString());
    QCOMPARE(model->tcpPort(), 0);
    QCOMPARE(logTexts(log, QtCriticalMsg), QStringList {velmorTcp});
}

void TestModelConstruction::missingVariablesKeepsLinkSettings()
{
    ModelLoader loader;
    LogCapture log;
    const auto model = loader.load("device: Heat meter\n"
                                   "protocol: ModBUS TCP\n"
                                   "host: 10.0.0.5\n"
                                   "port: 1502\n"
                                   "id: 7\n");

    QVERIFY(!model->valid());
    QCOMPARE(logTexts(log, QtCriticalMsg), QStringList {noVariables});
    QCOMPARE(model->devProto(), 3);
    QCOMPARE(model->tcpHost(), QStringLiteral("10.0.0.5"));
    QCOMPARE(model->tcpPort(), 1502);
    QCOMPARE(model->devId(), 7);
    QCOMPARE(model->devName(), QStringLiteral("Heat meter"));
    QCOMPARE(model->devProtoName(), QStringLiteral("ModBUS TCP"));
}

void TestModelConstruction::unsupportedProtocolKeepsItsText()
{
    ModelLoader loader;
    const auto model = loader.load("protocol: modbus rtu\nid: 4\nvariables: []\n");

    QVERIFY(!model->valid());
    QCOMPARE(model->devProtoName(), QStringLiteral("modbus rtu"));
    QCOMPARE(model->devProto(), -1);
    QCOMPARE(model->devId(), 0);
}

void TestModelConstruction::boilerRoomExample()
{
    ModelLoader loader;
    LogCapture log;
    const auto model = loader.load(ModelLoader::boilerRoom());

    QVERIFY(model->valid());
    QCOMPARE(logTexts(log, QtCriticalMsg), QStringList());
    QCOMPARE(logTexts(log, QtWarningMsg), QStringList());
    QCOMPARE(model->devName(), QStringLiteral("Boiler room 2"));
    QCOMPARE(model->devProto(), 2);
    QCOMPARE(model->devProtoName(), QStringLiteral("ModBUS RTU"));
    QCOMPARE(model->serialPort(), QStringLiteral("COM3"));
    QCOMPARE(model->baudRate(), 19200);
    QCOMPARE(model->devId(), 1);
    QCOMPARE(model->varCount(), 3);
    QCOMPARE(model->getVarAttr(0, QStringLiteral("name")), QVariant(QStringLiteral("T1")));
    QCOMPARE(model->getVarAttr(2, QStringLiteral("name")), QVariant(QStringLiteral("K")));
    QVERIFY(!model->flags(model->index(0, 2)).testFlag(Qt::ItemIsEditable));
    QVERIFY(model->flags(model->index(1, 2)).testFlag(Qt::ItemIsEditable));
    QVERIFY(model->flags(model->index(2, 2)).testFlag(Qt::ItemIsEditable));
}

void TestModelConstruction::startingValues()
{
    ModelLoader loader;
    const auto model = loader.load(ModelLoader::boilerRoom());

    QVERIFY(model->valid());
    QCOMPARE(model->connected(), false);
    QCOMPARE(model->autoUpdate(), false);
    QCOMPARE(model->interUpdateDelay(), 1000);
    QCOMPARE(model->interQueryDelay(), 50);
}

void TestModelConstruction::protocols_data()
{
    QTest::addColumn<QByteArray>("protocol");
    QTest::addColumn<int>("protocolCode");
    QTest::addColumn<QString>("serialPort");
    QTest::addColumn<int>("baudRate");
    QTest::addColumn<QString>("tcpHost");
    QTest::addColumn<int>("tcpPort");
    QTest::addColumn<bool>("storesConfiguration");

    QTest::newRow("VelmorBUS RTU") << QByteArray("VelmorBUS RTU") << 0
                                   << QStringLiteral("COM1") << 115200 << QString() << 0 << true;
    QTest::newRow("ModBUS RTU") << QByteArray("ModBUS RTU") << 2
                                << QStringLiteral("COM1") << 115200 << QString() << 0 << false;
    QTest::newRow("ModBUS TCP") << QByteArray("ModBUS TCP") << 3
                                << QString() << 0 << QStringLiteral("127.0.0.1") << 502 << false;
}

void TestModelConstruction::protocols()
{
    QFETCH(QByteArray, protocol);
    QFETCH(int, protocolCode);
    QFETCH(QString, serialPort);
    QFETCH(int, baudRate);
    QFETCH(QString, tcpHost);
    QFETCH(int, tcpPort);
    QFETCH(bool, storesConfiguration);

    ModelLoader loader;
    LogCapture log;
    const auto model = loader.load("protocol: " + protocol + "\nvariables: []\n");

    QVERIFY(model->valid());
    QCOMPARE(logTexts(log, QtCriticalMsg), QStringList());
    QCOMPARE(logTexts(log, QtWarningMsg), QStringList());
    QCOMPARE(model->devProto(), protocolCode);
    QCOMPARE(model->devProtoName(), QString::fromLatin1(protocol));
    QCOMPARE(model->serialPort(), serialPort);
    QCOMPARE(model->baudRate(), baudRate);
    QCOMPARE(model->tcpHost(), tcpHost);
    QCOMPARE(model->tcpPort(), tcpPort);
    QCOMPARE(model->devId(), 0);
    QCOMPARE(model->canStoreConfiguration(), storesConfiguration);
}

void TestModelConstruction::intSettings_data()
{
    QTest::addColumn<QByteArray>("protocol");
    QTest::addColumn<QByteArray>("setting");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("warning");

    const QByteArray rtu("ModBUS RTU");
    const QByteArray tcp("ModBUS TCP");
    const QByteArray velmor("VelmorBUS RTU");

    QTest::newRow("baudrate decimal") << rtu << QByteArray("baudrate: 19200") << QByteArray("baudRate") << 19200 << QString();
    QTest::newRow("baudrate hexadecimal 0x2580") << rtu << QByteArray("baudrate: 0x2580") << QByteArray("baudRate") << 9600 << QString();
    QTest::newRow("baudrate with a trailing blank") << velmor << QByteArray("baudrate: \"9600 \"") << QByteArray("baudRate") << 9600 << QString();
    QTest::newRow("baudrate with a leading blank") << velmor << QByteArray("baudrate: \" 9600\"") << QByteArray("baudRate") << 115200 << badConversion("baudrate", 115200);
    QTest::newRow("baudrate without a value") << rtu << QByteArray("baudrate:") << QByteArray("baudRate") << 115200 << badConversion("baudrate", 115200);
    QTest::newRow("baudrate as a mapping") << rtu << QByteArray("baudrate: {bps: 9600}") << QByteArray("baudRate") << 115200 << badConversion("baudrate", 115200);
    QTest::newRow("baudrate as a sequence") << rtu << QByteArray("baudrate: [9600]") << QByteArray("baudRate") << 115200 << badConversion("baudrate", 115200);
    QTest::newRow("baudrate as a word") << velmor << QByteArray("baudrate: fast") << QByteArray("baudRate") << 115200 << badConversion("baudrate", 115200);
    QTest::newRow("baudrate with a fraction") << rtu << QByteArray("baudrate: 9600.5") << QByteArray("baudRate") << 115200 << badConversion("baudrate", 115200);
    QTest::newRow("baudrate beyond int") << rtu << QByteArray("baudrate: 99999999999") << QByteArray("baudRate") << 115200 << badConversion("baudrate", 115200);
    QTest::newRow("baudrate not read for TCP") << tcp << QByteArray("baudrate: fast") << QByteArray("baudRate") << 0 << QString();
    QTest::newRow("id octal 010") << rtu << QByteArray("id: 010") << QByteArray("devId") << 8 << QString();
    QTest::newRow("id 12abc") << rtu << QByteArray("id: 12abc") << QByteArray("devId") << 0 << badConversion("id", 0);
    QTest::newRow("id 08 is no octal") << velmor << QByteArray("id: 08") << QByteArray("devId") << 0 << badConversion("id", 0);
    QTest::newRow("id hexadecimal") << velmor << QByteArray("id: 0x21") << QByteArray("devId") << 33 << QString();
    QTest::newRow("id with a plus sign") << tcp << QByteArray("id: +5") << QByteArray("devId") << 5 << QString();
    QTest::newRow("id negative") << tcp << QByteArray("id: -1") << QByteArray("devId") << -1 << QString();
    QTest::newRow("id quoted number") << rtu << QByteArray("id: '17'") << QByteArray("devId") << 17 << QString();
    QTest::newRow("id without a value") << tcp << QByteArray("id:") << QByteArray("devId") << 0 << badConversion("id", 0);
    QTest::newRow("TCP port decimal") << tcp << QByteArray("port: 1502") << QByteArray("tcpPort") << 1502 << QString();
    QTest::newRow("TCP port hexadecimal") << tcp << QByteArray("port: 0x5DC") << QByteArray("tcpPort") << 1500 << QString();
    QTest::newRow("TCP port abc") << tcp << QByteArray("port: abc") << QByteArray("tcpPort") << 502 << badConversion("port", 502);
    QTest::newRow("TCP port as a serial name") << tcp << QByteArray("port: COM3") << QByteArray("tcpPort") << 502 << badConversion("port", 502);
    QTest::newRow("block 125") << tcp << QByteArray("block: 125") << QByteArray("blockRegisters") << 125 << QString();
    QTest::newRow("block absent") << tcp << QByteArray() << QByteArray("blockRegisters") << 0 << QString();
    QTest::newRow("gap 124") << rtu << QByteArray("gap: 124") << QByteArray("gapRegisters") << 124 << QString();
    QTest::newRow("timeout 10 ms") << velmor << QByteArray("timeout: 10") << QByteArray("responseTimeoutMs") << 10 << QString();
    QTest::newRow("timeout 60000 ms hexadecimal") << tcp << QByteArray("timeout: 0xEA60") << QByteArray("responseTimeoutMs") << 60000 << QString();
    QTest::newRow("timeout absent") << velmor << QByteArray() << QByteArray("responseTimeoutMs") << 0 << QString();
    QTest::newRow("retries 10") << rtu << QByteArray("retries: 10") << QByteArray("retries") << 10 << QString();
    QTest::newRow("databits 7") << rtu << QByteArray("databits: 7") << QByteArray("dataBits") << 7 << QString();
    QTest::newRow("databits absent") << velmor << QByteArray() << QByteArray("dataBits") << 8 << QString();
    QTest::newRow("stopbits 2") << velmor << QByteArray("stopbits: 2") << QByteArray("stopBits") << 2 << QString();
    QTest::newRow("stopbits absent") << rtu << QByteArray() << QByteArray("stopBits") << 1 << QString();
    QTest::newRow("stopbits not read for TCP") << tcp << QByteArray("stopbits: 3") << QByteArray("stopBits") << 1 << QString();
    QTest::newRow("serial port name not read as a number") << rtu << QByteArray("port: abc") << QByteArray("tcpPort") << 0 << QString();
}

void TestModelConstruction::intSettings()
{
    QFETCH(QByteArray, protocol);
    QFETCH(QByteArray, setting);
    QFETCH(QByteArray, property);
    QFETCH(int, expected);
    QFETCH(QString, warning);

    ModelLoader loader;
    LogCapture log;
    const auto model = loader.load("protocol: " + protocol + "\n" + setting + "\nvariables: []\n");

    QVERIFY(model->valid());
    QCOMPARE(model->property(property.constData()).toInt(), expected);
    QStringList warnings;
    if (!warning.isEmpty())
        warnings.append(warning);
    QCOMPARE(logTexts(log, QtWarningMsg), warnings);
    QCOMPARE(logTexts(log, QtCriticalMsg), QStringList());
}

void TestModelConstruction::textSettings_data()
{
    QTest::addColumn<QByteArray>("protocol");
    QTest::addColumn<QByteArray>("setting");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("expected");

    const QByteArray rtu("ModBUS RTU");
    const QByteArray tcp("ModBUS TCP");
    const QByteArray velmor("VelmorBUS RTU");

    QTest::newRow("serial port device path") << velmor << QByteArray("port: /dev/ttyUSB0") << QByteArray("serialPort") << QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("serial port given as a number") << rtu << QByteArray("port: 502") << QByteArray("serialPort") << QStringLiteral("502");
    QTest::newRow("serial port hexadecimal text kept") << rtu << QByteArray("port: 0x10") << QByteArray("serialPort") << QStringLiteral("0x10");
    QTest::newRow("TCP port not taken as serial port") << tcp << QByteArray("port: 1502") << QByteArray("serialPort") << QString();
    QTest::newRow("host name") << tcp << QByteArray("host: plc.local") << QByteArray("tcpHost") << QStringLiteral("plc.local");
    QTest::newRow("host address") << tcp << QByteArray("host: 192.168.1.20") << QByteArray("tcpHost") << QStringLiteral("192.168.1.20");
    QTest::newRow("host not read for serial") << rtu << QByteArray("host: plc.local") << QByteArray("tcpHost") << QString();
    QTest::newRow("parity even") << rtu << QByteArray("parity: even") << QByteArray("parity") << QStringLiteral("even");
    QTest::newRow("parity odd") << velmor << QByteArray("parity: odd") << QByteArray("parity") << QStringLiteral("odd");
    QTest::newRow("parity absent") << velmor << QByteArray() << QByteArray("parity") << QStringLiteral("none");
    QTest::newRow("parity not read for TCP") << tcp << QByteArray("parity: sometimes") << QByteArray("parity") << QStringLiteral("none");
}

void TestModelConstruction::textSettings()
{
    QFETCH(QByteArray, protocol);
    QFETCH(QByteArray, setting);
    QFETCH(QByteArray, property);
    QFETCH(QString, expected);

    ModelLoader loader;
    LogCapture log;
    const auto model = loader.load("protocol: " + protocol + "\n" + setting + "\nvariables: []\n");

    QVERIFY(model->valid());
    QCOMPARE(model->property(property.constData()).toString(), expected);
    QCOMPARE(logTexts(log, QtCriticalMsg), QStringList());
    QCOMPARE(logTexts(log, QtWarningMsg), QStringList());
}

void TestModelConstruction::deviceName_data()
{
    QTest::addColumn<QByteArray>("setting");
    QTest::addColumn<QString>("expected");

    QTest::newRow("absent") << QByteArray() << QStringLiteral("Unknown Device");
    QTest::newRow("plain text") << QByteArray("device: Pump station 4") << QStringLiteral("Pump station 4");
    QTest::newRow("UTF-8 text") << QByteArray("device: Котельная №2") << QStringLiteral("Котельная №2");
    QTest::newRow("number kept as written") << QByteArray("device: 0x2A") << QStringLiteral("0x2A");
    QTest::newRow("quoted with blanks") << QByteArray("device: '  Tank  '") << QStringLiteral("  Tank  ");
    QTest::newRow("mapping gives empty text") << QByteArray("device: {name: Tank}") << QString("");
    QTest::newRow("sequence gives empty text") << QByteArray("device: [Tank]") << QString("");
    QTest::newRow("key in another case") << QByteArray("Device: Tank") << QStringLiteral("Unknown Device");
}

void TestModelConstruction::deviceName()
{
    QFETCH(QByteArray, setting);
    QFETCH(QString, expected);

    ModelLoader loader;
    const auto model = loader.load(setting + "\nprotocol: ModBUS RTU\nvariables: []\n");

    QVERIFY(model->valid());
    QCOMPARE(model->devName(), expected);
}

void TestModelConstruction::emptyVariables()
{
    ModelLoader loader;
    LogCapture log;
    const auto model = loader.load("protocol: ModBUS RTU\nvariables: []\n");

    QVERIFY(model->valid());
    QCOMPARE(logTexts(log, QtCriticalMsg), QStringList());
    QCOMPARE(logTexts(log, QtWarningMsg), QStringList());
    QCOMPARE(model->varCount(), 0);
    QCOMPARE(model->rowCount(), 0);
}

void TestModelConstruction::unknownKeysAreIgnored()
{
    ModelLoader loader;
    LogCapture log;
    const auto model = loader.load("vendor: Acme\n"
                                   "protocol: ModBUS RTU\n"
                                   "extra: {nested: [1, 2, {deep: true}]}\n"
                                   "polling: soon\n"
                                   "variables:\n"
                                   "  - name: T1\n"
                                   "    addr: 1\n"
                                   "    unit: °C\n"
                                   "    scale: [1, 10]\n");

    QVERIFY(model->valid());
    QCOMPARE(logTexts(log, QtCriticalMsg), QStringList());
    QCOMPARE(logTexts(log, QtWarningMsg), QStringList());
    QCOMPARE(model->varCount(), 1);
    QCOMPARE(model->getVarAttr(0, QStringLiteral("unit")), QVariant(QStringLiteral("°C")));
}

void TestModelConstruction::onlyFirstDocumentIsRead()
{
    ModelLoader loader;
    LogCapture log;
    const auto model = loader.load("protocol: ModBUS RTU\n"
                                   "variables: [{addr: 1}]\n"
                                   "---\n"
                                   "protocol: VelmorBUS TCP\n"
                                   "variables: [{addr: 1}, {addr: 2}]\n");

    QVERIFY(model->valid());
    QCOMPARE(model->devProtoName(), QStringLiteral("ModBUS RTU"));
    QCOMPARE(model->varCount(), 1);
    QCOMPARE(logTexts(log, QtCriticalMsg), QStringList());
    QCOMPARE(logTexts(log, QtWarningMsg), QStringList());
}

QTEST_GUILESS_MAIN(TestModelConstruction)
#include "tst_modelconstruction.moc"
