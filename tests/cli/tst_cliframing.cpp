#include "descriptiondir.h"
#include "options.h"
#include "pollsession.h"
#include "portframing.h"
#include "ptypeer.h"

#include <QSerialPort>
#include <QtTest>

// velmor-cli's --parity, --databits and --stopbits over the description's framing: what
// a poll session asks of the serial port its model opens.
class TestCliFraming : public QObject
{
    Q_OBJECT

private slots:
    void optionsOverrideTheFile_data();
    void optionsOverrideTheFile();
};

void TestCliFraming::optionsOverrideTheFile_data()
{
    QTest::addColumn<QByteArray>("protocol");
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("framing");

    const QByteArray modbus("ModBUS RTU");
    const QByteArray velmorbus("VelmorBUS RTU");
    const QByteArray sevenEvenTwo("parity: even\ndatabits: 7\nstopbits: 2\n");
    QTest::newRow("Modbus RTU, neither: 8N1") << modbus << QByteArray() << QStringList() << QStringLiteral("8N1");
    QTest::newRow("Modbus RTU, --parity even: 8E1")
        << modbus << QByteArray() << QStringList{"--parity", "even"} << QStringLiteral("8E1");
    QTest::newRow("Modbus RTU, file 8O1, --stopbits 2: 8O2")
        << modbus << QByteArray("parity: odd\n") << QStringList{"--stopbits", "2"} << QStringLiteral("8O2");
    QTest::newRow("Velmorbus, file 7E2: 7E2") << velmorbus << sevenEvenTwo << QStringList() << QStringLiteral("7E2");
    QTest::newRow("Velmorbus, file 7E2, options 8N1: 8N1")
        << velmorbus << sevenEvenTwo << QStringList{"--parity", "none", "--databits", "8", "--stopbits", "1"}
        << QStringLiteral("8N1");
}

void TestCliFraming::optionsOverrideTheFile()
{
    QFETCH(QByteArray, protocol);
    QFETCH(QByteArray, keys);
    QFETCH(QStringList, arguments);
    QFETCH(QString, framing);

    PtyPeer peer;
    QVERIFY(peer.isOpen());
    DescriptionDir dir;
    const QString file = dir.write(QStringLiteral("device.yml"), "protocol: " + protocol + "\nport: "
                                                                     + peer.slavePath().toUtf8() + "\nid: 1\n" + keys
                                                                     + "variables:\n  - {name: T1, addr: 1, type: int16}\n");
    Options options;
    QString message;
    QCOMPARE(Options::parse(QStringList{QStringLiteral("velmor-cli"), file} + arguments, &options, &message),
             Options::Outcome::Run);
    PollSession session(options, file);
    QVERIFY(session.prepare());
    // Nobody answers: the session holds the line open for the read in flight.
    session.start();

    QVERIFY(session.model()->connected());
    QCOMPARE(portFraming(session.model()->findChild<QSerialPort *>()), framing);
    QCOMPARE(peer.stopBits(), framing.right(1).toInt());
}

QTEST_MAIN(TestCliFraming)
#include "tst_cliframing.moc"
