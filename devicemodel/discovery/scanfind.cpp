#include "scanfind.h"

#include <QStringList>

namespace {

QString protocolName(ScanPlan::Protocol protocol)
{
    switch (protocol) {
    case ScanPlan::Protocol::ModbusRtu:
        return QStringLiteral("Modbus RTU");
    case ScanPlan::Protocol::VelmorbusRtu:
        return QStringLiteral("Velmorbus RTU");
    case ScanPlan::Protocol::ModbusTcp:
        return QStringLiteral("Modbus TCP");
    }
    return QString();
}

// "8E1": data bits, the parity's initial, stop bits.
QString framing(const ScanCandidate &candidate)
{
    return QStringLiteral("%1%2%3").arg(candidate.dataBits).arg(candidate.parity.left(1).toUpper()).arg(candidate.stopBits);
}

QString where(const ScanCandidate &candidate)
{
    if (candidate.protocol == ScanPlan::Protocol::ModbusTcp)
        return QStringLiteral("unit id %1").arg(candidate.address);
    return QStringLiteral("address %1, %2 %3").arg(candidate.address).arg(candidate.baudRate).arg(framing(candidate));
}

QString hexWords(const QVector<quint16> &words)
{
    QStringList texts;
    for (quint16 word : words)
        texts.append(QStringLiteral("0x%1").arg(word, 4, 16, QLatin1Char('0')));
    return texts.join(QLatin1Char(' '));
}

} // namespace

QString ScanFind::summary() const
{
    const QString place = QStringLiteral("%1 %2").arg(candidate.protocol == ScanPlan::Protocol::VelmorbusRtu
                                                          ? QStringLiteral("data address")
                                                          : QStringLiteral("register"))
                              .arg(probeAddress);
    const QString answer = exceptionCode != 0
        ? QStringLiteral("%1: exception 0x%2").arg(place).arg(exceptionCode, 2, 16, QLatin1Char('0'))
        : QStringLiteral("%1 = %2").arg(place, hexWords(words));
    return QStringLiteral("%1, %2: %3").arg(protocolName(candidate.protocol), where(candidate), answer);
}
