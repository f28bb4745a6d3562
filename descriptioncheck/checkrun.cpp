#include "checkrun.h"

#include "descriptionchecker.h"

namespace CheckRun {

Outcome run(const QStringList &fileNames, std::FILE *out)
{
    Outcome outcome = Clean;
    for (const QString &fileName : fileNames) {
        for (const Diagnostic &diagnostic : DescriptionChecker::checkFile(fileName)) {
            std::fputs((diagnostic.format(fileName) + QLatin1Char('\n')).toUtf8().constData(), out);
            const Outcome found = diagnostic.severity == Diagnostic::Severity::Error ? Errors : WarningsOnly;
            outcome = qMax(outcome, found);
        }
    }
    std::fflush(out);
    return outcome;
}

} // namespace CheckRun
