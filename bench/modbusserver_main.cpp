// A bare Modbus TCP server on 127.0.0.1: the one controller that every polling client of
// bench-polling reads, run as a process of its own so that it takes no time from them.
#include <QCoreApplication>
#include <QModbusTcpServer>
#include <QVariant>
#include <QVector>

#include <cstdio>

namespace {

constexpr int registerCount = 0x10000;
constexpr int serverAddress = 1;

// Every register holds a different value, so the clients decode changing numbers.
QModbusDataUnit filledUnit(QModbusDataUnit::RegisterType type)
{
    QVector<quint16> values(registerCount);
    for (int i = 0; i < registerCount; ++i)
        values[i] = quint16(i * 7919);
    return QModbusDataUnit(type, 0, values);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    bool ok = false;
    const int port = app.arguments().value(1).toInt(&ok);
    if (!ok || port <= 0 || port > 0xFFFF) {
        std::fprintf(stderr, "usage: bench-modbus-server PORT\n");
        return 2;
    }

    QModbusTcpServer server;
    QModbusDataUnitMap map;
    map.insert(QModbusDataUnit::HoldingRegisters, filledUnit(QModbusDataUnit::HoldingRegisters));
    map.insert(QModbusDataUnit::InputRegisters, filledUnit(QModbusDataUnit::InputRegisters));
    server.setMap(map);
    server.setServerAddress(serverAddress);
    server.setConnectionParameter(QModbusDevice::NetworkAddressParameter, QStringLiteral("127.0.0.1"));
    server.setConnectionParameter(QModbusDevice::NetworkPortParameter, port);
    if (!server.connectDevice()) {
        std::fprintf(stderr, "bench-modbus-server: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    return app.exec();
}
