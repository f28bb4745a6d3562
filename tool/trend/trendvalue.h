#ifndef TRENDVALUE_H
#define TRENDVALUE_H

#include <QString>

// A curve's number as the trend window shows it: a whole number in full, a fraction to
// seven significant digits, and a dash where there is none.
namespace TrendValue {

QString text(double value);

} // namespace TrendValue

#endif // TRENDVALUE_H
