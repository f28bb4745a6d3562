#include "scalarreading.h"

#include "descriptionscalar.h"

#include <yaml-cpp/yaml.h>

#include <QRegularExpression>

namespace ScalarReading {

namespace {

const int shownCharacters = 40;

QString trimmedEnd(const std::string &text)
{
    QString result = QString::fromStdString(text);
    while (!result.isEmpty() && result.back().isSpace())
        result.chop(1);
    return result;
}

} // namespace

bool isFalseWordOtherThanFalse(const YAML::Node &node)
{
    bool value = true;
    return DescriptionScalar::readBool(node, &value) && !value && QString::fromStdString(node.Scalar()).toLower() != QLatin1String("false");
}

bool isMisleadingOctal(const YAML::Node &node)
{
    static const QRegularExpression octal(QStringLiteral("^[-+]?0([0-7]+)$"));
    long long value;
    if (!DescriptionScalar::readLongLong(node, &value))
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
