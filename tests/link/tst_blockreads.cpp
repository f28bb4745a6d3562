#include "cyclerun.h"
#include "descriptiondir.h"
#include "recordingmodbusserver.h"
#include "velmordevicemodel.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

// Modbus block reads: the requests that reach a real server, and what the model makes of them.
class TestBlockReads : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void requestsReachingTheServer_data();
    void requestsReachingTheServer();
    void valuesAndSignalsFollowTheList();
    void exceptionFallsBackToSingleReadsUntilReconnect();
    void writeQueuedDuringBlockCycleGoesOutBetweenReads();
    void editInsideABlockReadOnTheWireIsWritten();

private:
    std::unique_ptr<VelmorDeviceModel> makeModel(const QByteArray &keys, const QByteArray &variables);
    // "function code:address:count" of every request the server saw.
    QStringList requestsSeen() const;

    std::unique_ptr<DescriptionDir> m_dir;
    std::unique_ptr<RecordingModbusServer> m_server;
};

void TestBlockReads::init()
{
    m_dir.reset(new DescriptionDir);
    m_server.reset(new RecordingModbusServer);
    QVERIFY(m_server->listen());
}

void TestBlockReads::cleanup()
{
    m_server.reset();
    m_dir.reset();
}

std::unique_ptr<VelmorDeviceModel> TestBlockReads::makeModel(const QByteArray &keys, const QByteArray &variables)
{
    const QByteArray text = "device: Test\nprotocol: ModBUS TCP\nhost: 127.0.0.1\nport: "
                            + QByteArray::number(m_server->port()) + "\nid: 1\n" + keys + "variables:\n" + variables;
    auto model = std::make_unique<VelmorDeviceModel>(m_dir->write("device.yml", text));
    model->setInterQueryDelay(0);
    return model;
}

QStringList TestBlockReads::requestsSeen() const
{
    QStringList seen;
    for (const QModbusRequest &request : m_server->requests()) {
        quint16 addr = 0;
        quint16 count = 0;
        request.decodeData(&addr, &count);
        seen << QStringLiteral("%1:%2:%3").arg(int(request.functionCode())).arg(addr).arg(count);
    }
    return seen;
}

void TestBlockReads::requestsReachingTheServer_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QByteArray>("variables");
    QTest::addColumn<QStringList>("expected");

    const QByteArray threeAdjacent = "  - addr: 10\n    type: int16\n"
                                     "  - addr: 11\n    type: int32\n"
                                     "  - addr: 13\n    type: float32\n";
    QTest::newRow("adjacent variables, one read") << QByteArray("block: 125\n") << threeAdjacent
                                                  << QStringList{"3:10:5"};
    QTest::newRow("no keys, one read per variable as before")
        << QByteArray() << threeAdjacent << QStringList{"3:10:1", "3:11:2", "3:13:2"};
    QTest::newRow("block 1, one read per variable")
        << QByteArray("block: 1\n") << threeAdjacent << QStringList{"3:10:1", "3:11:2", "3:13:2"};

    const QByteArray holeOfThree = "  - addr: 10\n    type: int16\n"
                                   "  - addr: 14\n    type: int16\n";
    QTest::newRow("hole within gap is read as well")
        << QByteArray("block: 125\ngap: 3\n") << holeOfThree << QStringList{"3:10:5"};
    QTest::newRow("hole just beyond gap splits")
        << QByteArray("block: 125\ngap: 2\n") << holeOfThree << QStringList{"3:10:1", "3:14:1"};

    QTest::newRow("change of table splits")
        << QByteArray("block: 125\n")
        << QByteArray("  - addr: 10\n    type: int16\n"
                      "  - addr: 11\n    type: int16\n    input: true\n"
                      "  - addr: 12\n    type: int16\n    input: true\n")
        << QStringList{"3:10:1", "4:11:2"};

    // Registers 0..122 in int16 and int32 steps, then an int32 at 123..124 that fits and
    // one at 125..126 that would straddle the 125-register edge.
    QByteArray edge;
    for (int addr = 0; addr < 123; ++addr)
        edge += "  - addr: " + QByteArray::number(addr) + "\n    type: int16\n";
    edge += "  - addr: 123\n    type: int32\n  - addr: 125\n    type: int32\n";
    QTest::newRow("125-register edge, the int32 past it starts the next read")
        << QByteArray("block: 125\n") << edge << QStringList{"3:0:125", "3:125:2"};
    QTest::newRow("block 124 leaves the int32 at 123 to the next read")
        << QByteArray("block: 124\n") << edge << QStringList{"3:0:123", "3:123:4"};

    QTest::newRow("descending addresses split")
        << QByteArray("block: 125\ngap: 10\n")
        << QByteArray("  - addr: 20\n    type: int16\n"
                      "  - addr: 19\n    type: int16\n"
                      "  - addr: 18\n    type: int16\n")
        << QStringList{"3:20:1", "3:19:1", "3:18:1"};
    QTest::newRow("overlapping variables split")
        << QByteArray("block: 125\n")
        << QByteArray("  - addr: 20\n    type: int32\n"
                      "  - addr: 21\n    type: int16\n")
        << QStringList{"3:20:2", "3:21:1"};
    QTest::newRow("bad description in the middle splits")
        << QByteArray("block: 125\n")
        << QByteArray("  - addr: 10\n    type: int16\n"
                      "  - name: NoAddress\n"
                      "  - addr: 11\n    type: int16\n")
        << QStringList{"3:10:1", "3:11:1"};
}

void TestBlockReads::requestsReachingTheServer()
{
    QFETCH(QByteArray, keys);
    QFETCH(QByteArray, variables);
    QFETCH(QStringList, expected);

    auto model = makeModel(keys, variables);
    QVERIFY(model->valid());
    model->connectDevice();
    QVERIFY(runCycle(*model).finished);
    QCOMPARE(requestsSeen(), expected);
}

void TestBlockReads::valuesAndSignalsFollowTheList()
{
    m_server->setHoldingRegisters(10, {0xFFFE, 0x0001, 0x0002, 0xAAAA, 0x3F80, 0x0000});
    auto model = makeModel("block: 125\ngap: 1\n",
                           "  - addr: 10\n    type: int16\n"
                           "  - addr: 11\n    type: int32\n"
                           "  - addr: 14\n    type: float32\n");
    QSignalSpy read(model.get(), &VelmorDeviceModel::variableRead);
    model->connectDevice();
    const CycleRun run = runCycle(*model);
    QVERIFY(run.finished);

    QCOMPARE(requestsSeen(), QStringList{"3:10:6"});
    QCOMPARE(run.storedValues, 3);
    QCOMPARE(read.size(), 3);
    for (int row = 0; row < 3; ++row)
        QCOMPARE(read.at(row).first().toInt(), row);
    QCOMPARE(model->getVarAttr(0, "value").toString(), QStringLiteral("-2"));
    QCOMPARE(model->getVarAttr(1, "value").toString(), QStringLiteral("65538"));
    QCOMPARE(model->getVarAttr(2, "value").toString(), QStringLiteral("1"));
}

void TestBlockReads::exceptionFallsBackToSingleReadsUntilReconnect()
{
    // Register 11 is not served: a read touching it gets "illegal data address".
    m_server->setOverride([](const QModbusRequest &request) -> QModbusResponse {
        quint16 addr = 0;
        quint16 count = 0;
        request.decodeData(&addr, &count);
        if (addr <= 11 && addr + count > 11)
            return QModbusExceptionResponse(request.functionCode(), QModbusExceptionResponse::IllegalDataAddress);
        return QModbusResponse();
    });
    auto model = makeModel("block: 125\n",
                           "  - addr: 10\n    type: int16\n"
                           "  - addr: 11\n    type: int16\n"
                           "  - addr: 12\n    type: int16\n");
    QSignalSpy failed(model.get(), &VelmorDeviceModel::variableFailed);
    QSignalSpy read(model.get(), &VelmorDeviceModel::variableRead);
    model->connectDevice();

    QVERIFY(runCycle(*model).finished);
    QCOMPARE(requestsSeen(), (QStringList{"3:10:3", "3:10:1", "3:11:1", "3:12:1"}));
    QCOMPARE(failed.size(), 1);
    QCOMPARE(failed.first().first().toInt(), 1);
    QCOMPARE(read.size(), 2);

    m_server->clearRequests();
    QVERIFY(runCycle(*model).finished);
    QCOMPARE(requestsSeen(), (QStringList{"3:10:1", "3:11:1", "3:12:1"}));

    m_server->clearRequests();
    model->disconnectDevice();
    model->connectDevice();
    QVERIFY(runCycle(*model).finished);
    QCOMPARE(requestsSeen().first(), QStringLiteral("3:10:3"));
}

void TestBlockReads::writeQueuedDuringBlockCycleGoesOutBetweenReads()
{
    auto model = makeModel("block: 2\n",
                           "  - addr: 10\n    type: int16\n    rw: true\n    name: W\n"
                           "  - addr: 11\n    type: int16\n"
                           "  - addr: 12\n    type: int16\n"
                           "  - addr: 13\n    type: int16\n");
    model->connectDevice();
    QVERIFY(runCycle(*model).finished);
    m_server->clearRequests();

    bool queued = false;
    connect(model.get(), &VelmorDeviceModel::variableRead, model.get(), [&model, &queued](int id) {
        if (id == 1 && !queued)
            queued = model->setVarValue(0, 5);
    });
    QVERIFY(runCycle(*model).finished);
    QVERIFY(queued);
    QCOMPARE(requestsSeen(), (QStringList{"3:10:2", "16:10:1", "3:12:2"}));
    QCOMPARE(m_server->holdingRegister(10), quint16(5));
}

void TestBlockReads::editInsideABlockReadOnTheWireIsWritten()
{
    auto model = makeModel("block: 4\n",
                           "  - {addr: 10, type: int16}\n"
                           "  - {addr: 11, type: int32, rw: true, name: W}\n");
    model->connectDevice();
    bool edited = false;
    connect(m_server.get(), &RecordingModbusServer::requestReceived, model.get(), [this, &model, &edited] {
        if (m_server->requests().size() == 1)
            edited = model->setVarValue(1, 70000);
    });

    QVERIFY(runCycle(*model).finished);
    QVERIFY(edited);
    QCOMPARE(model->getVarAttr(1, "value").toString(), QStringLiteral("70000"));
    QCOMPARE(requestsSeen(), (QStringList{"3:10:3", "16:11:2"}));
    QCOMPARE(m_server->holdingRegister(11), quint16(0x0001));
    QCOMPARE(m_server->holdingRegister(12), quint16(0x1170));

    QVERIFY(runCycle(*model).finished);
    QCOMPARE(model->getVarAttr(1, "value").toString(), QStringLiteral("70000"));
}

QTEST_GUILESS_MAIN(TestBlockReads)
#include "tst_blockreads.moc"
