#ifndef BOUNDEDREAD_H
#define BOUNDEDREAD_H

#include <QByteArray>

class QFile;

// Reads an open file whole unless it holds more than maxBytes; false then. Devices and
// pipes report no size and may never end, so they are read piecewise up to the limit.
bool readBounded(QFile &file, qint64 maxBytes, QByteArray *text);

#endif // BOUNDEDREAD_H
