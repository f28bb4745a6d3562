#ifndef DESCRIPTIONCHECKER_H
#define DESCRIPTIONCHECKER_H

#include "diagnostic.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// Reads a device description file as the device model does and reports every problem
// the model would stumble over or silently work around, each at its line and column.
// It never changes how the model reads a file: it is a separate, stricter reading.
namespace DescriptionChecker {

// The findings in file order; an empty list for a clean file.
QVector<Diagnostic> checkFile(const QString &fileName);
QVector<Diagnostic> checkText(const QByteArray &text);

} // namespace DescriptionChecker

#endif // DESCRIPTIONCHECKER_H
