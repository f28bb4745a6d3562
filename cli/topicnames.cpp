#include "topicnames.h"

#include "variablelabel.h"
#include "velmordevicemodel.h"

#include <QSet>

namespace {

// The level of P/DEVICE/status; no variable may take it.
const QString statusLevel = QStringLiteral("status");

bool meaningful(QChar c)
{
    return c == QLatin1Char('/') || c == QLatin1Char('+') || c == QLatin1Char('#')
        || c.category() == QChar::Other_Control || c.isNonCharacter();
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

} // namespace

TopicNames::TopicNames(const VelmorDeviceModel *model)
    : m_levels(uniqueLevels(model))
{
    for (int id = 0; id < m_levels.size(); ++id)
        m_ids.insert(m_levels.at(id), id);
}

QString TopicNames::level(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("_");
    QString level = name;
    for (QChar &c : level) {
        if (meaningful(c))
            c = QLatin1Char('_');
    }
    return level;
}

QString TopicNames::variableLevel(int id) const
{
    return m_levels.value(id);
}

int TopicNames::variableId(const QString &level) const
{
    return m_ids.value(level, -1);
}

// Names that meet get the address added, and those that still meet their position too.
QStringList TopicNames::uniqueLevels(const VelmorDeviceModel *model)
{
    QStringList levels;
    for (int id = 0; id < model->varCount(); ++id)
        levels.append(level(variableLabel(model, id)));
    const QSet<QString> byName = clashes(levels);
    for (int id = 0; id < levels.size(); ++id) {
        if (byName.contains(levels.at(id)))
            levels[id] = level(levels.at(id) + QLatin1Char('@') + model->getVarAttr(unsigned(id), QStringLiteral("addr")).toString());
    }
    const QSet<QString> byAddress = clashes(levels);
    for (int id = 0; id < levels.size(); ++id) {
        if (byAddress.contains(levels.at(id)))
            levels[id] += QStringLiteral(".%1").arg(id);
    }
    return levels;
}
