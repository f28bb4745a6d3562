#ifndef SCANTARGETS_H
#define SCANTARGETS_H

#include <QByteArray>

// Controllers for velmor-sim to serve where a scan is to find them: one variable each, at
// the address a scan reads by default (Modbus register 0) or is told to (Velmorbus 0x10).
namespace ScanTargets {

inline QByteArray modbusRtu(int id)
{
    return "device: Котёл\nprotocol: ModBUS RTU\nport: /dev/null\nid: " + QByteArray::number(id)
           + "\nvariables:\n  - {name: T1, addr: 0, type: int16, value: 65}\n";
}

inline QByteArray velmorbus(int id)
{
    return "device: Котёл\nprotocol: VelmorBUS RTU\nport: /dev/null\nid: " + QByteArray::number(id)
           + "\nvariables:\n  - {name: T1, addr: 0x10, type: int16, value: 21}\n";
}

inline QByteArray modbusTcp(int id)
{
    return "device: Котёл\nprotocol: ModBUS TCP\nhost: 127.0.0.1\nid: " + QByteArray::number(id)
           + "\nvariables:\n  - {name: T1, addr: 0, type: int16, value: 65}\n";
}

} // namespace ScanTargets

#endif // SCANTARGETS_H
