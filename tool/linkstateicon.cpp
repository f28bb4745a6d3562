#include "linkstateicon.h"

#include <QPainter>
#include <QPixmap>

namespace {

constexpr int iconSize = 64;
constexpr int badgeSize = 24;

QColor badgeColour(LinkReconnect::State state)
{
    return state == LinkReconnect::State::Lost ? QColor(0xc6, 0x28, 0x28) : QColor(0xef, 0x9a, 0x00);
}

} // namespace

QIcon LinkStateIcon::of(LinkReconnect::State state)
{
    const QIcon controller(QStringLiteral(":/controller.svg"));
    if (state == LinkReconnect::State::Normal)
        return controller;
    QPixmap pixmap = controller.pixmap(iconSize, iconSize);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(badgeColour(state));
    painter.drawEllipse(QRect(iconSize - badgeSize - 1, iconSize - badgeSize - 1, badgeSize, badgeSize));
    return QIcon(pixmap);
}
