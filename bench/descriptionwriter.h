#ifndef DESCRIPTIONWRITER_H
#define DESCRIPTIONWRITER_H

#include <QString>
#include <QVector>

// Device description files for the benchmarks: variables of mixed types, in turn
// int16, int32, float32 and untyped, each on its own pair of registers.
class DescriptionWriter
{
public:
    struct Variable {
        int addr;
        int registerCount; // Modbus registers read: 1 for int16, 2 otherwise
    };

    // The variables that every written file carries, in order.
    static QVector<Variable> mixedVariables(int count);

    static bool writeModbusTcp(const QString &path, int count, quint16 port);
    static bool writeVelmorbusRtu(const QString &path, int count, const QString &serialPort, int baudRate);

private:
    // addrStep: address distance between variables, registers for Modbus, bytes for Velmorbus.
    static bool write(const QString &path, const QString &header, int count, int addrStep);
};

#endif // DESCRIPTIONWRITER_H
