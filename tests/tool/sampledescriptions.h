#ifndef SAMPLEDESCRIPTIONS_H
#define SAMPLEDESCRIPTIONS_H

#include <QByteArray>

// Description files shared by the window tests.
namespace SampleDescriptions {

// A Modbus TCP device whose settings differ from every default.
inline const QByteArray pumpTcp = R"(device: Pump station
protocol: ModBUS TCP
host: 10.0.0.5
port: 1502
id: 7
variables:
  - name: P
    addr: 1
)";

} // namespace SampleDescriptions

#endif // SAMPLEDESCRIPTIONS_H
