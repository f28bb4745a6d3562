#include "loadfailure.h"

#include "descriptionchecker.h"

#include <QFileInfo>

#include <algorithm>

namespace {

const char *const refusedText = "Model is invalid, unable to load";

// An error made the model refuse the file; a warning only explains it when there is none.
Diagnostic firstProblem(const QVector<Diagnostic> &findings)
{
    const auto error = std::find_if(findings.cbegin(), findings.cend(), [](const Diagnostic &finding) {
        return finding.severity == Diagnostic::Severity::Error;
    });
    return error != findings.cend() ? *error : findings.first();
}

} // namespace

namespace LoadFailure {

QString text(const QString &fileName)
{
    const QString refused = QString::fromLatin1(refusedText);
    // No file is no bad description: started from the desktop menu, the working folder
    // usually holds no tags/default.yml, and the plain text says enough.
    if (!QFileInfo::exists(fileName))
        return refused;
    const QVector<Diagnostic> findings = DescriptionChecker::checkFile(fileName);
    if (findings.isEmpty())
        return QStringLiteral("%1: %2").arg(refused, fileName);
    return QStringLiteral("%1: %2 (полный список: velmor-cli --check %3)")
        .arg(refused, firstProblem(findings).format(fileName), fileName);
}

} // namespace LoadFailure
