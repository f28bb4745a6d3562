#ifndef PORTFRAMING_H
#define PORTFRAMING_H

#include <QString>

class QSerialPort;

// What a program asked of its serial port, written as the engineers write it ("8E1"):
// data bits, parity (N, E, O, or ? for another) and stop bits; empty for no port. On a
// pseudo-terminal this is the one place to judge parity and data bits, which the
// terminal accepts and drops.
QString portFraming(const QSerialPort *port);

#endif // PORTFRAMING_H
