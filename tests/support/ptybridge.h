#ifndef PTYBRIDGE_H
#define PTYBRIDGE_H

#include "ptypeer.h"

#include <QObject>

// A null-modem cable between two pseudo-terminals: what one end's slave writes the other
// end's slave reads, so two serial-port users (a master and Qt's own slave) can talk.
class PtyBridge : public QObject
{
    Q_OBJECT

public:
    explicit PtyBridge(QObject *parent = nullptr);

    bool isOpen() const;
    QString firstPort() const;
    QString secondPort() const;
    // Pulls the cable at the first end: its user sees the line fail.
    void unplugFirst();

private:
    PtyPeer m_first;
    PtyPeer m_second;
};

#endif // PTYBRIDGE_H
