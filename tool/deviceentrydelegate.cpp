#include "deviceentrydelegate.h"

#include <QAbstractScrollArea>

#include <algorithm>

DeviceEntryDelegate::DeviceEntryDelegate(QWidget *list)
    : QStyledItemDelegate(list)
    , m_list(list)
{
}

QSize DeviceEntryDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const auto *view = qobject_cast<QAbstractScrollArea *>(m_list);
    const int width = view ? view->viewport()->width() : m_list->width();
    size.setWidth(std::min(size.width(), width));
    return size;
}

void DeviceEntryDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = Qt::ElideMiddle;
}
