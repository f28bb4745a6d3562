#include "dumpfile.h"

#include "boundedread.h"
#include "valuesetter.h"
#include "velmordevicemodel.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QPair>
#include <QSaveFile>
#include <QSet>

#include <yaml-cpp/yaml.h>

const qint64 DumpFile::maxFileBytes = 8 * 1024 * 1024;

namespace {

std::string utf8(const QString &text)
{
    return text.toUtf8().toStdString();
}

QString scalar(const YAML::Node &node)
{
    return node && node.IsScalar() ? QString::fromStdString(node.Scalar()) : QString();
}

QString attribute(const VelmorDeviceModel *model, int id, const char *key)
{
    return model->getVarAttr(unsigned(id), QString::fromLatin1(key)).toString();
}

void emitVariable(YAML::Emitter &out, const VelmorDeviceModel *model, int id)
{
    out << YAML::BeginMap;
    out << YAML::Key << "name" << YAML::Value << utf8(attribute(model, id, "name"));
    out << YAML::Key << "addr" << YAML::Value << utf8(attribute(model, id, "addr"));
    out << YAML::Key << "value" << YAML::Value << utf8(attribute(model, id, "value"));
    out << YAML::EndMap;
}

// A device or a pipe (a terminal, /dev/full) cannot be replaced by a new file, so it
// is written in place; unbuffered, so that write() reports the failure itself.
bool writeInPlace(const QString &fileName, const QByteArray &bytes, QString *reason)
{
    QFile file(fileName);
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(bytes) == bytes.size())
        return true;
    *reason = file.errorString();
    return false;
}

// The new file takes the old one's place only once it is complete, so a full disk or
// a failed write leaves the previous backup as it was.
bool replaceFile(const QString &fileName, const QByteArray &bytes, QString *reason)
{
    QSaveFile file(fileName);
    // Qt 5's commit() ignores a failure to flush the buffered bytes and would put a cut
    // file in place, so flush() is checked first.
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() && file.commit())
        return true;
    *reason = file.errorString();
    return false;
}

bool save(const QString &fileName, const QByteArray &bytes, QString *errorText)
{
    const QFileInfo target(fileName);
    const bool special = target.exists() && !target.isFile() && !target.isDir();
    QString reason;
    if (special ? writeInPlace(fileName, bytes, &reason) : replaceFile(fileName, bytes, &reason))
        return true;
    *errorText = QStringLiteral("cannot write %1: %2").arg(fileName, reason);
    return false;
}

bool readText(const QString &fileName, QByteArray *text, QString *reason)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        *reason = file.errorString();
        return false;
    }
    if (!readBounded(file, DumpFile::maxFileBytes, text)) {
        *reason = QStringLiteral("larger than %1 MiB").arg(DumpFile::maxFileBytes / (1024 * 1024));
        return false;
    }
    if (file.error() != QFileDevice::NoError) {
        *reason = file.errorString();
        return false;
    }
    return true;
}

bool parseEntries(const QByteArray &text, QVector<DumpFile::Entry> *entries, QString *reason)
{
    YAML::Node root;
    try {
        root = YAML::Load(text.toStdString());
    } catch (const std::exception &error) {
        *reason = QString::fromStdString(error.what());
        return false;
    }
    // Looked up through a const node: yaml-cpp's other operator[] may change the tree.
    const YAML::Node &document = root;
    const YAML::Node variables = document.IsMap() ? document["variables"] : YAML::Node();
    if (!variables || !variables.IsSequence()) {
        *reason = QStringLiteral("no variables list");
        return false;
    }
    QSet<QPair<QString, QString>> seen;
    for (const YAML::Node &variable : variables) {
        const DumpFile::Entry entry = variable.IsMap()
            ? DumpFile::Entry{scalar(variable["name"]), scalar(variable["addr"]), scalar(variable["value"])}
            : DumpFile::Entry();
        if (entry.name.isEmpty() || entry.addr.isEmpty() || entry.value.isEmpty()) {
            *reason = QStringLiteral("every variable needs a name, an address and a value");
            return false;
        }
        const QPair<QString, QString> variableKey(entry.name, entry.addr);
        if (seen.contains(variableKey)) {
            *reason = QStringLiteral("%1 at address %2 is listed twice").arg(entry.name, entry.addr);
            return false;
        }
        seen.insert(variableKey);
        entries->append(entry);
    }
    return true;
}

} // namespace

bool DumpFile::write(const QString &fileName, const VelmorDeviceModel *model, const QVector<int> &failedIds,
                     QStringList *skippedNames, QString *errorText)
{
    YAML::Emitter out;
    out << YAML::Comment("Writable values saved by velmor-cli; velmor-cli --restore writes them back");
    out << YAML::BeginMap;
    out << YAML::Key << "device" << YAML::Value << utf8(model->devName());
    const QDateTime now = QDateTime::currentDateTime();
    out << YAML::Key << "saved" << YAML::Value << utf8(now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODate));
    out << YAML::Key << "variables" << YAML::Value << YAML::BeginSeq;
    for (int id = 0; id < model->varCount(); ++id) {
        if (!ValueSetter::writable(model, id))
            continue;
        const bool known = model->getVarAttr(unsigned(id), QStringLiteral("value")).isValid();
        const bool named = model->getVarAttr(unsigned(id), QStringLiteral("name")).isValid();
        if (known && named && !failedIds.contains(id))
            emitVariable(out, model, id);
        else
            skippedNames->append(named ? attribute(model, id, "name") : QStringLiteral("#%1").arg(id));
    }
    out << YAML::EndSeq << YAML::EndMap;
    return save(fileName, QByteArray(out.c_str()) + '\n', errorText);
}

bool DumpFile::read(const QString &fileName, QVector<Entry> *entries, QString *errorText)
{
    QByteArray text;
    QString reason;
    if (!readText(fileName, &text, &reason) || !parseEntries(text, entries, &reason)) {
        *errorText = QStringLiteral("cannot load %1: %2").arg(fileName, reason);
        return false;
    }
    return true;
}
