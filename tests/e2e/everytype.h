#ifndef EVERYTYPE_H
#define EVERYTYPE_H

#include "simulatedcontroller.h"

#include <QStringList>
#include <QVector>

class VelmorDeviceModel;

// A controller with a variable of every type, read-only and writable; for Modbus also
// input registers. Addresses follow the protocol: registers for Modbus, bytes for Velmorbus.
namespace EveryType {

QVector<ControllerVariable> variables(const QByteArray &protocol);
// The texts the model holds once it has read every variable of variables(protocol).
QStringList heldTexts(const QByteArray &protocol);
// The row of the variable of that name.
int row(const QByteArray &protocol, const QByteArray &name);
// The "value" texts the model holds now, one per row.
QStringList heldTexts(const VelmorDeviceModel &model);
// The protocol names served in these tests.
QList<QByteArray> protocols();

} // namespace EveryType

#endif // EVERYTYPE_H
