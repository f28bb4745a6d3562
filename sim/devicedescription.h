#ifndef DEVICEDESCRIPTION_H
#define DEVICEDESCRIPTION_H

#include "wordorder.h"

#include <QSerialPort>
#include <QString>
#include <QVector>

// One entry of "variables" as the simulator serves it.
struct SimVariable
{
    QString name;
    QString desc;
    quint16 addr = 0;
    // "int16", "int32", "float32", any other text as written, empty when absent.
    QString type;
    bool input = false;
    bool rw = false;
    bool bitfield = false;
    double value = 0;
    // Modbus: its own "wordorder", else the device's.
    WordOrder wordOrder;

    bool isInt16() const { return type == QLatin1String("int16"); }
    bool isFloat32() const { return type == QLatin1String("float32"); }
    // Modbus registers taken by the value: int16 one, every other type two.
    int registerCount() const { return isInt16() ? 1 : 2; }
};

// The controller a description file names, with the link settings of its protocol.
struct DeviceDescription
{
    enum Protocol {
        VelmorbusRtu,
        ModbusRtu,
        ModbusTcp
    };

    QString device;
    QString protocolName;
    Protocol protocol = ModbusTcp;
    QString serialPort = QStringLiteral("COM1");
    int baudRate = 115200;
    // Serial protocols: how each character travels; 8N1 unless the file says otherwise.
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    QString tcpHost = QStringLiteral("127.0.0.1");
    int tcpPort = 502;
    int id = 0;
    // Modbus: the order of the variables that name none of their own.
    WordOrder wordOrder;
    QVector<SimVariable> variables;

    bool isSerial() const { return protocol != ModbusTcp; }
    bool isModbus() const { return protocol != VelmorbusRtu; }
};

#endif // DEVICEDESCRIPTION_H
