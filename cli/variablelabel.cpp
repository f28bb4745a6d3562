#include "variablelabel.h"

#include "velmordevicemodel.h"

QString variableLabel(const VelmorDeviceModel *model, int id)
{
    const QVariant name = model->getVarAttr(unsigned(id), QStringLiteral("name"));
    return name.isValid() ? name.toString() : QStringLiteral("#%1").arg(id);
}
