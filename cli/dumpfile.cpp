#include "dumpfile.h"

#include "valuesetter.h"
#include "velmordevicemodel.h"

#include <QDateTime>
#include <QFile>

#include <yaml-cpp/yaml.h>

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

    QFile file(fileName);
    const QByteArray bytes = QByteArray(out.c_str()) + '\n';
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        *errorText = QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString());
        return false;
    }
    return true;
}

bool DumpFile::read(const QString &fileName, QVector<Entry> *entries, QString *errorText)
{
    YAML::Node root;
    try {
        root = YAML::LoadFile(utf8(fileName));
    } catch (const YAML::Exception &error) {
        *errorText = QStringLiteral("cannot load %1: %2").arg(fileName, QString::fromStdString(error.what()));
        return false;
    }
    const YAML::Node variables = root.IsMap() ? root["variables"] : YAML::Node();
    if (!variables || !variables.IsSequence()) {
        *errorText = QStringLiteral("%1 has no variables list").arg(fileName);
        return false;
    }
    for (const YAML::Node &variable : variables) {
        const Entry entry = variable.IsMap()
            ? Entry{scalar(variable["name"]), scalar(variable["addr"]), scalar(variable["value"])} : Entry();
        if (entry.name.isEmpty() || entry.value.isEmpty()) {
            *errorText = QStringLiteral("%1: every variable needs a name and a value").arg(fileName);
            return false;
        }
        entries->append(entry);
    }
    return true;
}
