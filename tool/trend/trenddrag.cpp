#include "trenddrag.h"

#include <QMimeData>

namespace {

const QString mimeType = QStringLiteral("application/x-velmor-trend-curves");

} // namespace

QMimeData *TrendDrag::mimeDataOf(const QVector<TrendCurveKey> &keys)
{
    QByteArray lines;
    for (const TrendCurveKey &key : keys)
        lines += QByteArray::number(key.source) + ' ' + QByteArray::number(key.variable) + ' '
                 + QByteArray::number(key.bit) + '\n';
    auto *data = new QMimeData;
    data->setData(mimeType, lines);
    return data;
}

bool TrendDrag::carriesCurves(const QMimeData *data)
{
    return data && data->hasFormat(mimeType);
}

QVector<TrendCurveKey> TrendDrag::curvesIn(const QMimeData *data)
{
    QVector<TrendCurveKey> keys;
    if (!carriesCurves(data))
        return keys;
    for (const QByteArray &line : data->data(mimeType).split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 3)
            keys.append({fields.at(0).toInt(), fields.at(1).toInt(), fields.at(2).toInt()});
    }
    return keys;
}
