#ifndef SCANTARGETS_H
#define SCANTARGETS_H

#include <QByteArray>

// Controllers for velmor-sim to serve where a scan is to find them or a probe to read
// them: one variable each at the address a scan reads by default (Modbus register 0) or is
// told to (Velmorbus 0x10), and registers holding a value in every word order.
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

// The same value in each order a device may lay it, and plain registers around it: the
// variables of a controller whose registers a probe reads.
inline const QByteArray registersInEveryOrder = R"(variables:
  - {name: FABCD, addr: 100, type: float32, wordorder: ABCD, value: 3.14}
  - {name: FCDAB, addr: 110, type: float32, wordorder: CDAB, value: 3.14}
  - {name: FBADC, addr: 120, type: float32, wordorder: BADC, value: 3.14}
  - {name: FDCBA, addr: 130, type: float32, wordorder: DCBA, value: 3.14}
  - {name: I, addr: 140, type: int32, wordorder: ABCD, value: 100000}
  - {name: IN, addr: 10, type: int16, input: true, value: -2}
)";

} // namespace ScanTargets

#endif // SCANTARGETS_H
