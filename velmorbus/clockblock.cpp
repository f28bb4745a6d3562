#include "clockblock.h"

#include "velmorbusconstants.h"

namespace ClockBlock {

QByteArray encode(const QDateTime &dateTime)
{
    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    QByteArray block;
    block.append(char(time.second()))
        .append(char(time.minute()))
        .append(char(time.hour()))
        .append(char(date.day()))
        .append(char(date.month()))
        .append(char(date.year() & 0xFF))
        .append(char((date.year() >> 8) & 0xFF))
        .append(char(date.dayOfWeek()));
    return block;
}

QDateTime decode(const QByteArray &block)
{
    if (block.size() < Velmorbus::clockBlockSize)
        return {};
    const auto byteAt = [&block](int offset) { return int(quint8(block.at(offset))); };
    const QDate date(byteAt(5) | (byteAt(6) << 8), byteAt(4), byteAt(3));
    const QTime time(byteAt(2), byteAt(1), byteAt(0));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::LocalTime);
}

} // namespace ClockBlock
