#include "mappingindex.h"

#include "findings.h"
#include "scalarreading.h"

#include <QHash>

MappingIndex::MappingIndex(const YAML::Node &mapping, Findings *findings)
{
    QHash<QString, int> firstLines;
    for (auto it = mapping.begin(); it != mapping.end(); ++it) {
        const YAML::Node keyNode = it->first;
        if (!keyNode.IsScalar()) {
            findings->warning(keyNode.Mark(), QStringLiteral("a key that is not a text: the model ignores it"));
            continue;
        }
        const QString key = QString::fromStdString(keyNode.Scalar());
        if (firstLines.contains(key)) {
            findings->warning(keyNode.Mark(), QStringLiteral("%1 is written twice: the model reads only the first, on line %2")
                                                  .arg(ScalarReading::shown(key)).arg(firstLines.value(key)));
            continue;
        }
        firstLines.insert(key, keyNode.Mark().line + 1);
        m_entries.append({key, keyNode, it->second});
    }
}

const MappingIndex::Entry *MappingIndex::find(const char *key) const
{
    for (const Entry &entry : m_entries) {
        if (entry.key == QLatin1String(key))
            return &entry;
    }
    return nullptr;
}

const QVector<MappingIndex::Entry> &MappingIndex::entries() const
{
    return m_entries;
}
