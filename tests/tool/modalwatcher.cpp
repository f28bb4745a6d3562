#include "modalwatcher.h"

#include <QApplication>
#include <QWidget>

ModalWatcher::ModalWatcher(Handler handler, QObject *parent)
    : QObject(parent)
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
    if (!widget)
        widget = QApplication::activeModalWidget();
    if (!widget || !widget->isVisible())
        return;
    m_timer.stop();
    m_seen = true;
    m_handler(widget);
}
