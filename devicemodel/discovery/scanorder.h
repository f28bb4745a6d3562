#ifndef SCANORDER_H
#define SCANORDER_H

#include "scanfind.h"
#include "scanplan.h"

#include <QVector>

// Every candidate of a plan, in the order the scan tries them (described in scanplan.h).
namespace ScanOrder {

QVector<ScanCandidate> candidates(const ScanPlan &plan);
// Whether two candidates share a line setting, so the line stays open between them.
bool sameLine(const ScanCandidate &first, const ScanCandidate &second);

} // namespace ScanOrder

#endif // SCANORDER_H
