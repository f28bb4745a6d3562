#include "clirunner.h"
#include "descriptiondir.h"
#include "fakevelmorcontroller.h"
#include "recordingmodbusserver.h"

#include <QFile>
#include <QHash>
#include <QtTest>

#include <memory>

namespace {

const QByteArray modbusVariables =
    "  - name: T1\n    addr: 2\n    type: int16\n"
    "  - name: A\n    addr: 0\n    type: int16\n    rw: true\n"
    "  - name: B\n    addr: 1\n    type: int16\n    rw: true\n"
    "  - name: F\n    addr: 3\n    type: float32\n    rw: true\n";

QByteArray modbusDescription(int port, const QByteArray &variables = modbusVariables)
{
    return "device: Test\nprotocol: ModBUS TCP\nhost: 127.0.0.1\nport: " + QByteArray::number(port)
           + "\nid: 1\nvariables:\n" + variables;
}

QByteArray writableInt16(const QByteArray &name, int addr)
{
    return "  - name: " + name + "\n    addr: " + QByteArray::number(addr) + "\n    type: int16\n    rw: true\n";
}

// Two bytes that are not UTF-8: the model shows both names as U+FFFD.
const QByteArray undecodableName = "\xff";
const QByteArray otherUndecodableName = "\xfe";
const QByteArray replacementCharacter = "\xef\xbf\xbd";

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

quint16 startAddress(const QModbusRequest &request)
{
    quint16 start = 0;
    request.decodeData(&start);
    return start;
}

// Answers a write to the register at address as done without storing it.
RecordingModbusServer::Override ignoredWriteAt(quint16 address)
{
    return [address](const QModbusRequest &request) -> QModbusResponse {
        if (request.functionCode() != QModbusPdu::WriteMultipleRegisters || startAddress(request) != address)
            return QModbusResponse();
        return QModbusResponse(request.functionCode(), request.data().left(4));
    };
}

RecordingModbusServer::Override refusedWriteAt(quint16 address)
{
    return [address](const QModbusRequest &request) -> QModbusResponse {
        if (request.functionCode() != QModbusPdu::WriteMultipleRegisters || startAddress(request) != address)
            return QModbusResponse();
        return QModbusExceptionResponse(request.functionCode(), QModbusPdu::ServerDeviceFailure);
    };
}

} // namespace

// velmor-cli writing a controller: --set with read-back, dump and restore, flash store.
class TestCliWriting : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void setIsReadBack();
    void setNotTakenIsListed();
    void refusedWriteExitsWithOne();
    void setIsRefusedBeforeConnecting_data();
    void setIsRefusedBeforeConnecting();
    void dumpThenRestoreRoundTrip();
    void failedDumpKeepsTheOldFile_data();
    void failedDumpKeepsTheOldFile();
    void sameNamesRestoreByAddress_data();
    void sameNamesRestoreByAddress();
    void ambiguousWriteIsRefused_data();
    void ambiguousWriteIsRefused();
    void restoreListsEveryDifference();
    void setWinsOverRestoredValue();
    void flashOnModbusIsOnlyANote();
    void velmorbusSetThenFlash();
    void velmorbusFlashRefused();

private:
    QString writeDescription(const QByteArray &variables = modbusVariables);
    QString writeVelmorbusDescription(FakeVelmorController *controller);
    void playMemoryController(FakeVelmorController *controller, int flashStatus);

    std::unique_ptr<DescriptionDir> m_dir;
    std::unique_ptr<CliRunner> m_cli;
    std::unique_ptr<RecordingModbusServer> m_server;
    QHash<quint16, QByteArray> m_memory;
};

void TestCliWriting::init()
{
    m_cli = std::make_unique<CliRunner>();
    m_dir = std::make_unique<DescriptionDir>();
    m_server = std::make_unique<RecordingModbusServer>();
    QVERIFY(m_server->listen());
    m_server->setHoldingRegisters(0, {11, 0xFFFB, 3, 0, 0});
    m_memory.clear();
}

void TestCliWriting::cleanup()
{
    // What the program said explains a failed check better than its exit code.
    if (QTest::currentTestFailed())
        qInfo().noquote() << "velmor-cli stdout:\n" << m_cli->out() << "\nvelmor-cli stderr:\n" << m_cli->err();
    m_cli.reset();
    m_server.reset();
    m_dir.reset();
}

QString TestCliWriting::writeDescription(const QByteArray &variables)
{
    return m_dir->write(QStringLiteral("device.yml"), modbusDescription(m_server->port(), variables));
}

QString TestCliWriting::writeVelmorbusDescription(FakeVelmorController *controller)
{
    return m_dir->write(QStringLiteral("velmorbus.yml"),
                        "protocol: VelmorBUS RTU\nport: " + controller->portName().toUtf8()
                            + "\nid: 1\nvariables:\n"
                              "  - name: Gain\n    addr: 0x20\n    type: float32\n    rw: true\n"
                              "  - name: Limit\n    addr: 0x24\n    type: int32\n    rw: true\n");
}

// A controller that keeps what is written and reads it back; the flash store
// (a write to 0xFD) is answered with flashStatus.
void TestCliWriting::playMemoryController(FakeVelmorController *controller, int flashStatus)
{
    controller->setHandler([this, flashStatus](const FakeVelmorController::Request &request) {
        if (request.cmd == VelmorBusPacket::CmdRead)
            return FakeVelmorController::readAnswer(request, m_memory.value(request.addr, QByteArray(4, '\0')));
        if (request.addr == 0xFD)
            return FakeVelmorController::writeAnswer(request, flashStatus);
        m_memory.insert(request.addr, request.data);
        return FakeVelmorController::writeAnswer(request);
    });
}

void TestCliWriting::setIsReadBack()
{
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({writeDescription(), QStringLiteral("--set"), QStringLiteral("A=42"), QStringLiteral("--set"),
                     QStringLiteral("B=-7")}));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(m_server->holdingRegister(0), quint16(42));
    QCOMPARE(m_server->holdingRegister(1), quint16(0xFFF9));
    QVERIFY2(cli.out().startsWith(QStringLiteral("Written: 2, not taken: 0\n")), qPrintable(cli.out()));
    QCOMPARE(cli.err(), QString());
}

void TestCliWriting::setNotTakenIsListed()
{
    m_server->setOverride(ignoredWriteAt(0));
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({writeDescription(), QStringLiteral("--set"), QStringLiteral("A=42"), QStringLiteral("--set"),
                     QStringLiteral("B=5")}));
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY2(cli.out().startsWith(QStringLiteral("Written: 2, not taken: 1\n  A: wrote 42, controller reports 11\n")),
             qPrintable(cli.out()));
    QCOMPARE(m_server->holdingRegister(1), quint16(5));
}

void TestCliWriting::refusedWriteExitsWithOne()
{
    m_server->setOverride(refusedWriteAt(0));
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({writeDescription(), QStringLiteral("--set"), QStringLiteral("A=42")}));
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY2(cli.err().startsWith(QStringLiteral("Writing variable A failed: ")), qPrintable(cli.err()));
    QVERIFY2(cli.out().contains(QStringLiteral("  A: write failed: ")), qPrintable(cli.out()));
    // A failed write is no failed read: every value of the cycle stands.
    QVERIFY(!cli.out().contains(QStringLiteral("not read in this cycle")));
    QCOMPARE(m_server->holdingRegister(0), quint16(11));
}

void TestCliWriting::setIsRefusedBeforeConnecting_data()
{
    QTest::addColumn<QString>("assignment");
    QTest::addColumn<QString>("reason");
    QTest::newRow("unknown name") << QStringLiteral("Z=1") << QStringLiteral("no variable named Z");
    QTest::newRow("read-only variable") << QStringLiteral("T1=1") << QStringLiteral("T1 is read-only");
    QTest::newRow("not a number") << QStringLiteral("A=abc") << QStringLiteral("A cannot hold the value \"abc\"");
    QTest::newRow("beyond signed 16 bits") << QStringLiteral("A=32768")
                                           << QStringLiteral("A cannot hold the value \"32768\": it takes -32768 to 32767");
    QTest::newRow("hexadecimal beyond signed 16 bits") << QStringLiteral("A=0x8000")
                                                       << QStringLiteral("A cannot hold the value \"0x8000\": it takes -32768 to 32767");
    QTest::newRow("number and unit") << QStringLiteral("A=7 kW") << QStringLiteral("A cannot hold the value \"7 kW\"");
    QTest::newRow("float NaN") << QStringLiteral("F=nan") << QStringLiteral("F cannot hold the value \"nan\"");
    QTest::newRow("float infinity") << QStringLiteral("F=inf")
                                    << QStringLiteral("F cannot hold the value \"inf\": it takes -3.402823466e+38 to 3.402823466e+38");
    QTest::newRow("float minus infinity") << QStringLiteral("F=-inf")
                                          << QStringLiteral("F cannot hold the value \"-inf\": it takes -3.402823466e+38 to 3.402823466e+38");
}

void TestCliWriting::setIsRefusedBeforeConnecting()
{
    QFETCH(QString, assignment);
    QFETCH(QString, reason);
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({writeDescription(), QStringLiteral("--set"), QStringLiteral("B=1"), QStringLiteral("--set"), assignment}));
    QCOMPARE(cli.exitCode(), 2);
    QCOMPARE(cli.err(), QStringLiteral("velmor-cli: --set %1: %2\n").arg(assignment, reason));
    QVERIFY(m_server->requests().isEmpty());
}

void TestCliWriting::dumpThenRestoreRoundTrip()
{
    const QString saved = m_dir->path() + QStringLiteral("/saved.yml");
    const QString description = writeDescription();
    CliRunner dump;
    QVERIFY(dump.run({description, QStringLiteral("--dump"), saved}));
    QCOMPARE(dump.exitCode(), 0);
    const QByteArray text = readFile(saved);
    QVERIFY2(text.contains("- name: A\n    addr: 0\n    value: 11\n"), text.constData());
    QVERIFY2(text.contains("- name: B\n    addr: 1\n    value: -5\n"), text.constData());
    QVERIFY2(!text.contains("name: T1"), text.constData());

    m_server->setHoldingRegisters(0, {0, 0});
    CliRunner &restore = *m_cli;
    QVERIFY(restore.run({description, QStringLiteral("--restore"), saved}));
    QCOMPARE(restore.exitCode(), 0);
    QCOMPARE(m_server->holdingRegister(0), quint16(11));
    QCOMPARE(m_server->holdingRegister(1), quint16(0xFFFB));
    QVERIFY2(restore.out().startsWith(QStringLiteral("Written: 3, not taken: 0\n")), qPrintable(restore.out()));
}

void TestCliWriting::failedDumpKeepsTheOldFile_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<qint64>("fileSizeLimit");
    QTest::addColumn<bool>("oldBackupThere");
    QTest::newRow("device that is full") << QStringLiteral("/dev/full") << qint64(0) << false;
    QTest::newRow("disk full") << QStringLiteral("%DIR/saved.yml") << qint64(64) << true;
    QTest::newRow("folder that does not exist") << QStringLiteral("%DIR/none/saved.yml") << qint64(0) << false;
}

void TestCliWriting::failedDumpKeepsTheOldFile()
{
    QFETCH(QString, target);
    QFETCH(qint64, fileSizeLimit);
    QFETCH(bool, oldBackupThere);
    target.replace(QStringLiteral("%DIR"), m_dir->path());
    const QByteArray oldBackup = "variables:\n  - {name: A, addr: 0, value: 1}\n";
    if (oldBackupThere)
        m_dir->write(QFileInfo(target).fileName(), oldBackup);
    CliRunner &cli = *m_cli;
    cli.limitFileSize(fileSizeLimit);
    QVERIFY(cli.run({writeDescription(), QStringLiteral("--dump"), target}));
    QCOMPARE(cli.exitCode(), 1);
    QVERIFY2(cli.err().startsWith(QStringLiteral("velmor-cli: cannot write %1: ").arg(target)), qPrintable(cli.err()));
    if (oldBackupThere)
        QCOMPARE(readFile(target), oldBackup);
}

// A dump restores to the variable it was taken from, told apart by its address.
void TestCliWriting::sameNamesRestoreByAddress_data()
{
    QTest::addColumn<QByteArray>("firstName");
    QTest::addColumn<QByteArray>("secondName");
    QTest::newRow("one name twice") << QByteArray("A") << QByteArray("A");
    QTest::newRow("names that decode alike") << undecodableName << otherUndecodableName;
}

void TestCliWriting::sameNamesRestoreByAddress()
{
    QFETCH(QByteArray, firstName);
    QFETCH(QByteArray, secondName);
    const QString description = writeDescription(writableInt16(firstName, 0) + writableInt16(secondName, 1));
    const QString saved = m_dir->path() + QStringLiteral("/saved.yml");
    m_server->setHoldingRegisters(0, {5, 6});
    CliRunner dump;
    QVERIFY(dump.run({description, QStringLiteral("--dump"), saved}));
    QCOMPARE(dump.exitCode(), 0);

    m_server->setHoldingRegisters(0, {0, 0});
    CliRunner &restore = *m_cli;
    QVERIFY(restore.run({description, QStringLiteral("--restore"), saved}));
    QCOMPARE(restore.exitCode(), 0);
    QVERIFY2(restore.out().startsWith(QStringLiteral("Written: 2, not taken: 0\n")), qPrintable(restore.out()));
    QCOMPARE(m_server->holdingRegister(0), quint16(5));
    QCOMPARE(m_server->holdingRegister(1), quint16(6));
}

void TestCliWriting::ambiguousWriteIsRefused_data()
{
    QTest::addColumn<QByteArray>("variables");
    QTest::addColumn<QByteArray>("restore");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const QStringList restoreArguments = {QStringLiteral("--restore"), QStringLiteral("%RESTORE")};
    QTest::newRow("restore: one name twice at one address")
        << writableInt16("A", 0) + writableInt16("A", 0) << QByteArray("variables:\n  - {name: A, addr: 0, value: 5}\n")
        << restoreArguments << QStringLiteral("%RESTORE: 2 writable variables are named A at address 0; nothing was written");
    QTest::newRow("restore: names that decode alike at one address")
        << writableInt16(undecodableName, 0) + writableInt16(otherUndecodableName, 0)
        << "variables:\n  - {name: " + replacementCharacter + ", addr: 0, value: 5}\n" << restoreArguments
        << QStringLiteral("%RESTORE: 2 writable variables are named \uFFFD at address 0; nothing was written");
    QTest::newRow("restore: one variable listed twice")
        << modbusVariables << QByteArray("variables:\n  - {name: A, addr: 0, value: 5}\n  - {name: A, addr: 0, value: 6}\n")
        << restoreArguments << QStringLiteral("cannot load %RESTORE: A at address 0 is listed twice");
    QTest::newRow("--set: one name twice")
        << writableInt16("A", 0) + writableInt16("A", 1) << QByteArray()
        << QStringList({QStringLiteral("--set"), QStringLiteral("A=5")})
        << QStringLiteral("--set A=5: 2 writable variables are named A");
}

void TestCliWriting::ambiguousWriteIsRefused()
{
    QFETCH(QByteArray, variables);
    QFETCH(QByteArray, restore);
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const QString restorePath = m_dir->write(QStringLiteral("saved.yml"), restore);
    arguments.replaceInStrings(QStringLiteral("%RESTORE"), restorePath);
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run(QStringList(writeDescription(variables)) + arguments));
    QCOMPARE(cli.exitCode(), 2);
    QCOMPARE(cli.err(), QStringLiteral("velmor-cli: %1\n").arg(message.replace(QStringLiteral("%RESTORE"), restorePath)));
    QCOMPARE(cli.out(), QString());
    QVERIFY(m_server->requests().isEmpty());
}

void TestCliWriting::restoreListsEveryDifference()
{
    m_server->setOverride(refusedWriteAt(0));
    const QString saved = m_dir->write(QStringLiteral("saved.yml"),
                                       "variables:\n"
                                       "  - {name: A, addr: 0, value: 12}\n"
                                       "  - {name: Z, addr: 9, value: 1}\n"
                                       "  - {name: T1, addr: 2, value: 4}\n"
                                       "  - {name: B, addr: 1, value: 6}\n");
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({writeDescription(), QStringLiteral("--restore"), saved}));
    QCOMPARE(cli.exitCode(), 1);
    const QStringList report = cli.out().split(QLatin1Char('\n')).mid(0, 4);
    QCOMPARE(report.at(0), QStringLiteral("Written: 2, not taken: 3"));
    QCOMPARE(report.at(1), QStringLiteral("  Z: not written: no variable named Z"));
    QCOMPARE(report.at(2), QStringLiteral("  T1: not written: T1 is read-only"));
    QVERIFY2(report.at(3).startsWith(QStringLiteral("  A: write failed: ")), qPrintable(report.at(3)));
    QCOMPARE(m_server->holdingRegister(1), quint16(6));
    QCOMPARE(m_server->holdingRegister(2), quint16(3));
}

void TestCliWriting::setWinsOverRestoredValue()
{
    const QString saved = m_dir->write(QStringLiteral("saved.yml"), "variables:\n  - {name: A, addr: 0, value: 12}\n");
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({writeDescription(), QStringLiteral("--restore"), saved, QStringLiteral("--set"), QStringLiteral("A=42")}));
    QCOMPARE(cli.exitCode(), 0);
    QVERIFY2(cli.out().startsWith(QStringLiteral("Written: 1, not taken: 0\n")), qPrintable(cli.out()));
    QCOMPARE(m_server->holdingRegister(0), quint16(42));
    QCOMPARE(m_server->requests().first().functionCode(), QModbusPdu::WriteMultipleRegisters);
    QCOMPARE(m_server->requests().at(1).functionCode(), QModbusPdu::ReadHoldingRegisters);
}

void TestCliWriting::flashOnModbusIsOnlyANote()
{
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({writeDescription(), QStringLiteral("--store-flash")}));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(cli.err(), QStringLiteral("velmor-cli: storing to flash is not supported on Modbus; nothing was sent\n"));
}

void TestCliWriting::velmorbusSetThenFlash()
{
    FakeVelmorController controller;
    QVERIFY(controller.peer().isOpen());
    playMemoryController(&controller, VelmorBusPacket::StatOk);
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({writeVelmorbusDescription(&controller), QStringLiteral("--set"), QStringLiteral("Gain=2.5"),
                     QStringLiteral("--set"), QStringLiteral("Limit=-100000"), QStringLiteral("--store-flash")}));
    QCOMPARE(cli.exitCode(), 0);
    QVERIFY2(cli.out().startsWith(QStringLiteral("Written: 2, not taken: 0\nConfiguration stored to flash.\n")),
             qPrintable(cli.out()));
    // Two writes and two reads, then the flash store ahead of the second cycle's reads.
    const QList<FakeVelmorController::Request> requests = controller.requests();
    QCOMPARE(requests.size(), 7);
    QCOMPARE(requests.at(4).addr, quint16(0xFD));
    QCOMPARE(requests.at(4).data, QByteArray::fromHex("01000000"));
    QCOMPARE(m_memory.value(0x20), QByteArray::fromHex("00002040"));
}

void TestCliWriting::velmorbusFlashRefused()
{
    FakeVelmorController controller;
    QVERIFY(controller.peer().isOpen());
    const int statusBusy = 0x20;
    playMemoryController(&controller, statusBusy);
    CliRunner &cli = *m_cli;
    QVERIFY(cli.run({writeVelmorbusDescription(&controller), QStringLiteral("--store-flash")}));
    QCOMPARE(cli.exitCode(), 1);
    QCOMPARE(cli.err(), QStringLiteral("Saving to FLASH failed\n"));
    QVERIFY(!cli.out().contains(QStringLiteral("stored to flash")));
    QVERIFY(!cli.out().contains(QStringLiteral("not read in this cycle")));
}

QTEST_MAIN(TestCliWriting)
#include "tst_cliwriting.moc"
