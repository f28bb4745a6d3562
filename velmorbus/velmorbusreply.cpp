#include "velmorbusreply.h"

VelmorbusReply::VelmorbusReply(quint8 id, QObject *parent)
    : QObject(parent)
    , m_id(id)
{
}

quint8 VelmorbusReply::id() const
{
    return m_id;
}

bool VelmorbusReply::isFinished() const
{
    return m_finished;
}

VelmorBusPacket VelmorbusReply::result() const
{
    return m_result;
}

VelmorbusReply::Error VelmorbusReply::error() const
{
    return m_error;
}

QString VelmorbusReply::errorString() const
{
    return m_errorText;
}

void VelmorbusReply::setResult(const VelmorBusPacket &result)
{
    m_result = result;
}

void VelmorbusReply::setFinished(bool settled)
{
    m_finished = settled;
    if (settled)
        emit finished();
}

void VelmorbusReply::setError(Error error, const QString &errorText)
{
    m_error = error;
    m_errorText = errorText;
    setFinished(true);
}
