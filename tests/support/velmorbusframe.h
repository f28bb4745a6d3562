#ifndef VELMORBUSFRAME_H
#define VELMORBUSFRAME_H

#include <QByteArray>

// Device id, body, CRC low byte first: a whole frame as it goes over the line.
QByteArray velmorbusFrame(quint8 id, const QByteArray &body);

#endif // VELMORBUSFRAME_H
