#include "linekeeper.h"

#include "trafficlogger.h"

LineKeeper::LineKeeper(const QString &name, std::function<void()> close, std::function<bool()> open,
                       TrafficLogger *logger, QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_close(std::move(close))
    , m_open(std::move(open))
    , m_logger(logger)
    , m_retry([this]() { reopen(); })
{
}

void LineKeeper::lineFailed(const QString &reason)
{
    if (m_down)
        return;
    m_down = true;
    m_logger->event(QStringLiteral("%1 lost: %2; opening it again").arg(m_name, reason));
    // Not inside the failing call of the port, which may still use what closing deletes.
    QMetaObject::invokeMethod(this, &LineKeeper::closeLine, Qt::QueuedConnection);
}

void LineKeeper::closeLine()
{
    m_close();
    m_retry.retryLater();
}

void LineKeeper::reopen()
{
    if (!m_open()) {
        m_retry.retryLater();
        return;
    }
    m_down = false;
    m_retry.reset();
    m_logger->event(QStringLiteral("%1 open again").arg(m_name));
}
