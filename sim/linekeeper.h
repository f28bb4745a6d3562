#ifndef LINEKEEPER_H
#define LINEKEEPER_H

#include "retrytimer.h"

#include <QObject>
#include <QString>

#include <functional>

class TrafficLogger;

// Keeps a served serial line when it fails (an adapter unplugged, a terminal hung up).
// Qt reports such a line again at every turn of the event loop, so it is closed, and
// opened again after a pause that grows while it keeps failing.
class LineKeeper : public QObject
{
    Q_OBJECT

public:
    // open returns whether the line could be had.
    LineKeeper(const QString &name, std::function<void()> close, std::function<bool()> open, TrafficLogger *logger,
               QObject *parent = nullptr);

    // The line failed; reason says how. Errors while it is closed are ignored.
    void lineFailed(const QString &reason);

private:
    void closeLine();
    void reopen();

    QString m_name;
    std::function<void()> m_close;
    std::function<bool()> m_open;
    TrafficLogger *m_logger;
    RetryTimer m_retry;
    bool m_down = false;
};

#endif // LINEKEEPER_H
