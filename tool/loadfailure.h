#ifndef LOADFAILURE_H
#define LOADFAILURE_H

#include <QString>

// The status line for a description file the model did not load: the fixed text, then
// the first problem the description checker finds and how to see them all.
namespace LoadFailure {

QString text(const QString &fileName);

} // namespace LoadFailure

#endif // LOADFAILURE_H
