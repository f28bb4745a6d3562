#ifndef TEXTSCAN_H
#define TEXTSCAN_H

#include <string>

// Finds the first place where a description file stops being text that YAML allows:
// bytes that are not UTF-8, or characters YAML forbids (control characters other than
// tab and line ends). yaml-cpp, and so the model, takes both; editors and other YAML
// readers refuse them.
namespace TextScan {

enum class Problem {
    None,
    NotUtf8,
    ForbiddenCharacter
};

struct Finding
{
    Problem problem = Problem::None;
    // Byte offset of the first offending byte.
    std::size_t offset = 0;
    // The forbidden character, for ForbiddenCharacter.
    char32_t character = 0;
};

Finding firstProblem(const std::string &text);

} // namespace TextScan

#endif // TEXTSCAN_H
