#include "cyclesummary.h"

#include "velmordevicemodel.h"

namespace {

int countOf(const VelmorDeviceModel &device, VelmorDeviceModel::ValueQuality quality)
{
    int count = 0;
    for (int id = 0; id < device.varCount(); ++id) {
        if (device.varQuality(unsigned(id)) == quality)
            ++count;
    }
    return count;
}

} // namespace

namespace CycleSummary {

// Once a cycle has ended, a good value is one it read and a failed one is one it could
// not read, so the counts are the table's own.
QString text(const VelmorDeviceModel &device, int cycleMs)
{
    return QStringLiteral("%1: цикл %2 мс, прочитано %3, ошибок %4")
        .arg(device.devName())
        .arg(cycleMs)
        .arg(countOf(device, VelmorDeviceModel::QualityGood))
        .arg(countOf(device, VelmorDeviceModel::QualityFailed));
}

} // namespace CycleSummary
