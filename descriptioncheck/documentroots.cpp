#include "documentroots.h"

#include <yaml-cpp/parser.h>

#include <sstream>

std::vector<DocumentRoots::Root> DocumentRoots::of(const std::string &text)
{
    std::istringstream stream(text);
    YAML::Parser parser(stream);
    DocumentRoots roots;
    while (parser.HandleNextDocument(roots) && roots.m_documentHasRoot && roots.documentMovedOn()) {
    }
    return roots.m_roots;
}

void DocumentRoots::OnDocumentStart(const YAML::Mark &)
{
    m_documentHasRoot = false;
}

void DocumentRoots::OnDocumentEnd()
{
}

void DocumentRoots::OnNull(const YAML::Mark &mark, YAML::anchor_t)
{
    takeNode(mark, true);
}

void DocumentRoots::OnAlias(const YAML::Mark &mark, YAML::anchor_t)
{
    takeNode(mark, false);
}

void DocumentRoots::OnScalar(const YAML::Mark &mark, const std::string &, YAML::anchor_t, const std::string &)
{
    takeNode(mark, false);
}

void DocumentRoots::OnSequenceStart(const YAML::Mark &mark, const std::string &, YAML::anchor_t,
                                    YAML::EmitterStyle::value)
{
    takeNode(mark, false);
}

void DocumentRoots::OnSequenceEnd()
{
}

void DocumentRoots::OnMapStart(const YAML::Mark &mark, const std::string &, YAML::anchor_t, YAML::EmitterStyle::value)
{
    takeNode(mark, false);
}

void DocumentRoots::OnMapEnd()
{
}

bool DocumentRoots::documentMovedOn()
{
    const std::size_t count = m_roots.size();
    if (count < 2 || m_roots.at(count - 1).mark.pos > m_roots.at(count - 2).mark.pos)
        return true;
    m_roots.pop_back();
    return false;
}

void DocumentRoots::takeNode(const YAML::Mark &mark, bool null)
{
    if (m_documentHasRoot)
        return;
    m_documentHasRoot = true;
    m_roots.push_back({mark, null});
}
