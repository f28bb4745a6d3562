#include "mastercheck.h"

#include "ptypeer.h"
#include "velmorbuspacket.h"
#include "velmorbusreply.h"
#include "velmorbusrtuserialmaster.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace {

// Short line timings keep one run fast; the gaps of a script (0 to 15 ms) reach both
// sides of the inter-frame delay.
constexpr int ResponseTimeoutMs = 40;
constexpr int InterFrameDelayMs = 8;
// The gaps of one run add up to this much at most.
constexpr int GapBudgetMs = 200;
constexpr int MaxChunkBytes = 64;
constexpr int MaxRequests = 4;
// A reply that has not finished by then never will: the timer would have fired long ago.
constexpr int FinishDeadlineMs = 3000;
// Quiet time after the last reply, in which a second finished would show up.
constexpr int SettleMs = 3 * InterFrameDelayMs;

const VelmorBusPacket Request(VelmorBusPacket::CmdRead, 0x0C02, 8);

void pause(int ms)
{
    if (ms <= 0) {
        QCoreApplication::processEvents();
        return;
    }
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

QByteArray frame(quint8 id, const QByteArray &body)
{
    QByteArray bytes = char(id) + body;
    const quint16 crc = VelmorBusPacket::crc16(bytes);
    bytes.append(char(crc & 0xFF));
    bytes.append(char(crc >> 8));
    return bytes;
}

bool knownErrorText(VelmorbusReply::Error error, const QString &text)
{
    switch (error) {
    case VelmorbusReply::TimeoutError:
        return text == QLatin1String("Timeout");
    case VelmorbusReply::IdError:
        return text == QLatin1String("Response id doesn't match request id");
    case VelmorbusReply::FrameError:
        return text == QLatin1String("Recieved response is too small") || text == QLatin1String("Response CRC mismatch")
            || text == QLatin1String("Recieved response is too large");
    case VelmorbusReply::ParseError:
        return text == QLatin1String("Unable to parse current response");
    case VelmorbusReply::NoError:
        return text.isEmpty();
    }
    return false;
}

} // namespace

MasterCheck::MasterCheck()
    : m_peer(new PtyPeer)
    , m_master(new VelmorbusRtuSerialMaster)
{
    if (!m_peer->isOpen()) {
        m_setupError = QStringLiteral("no pseudo-terminal");
        return;
    }
    m_master->setPortName(m_peer->slavePath());
    m_master->setResponseTimeout(ResponseTimeoutMs);
    m_master->setInterFrameDelay(InterFrameDelayMs);
    if (!m_master->open())
        m_setupError = QStringLiteral("cannot open %1").arg(m_peer->slavePath());
}

MasterCheck::~MasterCheck()
{
    delete m_master;
    delete m_peer;
}

QString MasterCheck::setupError() const
{
    return m_setupError;
}

QList<MasterCheck::Step> MasterCheck::parseScript(const QByteArray &script)
{
    QList<Step> steps;
    int gapBudgetMs = GapBudgetMs;
    int requests = 1;
    for (int at = 1; at + 1 < script.size();) {
        const quint8 head = quint8(script.at(at));
        const int length = quint8(script.at(at + 1)) % (MaxChunkBytes + 1);
        Step step;
        step.newRequest = (head & 0x80) && requests < MaxRequests;
        step.gapMs = qMin(int(head & 0x0F), gapBudgetMs);
        step.chunk = script.mid(at + 2, length);
        requests += step.newRequest ? 1 : 0;
        gapBudgetMs -= step.gapMs;
        steps.append(step);
        at += 2 + length;
    }
    return steps;
}

QString MasterCheck::run(const QByteArray &script)
{
    if (!m_setupError.isEmpty() || script.isEmpty())
        return m_setupError;
    m_exchanges.clear();
    m_written.clear();
    m_peer->takeReceived();

    const quint8 id = quint8(script.at(0));
    QString failure = startRequest(id);
    const QList<Step> steps = parseScript(script);
    for (const Step &step : steps) {
        if (!failure.isEmpty())
            break;
        if (step.newRequest) {
            failure = awaitCurrent();
            if (failure.isEmpty())
                failure = startRequest(id);
        }
        pause(step.gapMs);
        m_peer->write(step.chunk);
        m_written += step.chunk;
    }
    if (failure.isEmpty())
        failure = awaitCurrent();
    pause(SettleMs);
    if (failure.isEmpty())
        failure = judgeAll();
    const QString leak = releaseReplies();
    return failure.isEmpty() ? leak : failure;
}

QString MasterCheck::startRequest(quint8 id)
{
    VelmorbusReply *reply = m_master->sendRequest(Request, id);
    if (!reply)
        return QStringLiteral("request %1 refused although the master is idle").arg(m_exchanges.size());
    const int index = m_exchanges.size();
    m_exchanges.append(Exchange {reply, 0});
    QObject::connect(reply, &VelmorbusReply::finished, reply, [this, index] {
        if (index < m_exchanges.size())
            ++m_exchanges[index].finishedCount;
    });
    return QString();
}

QString MasterCheck::awaitCurrent()
{
    const Exchange &current = m_exchanges.last();
    if (current.finishedCount == 0) {
        // While this one is in flight the master must refuse another.
        if (VelmorbusReply *intruder = m_master->sendRequest(Request, current.reply ? current.reply->id() : 0)) {
            intruder->deleteLater();
            return QStringLiteral("a second request was accepted while request %1 was in flight")
                .arg(m_exchanges.size() - 1);
        }
        QEventLoop loop;
        QObject::connect(current.reply.data(), &VelmorbusReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(FinishDeadlineMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (m_exchanges.last().finishedCount == 0)
        return QStringLiteral("request %1 did not finish within %2 ms").arg(m_exchanges.size() - 1).arg(FinishDeadlineMs);
    return QString();
}

QString MasterCheck::judgeAll()
{
    for (int index = 0; index < m_exchanges.size(); ++index) {
        const QString failure = judge(m_exchanges.at(index));
        if (!failure.isEmpty())
            return QStringLiteral("request %1: %2").arg(index).arg(failure);
    }
    return QString();
}

QString MasterCheck::judge(const Exchange &exchange) const
{
    const VelmorbusReply *reply = exchange.reply;
    if (!reply)
        return QStringLiteral("the reply was deleted by someone else");
    if (exchange.finishedCount != 1 || !reply->isFinished())
        return QStringLiteral("finished emitted %1 times").arg(exchange.finishedCount);
    const VelmorBusPacket result = reply->result();
    if (!knownErrorText(reply->error(), reply->errorString()))
        return QStringLiteral("error %1 with text \"%2\"").arg(int(reply->error())).arg(reply->errorString());
    if (reply->error() != VelmorbusReply::NoError)
        return result.isValid() ? QStringLiteral("error %1 with a valid result").arg(int(reply->error())) : QString();
    if (!result.isValid())
        return QStringLiteral("no error but an invalid result");
    const QByteArray answer = frame(reply->id(), result.toByteArray());
    if (!m_written.contains(answer))
        return QStringLiteral("result %1 was never on the line").arg(QString::fromLatin1(answer.toHex(' ')));
    return QString();
}

QString MasterCheck::releaseReplies()
{
    for (const Exchange &exchange : qAsConst(m_exchanges)) {
        if (exchange.reply)
            exchange.reply->deleteLater();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const int alive = m_master->findChildren<VelmorbusReply *>().size();
    if (alive != 0)
        return QStringLiteral("%1 replies still alive after deleteLater").arg(alive);
    return QString();
}
