#include "csvlogger.h"

#include "csvtext.h"
#include "readingfeed.h"
#include "velmordevicemodel.h"

#include <QDateTime>

CsvLogger::CsvLogger(const ReadingFeed *readings, bool onlyOnChange, const QString &deviceName)
    : m_readings(readings)
    , m_onlyOnChange(onlyOnChange)
    , m_deviceName(deviceName)
{
}

bool CsvLogger::open(const QString &fileName, QString *errorText)
{
    m_file.setFileName(fileName);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        *errorText = QStringLiteral("cannot open %1: %2").arg(fileName, m_file.errorString());
        return false;
    }
    if (m_file.size() > 0)
        return true;
    QStringList header = QStringList{QStringLiteral("time")} + deviceColumn(QStringLiteral("device"))
                         + QStringList{QStringLiteral("cycle_ms")};
    for (int id = 0; id < m_readings->count(); ++id)
        header.append(m_readings->model()->getVarAttr(unsigned(id), QStringLiteral("name")).toString());
    if (!writeRow(header)) {
        *errorText = QStringLiteral("cannot write %1: %2").arg(fileName, m_file.errorString());
        return false;
    }
    return true;
}

bool CsvLogger::logCycle(const QDateTime &time, int cycleTimeMs, const QVector<int> &failedIds)
{
    const QStringList values = currentValues(failedIds);
    if (m_onlyOnChange && m_rowWritten && !changedSinceLastRow(values))
        return true;
    remember(values);
    m_rowWritten = true;
    // Local time with its offset, so rows stay unambiguous across a clock change.
    const QDateTime local = time.toOffsetFromUtc(time.offsetFromUtc());
    return writeRow(QStringList{local.toString(Qt::ISODateWithMs)} + deviceColumn(m_deviceName)
                    + QStringList{QString::number(cycleTimeMs)} + values);
}

QStringList CsvLogger::deviceColumn(const QString &cell) const
{
    return m_deviceName.isEmpty() ? QStringList() : QStringList{cell};
}

QStringList CsvLogger::currentValues(const QVector<int> &failedIds) const
{
    QStringList values;
    for (int id = 0; id < m_readings->count(); ++id)
        values.append(failedIds.contains(id) ? QString() : m_readings->current(id).text);
    return values;
}

bool CsvLogger::changedSinceLastRow(const QStringList &values) const
{
    // A failed read is no change: its empty cell is not compared.
    for (int id = 0; id < values.size(); ++id) {
        if (!values.at(id).isEmpty() && values.at(id) != m_lastValues.value(id))
            return true;
    }
    return false;
}

void CsvLogger::remember(const QStringList &values)
{
    if (m_lastValues.size() != values.size())
        m_lastValues = values;
    for (int id = 0; id < values.size(); ++id) {
        if (!values.at(id).isEmpty())
            m_lastValues[id] = values.at(id);
    }
}

bool CsvLogger::writeRow(const QStringList &cells)
{
    const QByteArray bytes = CsvText::line(cells).toUtf8();
    // Flushed at once, so a reader of the file sees each cycle as it ends.
    return m_file.write(bytes) == bytes.size() && m_file.flush();
}
