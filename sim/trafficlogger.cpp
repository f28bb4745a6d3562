#include "trafficlogger.h"

#include <QTime>

TrafficLogger::TrafficLogger(std::FILE *stream)
    : m_stream(stream)
{
}

void TrafficLogger::status(const QString &text)
{
    writeLine(text);
}

void TrafficLogger::request(const QByteArray &bytes, const QString &meaning)
{
    timedLine(QStringLiteral("rx"), hex(bytes) + QStringLiteral(" | ") + meaning);
}

void TrafficLogger::answer(const QByteArray &bytes, const QString &meaning, const QString &fault)
{
    QString text = bytes.isEmpty() ? QStringLiteral("(nothing)") : hex(bytes);
    text += QStringLiteral(" | ") + meaning;
    if (!fault.isEmpty())
        text += QStringLiteral(" | fault: ") + fault;
    timedLine(QStringLiteral("tx"), text);
}

void TrafficLogger::event(const QString &text)
{
    timedLine(QStringLiteral("--"), text);
}

QString TrafficLogger::hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

void TrafficLogger::timedLine(const QString &direction, const QString &text)
{
    writeLine(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")) + QLatin1Char(' ') + direction
              + QLatin1Char(' ') + text);
}

void TrafficLogger::writeLine(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_stream);
    std::fflush(m_stream);
}
