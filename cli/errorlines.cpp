#include "errorlines.h"

#include "variablelabel.h"
#include "velmordevicemodel.h"

#include <QTimer>

ErrorLines::ErrorLines(VelmorDeviceModel *model, QObject *parent)
    : QObject(parent)
    , m_model(model)
{
    connect(model, &VelmorDeviceModel::errorOccured, this, &ErrorLines::onError);
    connect(model, &VelmorDeviceModel::variableFailed, this, &ErrorLines::onVariableFailed);
}

void ErrorLines::flush()
{
    const QVector<Event> waiting = m_waiting;
    m_waiting.clear();
    for (const Event &event : waiting) {
        if (event.variables.isEmpty())
            emit otherFailure(event.reason);
        else
            emit readFailure(QStringLiteral("Reading variable %1 failed: %2")
                          .arg(event.variables.join(QStringLiteral(", ")), event.reason));
    }
}

void ErrorLines::onError(const QString &text)
{
    m_waiting.append({text, QStringList()});
    scheduleFlush();
}

// The variables of one failed block read follow its one errorOccured; a read that
// stores nothing (a "type" the model does not know) comes without one.
void ErrorLines::onVariableFailed(int id, const QString &reason)
{
    const QString name = variableLabel(m_model, id);
    if (!m_waiting.isEmpty() && m_waiting.constLast().reason == reason)
        m_waiting.last().variables.append(name);
    else
        m_waiting.append({reason, QStringList{name}});
    scheduleFlush();
}

// The variableFailed signals of an event come in the same turn of the event loop as its
// errorOccured.
void ErrorLines::scheduleFlush()
{
    if (m_flushScheduled)
        return;
    m_flushScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_flushScheduled = false;
        flush();
    });
}
