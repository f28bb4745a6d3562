#include "logcapture.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
QMutex capturedMutex;
QList<LogCapture::Message> captured;
}

LogCapture::LogCapture()
    : m_previous(qInstallMessageHandler(&LogCapture::handler))
{
    clear();
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    QMutexLocker lock(&capturedMutex);
    captured.append({type, text});
}

QList<LogCapture::Message> LogCapture::messages() const
{
    QMutexLocker lock(&capturedMutex);
    return captured;
}

int LogCapture::count(QtMsgType type, const QString &text) const
{
    return messages().count({type, text});
}

bool LogCapture::contains(QtMsgType type, const QString &text) const
{
    return count(type, text) > 0;
}

int LogCapture::countOfType(QtMsgType type) const
{
    int n = 0;
    for (const Message &message : messages())
        n += message.first == type ? 1 : 0;
    return n;
}

void LogCapture::clear()
{
    QMutexLocker lock(&capturedMutex);
    captured.clear();
}
