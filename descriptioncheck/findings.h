#ifndef FINDINGS_H
#define FINDINGS_H

#include "diagnostic.h"

#include <QVector>

namespace YAML {
class Node;
struct Mark;
}

// Collects the diagnostics of one file, each placed at a yaml-cpp mark.
class Findings
{
public:
    void error(const YAML::Mark &mark, const QString &text);
    void warning(const YAML::Mark &mark, const QString &text);
    // At the value, or at its key when the value is empty (yaml-cpp marks an empty
    // value where the next token starts, often on a later line) or an alias.
    void errorAt(const YAML::Node &key, const YAML::Node &value, const QString &text);
    void warningAt(const YAML::Node &key, const YAML::Node &value, const QString &text);

    // In the order of their places in the file.
    QVector<Diagnostic> sorted() const;

private:
    void add(Diagnostic::Severity severity, const YAML::Mark &mark, const QString &text);

    QVector<Diagnostic> m_diagnostics;
};

#endif // FINDINGS_H
