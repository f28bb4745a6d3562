#include "sessionconsole.h"

#include "tableprinter.h"
#include "traceline.h"

#include <QDateTime>

#include <cstdio>

SessionConsole::SessionConsole(const QString &deviceName, bool labelled)
    : m_deviceName(deviceName)
    , m_labelled(labelled)
    , m_out(stdout)
    , m_err(stderr)
    , m_progress(m_err)
{
    m_out.setCodec("UTF-8");
    m_err.setCodec("UTF-8");
}

void SessionConsole::note(const QString &text)
{
    m_progress.clear();
    m_err << "velmor-cli: " << devicePrefix() << text << Qt::endl;
}

void SessionConsole::error(const QString &text)
{
    m_progress.clear();
    m_err << devicePrefix() << text << Qt::endl;
}

void SessionConsole::trace(const QDateTime &time, bool sent, const QByteArray &bytes)
{
    m_progress.clear();
    m_err << devicePrefix() << TraceLine::text(time, sent, bytes) << Qt::endl;
}

void SessionConsole::progress(int done, int total)
{
    // Several devices would share the one line.
    if (!m_labelled)
        m_progress.step(done, total);
}

void SessionConsole::clearProgress()
{
    m_progress.clear();
}

void SessionConsole::say(const QString &line)
{
    m_out << line << Qt::endl;
}

void SessionConsole::printCycle(int cycle, int cycleTimeMs, const ReadingFeed *readings, const QVector<int> &failedIds)
{
    const QString of = m_labelled ? QStringLiteral(" of ") + m_deviceName : QString();
    m_out << QStringLiteral("Cycle %1%2 at %3, %4 ms")
                 .arg(cycle)
                 .arg(of, QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz")))
                 .arg(cycleTimeMs)
          << Qt::endl;
    TablePrinter(readings).print(m_out, failedIds);
    m_out << Qt::endl;
}

void SessionConsole::printResult(const ReadingFeed *readings, const QVector<int> &failedIds)
{
    if (m_labelled)
        m_out << m_deviceName << ':' << Qt::endl;
    TablePrinter(readings).print(m_out, failedIds);
}

void SessionConsole::flush()
{
    m_out.flush();
    m_err.flush();
}

QString SessionConsole::devicePrefix() const
{
    return m_labelled ? m_deviceName + QStringLiteral(": ") : QString();
}
