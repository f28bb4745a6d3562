#include "descriptiondir.h"
#include "simprocess.h"

#include <QModbusReply>
#include <QModbusRtuSerialMaster>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QByteArray description = R"(device: Тестовый контроллер
protocol: ModBUS RTU
port: /dev/null
baudrate: 115200
id: 5
variables:
  - {name: IN32, addr: 0, type: int32, input: true, value: 0x12345678}
  - {name: W32, addr: 20, type: int32, rw: true}
)";

constexpr int ServerAddress = 5;
constexpr int ReplyTimeoutMs = 3000;
constexpr int WaitMs = 10000;

} // namespace

// velmor-sim serving Modbus RTU on a pseudo-terminal, talked to with Qt's RTU master.
class TestSimModbusRtu : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readsInputRegisters();
    void writeReadsBack();
    void otherServerAddressIsNotAnswered();
    void functionCodeWithTheExceptionBitIsRefused();

private:
    QModbusReply *finished(QModbusReply *reply);

    std::unique_ptr<QTemporaryDir> m_linkDir;
    std::unique_ptr<DescriptionDir> m_dir;
    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<QModbusRtuSerialMaster> m_client;
};

void TestSimModbusRtu::initTestCase()
{
    qRegisterMetaType<QModbusDevice::State>();
}

void TestSimModbusRtu::init()
{
    m_linkDir.reset(new QTemporaryDir);
    m_dir.reset(new DescriptionDir);
    m_sim.reset(new SimProcess);
    const QString link = m_linkDir->filePath(QStringLiteral("controller"));
    QVERIFY(m_sim->start({ "--static", "--pty", link, m_dir->write(QStringLiteral("device.yml"), description) }));

    m_client.reset(new QModbusRtuSerialMaster);
    m_client->setConnectionParameter(QModbusDevice::SerialPortNameParameter, link);
    m_client->setConnectionParameter(QModbusDevice::SerialBaudRateParameter, QSerialPort::Baud115200);
    m_client->setTimeout(ReplyTimeoutMs);
    m_client->setNumberOfRetries(0);
    QVERIFY(m_client->connectDevice());
    QCOMPARE(m_client->state(), QModbusDevice::ConnectedState);
}

void TestSimModbusRtu::cleanup()
{
    m_client.reset();
    m_sim.reset();
    m_dir.reset();
    m_linkDir.reset();
}

QModbusReply *TestSimModbusRtu::finished(QModbusReply *reply)
{
    if (reply && !reply->isFinished())
        QSignalSpy(reply, &QModbusReply::finished).wait(WaitMs);
    return reply;
}

void TestSimModbusRtu::readsInputRegisters()
{
    QModbusReply *reply = finished(m_client->sendReadRequest(
        QModbusDataUnit(QModbusDataUnit::InputRegisters, 0, 2), ServerAddress));
    QVERIFY(reply);
    QCOMPARE(reply->error(), QModbusDevice::NoError);
    QCOMPARE(reply->result().values(), QVector<quint16>({ 0x1234, 0x5678 }));
    delete reply;
}

void TestSimModbusRtu::writeReadsBack()
{
    // As the device model writes: function 0x10, upper half in the first register.
    const QByteArray data = QByteArray::fromHex("0014000204") + QByteArray::fromHex("12345678");
    QModbusReply *write = finished(m_client->sendRawRequest(
        QModbusRequest(QModbusPdu::WriteMultipleRegisters, data), ServerAddress));
    QVERIFY(write);
    QCOMPARE(write->error(), QModbusDevice::NoError);
    delete write;

    QModbusReply *read = finished(m_client->sendReadRequest(
        QModbusDataUnit(QModbusDataUnit::HoldingRegisters, 20, 2), ServerAddress));
    QVERIFY(read);
    QCOMPARE(read->error(), QModbusDevice::NoError);
    QCOMPARE(read->result().values(), QVector<quint16>({ 0x1234, 0x5678 }));
    delete read;
}

void TestSimModbusRtu::otherServerAddressIsNotAnswered()
{
    m_client->setTimeout(300);
    QModbusReply *reply = finished(m_client->sendReadRequest(
        QModbusDataUnit(QModbusDataUnit::InputRegisters, 0, 2), ServerAddress + 1));
    QVERIFY(reply);
    QCOMPARE(reply->error(), QModbusDevice::TimeoutError);
    delete reply;
}

void TestSimModbusRtu::functionCodeWithTheExceptionBitIsRefused()
{
    // Qt's RTU slave keeps such a code sign-extended in the request it hands on. It takes
    // a request of that code, as an exception, to carry one data byte.
    const QModbusRequest request(QModbusPdu::FunctionCode(0x83), QByteArray::fromHex("04"));
    QModbusReply *reply = finished(m_client->sendRawRequest(request, ServerAddress));
    QVERIFY(reply);
    QCOMPARE(reply->error(), QModbusDevice::ProtocolError);
    // The exception code is read from the data: the reply's function code is sign-extended too.
    QCOMPARE(reply->rawResult().data(), QByteArray(1, char(QModbusPdu::IllegalFunction)));
    delete reply;
    QTRY_VERIFY_WITH_TIMEOUT(m_sim->output().contains(" tx 83 01 | exception 0x01: function not served\n"), WaitMs);
}

QTEST_GUILESS_MAIN(TestSimModbusRtu)
#include "tst_simmodbusrtu.moc"
