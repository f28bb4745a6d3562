#include "descriptionwriter.h"

#include <QFile>
#include <QTextStream>

namespace {

const char *const typeNames[] = {"int16", "int32", "float32", nullptr};
constexpr int typeCount = 4;

// Addresses wrap at 16 bits, as the engine sends only the low 16 bits.
int variableAddr(int index, int addrStep)
{
    return (index * addrStep) & 0xFFFF;
}

} // namespace

QVector<DescriptionWriter::Variable> DescriptionWriter::mixedVariables(int count)
{
    QVector<Variable> variables;
    variables.reserve(count);
    for (int i = 0; i < count; ++i)
        variables.append({variableAddr(i, 2), i % typeCount == 0 ? 1 : 2});
    return variables;
}

bool DescriptionWriter::writeModbusTcp(const QString &path, int count, quint16 port)
{
    const QString header = QStringLiteral("device: Bench controller\nprotocol: ModBUS TCP\n"
                                          "host: 127.0.0.1\nport: %1\nid: 1\n").arg(port);
    return write(path, header, count, 2);
}

bool DescriptionWriter::writeVelmorbusRtu(const QString &path, int count, const QString &serialPort, int baudRate)
{
    const QString header = QStringLiteral("device: Bench controller\nprotocol: VelmorBUS RTU\n"
                                          "port: %1\nbaudrate: %2\nid: 1\n").arg(serialPort).arg(baudRate);
    return write(path, header, count, 4);
}

bool DescriptionWriter::write(const QString &path, const QString &header, int count, int addrStep)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    QTextStream out(&file);
    out << header << "variables:\n";
    for (int i = 0; i < count; ++i) {
        out << "  - name: V" << i << "\n    addr: " << variableAddr(i, addrStep) << '\n';
        if (const char *type = typeNames[i % typeCount])
            out << "    type: " << type << '\n';
        if (i % 8 == 1)
            out << "    rw: true\n";
        out << "    desc: Bench variable " << i << '\n';
    }
    out.flush();
    return out.status() == QTextStream::Ok && file.error() == QFile::NoError;
}
