#include "valuerefusal.h"

namespace {

QString variableLabel(const VelmorDeviceModel &device, unsigned int id)
{
    const QString name = device.getVarAttr(id, QStringLiteral("name")).toString();
    if (!name.isEmpty())
        return name;
    return QStringLiteral("адрес %1").arg(device.getVarAttr(id, QStringLiteral("addr")).toString());
}

// Ten significant digits show every 32-bit limit whole and the float32 limit readably.
QString limitText(double limit)
{
    return QString::number(limit, 'g', 10);
}

QString reason(const VelmorDeviceModel &device, unsigned int id, const QVariant &value,
               VelmorDeviceModel::ValueCheck check)
{
    if (check == VelmorDeviceModel::ValueNotANumber)
        return QStringLiteral("«%1» — не число (или дробь для целочисленной переменной)").arg(value.toString());
    const QPair<double, double> range = device.varValueRange(id);
    return QStringLiteral("%1 вне диапазона %2…%3")
        .arg(value.toString(), limitText(range.first), limitText(range.second));
}

} // namespace

namespace ValueRefusal {

QString text(const VelmorDeviceModel &device, unsigned int id, const QVariant &value,
             VelmorDeviceModel::ValueCheck check)
{
    return QStringLiteral("%1 :: %2: %3, значение не изменено")
        .arg(device.devName(), variableLabel(device, id), reason(device, id, value, check));
}

} // namespace ValueRefusal
