#include "findings.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>

namespace {

// An alias is marked where its anchor stands, possibly far before the key.
YAML::Mark placeOf(const YAML::Node &key, const YAML::Node &value)
{
    return value.IsNull() || value.Mark().pos < key.Mark().pos ? key.Mark() : value.Mark();
}

} // namespace

void Findings::error(const YAML::Mark &mark, const QString &text)
{
    add(Diagnostic::Severity::Error, mark, text);
}

void Findings::warning(const YAML::Mark &mark, const QString &text)
{
    add(Diagnostic::Severity::Warning, mark, text);
}

void Findings::errorAt(const YAML::Node &key, const YAML::Node &value, const QString &text)
{
    error(placeOf(key, value), text);
}

void Findings::warningAt(const YAML::Node &key, const YAML::Node &value, const QString &text)
{
    warning(placeOf(key, value), text);
}

QVector<Diagnostic> Findings::sorted() const
{
    QVector<Diagnostic> diagnostics = m_diagnostics;
    std::stable_sort(diagnostics.begin(), diagnostics.end(), [](const Diagnostic &a, const Diagnostic &b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    });
    return diagnostics;
}

void Findings::add(Diagnostic::Severity severity, const YAML::Mark &mark, const QString &text)
{
    Diagnostic diagnostic;
    diagnostic.severity = severity;
    // A node without a place (an empty document) is reported at the start of the file.
    diagnostic.line = mark.is_null() ? 1 : mark.line + 1;
    diagnostic.column = mark.is_null() ? 1 : mark.column + 1;
    diagnostic.text = text;
    m_diagnostics.append(diagnostic);
}
