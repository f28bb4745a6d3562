#include "topicnames.h"

#include "variablelabel.h"
#include "velmordevicemodel.h"

#include <QSet>

#include <functional>

namespace {

// The level of P/DEVICE/status; no variable may take it.
const QString statusLevel = QStringLiteral("status");

// A level from a name is cut to this many bytes of UTF-8, so that a topic stays far
// below MQTT's 65535 bytes and short enough for the brokers and tools that show it.
const int longestLevelBytes = 200;

// What MQTT gives a meaning ("/", "+", "#") or forbids in a topic (U+0000, control
// characters, non-characters, lone surrogates), taken code point by code point so that
// a non-character beyond the BMP is seen too.
bool unfit(uint c)
{
    return c == '/' || c == '+' || c == '#' || QChar::category(c) == QChar::Other_Control
        || QChar::isNonCharacter(c) || QChar::isSurrogate(c);
}

int utf8Bytes(uint c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// The levels that appear more than once, or that are taken.
QSet<QString> clashes(const QStringList &levels)
{
    QSet<QString> seen{statusLevel};
    QSet<QString> clashing;
    for (const QString &level : levels) {
        if (seen.contains(level))
            clashing.insert(level);
        seen.insert(level);
    }
    return clashing;
}

void addToClashing(QStringList *levels, const QSet<QString> &clashing, const std::function<QString(int)> &suffix)
{
    for (int id = 0; id < levels->size(); ++id) {
        if (clashing.contains(levels->at(id)))
            (*levels)[id] += suffix(id);
    }
}

} // namespace

TopicNames::TopicNames(const VelmorDeviceModel *model)
    : m_levels(uniqueLevels(model))
{
    for (int id = 0; id < m_levels.size(); ++id)
        m_ids.insert(m_levels.at(id), id);
}

QString TopicNames::level(const QString &name)
{
    QVector<uint> level;
    int bytes = 0;
    for (uint c : name.toUcs4()) {
        if (unfit(c))
            c = '_';
        bytes += utf8Bytes(c);
        if (bytes > longestLevelBytes)
            break;
        level.append(c);
    }
    if (level.isEmpty())
        return QStringLiteral("_");
    return QString::fromUcs4(level.constData(), level.size());
}

QString TopicNames::variableLevel(int id) const
{
    return m_levels.value(id);
}

int TopicNames::variableId(const QString &level) const
{
    return m_ids.value(level, -1);
}

// Levels that meet get "@" and the address added, those that still meet "." and their
// position; a level that then meets one a name gave by chance gets its position again.
QStringList TopicNames::uniqueLevels(const VelmorDeviceModel *model)
{
    QStringList levels;
    for (int id = 0; id < model->varCount(); ++id)
        levels.append(level(variableLabel(model, id)));
    addToClashing(&levels, clashes(levels), [model](int id) {
        return QLatin1Char('@') + level(model->getVarAttr(unsigned(id), QStringLiteral("addr")).toString());
    });
    const auto position = [](int id) { return QStringLiteral(".%1").arg(id); };
    addToClashing(&levels, clashes(levels), position);
    QSet<QString> taken{statusLevel};
    for (int id = 0; id < levels.size(); ++id) {
        while (taken.contains(levels.at(id)))
            levels[id] += position(id);
        taken.insert(levels.at(id));
    }
    return levels;
}
