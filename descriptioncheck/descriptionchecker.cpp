#include "descriptionchecker.h"

#include "boundedread.h"
#include "documentchecker.h"
#include "findings.h"

#include <QFile>

#include <yaml-cpp/yaml.h>

namespace DescriptionChecker {

namespace {

// The model refuses larger files before parsing them.
const qint64 maxDescriptionFileBytes = 8 * 1024 * 1024;

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
    if (!readBounded(file, maxDescriptionFileBytes, &text)) {
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
