#ifndef LINKSETTINGS_H
#define LINKSETTINGS_H

#include "registerlayout.h"
#include "serialframing.h"

#include <QString>

// Where and how a link reaches its controller. Serial links use the port, baud rate and
// framing, Modbus TCP the host and port; every link addresses the device by its id.
struct LinkSettings {
    QString serialPort;
    int baudRate = 0;
    SerialFraming framing;
    QString tcpHost;
    int tcpPort = 0;
    int devId = 0;
    // Modbus reads: the most registers one request covers (0 or 1: one request per
    // variable) and the longest run of unused registers a request may read as well.
    int blockRegisters = 0;
    int gapRegisters = 0;
    // 0: the protocol's own default (Velmorbus 200 ms, Modbus 1000 ms).
    int responseTimeoutMs = 0;
    // Modbus only: how often an unanswered request is sent again.
    int retries = 0;
    // Modbus: the order of the variables that name none of their own ("wordorder").
    RegisterLayout::WordOrder wordOrder = RegisterLayout::WordOrder::ABCD;
};

#endif // LINKSETTINGS_H
