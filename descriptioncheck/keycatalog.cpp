#include "keycatalog.h"

#include "protocoltraits.h"
#include "registerlayout.h"

#include <algorithm>
#include <utility>

namespace KeyCatalog {

namespace {

// Longer words engineers write for a key, each with the key it stands for.
const QVector<std::pair<QString, QString>> &longFormsOf(Level level)
{
    static const QVector<std::pair<QString, QString>> topLevelForms = {
        {QStringLiteral("baud"), QStringLiteral("baudrate")},
        {QStringLiteral("speed"), QStringLiteral("baudrate")},
        {QStringLiteral("address"), QStringLiteral("id")},
        {QStringLiteral("slave"), QStringLiteral("id")},
        {QStringLiteral("slaveid"), QStringLiteral("id")},
        {QStringLiteral("unitid"), QStringLiteral("id")},
        {QStringLiteral("deviceid"), QStringLiteral("id")},
        {QStringLiteral("hostname"), QStringLiteral("host")},
        {QStringLiteral("serialport"), QStringLiteral("port")},
        {QStringLiteral("tcpport"), QStringLiteral("port")},
        {QStringLiteral("proto"), QStringLiteral("protocol")},
        {QStringLiteral("vars"), QStringLiteral("variables")},
        {QStringLiteral("devicename"), QStringLiteral("device")},
        {QStringLiteral("byteorder"), QStringLiteral("wordorder")},
        {QStringLiteral("endianness"), QStringLiteral("wordorder")},
        {QStringLiteral("bytesize"), QStringLiteral("databits")},
        {QStringLiteral("datasize"), QStringLiteral("databits")},
    };
    static const QVector<std::pair<QString, QString>> variableForms = {
        {QStringLiteral("address"), QStringLiteral("addr")},
        {QStringLiteral("register"), QStringLiteral("addr")},
        {QStringLiteral("description"), QStringLiteral("desc")},
        {QStringLiteral("writable"), QStringLiteral("rw")},
        {QStringLiteral("writeable"), QStringLiteral("rw")},
        {QStringLiteral("readwrite"), QStringLiteral("rw")},
        {QStringLiteral("bits"), QStringLiteral("bitfield")},
        {QStringLiteral("datatype"), QStringLiteral("type")},
        {QStringLiteral("byteorder"), QStringLiteral("wordorder")},
        {QStringLiteral("endianness"), QStringLiteral("wordorder")},
    };
    return level == Level::TopLevel ? topLevelForms : variableForms;
}

// Letter case, blanks, '_' and '-' do not tell keys apart for a suggestion.
QString normalized(const QString &text)
{
    QString folded;
    for (const QChar c : text) {
        if (c != QLatin1Char('_') && c != QLatin1Char('-') && !c.isSpace())
            folded.append(c.toLower());
    }
    return folded;
}

// Optimal string alignment distance: insertions, deletions, substitutions and swaps
// of two neighbouring letters each count 1.
int editDistance(const QString &a, const QString &b)
{
    const int n = a.size();
    const int m = b.size();
    QVector<QVector<int>> d(n + 1, QVector<int>(m + 1));
    for (int i = 0; i <= n; ++i)
        d[i][0] = i;
    for (int j = 0; j <= m; ++j)
        d[0][j] = j;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= m; ++j) {
            const int cost = a.at(i - 1) == b.at(j - 1) ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a.at(i - 1) == b.at(j - 2) && a.at(i - 2) == b.at(j - 1))
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[n][m];
}

// Short words differ in too few letters for a guess: "rw" and "ro" are different keys.
int allowedDistance(const QString &word)
{
    if (word.size() <= 2)
        return 0;
    return word.size() <= 4 ? 1 : 2;
}

// The candidate's meaning closest to the text within the allowed distance, else empty.
QString nearest(const QString &text, const QVector<std::pair<QString, QString>> &candidates)
{
    const QString folded = normalized(text);
    // Long keys (a 1 MB key of a hostile file) are not compared letter by letter.
    if (folded.isEmpty() || folded.size() > 32)
        return QString();
    QString best;
    int bestDistance = 3;
    for (const auto &candidate : candidates) {
        const int distance = editDistance(folded, candidate.first);
        if (distance <= allowedDistance(candidate.first) && distance < bestDistance) {
            best = candidate.second;
            bestDistance = distance;
        }
    }
    return best;
}

QVector<std::pair<QString, QString>> candidatesOf(Level level)
{
    QVector<std::pair<QString, QString>> candidates = longFormsOf(level);
    for (const QString &key : keys(level))
        candidates.append({key, key});
    return candidates;
}

const QStringList &typeNames()
{
    static const QStringList names = {QStringLiteral("int16"), QStringLiteral("int32"), QStringLiteral("float32")};
    return names;
}

QStringList wordOrderNames()
{
    QStringList names;
    for (const std::string &name : RegisterLayout::wordOrderNames())
        names.append(QString::fromStdString(name));
    return names;
}

} // namespace

QString protocolLike(const QString &text)
{
    const QString folded = normalized(text);
    for (const ProtocolTraits &protocol : ProtocolTraits::all()) {
        const QString name = QString::fromLatin1(protocol.name);
        if (protocol.supported && normalized(name) == folded)
            return name;
    }
    return QString();
}

const QStringList &keys(Level level)
{
    static const QStringList topLevelKeys = {
        QStringLiteral("device"), QStringLiteral("protocol"), QStringLiteral("port"), QStringLiteral("baudrate"),
        QStringLiteral("host"), QStringLiteral("id"), QStringLiteral("variables"), QStringLiteral("block"),
        QStringLiteral("gap"), QStringLiteral("timeout"), QStringLiteral("retries"), QStringLiteral("wordorder"),
        QStringLiteral("parity"), QStringLiteral("databits"), QStringLiteral("stopbits")};
    static const QStringList variableKeys = {
        QStringLiteral("name"), QStringLiteral("addr"), QStringLiteral("type"), QStringLiteral("input"),
        QStringLiteral("rw"), QStringLiteral("bitfield"), QStringLiteral("desc"), QStringLiteral("value"),
        QStringLiteral("wordorder")};
    return level == Level::TopLevel ? topLevelKeys : variableKeys;
}

bool isKnown(const QString &key, Level level)
{
    return keys(level).contains(key);
}

QString nearestKey(const QString &key, Level level)
{
    return nearest(key, candidatesOf(level));
}

bool isMergeKey(const QString &key)
{
    return key == QLatin1String("<<");
}

QString mergeKeyFinding()
{
    return QStringLiteral("\"<<\" does not merge another mapping here: the model reads it as a key of that name "
                          "and ignores it");
}

QString nearestTypeName(const QString &text)
{
    QVector<std::pair<QString, QString>> candidates;
    for (const QString &name : typeNames())
        candidates.append({name, name});
    return nearest(text, candidates);
}

QString unknownWordOrderFinding(const QString &text, const QString &shownValue, const QString &outcome)
{
    const QStringList names = wordOrderNames();
    const QString choices = names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ")
                            + names.last();
    QString finding = QStringLiteral("\"wordorder\" is %1, not %2: %3").arg(shownValue, choices, outcome);
    for (const QString &name : names) {
        if (name.compare(text, Qt::CaseInsensitive) == 0)
            finding += QStringLiteral(" (did you mean \"%1\"?)").arg(name);
    }
    return finding;
}

} // namespace KeyCatalog
