#include "ptybridge.h"

PtyBridge::PtyBridge(QObject *parent)
    : QObject(parent)
{
    connect(&m_first, &PtyPeer::bytesReceived, &m_second, &PtyPeer::write);
    connect(&m_second, &PtyPeer::bytesReceived, &m_first, &PtyPeer::write);
}

bool PtyBridge::isOpen() const
{
    return m_first.isOpen() && m_second.isOpen();
}

QString PtyBridge::firstPort() const
{
    return m_first.slavePath();
}

QString PtyBridge::secondPort() const
{
    return m_second.slavePath();
}

void PtyBridge::unplugFirst()
{
    m_first.closeMaster();
}
