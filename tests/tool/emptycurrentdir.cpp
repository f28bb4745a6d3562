#include "emptycurrentdir.h"

#include <QDir>

EmptyCurrentDir::EmptyCurrentDir()
    : m_previousDir(QDir::currentPath())
    , m_current(QDir::setCurrent(m_dir.path()))
{
}

EmptyCurrentDir::~EmptyCurrentDir()
{
    QDir::setCurrent(m_previousDir);
}

bool EmptyCurrentDir::isValid() const
{
    return m_dir.isValid();
}

bool EmptyCurrentDir::isCurrent() const
{
    return m_current;
}
