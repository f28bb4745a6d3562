#include "registerformats.h"

#include "registerlayout.h"

#include <cmath>
#include <cstring>

namespace RegisterFormats {

namespace {

// The four orders a device can use; Legacy is a model setting, not a layout on the wire.
const QVector<RegisterLayout::WordOrder> orders {RegisterLayout::WordOrder::ABCD, RegisterLayout::WordOrder::CDAB,
                                                 RegisterLayout::WordOrder::BADC, RegisterLayout::WordOrder::DCBA};

// 16 binary digits in groups of four, the nibbles of the hex text.
QString binaryText(quint16 word)
{
    const QString digits = QStringLiteral("%1").arg(word, 16, 2, QLatin1Char('0'));
    QStringList groups;
    for (int start = 0; start < digits.size(); start += 4)
        groups.append(digits.mid(start, 4));
    return groups.join(QLatin1Char(' '));
}

QString float32Text(quint32 pattern)
{
    float value;
    std::memcpy(&value, &pattern, sizeof value);
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    return QString::fromStdString(RegisterLayout::floatText(value));
}

} // namespace

QStringList orderNames()
{
    QStringList names;
    for (RegisterLayout::WordOrder order : orders)
        names.append(QString::fromStdString(RegisterLayout::wordOrderName(order)));
    return names;
}

Single single(quint16 word)
{
    Single formats;
    formats.hex = QStringLiteral("0x") + QStringLiteral("%1").arg(word, 4, 16, QLatin1Char('0')).toUpper();
    formats.unsignedText = QString::number(word);
    formats.signedText = QString::number(qint16(word));
    formats.binary = binaryText(word);
    return formats;
}

Pair pair(quint16 first, quint16 second)
{
    Pair formats;
    for (RegisterLayout::WordOrder order : orders) {
        const quint32 raw = RegisterLayout::rawWordFromModbusRead(order, RegisterLayout::Type::Int32, first, second);
        formats.int32.append(QString::number(qint32(raw)));
        formats.uint32.append(QString::number(raw));
        formats.float32.append(float32Text(raw));
    }
    return formats;
}

} // namespace RegisterFormats
