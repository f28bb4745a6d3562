#ifndef VARIABLELABEL_H
#define VARIABLELABEL_H

#include <QString>

class VelmorDeviceModel;

// How messages, series and topics name a variable: its name, or #ID (its position)
// when it has none, as the model's own messages do.
QString variableLabel(const VelmorDeviceModel *model, int id);

#endif // VARIABLELABEL_H
