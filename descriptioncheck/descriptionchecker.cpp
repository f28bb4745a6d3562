#include "descriptionchecker.h"

#include "documentchecker.h"
#include "findings.h"

#include <QFile>

#include <yaml-cpp/yaml.h>

namespace DescriptionChecker {

namespace {

// The model refuses larger files before parsing them.
const qint64 maxDescriptionFileBytes = 8 * 1024 * 1024;

// False when the file holds more than the limit. Devices and pipes report no size and
// may never end, so they are read piecewise up to the limit.
bool readBounded(QFile &file, QByteArray *text)
{
    if (!file.isSequential()) {
        if (file.size() > maxDescriptionFileBytes)
            return false;
        *text = file.readAll();
        return text->size() <= maxDescriptionFileBytes;
    }
    const qint64 chunkBytes = 64 * 1024;
    for (QByteArray chunk = file.read(chunkBytes); !chunk.isEmpty(); chunk = file.read(chunkBytes)) {
        text->append(chunk);
        if (text->size() > maxDescriptionFileBytes)
            return false;
    }
    return true;
}

} // namespace

QVector<Diagnostic> checkFile(const QString &fileName)
{
    Findings findings;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        findings.error(YAML::Mark::null_mark(), QStringLiteral("cannot open the file: %1").arg(file.errorString()));
        return findings.sorted();
    }
    QByteArray text;
    if (!readBounded(file, &text)) {
        findings.error(YAML::Mark::null_mark(), QStringLiteral("the file is larger than 8 MiB: the model refuses it"));
        return findings.sorted();
    }
    DocumentChecker(&findings).check(text.toStdString());
    return findings.sorted();
}

QVector<Diagnostic> checkText(const QByteArray &text)
{
    Findings findings;
    DocumentChecker(&findings).check(text.toStdString());
    return findings.sorted();
}

} // namespace DescriptionChecker
