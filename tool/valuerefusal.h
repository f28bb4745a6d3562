#ifndef VALUEREFUSAL_H
#define VALUEREFUSAL_H

#include "velmordevicemodel.h"

#include <QString>
#include <QVariant>

// The status line for a value a variable does not take: which device and variable, what
// was given and why it was refused.
namespace ValueRefusal {

QString text(const VelmorDeviceModel &device, unsigned int id, const QVariant &value,
             VelmorDeviceModel::ValueCheck check);

} // namespace ValueRefusal

#endif // VALUEREFUSAL_H
