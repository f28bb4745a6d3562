#ifndef SCANFIND_H
#define SCANFIND_H

#include "scanplan.h"

#include <QMetaType>
#include <QString>
#include <QVector>

// One candidate: where a read was tried, and for a device that answered, what it said.
struct ScanCandidate
{
    ScanPlan::Protocol protocol = ScanPlan::Protocol::ModbusRtu;
    int address = 0;
    int baudRate = 0;
    QString parity;
    int stopBits = 1;
    int dataBits = 8;
};

struct ScanFind
{
    ScanCandidate candidate;
    // The registers read (Modbus) or the data bytes as words (Velmorbus); empty when the
    // device answered with an exception.
    QVector<quint16> words;
    // For a Modbus exception answer: its code (a device is there, refusing the address).
    int exceptionCode = 0;
    // The register (Modbus) or data address (Velmorbus) that was read.
    int probeAddress = 0;
    // One line for people: "Modbus RTU, address 17, 19200 8E1: register 0 = 0x0041".
    QString summary() const;
};

// Both travel in the scanner's signals, also queued and into signal spies.
Q_DECLARE_METATYPE(ScanCandidate)
Q_DECLARE_METATYPE(ScanFind)

#endif // SCANFIND_H
