#include "ptybridge.h"

PtyBridge::PtyBridge(QObject *parent)
    : QObject(parent)
{
    connect(&m_outer, &QIODevice::readyRead, this, [this]() { m_inner.write(m_outer.readAll()); });
    connect(&m_inner, &QIODevice::readyRead, this, [this]() { m_outer.write(m_inner.readAll()); });
}

bool PtyBridge::create(const QString &linkPath)
{
    return m_inner.create() && m_outer.create(linkPath);
}

QString PtyBridge::errorString() const
{
    return m_inner.isOpen() ? m_outer.errorString() : m_inner.errorString();
}
