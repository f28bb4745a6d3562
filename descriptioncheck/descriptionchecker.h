#ifndef DESCRIPTIONCHECKER_H
#define DESCRIPTIONCHECKER_H

#include "diagnostic.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// Reads a device description file with the device model's own reader (DescriptionFile)
// and reports every problem the model would stumble over or silently work around, each
// at its line and column. Checking never changes how the model reads a file.
namespace DescriptionChecker {

// The findings in file order; an empty list for a clean file.
QVector<Diagnostic> checkFile(const QString &fileName);
QVector<Diagnostic> checkText(const QByteArray &text);

} // namespace DescriptionChecker

#endif // DESCRIPTIONCHECKER_H
