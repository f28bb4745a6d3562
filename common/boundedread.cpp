#include "boundedread.h"

#include <QFile>

bool readBounded(QFile &file, qint64 maxBytes, QByteArray *text)
{
    if (!file.isSequential()) {
        if (file.size() > maxBytes)
            return false;
        *text = file.readAll();
        return text->size() <= maxBytes;
    }
    const qint64 chunkBytes = 64 * 1024;
    for (QByteArray chunk = file.read(chunkBytes); !chunk.isEmpty(); chunk = file.read(chunkBytes)) {
        text->append(chunk);
        if (text->size() > maxBytes)
            return false;
    }
    return true;
}
