#include "reading.h"

#include "variablelabel.h"

Reading Reading::of(const VelmorDeviceModel *model, int id)
{
    Reading reading;
    reading.id = id;
    reading.label = variableLabel(model, id);
    reading.value = model->getVarValue(unsigned(id));
    reading.text = model->getVarAttr(unsigned(id), QStringLiteral("value")).toString();
    reading.quality = model->varQuality(unsigned(id));
    reading.readTime = model->varLastReadTime(unsigned(id));
    reading.number = model->varNumber(unsigned(id));
    return reading;
}
