#include "textscan.h"

namespace TextScan {

namespace {

// Length of the UTF-8 sequence led by this byte, 0 for a byte that cannot lead one.
int sequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// The code point of the sequence at offset, or false for a malformed, overlong or
// surrogate sequence.
bool decode(const std::string &text, std::size_t offset, int length, char32_t *codePoint)
{
    if (offset + std::size_t(length) > text.size())
        return false;
    static const unsigned char leadMasks[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    static const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    char32_t value = static_cast<unsigned char>(text[offset]) & leadMasks[length];
    for (int i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(text[offset + std::size_t(i)]);
        if ((next & 0xC0) != 0x80)
            return false;
        value = value << 6 | (next & 0x3F);
    }
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return false;
    *codePoint = value;
    return true;
}

// YAML's printable set: tab, line ends and everything from the blank on, except DEL,
// the C1 controls (NEL apart), the surrogates and U+FFFE, U+FFFF.
bool isAllowedInYaml(char32_t c)
{
    if (c == 0x09 || c == 0x0A || c == 0x0D || c == 0x85)
        return true;
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
        return false;
    return c != 0xFFFE && c != 0xFFFF;
}

} // namespace

Finding firstProblem(const std::string &text)
{
    Finding finding;
    std::size_t offset = 0;
    while (offset < text.size()) {
        const int length = sequenceLength(static_cast<unsigned char>(text[offset]));
        char32_t codePoint = 0;
        if (length == 0 || !decode(text, offset, length, &codePoint)) {
            finding.problem = Problem::NotUtf8;
            finding.offset = offset;
            return finding;
        }
        if (!isAllowedInYaml(codePoint)) {
            finding.problem = Problem::ForbiddenCharacter;
            finding.offset = offset;
            finding.character = codePoint;
            return finding;
        }
        offset += std::size_t(length);
    }
    return finding;
}

} // namespace TextScan
