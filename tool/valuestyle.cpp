#include "valuestyle.h"

#include "velmordevicemodel.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionViewItem>

namespace {

// Dark enough to read on a light base, red enough to stand out from the normal text.
const QColor failedTextColour(176, 0, 32);
// Pixels kept free around the warning mark inside the cell.
constexpr int markMargin = 2;
// Share of the highlight colour in a writable cell's background: a hint, not a selection.
constexpr qreal writableTint = 0.12;

QColor blend(const QColor &from, const QColor &to, qreal share)
{
    return QColor::fromRgbF(from.redF() + (to.redF() - from.redF()) * share,
                            from.greenF() + (to.greenF() - from.greenF()) * share,
                            from.blueF() + (to.blueF() - from.blueF()) * share);
}

// Halfway between text and base: readable, yet plainly not current, on any colour scheme.
QColor greyedText(const QPalette &palette)
{
    return blend(palette.color(QPalette::Text), palette.color(QPalette::Base), 0.5);
}

void setFont(QStyleOptionViewItem &option, const QFont &font)
{
    option.font = font;
    option.fontMetrics = QFontMetrics(font);
}

void applyQuality(QStyleOptionViewItem &option, VelmorDeviceModel::ValueQuality quality)
{
    switch (quality) {
    case VelmorDeviceModel::QualityGood:
        break;
    case VelmorDeviceModel::QualityStale:
        option.palette.setColor(QPalette::Text, greyedText(option.palette));
        break;
    case VelmorDeviceModel::QualityFromFile: {
        QFont italic = option.font;
        italic.setItalic(true);
        setFont(option, italic);
        option.palette.setColor(QPalette::Text, greyedText(option.palette));
        break;
    }
    case VelmorDeviceModel::QualityFailed:
        option.palette.setColor(QPalette::Text, failedTextColour);
        break;
    }
}

} // namespace

namespace ValueStyle {

void apply(QStyleOptionViewItem &option, const QModelIndex &index)
{
    const QVariant quality = index.data(VelmorDeviceModel::QualityRole);
    if (quality.isValid())
        applyQuality(option, VelmorDeviceModel::ValueQuality(quality.toInt()));
    if (index.flags().testFlag(Qt::ItemIsEditable)) {
        const QPalette &palette = option.palette;
        option.backgroundBrush = blend(palette.color(QPalette::Base), palette.color(QPalette::Highlight), writableTint);
    }
}

void paintMark(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index)
{
    if (index.data(VelmorDeviceModel::QualityRole).toInt() != VelmorDeviceModel::QualityFailed)
        return;
    const QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    const QIcon mark = style->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, option.widget);
    const int side = option.rect.height() - 2 * markMargin;
    const QRect markRect(option.rect.left() + markMargin, option.rect.top() + markMargin, side, side);
    mark.paint(painter, markRect);
}

} // namespace ValueStyle
