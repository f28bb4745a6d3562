#ifndef SCANPLAN_H
#define SCANPLAN_H

#include <QString>
#include <QVector>

// What a scan tries: every address on every line setting given, one harmless read each.
// Serial candidates are tried baud rate by baud rate (in the order given), within each
// rate parity by parity, within each framing protocol by protocol (Modbus RTU before
// Velmorbus), within each protocol address by address upwards; TCP candidates unit id
// by unit id upwards.
struct ScanPlan
{
    enum class Protocol { ModbusRtu, VelmorbusRtu, ModbusTcp };

    // Serial: the port; TCP: the host and port.
    QString serialPort;
    QString tcpHost;
    int tcpPort = 502;
    QVector<Protocol> protocols{Protocol::ModbusRtu};
    QVector<int> baudRates{9600, 19200, 38400, 57600, 115200};
    // "none", "even", "odd".
    QVector<QString> parities{QStringLiteral("none"), QStringLiteral("even")};
    int stopBits = 1;
    int dataBits = 8;
    int firstAddress = 1;
    int lastAddress = 247;
    // The register (Modbus) or data address (Velmorbus) each candidate is asked for.
    int probeAddress = 0;
    bool inputRegisters = false;
    int timeoutMs = 50;
    bool stopAtFirstFind = false;

    bool isTcp() const { return protocols.contains(Protocol::ModbusTcp); }
    // How many reads the whole scan makes.
    int candidateCount() const;
};

#endif // SCANPLAN_H
