#include "logcapture.h"
#include "ptypeer.h"
#include "velmorbusframe.h"
#include "velmorbusrtuserialmaster.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <ctime>
#include <memory>

namespace {

// Generous for a loaded 2-core machine; every wait ends as soon as its condition holds.
constexpr int WaitMs = 5000;
// Device id + head byte + addr + size + 65535 data bytes + CRC.
constexpr int LargestFrameSize = 1 + 1 + 2 + 2 + 65535 + 2;

const QByteArray ClockReadRequest = QByteArray::fromHex("2102020C0800B911");
const QByteArray ClockReadAnswer = QByteArray::fromHex("2112020C080036140A1409E107030282");
const QByteArray ClockBytes = QByteArray::fromHex("36140A1409E10703");

VelmorBusPacket clockRead()
{
    return VelmorBusPacket(VelmorBusPacket::CmdRead, 0x0C02, 8);
}

double cpuMs()
{
    return double(std::clock()) * 1000.0 / CLOCKS_PER_SEC;
}

// Writes the pieces to the peer one every intervalMs, the first at once; deleted with parent.
QTimer *feedPieces(QObject *parent, PtyPeer *peer, const QList<QByteArray> &pieces, int intervalMs)
{
    auto *timer = new QTimer(parent);
    timer->setTimerType(Qt::PreciseTimer);
    auto remaining = std::make_shared<QList<QByteArray>>(pieces);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, peer, remaining] {
        if (remaining->isEmpty()) {
            timer->stop();
            return;
        }
        peer->write(remaining->takeFirst());
    });
    peer->write(remaining->takeFirst());
    timer->start(intervalMs);
    return timer;
}

QList<QByteArray> chunks(const QByteArray &bytes, int chunkSize)
{
    QList<QByteArray> pieces;
    for (int offset = 0; offset < bytes.size(); offset += chunkSize)
        pieces.append(bytes.mid(offset, chunkSize));
    return pieces;
}

} // namespace

class TestVelmorbusRtuSerialMaster : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void exchange_data();
    void exchange();
    void silentDevice();
    void piecesWithinInterFrameDelay_data();
    void piecesWithinInterFrameDelay();
    void gapSplitsResponse();
    void trailingBytesWithinInterFrameDelay();
    void responseLength_data();
    void responseLength();
    void endlessStream();
    void sendRequestWhileBusy();
    void sendRequestFromFinishedHandler();
    void closedPort();
    void idleBytesDiscarded_data();
    void idleBytesDiscarded();
    void openDuringExchange();
    void openFailureLogged();
    void unpluggedAdapter_data();
    void unpluggedAdapter();
    void failingLineIsReopenedWithGrowingPauses();
    void lineKeepsFailingToReadIsPaused();
    void replyDeletedInFlight();
    void destroyedWithReplyInFlight();

private:
    QSerialPort *port() const;
    // The reply to a clock read of device 33 once the peer has the whole request; null if it never came.
    VelmorbusReply *sendClockRead();
    // With the line cleared, a clock read answered in full: the finished reply, or null when
    // the request never came or the reply did not finish within waitMs.
    VelmorbusReply *answeredClockRead(int waitMs);

    std::unique_ptr<PtyPeer> m_peer;
    std::unique_ptr<VelmorbusRtuSerialMaster> m_master;
};

void TestVelmorbusRtuSerialMaster::initTestCase()
{
    qRegisterMetaType<QSerialPort::SerialPortError>();
}

void TestVelmorbusRtuSerialMaster::init()
{
    m_peer = std::make_unique<PtyPeer>();
    QVERIFY(m_peer->isOpen());
    m_master = std::make_unique<VelmorbusRtuSerialMaster>();
    m_master->setPortName(m_peer->slavePath());
    QVERIFY(m_master->open());
}

void TestVelmorbusRtuSerialMaster::cleanup()
{
    m_master.reset();
    m_peer.reset();
}

QSerialPort *TestVelmorbusRtuSerialMaster::port() const
{
    return m_master->findChild<QSerialPort *>();
}

VelmorbusReply *TestVelmorbusRtuSerialMaster::sendClockRead()
{
    VelmorbusReply *reply = m_master->sendRequest(clockRead(), 33);
    if (!QTest::qWaitFor([this] { return m_peer->received().endsWith(ClockReadRequest); }, WaitMs))
        return nullptr;
    return reply;
}

VelmorbusReply *TestVelmorbusRtuSerialMaster::answeredClockRead(int waitMs)
{
    m_peer->takeReceived();
    VelmorbusReply *reply = sendClockRead();
    if (!reply)
        return nullptr;
    QSignalSpy finished(reply, &VelmorbusReply::finished);
    m_peer->write(ClockReadAnswer);
    return QTest::qWaitFor([&finished] { return finished.count() == 1; }, waitMs) ? reply : nullptr;
}

void TestVelmorbusRtuSerialMaster::exchange_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("cmd");
    QTest::addColumn<int>("addr");
    QTest::addColumn<int>("size");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("expectedRequest");
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<VelmorbusReply::Error>("expectedError");
    QTest::addColumn<QString>("expectedErrorText");
    QTest::addColumn<QByteArray>("expectedBody");

    const auto clockReadRow = [](const char *name, const QByteArray &response, VelmorbusReply::Error error,
                                 const char *errorText, const QByteArray &body) {
        QTest::newRow(name) << 33 << 2 << 0x0C02 << 8 << QByteArray() << ClockReadRequest << response << error
                            << QString::fromLatin1(errorText) << body;
    };

    clockReadRow("read 8 bytes at 0x0C02 from 33", ClockReadAnswer, VelmorbusReply::NoError, "",
                 QByteArray::fromHex("12020C0800") + ClockBytes);
    QTest::newRow("write 8 bytes at 0x0C02 on 33, acknowledged")
        << 33 << 4 << 0x0C02 << 8 << ClockBytes << QByteArray::fromHex("2104020C080036140A1409E1070335D4")
        << QByteArray::fromHex("2114020C0800F0D2") << VelmorbusReply::NoError << QString()
        << QByteArray::fromHex("14020C0800");
    clockReadRow("status 0x20 answer", VelmorbusFrame::build(33, QByteArray::fromHex("22020C0800")),
                 VelmorbusReply::NoError, "", QByteArray::fromHex("22020C0800"));
    QTest::newRow("device id 200 (0xC8)")
        << 200 << 2 << 0x0010 << 4 << QByteArray() << VelmorbusFrame::build(200, QByteArray::fromHex("0210000400"))
        << VelmorbusFrame::build(200, QByteArray::fromHex("12100004007B000000")) << VelmorbusReply::NoError << QString()
        << QByteArray::fromHex("12100004007B000000");

    clockReadRow("answer from device 34", VelmorbusFrame::build(34, QByteArray::fromHex("12020C0800") + ClockBytes),
                 VelmorbusReply::IdError, "Response id doesn't match request id", QByteArray());
    clockReadRow("6 bytes, right id", QByteArray::fromHex("2112020C0800"), VelmorbusReply::FrameError,
                 "Recieved response is too small", QByteArray());
    clockReadRow("6 bytes, wrong id", QByteArray::fromHex("2212020C0800"), VelmorbusReply::IdError,
                 "Response id doesn't match request id", QByteArray());
    clockReadRow("7 bytes, right id", QByteArray::fromHex("2114020C0800F0"), VelmorbusReply::FrameError,
                 "Recieved response is too small", QByteArray());
    clockReadRow("checksum off by one", QByteArray::fromHex("2114020C0800F0D3"), VelmorbusReply::FrameError,
                 "Response CRC mismatch", QByteArray());
    clockReadRow("well-formed frame, status 0x10 without data",
                 VelmorbusFrame::build(33, QByteArray::fromHex("12020C0800")), VelmorbusReply::ParseError,
                 "Unable to parse current response", QByteArray());
    clockReadRow("well-formed frame, command 3", VelmorbusFrame::build(33, QByteArray::fromHex("13020C0800")),
                 VelmorbusReply::ParseError, "Unable to parse current response", QByteArray());
    clockReadRow("read answered by a write acknowledgement", QByteArray::fromHex("2114020C0800F0D2"),
                 VelmorbusReply::MismatchError, "(Velmorbus) reply is for another command (4)", QByteArray());
    clockReadRow("read answered for another address",
                 VelmorbusFrame::build(33, QByteArray::fromHex("12030C0800") + ClockBytes), VelmorbusReply::MismatchError,
                 "(Velmorbus) reply is for another address (0xc03)", QByteArray());
    QTest::newRow("flash store acknowledged by a read answer")
        << 1 << 4 << 0x00FD << 4 << QByteArray::fromHex("01000000")
        << QByteArray::fromHex("0104FD00040001000000DDA7")
        << VelmorbusFrame::build(1, QByteArray::fromHex("121000040005000000")) << VelmorbusReply::MismatchError
        << QStringLiteral("(Velmorbus) reply is for another command (2)") << QByteArray();
}

void TestVelmorbusRtuSerialMaster::exchange()
{
    QFETCH(int, id);
    QFETCH(int, cmd);
    QFETCH(int, addr);
    QFETCH(int, size);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, expectedRequest);
    QFETCH(QByteArray, response);
    QFETCH(VelmorbusReply::Error, expectedError);
    QFETCH(QString, expectedErrorText);
    QFETCH(QByteArray, expectedBody);

    VelmorBusPacket request(cmd, quint16(addr), quint16(size));
    request.setData(data);
    VelmorbusReply *reply = m_master->sendRequest(request, quint8(id));
    QVERIFY(reply);
    QCOMPARE(reply->id(), quint8(id));
    QSignalSpy finished(reply, &VelmorbusReply::finished);

    QTRY_COMPARE_WITH_TIMEOUT(m_peer->received(), expectedRequest, WaitMs);
    m_peer->write(response);

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, WaitMs);
    QVERIFY(reply->isFinished());
    QCOMPARE(reply->error(), expectedError);
    QCOMPARE(reply->errorString(), expectedErrorText);
    QCOMPARE(reply->result().isValid(), expectedError == VelmorbusReply::NoError);
    QCOMPARE(reply->result().toByteArray(), expectedBody.isEmpty() ? QByteArray(3, 0) : expectedBody);
}

void TestVelmorbusRtuSerialMaster::silentDevice()
{
    QElapsedTimer elapsed;
    elapsed.start();
    VelmorbusReply *reply = m_master->sendRequest(clockRead(), 33);
    QVERIFY(reply);
    QSignalSpy finished(reply, &VelmorbusReply::finished);

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, WaitMs);
    QVERIFY2(elapsed.elapsed() >= 150 && elapsed.elapsed() < 2000, qPrintable(QString::number(elapsed.elapsed())));
    QCOMPARE(m_peer->received(), ClockReadRequest);
    QCOMPARE(reply->error(), VelmorbusReply::TimeoutError);
    QCOMPARE(reply->errorString(), QStringLiteral("Timeout"));
}

void TestVelmorbusRtuSerialMaster::piecesWithinInterFrameDelay_data()
{
    QTest::addColumn<int>("interFrameDelayMs");
    QTest::addColumn<int>("pieceGapMs");

    QTest::newRow("default 20 ms delay, pieces 2 ms apart") << 20 << 2;
    QTest::newRow("200 ms delay, pieces 50 ms apart") << 200 << 50;
}

void TestVelmorbusRtuSerialMaster::piecesWithinInterFrameDelay()
{
    QFETCH(int, interFrameDelayMs);
    QFETCH(int, pieceGapMs);

    m_master->setInterFrameDelay(interFrameDelayMs);
    VelmorbusReply *reply = sendClockRead();
    QVERIFY(reply);
    QSignalSpy finished(reply, &VelmorbusReply::finished);

    feedPieces(this, m_peer.get(), { ClockReadAnswer.left(3), ClockReadAnswer.mid(3, 6), ClockReadAnswer.mid(9) },
               pieceGapMs);

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, WaitMs);
    QCOMPARE(reply->errorString(), QString());
    QCOMPARE(reply->error(), VelmorbusReply::NoError);
    QCOMPARE(reply->result().data(), ClockBytes);
}

void TestVelmorbusRtuSerialMaster::gapSplitsResponse()
{
    VelmorbusReply *reply = sendClockRead();
    QVERIFY(reply);
    QSignalSpy finished(reply, &VelmorbusReply::finished);

    bool restWritten = false;
    bool restWrittenAtFinish = true;
    connect(reply, &VelmorbusReply::finished, this, [&] { restWrittenAtFinish = restWritten; });
    m_peer->write(ClockReadAnswer.left(5));
    QTimer::singleShot(150, Qt::PreciseTimer, this, [&] {
        m_peer->write(ClockReadAnswer.mid(5));
        restWritten = true;
    });

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, WaitMs);
    QVERIFY(!restWrittenAtFinish);
    QCOMPARE(reply->error(), VelmorbusReply::FrameError);
    QCOMPARE(reply->errorString(), QStringLiteral("Recieved response is too small"));

    // The rest arrives while idle and must not spoil the next exchange.
    QTRY_VERIFY_WITH_TIMEOUT(restWritten, WaitMs);
    VelmorbusReply *next = answeredClockRead(WaitMs);
    QVERIFY(next);
    QCOMPARE(next->error(), VelmorbusReply::NoError);
    QCOMPARE(next->result().data(), ClockBytes);
}

void TestVelmorbusRtuSerialMaster::trailingBytesWithinInterFrameDelay()
{
    VelmorbusReply *reply = sendClockRead();
    QVERIFY(reply);
    QSignalSpy finished(reply, &VelmorbusReply::finished);

    // Not zeros: a frame followed by 00 00 checks out again, its CRC over itself being 0.
    m_peer->write(ClockReadAnswer);
    m_peer->write(QByteArray::fromHex("5555"));

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, WaitMs);
    QCOMPARE(reply->error(), VelmorbusReply::FrameError);
    QCOMPARE(reply->errorString(), QStringLiteral("Response CRC mismatch"));
}

void TestVelmorbusRtuSerialMaster::responseLength_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<VelmorbusReply::Error>("expectedError");
    QTest::addColumn<QString>("expectedErrorText");

    const QByteArray largest = VelmorbusFrame::build(33, QByteArray::fromHex("120000FFFF") + QByteArray(65535, '\x5A'));
    QTest::newRow("largest legal frame, 65535 data bytes") << largest << VelmorbusReply::NoError << QString();
    QTest::newRow("one byte more than the largest legal frame")
        << largest + '\x00' << VelmorbusReply::FrameError << QStringLiteral("Recieved response is too large");
}

void TestVelmorbusRtuSerialMaster::responseLength()
{
    QFETCH(QByteArray, response);
    QFETCH(VelmorbusReply::Error, expectedError);
    QFETCH(QString, expectedErrorText);

    // The length is what counts here; a long delay keeps a stalled feed from ending the frame early.
    m_master->setInterFrameDelay(500);
    VelmorbusReply *reply = m_master->sendRequest(VelmorBusPacket(VelmorBusPacket::CmdRead, 0x0000, 0xFFFF), 33);
    QVERIFY(reply);
    QSignalSpy finished(reply, &VelmorbusReply::finished);
    QTRY_COMPARE_WITH_TIMEOUT(m_peer->received(), VelmorbusFrame::build(33, QByteArray::fromHex("020000FFFF")), WaitMs);

    feedPieces(this, m_peer.get(), chunks(response, 4096), 1);

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, WaitMs);
    QCOMPARE(reply->errorString(), expectedErrorText);
    QCOMPARE(reply->error(), expectedError);
    QCOMPARE(reply->result().data().size(), expectedError == VelmorbusReply::NoError ? 65535 : 0);
}

void TestVelmorbusRtuSerialMaster::endlessStream()
{
    m_master->setInterFrameDelay(500);
    VelmorbusReply *reply = sendClockRead();
    QVERIFY(reply);
    QSignalSpy finished(reply, &VelmorbusReply::finished);

    const LogCapture capture;
    qint64 bytesFed = 0;
    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    connect(&feed, &QTimer::timeout, this, [&] {
        m_peer->write(QByteArray(4096, '\x21'));
        bytesFed += 4096;
    });
    connect(reply, &VelmorbusReply::finished, &feed, &QTimer::stop);
    feed.start(2);

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, WaitMs * 2);
    QVERIFY(bytesFed > LargestFrameSize);
    QCOMPARE(reply->error(), VelmorbusReply::FrameError);
    QCOMPARE(reply->errorString(), QStringLiteral("Recieved response is too large"));
    QCOMPARE(capture.messages(), QList<LogCapture::Message>());

    // Idle and usable again: what the stream left in the line is discarded.
    VelmorbusReply *next = answeredClockRead(WaitMs * 2);
    QVERIFY(next);
    QCOMPARE(next->errorString(), QString());
    QCOMPARE(next->result().data(), ClockBytes);
}

void TestVelmorbusRtuSerialMaster::sendRequestWhileBusy()
{
    VelmorbusReply *reply = sendClockRead();
    QVERIFY(reply);
    QSignalSpy finished(reply, &VelmorbusReply::finished);
    QSignalSpy portReadyRead(port(), &QSerialPort::readyRead);
    m_peer->write(ClockReadAnswer.left(5));
    QVERIFY(portReadyRead.wait(WaitMs));

    QCOMPARE(m_master->sendRequest(VelmorBusPacket(VelmorBusPacket::CmdRead, 0x0010, 4), 1), nullptr);
    QCOMPARE(m_master->findChildren<VelmorbusReply *>().size(), 1);

    m_peer->write(ClockReadAnswer.mid(5));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, WaitMs);
    QCOMPARE(m_peer->received(), ClockReadRequest);
    QCOMPARE(reply->errorString(), QString());
    QCOMPARE(reply->result().data(), ClockBytes);
}

void TestVelmorbusRtuSerialMaster::sendRequestFromFinishedHandler()
{
    VelmorbusReply *reply = sendClockRead();
    QVERIFY(reply);
    QSignalSpy finished(reply, &VelmorbusReply::finished);
    VelmorbusReply *fromHandler = reply;
    connect(reply, &VelmorbusReply::finished, this, [&] { fromHandler = m_master->sendRequest(clockRead(), 33); });

    m_peer->write(ClockReadAnswer);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, WaitMs);
    QCOMPARE(fromHandler, nullptr);
    QVERIFY(m_master->sendRequest(clockRead(), 33));
}

void TestVelmorbusRtuSerialMaster::closedPort()
{
    m_master->close();
    const LogCapture capture;
    VelmorbusReply *reply = m_master->sendRequest(clockRead(), 33);
    QVERIFY(reply);
    QSignalSpy finished(reply, &VelmorbusReply::finished);

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, WaitMs);
    QCOMPARE(reply->error(), VelmorbusReply::TimeoutError);
    QCOMPARE(reply->errorString(), QStringLiteral("Timeout"));
    QCOMPARE(m_peer->received(), QByteArray());
    QCOMPARE(capture.messages(), QList<LogCapture::Message>());
}

void TestVelmorbusRtuSerialMaster::idleBytesDiscarded_data()
{
    QTest::addColumn<QByteArray>("idleBytes");

    QTest::newRow("the head of an answer") << ClockReadAnswer.left(5);
    QTest::newRow("a line babbling 1 MiB") << QByteArray(1 << 20, '\x55');
}

void TestVelmorbusRtuSerialMaster::idleBytesDiscarded()
{
    QFETCH(QByteArray, idleBytes);

    // Whatever the port holds after the master has had its turn at each arrival.
    qint64 mostHeld = 0;
    QObject watcher;
    connect(port(), &QSerialPort::readyRead, &watcher, [&] { mostHeld = qMax(mostHeld, port()->bytesAvailable()); });
    m_peer->write(idleBytes);
    QTRY_VERIFY_WITH_TIMEOUT(!m_peer->outputPending(), WaitMs * 2);
    QTRY_VERIFY_WITH_TIMEOUT(port()->bytesAvailable() == 0, WaitMs);
    QCOMPARE(mostHeld, qint64(0));

    const LogCapture capture;
    VelmorbusReply *reply = sendClockRead();
    QVERIFY(reply);
    QSignalSpy finished(reply, &VelmorbusReply::finished);
    m_peer->write(ClockReadAnswer);

    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, WaitMs);
    QCOMPARE(reply->errorString(), QString());
    QCOMPARE(reply->result().data(), ClockBytes);
    QCOMPARE(capture.messages(), QList<LogCapture::Message>());
}

void TestVelmorbusRtuSerialMaster::openDuringExchange()
{
    VelmorbusReply *reply = sendClockRead();
    QVERIFY(reply);
    QSignalSpy finished(reply, &VelmorbusReply::finished);
    QSignalSpy portReadyRead(port(), &QSerialPort::readyRead);
    m_peer->write(ClockReadAnswer.left(5));
    QVERIFY(portReadyRead.wait(WaitMs));

    const LogCapture capture;
    QVERIFY(!m_master->open());
    const QString expectedLine =
        QStringLiteral("(Velmorbus) Unable to open serialport \"%1\"").arg(port()->errorString());
    QCOMPARE(capture.messages(), QList<LogCapture::Message>({ { QtDebugMsg, expectedLine } }));

    // Only the rest is judged: it starts with 0x00, not with the device id.
    m_peer->write(ClockReadAnswer.mid(5));
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, WaitMs);
    QCOMPARE(reply->error(), VelmorbusReply::IdError);
    QCOMPARE(reply->errorString(), QStringLiteral("Response id doesn't match request id"));
}

void TestVelmorbusRtuSerialMaster::openFailureLogged()
{
    VelmorbusRtuSerialMaster master;
    master.setPortName(QStringLiteral("/nonexistent/velmorbus-port"));
    const LogCapture capture;

    QVERIFY(!master.open());
    const QString expectedLine = QStringLiteral("(Velmorbus) Unable to open serialport \"%1\"")
                                     .arg(master.findChild<QSerialPort *>()->errorString());
    QCOMPARE(capture.messages(), QList<LogCapture::Message>({ { QtDebugMsg, expectedLine } }));
}

void TestVelmorbusRtuSerialMaster::unpluggedAdapter_data()
{
    QTest::addColumn<bool>("requestInFlight");

    QTest::newRow("while idle") << false;
    QTest::newRow("with a request in flight") << true;
}

void TestVelmorbusRtuSerialMaster::unpluggedAdapter()
{
    QFETCH(bool, requestInFlight);

    QSignalSpy errors(m_master.get(), &VelmorbusRtuSerialMaster::errorOccurred);
    QPointer<VelmorbusReply> reply = requestInFlight ? sendClockRead() : nullptr;
    m_peer->closeMaster();
    QTRY_VERIFY_WITH_TIMEOUT(!errors.isEmpty() || !port()->isOpen(), WaitMs);
    if (!reply)
        reply = m_master->sendRequest(clockRead(), 33);
    QVERIFY(reply);
    QSignalSpy finished(reply.data(), &VelmorbusReply::finished);

    // A spinning event loop would burn about as much CPU time as passes on the clock.
    const double cpuStartMs = cpuMs();
    QElapsedTimer elapsed;
    elapsed.start();
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, WaitMs);
    const double cpuUsedMs = cpuMs() - cpuStartMs;

    QVERIFY2(cpuUsedMs < 0.5 * double(elapsed.elapsed()),
             qPrintable(QStringLiteral("%1 ms CPU in %2 ms").arg(cpuUsedMs).arg(elapsed.elapsed())));
    QCOMPARE(reply->error(), VelmorbusReply::TimeoutError);
    QVERIFY(!port()->isOpen());
    QCOMPARE(errors.size(), 1);
    const auto error = errors.first().first().value<QSerialPort::SerialPortError>();
    QVERIFY(error == QSerialPort::ResourceError || error == QSerialPort::ReadError);
}

void TestVelmorbusRtuSerialMaster::failingLineIsReopenedWithGrowingPauses()
{
    // A resource that has run out: whenever the port is open, it fails again within 2 ms.
    int closes = 0;
    qint64 seventhCloseMs = -1;
    QElapsedTimer elapsed;
    QTimer failing;
    connect(port(), &QSerialPort::aboutToClose, &failing, [&] {
        if (++closes == 7)
            seventhCloseMs = elapsed.elapsed();
    });
    failing.setTimerType(Qt::PreciseTimer);
    connect(&failing, &QTimer::timeout, this, [this] {
        if (port()->isOpen())
            emit port()->errorOccurred(QSerialPort::ResourceError);
    });
    elapsed.start();
    failing.start(2);

    // Closed at once and after pauses of 0, 10, 20, 40, 80 and 160 ms; without the pauses
    // each reopen takes a few ms.
    QTRY_VERIFY_WITH_TIMEOUT(seventhCloseMs >= 0, WaitMs);
    QVERIFY2(seventhCloseMs >= 250, qPrintable(QString::number(seventhCloseMs)));
    failing.stop();

    // Once the resource is back, the line works again.
    QTRY_VERIFY_WITH_TIMEOUT(port()->isOpen(), WaitMs);
    VelmorbusReply *next = answeredClockRead(WaitMs);
    QVERIFY(next);
    QCOMPARE(next->result().data(), ClockBytes);
}

void TestVelmorbusRtuSerialMaster::lineKeepsFailingToReadIsPaused()
{
    // Qt reads on after a read error; one that recurs at every read would spin the event loop.
    for (int error = 0; error < 20 && port()->isOpen(); ++error)
        emit port()->errorOccurred(QSerialPort::ReadError);
    QVERIFY(!port()->isOpen());

    QTRY_VERIFY_WITH_TIMEOUT(port()->isOpen(), WaitMs);
    VelmorbusReply *next = answeredClockRead(WaitMs);
    QVERIFY(next);
    QCOMPARE(next->result().data(), ClockBytes);
}

void TestVelmorbusRtuSerialMaster::replyDeletedInFlight()
{
    VelmorbusReply *reply = sendClockRead();
    QVERIFY(reply);
    QSignalSpy portReadyRead(port(), &QSerialPort::readyRead);
    m_peer->write(ClockReadAnswer.left(5));
    QVERIFY(portReadyRead.wait(WaitMs));

    const LogCapture capture;
    delete reply;
    QTRY_COMPARE_WITH_TIMEOUT(capture.messages().size(), 2, WaitMs);
    QCOMPARE(capture.messages(),
             QList<LogCapture::Message>({ { QtDebugMsg, QStringLiteral("currentReply is nullptr, why?") },
                                          { QtDebugMsg, QStringLiteral("response buffer: \"2112020c08\"") } }));

    VelmorbusReply *next = answeredClockRead(WaitMs);
    QVERIFY(next);
    QCOMPARE(next->result().data(), ClockBytes);
}

void TestVelmorbusRtuSerialMaster::destroyedWithReplyInFlight()
{
    QPointer<VelmorbusReply> reply = m_master->sendRequest(clockRead(), 33);
    QVERIFY(reply);
    m_master.reset();
    QVERIFY(reply.isNull());
}

QTEST_GUILESS_MAIN(TestVelmorbusRtuSerialMaster)

#include "tst_velmorbusrtuserialmaster.moc"
