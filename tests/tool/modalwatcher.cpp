#include "modalwatcher.h"

#include <QApplication>
#include <QWidget>

ModalWatcher::ModalWatcher(const QMetaObject &kind, Handler handler, QObject *parent)
    : QObject(parent)
    , m_kind(kind)
    , m_handler(std::move(handler))
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalWatcher::poll);
    m_timer.start();
}

bool ModalWatcher::seen() const
{
    return m_seen;
}

void ModalWatcher::poll()
{
    QWidget *widget = QApplication::activePopupWidget();
    if (!widget || !m_kind.cast(widget))
        widget = QApplication::activeModalWidget();
    if (!widget || !m_kind.cast(widget) || !widget->isVisible())
        return;
    m_timer.stop();
    m_seen = true;
    m_handler(widget);
}
