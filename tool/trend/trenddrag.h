#ifndef TRENDDRAG_H
#define TRENDDRAG_H

#include "trendcurvekey.h"

#include <QVector>

class QMimeData;

// Curves carried by drag and drop, from the variable table to a trend window.
namespace TrendDrag {

QMimeData *mimeDataOf(const QVector<TrendCurveKey> &keys);
bool carriesCurves(const QMimeData *data);
QVector<TrendCurveKey> curvesIn(const QMimeData *data);

} // namespace TrendDrag

#endif // TRENDDRAG_H
