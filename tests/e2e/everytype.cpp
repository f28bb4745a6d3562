#include "everytype.h"

#include "velmordevicemodel.h"

namespace {

// What the simulator serves and the text the model holds after reading it.
struct TypedVariable
{
    ControllerVariable variable;
    QString heldText;
};

QVector<TypedVariable> modbusVariables()
{
    return {
        { { "S16", 0, "type: int16", "-1234" }, "-1234" },
        { { "S32", 1, "type: int32", "-100000" }, "-100000" },
        { { "F32", 3, "type: float32", "2.5" }, "2.5" },
        { { "RAW", 5, "", "70000" }, "70000" },
        { { "B16", 7, "type: int16, bitfield: true", "0x8001" }, "32769" },
        { { "B32", 8, "type: int32, bitfield: true", "0x40000003" }, "1073741827" },
        { { "I16", 40, "type: int16, input: true", "321" }, "321" },
        { { "IF32", 41, "type: float32, input: true", "-0.75" }, "-0.75" },
        { { "IRAW", 43, "input: true", "-7" }, "-7" },
        { { "W16", 20, "type: int16, rw: true", "5" }, "5" },
        { { "W32", 21, "type: int32, rw: true", "6" }, "6" },
        { { "WF32", 23, "type: float32, rw: true", "1.5" }, "1.5" },
        { { "WRAW", 25, "rw: true", "8" }, "8" },
        { { "WB16", 27, "type: int16, bitfield: true, rw: true", "0x0101" }, "257" },
        { { "WB32", 28, "type: int32, bitfield: true, rw: true", "0x00010001" }, "65537" },
    };
}

// Velmorbus has no input registers; every value takes 4 bytes.
QVector<TypedVariable> velmorbusVariables()
{
    QVector<TypedVariable> result;
    int addr = 0x10;
    for (TypedVariable entry : modbusVariables()) {
        if (entry.variable.attributes.contains("input"))
            continue;
        entry.variable.addr = addr;
        addr += 4;
        result << entry;
    }
    return result;
}

QVector<TypedVariable> typedVariables(const QByteArray &protocol)
{
    return protocol == "VelmorBUS RTU" ? velmorbusVariables() : modbusVariables();
}

} // namespace

namespace EveryType {

QVector<ControllerVariable> variables(const QByteArray &protocol)
{
    QVector<ControllerVariable> result;
    for (const TypedVariable &entry : typedVariables(protocol))
        result << entry.variable;
    return result;
}

QStringList heldTexts(const QByteArray &protocol)
{
    QStringList result;
    for (const TypedVariable &entry : typedVariables(protocol))
        result << entry.heldText;
    return result;
}

int row(const QByteArray &protocol, const QByteArray &name)
{
    const QVector<TypedVariable> all = typedVariables(protocol);
    for (int i = 0; i < all.size(); ++i) {
        if (all.at(i).variable.name == name)
            return i;
    }
    return -1;
}

QStringList heldTexts(const VelmorDeviceModel &model)
{
    QStringList result;
    for (int i = 0; i < model.varCount(); ++i)
        result << model.getVarAttr(unsigned(i), QStringLiteral("value")).toString();
    return result;
}

QList<QByteArray> protocols()
{
    return { "ModBUS TCP", "ModBUS RTU", "VelmorBUS RTU" };
}

} // namespace EveryType
