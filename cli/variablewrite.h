#ifndef VARIABLEWRITE_H
#define VARIABLEWRITE_H

#include <QString>
#include <QVariant>

class VelmorDeviceModel;

// One value to write to one variable: the text checked against the variable's type
// and register size, and then compared with what the controller reports back.
class VariableWrite
{
public:
    VariableWrite() = default;
    // name: how messages name the variable.
    VariableWrite(int id, const QString &name, const QString &valueText);

    int id() const;
    QString name() const;
    // The value text as given, without surrounding blanks.
    QString requested() const;

    // False with the reason when the text is not wholly a number the variable can hold,
    // as the model's checkVarValue() judges it: decimal, 0x... hexadecimal or, with a
    // leading 0, octal for integers; a finite decimal fraction for float32.
    bool parse(const VelmorDeviceModel *model, QString *errorText);
    // Hands the parsed value to the model, which queues its write.
    bool apply(VelmorDeviceModel *model, QString *errorText);
    // Whether the value the model holds now is the one written.
    bool readBackMatches(const VelmorDeviceModel *model) const;

private:
    static QVariant integerValue(const QString &text);
    qint64 registerMask(const VelmorDeviceModel *model) const;

    int m_id = -1;
    QString m_name;
    QString m_requested;
    bool m_isFloat = false;
    // What the model is given: the text for float32, the number for the integer types.
    QVariant m_value;
    float m_floatValue = 0;
    qint64 m_bits = 0;
};

#endif // VARIABLEWRITE_H
