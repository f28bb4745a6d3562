#ifndef SERIALPORTFRAMING_H
#define SERIALPORTFRAMING_H

#include "serialframing.h"

#include <QSerialPort>

// A description's framing as QSerialPort names it, for the links that open a port.
namespace SerialPortFraming {

QSerialPort::Parity parity(const SerialFraming &framing);
QSerialPort::DataBits dataBits(const SerialFraming &framing);
QSerialPort::StopBits stopBits(const SerialFraming &framing);

} // namespace SerialPortFraming

#endif // SERIALPORTFRAMING_H
