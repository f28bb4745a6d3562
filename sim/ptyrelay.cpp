#include "ptyrelay.h"

#include "trafficlogger.h"

PtyRelay::PtyRelay(TrafficLogger *logger, QObject *parent)
    : QObject(parent)
    , m_logger(logger)
{
    connect(&m_outer, &QIODevice::readyRead, this, [this]() { forward(&m_outer, &m_inner); });
    connect(&m_inner, &QIODevice::readyRead, this, [this]() { forward(&m_inner, &m_outer); });
}

bool PtyRelay::create(const QString &linkPath)
{
    return m_inner.create() && m_outer.create(linkPath);
}

QString PtyRelay::errorString() const
{
    return m_inner.isOpen() ? m_outer.errorString() : m_inner.errorString();
}

void PtyRelay::forward(PtyDevice *from, PtyDevice *to)
{
    const QByteArray bytes = from->readAll();
    // What a far end that does not read cannot take is lost, as on a cable.
    if (to->write(bytes) != bytes.size())
        m_logger->event(QStringLiteral("%1 bytes for %2 lost: %3").arg(bytes.size()).arg(to->slavePath(), to->errorString()));
}
