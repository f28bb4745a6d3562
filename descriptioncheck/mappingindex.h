#ifndef MAPPINGINDEX_H
#define MAPPINGINDEX_H

#include <yaml-cpp/yaml.h>

#include <QString>
#include <QVector>

class Findings;

// The keys of one YAML mapping with their nodes, in file order. A key written twice
// counts once, as the model's lookup finds only the first; the repeat and keys that are
// not texts are reported while indexing.
class MappingIndex
{
public:
    struct Entry
    {
        QString key;
        YAML::Node keyNode;
        YAML::Node value;
    };

    MappingIndex(const YAML::Node &mapping, Findings *findings);

    // The entry of that key; null when the key is absent.
    const Entry *find(const char *key) const;
    const QVector<Entry> &entries() const;

private:
    QVector<Entry> m_entries;
};

#endif // MAPPINGINDEX_H
