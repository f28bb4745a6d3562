#ifndef PTYRELAY_H
#define PTYRELAY_H

#include "ptydevice.h"

#include <QObject>

class TrafficLogger;

// Two pseudo-terminals joined master to master, for a server that can only open a
// serial port by name: it opens innerPath() while the peer opens the link of the outer one.
class PtyRelay : public QObject
{
    Q_OBJECT

public:
    explicit PtyRelay(TrafficLogger *logger, QObject *parent = nullptr);

    bool create(const QString &linkPath);
    QString innerPath() const { return m_inner.slavePath(); }
    QString outerPath() const { return m_outer.slavePath(); }
    QString errorString() const;

private:
    void forward(PtyDevice *from, PtyDevice *to);

    TrafficLogger *m_logger;
    PtyDevice m_outer;
    PtyDevice m_inner;
};

#endif // PTYRELAY_H
