#include "controllerclock.h"
#include "faultinjector.h"
#include "trafficlogger.h"
#include "variablestore.h"
#include "velmorbusframe.h"
#include "velmorbusresponder.h"
#include "velmorbusslave.h"

#include <QtTest>

#include <cstdio>
#include <cstring>

namespace {

constexpr quint8 DeviceId = 33;
constexpr int WaitMs = 10000;

// A serial line the test feeds in chunks that reach the slave with no turn of the event
// loop in between, so that no pause of the line can fall between them.
class FakeLine : public QIODevice
{
public:
    FakeLine() { open(QIODevice::ReadWrite | QIODevice::Unbuffered); }

    void feed(const QByteArray &bytes)
    {
        m_input += bytes;
        emit readyRead();
    }
    void hangUp() { emit readChannelFinished(); }
    void setUnsent(qint64 bytes) { m_unsent = bytes; }
    QByteArray written() const { return m_written; }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_input.size() + QIODevice::bytesAvailable(); }
    qint64 bytesToWrite() const override { return m_unsent; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const int count = int(qMin<qint64>(maxSize, m_input.size()));
        std::memcpy(data, m_input.constData(), size_t(count));
        m_input.remove(0, count);
        return count;
    }
    qint64 writeData(const char *data, qint64 size) override
    {
        m_written.append(data, int(size));
        return size;
    }

private:
    QByteArray m_input;
    QByteArray m_written;
    qint64 m_unsent = 0;
};

// Read 4 bytes at 0x10, and the simulator's answer for the int16 value 1027 there.
const QByteArray ReadRequest = VelmorbusFrame::build(DeviceId, QByteArray::fromHex("0210000400"));
const QByteArray ReadAnswer = VelmorbusFrame::build(DeviceId, QByteArray::fromHex("121000040000000304"));

} // namespace

// The simulator's Velmorbus slave on a line the test plays.
class TestVelmorbusSlave : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void overlongFrameIsDroppedWithOnlyItsHeadLogged();
    void answerIsNotSentToALineThatHoldsTooMuch();
    void heldAnswersGoWhenThePeerGoes();

private:
    QString log() const;

    std::FILE *m_logFile = nullptr;
    std::unique_ptr<TrafficLogger> m_logger;
    std::unique_ptr<VariableStore> m_store;
    ControllerClock m_clock;
    FaultInjector m_faults {0, {}, 0};
    std::unique_ptr<VelmorbusResponder> m_responder;
    std::unique_ptr<FakeLine> m_line;
    std::unique_ptr<VelmorbusSlave> m_slave;
};

void TestVelmorbusSlave::init()
{
    m_logFile = std::tmpfile();
    QVERIFY(m_logFile);
    m_logger = std::make_unique<TrafficLogger>(m_logFile);
    SimVariable variable;
    variable.name = QStringLiteral("S16");
    variable.addr = 0x10;
    variable.type = QStringLiteral("int16");
    variable.value = 1027;
    m_store = std::make_unique<VariableStore>(QVector<SimVariable> {variable}, false);
    m_responder = std::make_unique<VelmorbusResponder>(m_store.get(), &m_clock);
    m_line = std::make_unique<FakeLine>();
    m_slave = std::make_unique<VelmorbusSlave>(m_line.get(), DeviceId, m_responder.get(), &m_faults, m_logger.get());
}

void TestVelmorbusSlave::cleanup()
{
    m_slave.reset();
    m_line.reset();
    m_logger.reset();
    std::fclose(m_logFile);
}

QString TestVelmorbusSlave::log() const
{
    std::fflush(m_logFile);
    std::rewind(m_logFile);
    QByteArray text;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, m_logFile)) > 0)
        text.append(buffer, int(n));
    return QString::fromUtf8(text);
}

void TestVelmorbusSlave::overlongFrameIsDroppedWithOnlyItsHeadLogged()
{
    const QByteArray chunk(1000, '\x21');
    for (int fed = 0; fed <= VelmorbusSlave::MaxFrameSize; fed += chunk.size())
        m_line->feed(chunk);
    const QString headLine = QStringLiteral(" rx ") + QString(QStringLiteral("21 ")).repeated(15)
        + QStringLiteral("21 | head of a frame longer than 65543 bytes, dropped\n");
    QVERIFY2(log().endsWith(headLine), qPrintable(log().right(200)));

    // The rest of it goes too, and once the line has paused the next frame is answered.
    m_line->feed(chunk);
    QTRY_VERIFY_WITH_TIMEOUT(log().endsWith(QStringLiteral(" -- the frame dropped ended after 67000 bytes\n")), WaitMs);
    m_line->feed(ReadRequest);
    QTRY_COMPARE_WITH_TIMEOUT(m_line->written(), ReadAnswer, WaitMs);
}

void TestVelmorbusSlave::answerIsNotSentToALineThatHoldsTooMuch()
{
    m_line->setUnsent(VelmorbusSlave::MaxUnsentBytes);
    m_line->feed(ReadRequest);
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QStringLiteral(" | not sent: the peer has not read the last 4096 bytes\n")),
                             WaitMs);
    QCOMPARE(m_line->written(), QByteArray());
}

void TestVelmorbusSlave::heldAnswersGoWhenThePeerGoes()
{
    m_slave->setAnswerDelay(200);
    m_line->feed(ReadRequest);
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QStringLiteral(" rx ")), WaitMs);
    m_line->hangUp();
    QVERIFY(log().endsWith(QStringLiteral(" -- the peer closed the line\n")));

    // The next peer's answer comes after the held one would have: that one never does.
    m_line->feed(ReadRequest);
    QTRY_VERIFY_WITH_TIMEOUT(!m_line->written().isEmpty(), WaitMs);
    QCOMPARE(m_line->written(), ReadAnswer);
}

QTEST_GUILESS_MAIN(TestVelmorbusSlave)
#include "tst_velmorbusslave.moc"
