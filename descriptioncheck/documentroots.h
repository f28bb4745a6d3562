#ifndef DOCUMENTROOTS_H
#define DOCUMENTROOTS_H

#include <yaml-cpp/eventhandler.h>
#include <yaml-cpp/mark.h>

#include <string>
#include <vector>

// The root of every YAML document in a text, read as events rather than built into
// nodes. yaml-cpp's LoadAll never returns on some broken texts, where the parser keeps
// reporting the same empty document without reading on; the scan stops at a document
// that starts no later than the one before. Syntax errors surface as yaml-cpp exceptions.
class DocumentRoots : public YAML::EventHandler
{
public:
    struct Root
    {
        YAML::Mark mark;
        bool null = false;
    };

    static std::vector<Root> of(const std::string &text);

    void OnDocumentStart(const YAML::Mark &mark) override;
    void OnDocumentEnd() override;
    void OnNull(const YAML::Mark &mark, YAML::anchor_t anchor) override;
    void OnAlias(const YAML::Mark &mark, YAML::anchor_t anchor) override;
    void OnScalar(const YAML::Mark &mark, const std::string &tag, YAML::anchor_t anchor,
                  const std::string &value) override;
    void OnSequenceStart(const YAML::Mark &mark, const std::string &tag, YAML::anchor_t anchor,
                         YAML::EmitterStyle::value style) override;
    void OnSequenceEnd() override;
    void OnMapStart(const YAML::Mark &mark, const std::string &tag, YAML::anchor_t anchor,
                    YAML::EmitterStyle::value style) override;
    void OnMapEnd() override;

private:
    bool documentMovedOn();
    void takeNode(const YAML::Mark &mark, bool null);

    std::vector<Root> m_roots;
    bool m_documentHasRoot = false;
};

#endif // DOCUMENTROOTS_H
