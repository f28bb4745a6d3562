#ifndef KEYCATALOG_H
#define KEYCATALOG_H

#include <QString>
#include <QStringList>
#include <QVector>

// The keys a device description may hold, as the checker knows them.
namespace KeyCatalog {

enum class Level {
    TopLevel,
    Variable
};

// The usable protocol whose name differs only in letter case or blanks, else empty.
QString protocolLike(const QString &text);

// The keys the model reads at that level, whatever the protocol.
const QStringList &keys(Level level);
bool isKnown(const QString &key, Level level);
// The known key of that level the text most likely misspells, empty when none is close.
QString nearestKey(const QString &key, Level level);

// "<<", which other YAML readers take for a merge of another mapping; yaml-cpp, and so
// the model, takes it for a plain key.
bool isMergeKey(const QString &key);
QString mergeKeyFinding();

// The "type" name ("int16", "int32", "float32") the text most likely misspells, empty
// when none is close.
QString nearestTypeName(const QString &text);

// The finding on a "wordorder" of that text, shown as shownValue, that the model does
// not know, ending in what the model does then; with a suggestion for a wrong letter case.
QString unknownWordOrderFinding(const QString &text, const QString &shownValue, const QString &outcome);

} // namespace KeyCatalog

#endif // KEYCATALOG_H
