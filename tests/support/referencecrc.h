#ifndef REFERENCECRC_H
#define REFERENCECRC_H

#include <QByteArray>

// CRC-16/MODBUS computed bit by bit, independent of the table the code under test uses.
quint16 referenceCrc16(const QByteArray &bytes);

#endif // REFERENCECRC_H
