#include "vcard/strings.h"

#include <algorithm>
#include <bit>

#include "platform/byte_blocks.h"
#include "platform/shift_jis.h"
#include "vcard/params.h"

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

std::size_t FindByte(std::string_view text, char byte, std::size_t from)
{
    // Calling memchr costs more than looking at a few bytes; it pays off only
    // on long stretches (values, photos). Up to then, sixteen or eight bytes
    // at a time.
    constexpr std::size_t kWalked = 64;
    if (from >= text.size()) return std::string_view::npos;
    const std::size_t walkEnd = std::min(text.size(), from + kWalked);
    std::size_t pos = from;
#if defined(__SSE2__)
    for (; walkEnd - pos >= 16; pos += 16) {
        const unsigned found = SixteenBytesEqualTo(text.data() + pos, byte);
        if (found != 0) return pos + static_cast<std::size_t>(std::countr_zero(found));
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        for (; walkEnd - pos >= 8; pos += 8) {
            const std::size_t found = FirstByteEqualTo(LoadEightBytes(text.data() + pos), byte);
            if (found < 8) return pos + found;
        }
    }
    for (; pos < walkEnd; ++pos) {
        if (text[pos] == byte) return pos;
    }
    return walkEnd == text.size() ? std::string_view::npos : text.find(byte, walkEnd);
}

namespace {

// A ";" is never a trail byte, so every ";" byte is a character of its own;
// only whether a backslash before it escapes it depends on the characters:
// the backslash must be a character of its own, not the second byte of a
// two-byte one (83 5C is "ソ"). The byte is found with FindByte, and that
// check looks back only over the lead bytes right before the backslash, so
// the search stays linear. The position of the first ";" that separates
// tokens, or npos.
std::size_t FindSeparator(std::string_view text)
{
    for (std::size_t pos = FindByte(text, ';'); pos != std::string_view::npos; pos = FindByte(text, ';', pos + 1)) {
        const bool escaped = pos > 0 && text[pos - 1] == '\\' && StartsAnsiChar(text, pos - 1);
        if (!escaped) return pos;
    }
    return std::string_view::npos;
}

// The tokens between the separators into `tokens`, which is emptied first and
// keeps its room, so that splitting line after line allocates nothing.
// Always at least one token.
void SplitTokensInto(std::string_view text, TokenArray& tokens)
{
    tokens.clear();
    for (std::size_t start = 0;;) {
        const std::size_t found = FindSeparator(text.substr(start));
        tokens.push_back(text.substr(start, found));
        if (found == std::string_view::npos) return;
        start += found + 1;
    }
}

} // namespace

bool SplitPropertyNameInto(std::string_view line, PropertyTokens& tokens)
{
    const std::size_t colon = FindByte(line, ':');
    SplitTokensInto(line.substr(0, colon), tokens.nameTokens);
    FindParamWords(tokens.nameTokens, tokens.nameWords);
    tokens.valueTokens.clear();
    return colon != std::string_view::npos;
}

void SplitPropertyValueInto(std::string_view line, PropertyTokens& tokens)
{
    const std::size_t colon = FindByte(line, ':');
    if (colon == std::string_view::npos) {
        tokens.valueTokens.clear();
        return;
    }
    SplitTokensInto(line.substr(colon + 1), tokens.valueTokens);
}

} // namespace karuto
