#include "serialportframing.h"

namespace SerialPortFraming {

QSerialPort::Parity parity(const SerialFraming &framing)
{
    switch (framing.parity) {
    case SerialFraming::Parity::Even:
        return QSerialPort::EvenParity;
    case SerialFraming::Parity::Odd:
        return QSerialPort::OddParity;
    case SerialFraming::Parity::None:
        break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::DataBits dataBits(const SerialFraming &framing)
{
    return framing.dataBits == 7 ? QSerialPort::Data7 : QSerialPort::Data8;
}

QSerialPort::StopBits stopBits(const SerialFraming &framing)
{
    return framing.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop;
}

} // namespace SerialPortFraming
