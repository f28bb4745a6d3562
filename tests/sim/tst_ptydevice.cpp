#include "ptydevice.h"

#include <QSignalSpy>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int WaitMs = 10000;
// Far more than the terminal and the device hold together.
constexpr int FloodBytes = 1024 * 1024;

} // namespace

// The simulator's pseudo-terminal line, with the test as the peer on the slave end.
class TestPtyDevice : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void inputWaitsInTheTerminalOnceTheDeviceHoldsItsShare();
    void outputToAPeerThatDoesNotReadIsBounded();
    void unreadOutputGoesWhenThePeerCloses();
    void outputWithNobodyOnTheLineIsLost();

private:
    int openPeer();
    // The peer writes a byte and the device reads it: from then on the device knows the peer.
    bool greet(int peer);
    static QByteArray readPeer(int peer);
    // Writes as much as the device takes, up to bytes; the count it took.
    int fillFromDevice(int bytes);

    std::unique_ptr<PtyDevice> m_device;
    QVector<int> m_peers;
};

void TestPtyDevice::init()
{
    m_device = std::make_unique<PtyDevice>();
    QVERIFY2(m_device->create(), qPrintable(m_device->errorString()));
}

void TestPtyDevice::cleanup()
{
    for (int peer : qAsConst(m_peers))
        ::close(peer);
    m_peers.clear();
    m_device.reset();
}

int TestPtyDevice::openPeer()
{
    const int peer = ::open(QFile::encodeName(m_device->slavePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (peer >= 0)
        m_peers.append(peer);
    return peer;
}

bool TestPtyDevice::greet(int peer)
{
    if (::write(peer, "?", 1) != 1)
        return false;
    QSignalSpy readyRead(m_device.get(), &QIODevice::readyRead);
    if (m_device->bytesAvailable() == 0 && !readyRead.wait(WaitMs))
        return false;
    return m_device->readAll() == "?";
}

QByteArray TestPtyDevice::readPeer(int peer)
{
    QByteArray bytes;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = ::read(peer, buffer, sizeof buffer)) > 0)
        bytes.append(buffer, int(n));
    return bytes;
}

int TestPtyDevice::fillFromDevice(int bytes)
{
    const QByteArray chunk(256, 'a');
    int taken = 0;
    while (taken < bytes && m_device->write(chunk) == chunk.size())
        taken += chunk.size();
    return taken;
}

void TestPtyDevice::inputWaitsInTheTerminalOnceTheDeviceHoldsItsShare()
{
    const int peer = openPeer();
    QVERIFY(peer >= 0);
    const QByteArray chunk(4096, 'x');
    int written = 0;
    // Nothing reads the device: once it holds its share the terminal fills and refuses more.
    while (written < FloodBytes) {
        const ssize_t n = ::write(peer, chunk.constData(), size_t(chunk.size()));
        if (n > 0)
            written += int(n);
        else if (m_device->bytesAvailable() >= PtyDevice::MaxReceivedBytes)
            break;
        else
            QCoreApplication::processEvents();
    }
    QCOMPARE(m_device->bytesAvailable(), qint64(PtyDevice::MaxReceivedBytes));
    QVERIFY(written < FloodBytes);

    QCOMPARE(m_device->readAll().size(), PtyDevice::MaxReceivedBytes);
    QTRY_VERIFY_WITH_TIMEOUT(m_device->bytesAvailable() > 0, WaitMs);
}

void TestPtyDevice::outputToAPeerThatDoesNotReadIsBounded()
{
    const int peer = openPeer();
    QVERIFY(greet(peer));
    // Every write returns at once, and what the terminal cannot take waits up to the bound.
    const int taken = fillFromDevice(FloodBytes);
    QVERIFY(taken < FloodBytes);
    QVERIFY(m_device->bytesToWrite() > 0);
    QVERIFY(m_device->bytesToWrite() <= PtyDevice::MaxPendingBytes);
    QVERIFY(!m_device->errorString().isEmpty());

    // Once the peer reads, what waited goes out.
    QByteArray received;
    QTRY_COMPARE_WITH_TIMEOUT((received += readPeer(peer)).size(), taken, WaitMs);
    QCOMPARE(m_device->bytesToWrite(), qint64(0));
}

void TestPtyDevice::unreadOutputGoesWhenThePeerCloses()
{
    const int first = openPeer();
    QVERIFY(greet(first));
    QVERIFY(fillFromDevice(FloodBytes) > 0);
    QSignalSpy peerGone(m_device.get(), &QIODevice::readChannelFinished);
    ::close(m_peers.takeLast());
    QVERIFY(peerGone.wait(WaitMs));
    QCOMPARE(m_device->bytesToWrite(), qint64(0));

    const int next = openPeer();
    QVERIFY(next >= 0);
    QCOMPARE(readPeer(next), QByteArray());
    QVERIFY(greet(next));
    QCOMPARE(m_device->write("fresh"), qint64(5));
    QByteArray received;
    QTRY_COMPARE_WITH_TIMEOUT(received += readPeer(next), QByteArray("fresh"), WaitMs);
}

void TestPtyDevice::outputWithNobodyOnTheLineIsLost()
{
    QCOMPARE(m_device->write("stale"), qint64(5));
    const int peer = openPeer();
    QVERIFY(greet(peer));
    QCOMPARE(m_device->write("fresh"), qint64(5));
    QByteArray received;
    QTRY_COMPARE_WITH_TIMEOUT(received += readPeer(peer), QByteArray("fresh"), WaitMs);
}

QTEST_GUILESS_MAIN(TestPtyDevice)
#include "tst_ptydevice.moc"
