#include "scalarreading.h"

#include <yaml-cpp/yaml.h>

#include <QRegularExpression>

namespace ScalarReading {

namespace {

const int shownCharacters = 40;

template <typename Number>
bool convert(const YAML::Node &node, Number *value)
{
    if (!node.IsScalar())
        return false;
    try {
        *value = node.as<Number>();
        return true;
    } catch (const YAML::Exception &) {
        return false;
    }
}

QString trimmedEnd(const std::string &text)
{
    QString result = QString::fromStdString(text);
    while (!result.isEmpty() && result.back().isSpace())
        result.chop(1);
    return result;
}

} // namespace

bool readInt(const YAML::Node &node, int *value)
{
    return convert(node, value);
}

bool readLongLong(const YAML::Node &node, long long *value)
{
    return convert(node, value);
}

bool readFloat(const YAML::Node &node)
{
    float value;
    return convert(node, &value);
}

bool readBool(const YAML::Node &node, bool *value)
{
    return convert(node, value);
}

bool isFalseWordOtherThanFalse(const YAML::Node &node)
{
    bool value = true;
    return readBool(node, &value) && !value && QString::fromStdString(node.Scalar()).toLower() != QLatin1String("false");
}

bool isMisleadingOctal(const YAML::Node &node)
{
    static const QRegularExpression octal(QStringLiteral("^[-+]?0([0-7]+)$"));
    long long value;
    if (!readLongLong(node, &value))
        return false;
    const QRegularExpressionMatch match = octal.match(trimmedEnd(node.Scalar()));
    return match.hasMatch() && match.captured(1).toLongLong() != match.captured(1).toLongLong(nullptr, 8);
}

bool isText(const YAML::Node &node)
{
    return node.IsScalar() || node.IsNull();
}

QString shown(const YAML::Node &node)
{
    if (node.IsSequence())
        return QStringLiteral("a sequence");
    if (node.IsMap())
        return QStringLiteral("a mapping");
    if (node.IsNull())
        return QStringLiteral("an empty value");
    return shown(QString::fromStdString(node.Scalar()));
}

QString shown(const QString &text)
{
    QString visible = text.left(shownCharacters);
    for (QChar &c : visible) {
        if (!c.isPrint())
            c = QLatin1Char('?');
    }
    if (text.size() > shownCharacters)
        visible += QStringLiteral("...");
    return QLatin1Char('"') + visible + QLatin1Char('"');
}

} // namespace ScalarReading
