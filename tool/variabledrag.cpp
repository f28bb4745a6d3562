#include "variabledrag.h"

#include "devicerecording.h"
#include "trenddrag.h"
#include "velmordevicemodel.h"

#include <QApplication>
#include <QDrag>
#include <QMouseEvent>
#include <QTreeView>

VariableDrag::VariableDrag(QTreeView *view)
    : QObject(view)
    , m_view(view)
{
    view->viewport()->installEventFilter(this);
}

QMimeData *VariableDrag::mimeDataOf(QModelIndex index)
{
    // A variable is a top-level row; its row number is its id.
    while (index.parent().isValid())
        index = index.parent();
    const auto *device = qobject_cast<const VelmorDeviceModel *>(index.model());
    const auto *recording = device ? device->findChild<DeviceRecording *>() : nullptr;
    if (!recording || !index.isValid())
        return nullptr;
    return TrendDrag::mimeDataOf({{recording->source(), index.row(), -1}});
}

bool VariableDrag::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        const auto *press = static_cast<QMouseEvent *>(event);
        m_pressed = press->button() == Qt::LeftButton;
        m_pressedAt = press->pos();
    } else if (event->type() == QEvent::MouseButtonRelease) {
        m_pressed = false;
    } else if (event->type() == QEvent::MouseMove && startsDrag(static_cast<QMouseEvent *>(event)->pos())) {
        m_pressed = false;
        drag();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

bool VariableDrag::startsDrag(const QPoint &at) const
{
    return m_pressed && (at - m_pressedAt).manhattanLength() >= QApplication::startDragDistance();
}

void VariableDrag::drag()
{
    QMimeData *data = mimeDataOf(m_view->indexAt(m_pressedAt));
    if (!data)
        return;
    auto *drag = new QDrag(m_view);
    drag->setMimeData(data);
    drag->exec(Qt::CopyAction);
}
