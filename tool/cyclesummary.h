#ifndef CYCLESUMMARY_H
#define CYCLESUMMARY_H

#include <QString>

class VelmorDeviceModel;

// The permanent status-bar text after a poll cycle: which device, how long the cycle
// took, how many values it read and how many reads failed.
namespace CycleSummary {

QString text(const VelmorDeviceModel &device, int cycleMs);

} // namespace CycleSummary

#endif // CYCLESUMMARY_H
