#ifndef TRENDVALUE_H
#define TRENDVALUE_H

#include <QString>

// A curve's number as the trend window shows it: the shortest text that reads back as
// the same number, and a dash where there is none.
namespace TrendValue {

QString text(double value);

} // namespace TrendValue

#endif // TRENDVALUE_H
