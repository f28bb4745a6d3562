#ifndef LIBMODBUSLOOP_H
#define LIBMODBUSLOOP_H

#include "descriptionwriter.h"

#include <QVector>

#include <modbus/modbus.h>

// The same reads as the Qt loops through libmodbus: blocking calls one after another.
class LibmodbusLoop
{
public:
    explicit LibmodbusLoop(const QVector<DescriptionWriter::Variable> &variables);
    ~LibmodbusLoop();
    LibmodbusLoop(const LibmodbusLoop &) = delete;
    LibmodbusLoop &operator=(const LibmodbusLoop &) = delete;

    bool connectTo(quint16 port);
    // Reads every variable once; returns the elapsed nanoseconds, or -1 on a failed read.
    qint64 runPass();

private:
    QVector<DescriptionWriter::Variable> m_variables;
    modbus_t *m_context = nullptr;
    quint32 m_checksum = 0; // keeps the read values alive
};

#endif // LIBMODBUSLOOP_H
