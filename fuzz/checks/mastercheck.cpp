#include "mastercheck.h"

#include "velmorbusframe.h"
#include "velmorbuspacket.h"
#include "velmorbusreply.h"
#include "velmorbusrtuserialmaster.h"

#include <QCoreApplication>
#include <QRegularExpression>

// The master with its line and its clock in the check's hands. It never opens its port.
class ScriptedMaster : public VelmorbusRtuSerialMaster
{
public:
    using VelmorbusRtuSerialMaster::receive;
    using VelmorbusRtuSerialMaster::silenceElapsed;
    using VelmorbusRtuSerialMaster::silenceWaitMs;
};

namespace {

// The gaps of a script (0 to 15 ms) reach both sides of the inter-frame delay, and a few
// of them the response timeout.
constexpr int ResponseTimeoutMs = 40;
constexpr int InterFrameDelayMs = 8;
constexpr int MaxChunkBytes = 64;
constexpr int MaxRequests = 4;

VelmorBusPacket scriptRequest(int index)
{
    if (index % 2 == 0)
        return VelmorBusPacket(VelmorBusPacket::CmdRead, 0x0C02, 8);
    VelmorBusPacket write(VelmorBusPacket::CmdWrite, 0x0C02, 8);
    write.setData(QByteArray::fromHex("36140A1409E10703"));
    return write;
}

bool knownErrorText(VelmorbusReply::Error error, const QString &text)
{
    static const QRegularExpression mismatch(
        QStringLiteral("^\\(Velmorbus\\) reply is for another (command \\(\\d+\\)|address \\(0x[0-9a-f]+\\))$"));
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
    case VelmorbusReply::MismatchError:
        return mismatch.match(text).hasMatch();
    case VelmorbusReply::NoError:
        return text.isEmpty();
    }
    return false;
}

} // namespace

MasterCheck::MasterCheck()
    : m_master(new ScriptedMaster)
{
    m_master->setResponseTimeout(ResponseTimeoutMs);
    m_master->setInterFrameDelay(InterFrameDelayMs);
}

MasterCheck::~MasterCheck() = default;

QList<MasterCheck::Step> MasterCheck::parseScript(const QByteArray &script)
{
    QList<Step> steps;
    int requests = 1;
    for (int at = 1; at + 1 < script.size();) {
        const quint8 head = quint8(script.at(at));
        const int length = quint8(script.at(at + 1)) % (MaxChunkBytes + 1);
        Step step;
        step.newRequest = (head & 0x80) && requests < MaxRequests;
        step.gapMs = head & 0x0F;
        step.chunk = script.mid(at + 2, length);
        requests += step.newRequest ? 1 : 0;
        steps.append(step);
        at += 2 + length;
    }
    return steps;
}

QString MasterCheck::run(const QByteArray &script)
{
    if (script.isEmpty())
        return QString();
    m_exchanges.clear();
    m_written.clear();
    m_nowMs = 0;

    const quint8 id = quint8(script.at(0));
    QString failure = startRequest(id);
    const QList<Step> steps = parseScript(script);
    for (const Step &step : steps) {
        if (!failure.isEmpty())
            break;
        if (step.newRequest) {
            failure = finishCurrent();
            if (failure.isEmpty())
                failure = startRequest(id);
        }
        passTime(step.gapMs);
        feed(step.chunk);
    }
    if (failure.isEmpty())
        failure = finishCurrent();
    if (failure.isEmpty())
        failure = judgeAll();
    const QString leak = releaseReplies();
    return failure.isEmpty() ? leak : failure;
}

QString MasterCheck::startRequest(quint8 id)
{
    const int index = m_exchanges.size();
    VelmorbusReply *reply = m_master->sendRequest(scriptRequest(index), id);
    if (!reply)
        return QStringLiteral("request %1 refused although the master is idle").arg(index);
    m_exchanges.append(Exchange {reply, 0});
    QObject::connect(reply, &VelmorbusReply::finished, reply, [this, index] {
        if (index < m_exchanges.size())
            ++m_exchanges[index].finishedCount;
    });
    noteWait();
    return QString();
}

void MasterCheck::passTime(int ms)
{
    m_nowMs += ms;
    if (m_waitEndsMs >= 0 && m_nowMs >= m_waitEndsMs) {
        m_waitEndsMs = -1;
        m_master->silenceElapsed();
    }
}

void MasterCheck::feed(const QByteArray &chunk)
{
    m_written += chunk;
    if (chunk.isEmpty())
        return;
    m_master->receive(chunk);
    noteWait();
}

void MasterCheck::noteWait()
{
    const int waitMs = m_master->silenceWaitMs();
    m_waitEndsMs = waitMs >= 0 ? m_nowMs + waitMs : -1;
}

QString MasterCheck::finishCurrent()
{
    const Exchange &current = m_exchanges.last();
    const int index = m_exchanges.size() - 1;
    if (current.finishedCount == 0) {
        // While this one is in flight the master must refuse another, and leave it alone.
        if (VelmorbusReply *intruder = m_master->sendRequest(scriptRequest(index), current.reply->id())) {
            intruder->deleteLater();
            return QStringLiteral("a second request was accepted while request %1 was in flight").arg(index);
        }
        if (m_waitEndsMs < 0)
            return QStringLiteral("request %1 is in flight but the master waits for nothing").arg(index);
        passTime(int(m_waitEndsMs - m_nowMs));
    }
    if (m_exchanges.last().finishedCount == 0)
        return QStringLiteral("request %1 did not finish when its wait ended").arg(index);
    if (m_master->silenceWaitMs() >= 0)
        return QStringLiteral("the master still waits after request %1 finished").arg(index);
    return QString();
}

QString MasterCheck::judgeAll() const
{
    for (int index = 0; index < m_exchanges.size(); ++index) {
        const QString failure = judge(index);
        if (!failure.isEmpty())
            return QStringLiteral("request %1: %2").arg(index).arg(failure);
    }
    return QString();
}

QString MasterCheck::judge(int index) const
{
    const Exchange &exchange = m_exchanges.at(index);
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
    const VelmorBusPacket request = scriptRequest(index);
    if (result.cmd() != request.cmd() || result.addr() != request.addr())
        return QStringLiteral("command %1 at 0x%2 taken for the request").arg(result.cmd()).arg(result.addr(), 0, 16);
    const QByteArray answer = VelmorbusFrame::build(reply->id(), result.toByteArray());
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
