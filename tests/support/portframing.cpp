#include "portframing.h"

#include <QSerialPort>

namespace {

QChar parityLetter(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::NoParity:
        return QLatin1Char('N');
    case QSerialPort::EvenParity:
        return QLatin1Char('E');
    case QSerialPort::OddParity:
        return QLatin1Char('O');
    default:
        return QLatin1Char('?');
    }
}

} // namespace

QString portFraming(const QSerialPort *port)
{
    if (!port)
        return QString();
    return QString::number(int(port->dataBits())) + parityLetter(port->parity()) + QString::number(int(port->stopBits()));
}
