#include "vcard/strings.h"

#include "platform/codepage.h"

namespace karuto {

std::string_view UpToFirstNul(std::string_view text)
{
    return text.substr(0, text.find('\0'));
}

OwnedString DuplicateString(std::string_view text)
{
    return OwnedString(UpToFirstNul(text));
}

void AppendString(OwnedString& target, std::string_view text)
{
    target.append(UpToFirstNul(text));
}

// One forward walk: character boundaries are tracked as the scan goes, so an
// escaped delimiter costs nothing extra and the whole search is linear.
std::size_t FindDelimiter(std::string_view text, char delimiter, bool honourEscapes)
{
    std::size_t nextBoundary = 0;                    // where the next character starts
    std::size_t singleBackslash = std::string_view::npos;  // position of the last one-byte "\"
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (text[pos] == delimiter) {
            const bool escaped = honourEscapes && pos > 0 && singleBackslash == pos - 1;
            if (!escaped) return pos;
            // The escaped delimiter is a one-byte character: the search resumes
            // right after it, on a character boundary.
            nextBoundary = pos + 1;
            continue;
        }
        if (pos != nextBoundary) continue;  // second byte of a two-byte character
        if (IsAnsiLeadByte(byte)) {
            nextBoundary = pos + 2;
        } else {
            nextBoundary = pos + 1;
            if (byte == '\\') singleBackslash = pos;
        }
    }
    return std::string_view::npos;
}

TokenArray SplitTokens(std::string_view text, char delimiter, bool honourEscapes,
                       std::size_t splitLimit)
{
    TokenArray tokens;
    std::size_t start = 0;
    for (;;) {
        std::size_t found = std::string_view::npos;
        if (splitLimit == 0 || tokens.size() < splitLimit) {
            found = FindDelimiter(text.substr(start), delimiter, honourEscapes);
        }
        if (found == std::string_view::npos) {
            tokens.push_back(text.substr(start));
            return tokens;
        }
        tokens.push_back(text.substr(start, found));
        start += found + 1;
    }
}

TokenArray SplitPropertyName(std::string_view line)
{
    const std::size_t colon = FindDelimiter(line, ':', false);
    return SplitTokens(line.substr(0, colon), ';', true, 0);
}

PropertyTokens SplitPropertyLine(std::string_view line)
{
    const TokenArray parts = SplitTokens(line, ':', false, 1);
    PropertyTokens result;
    result.nameTokens = SplitTokens(parts[0], ';', true, 0);
    if (parts.size() > 1) result.valueTokens = SplitTokens(parts[1], ';', true, 0);
    return result;
}

} // namespace karuto
