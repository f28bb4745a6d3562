#include "paintcounter.h"

#include <QEvent>

PaintCounter::PaintCounter(QObject *watched)
    : QObject(watched)
{
    watched->installEventFilter(this);
}

int PaintCounter::count() const
{
    return m_count;
}

void PaintCounter::reset()
{
    m_count = 0;
}

bool PaintCounter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint)
        ++m_count;
    return QObject::eventFilter(watched, event);
}
