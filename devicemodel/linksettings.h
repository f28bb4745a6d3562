#ifndef LINKSETTINGS_H
#define LINKSETTINGS_H

#include <QString>

// Where and how a link reaches its controller. Serial links use the port and baud rate,
// Modbus TCP the host and port; every link addresses the device by its id.
struct LinkSettings {
    QString serialPort;
    int baudRate = 0;
    QString tcpHost;
    int tcpPort = 0;
    int devId = 0;
};

#endif // LINKSETTINGS_H
