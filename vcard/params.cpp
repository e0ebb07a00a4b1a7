#include "vcard/params.h"

#include <algorithm>

namespace karuto {

namespace {

bool SameLetterNoCase(char a, char b)
{
    return UpperAscii(a) == UpperAscii(b);
}

} // namespace

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), SameLetterNoCase);
}

bool ContainsNoCase(std::string_view word, std::string_view text)
{
    if (word.empty()) return true;
    if (text.size() < word.size()) return false;
    // Every parameter test runs this on every token of every line: a plain
    // loop that only looks further where the first letter matches.
    const char first = UpperAscii(word[0]);
    const std::size_t lastStart = text.size() - word.size();
    for (std::size_t start = 0; start <= lastStart; ++start) {
        if (UpperAscii(text[start]) != first) continue;
        std::size_t matched = 1;
        while (matched < word.size() &&
               UpperAscii(text[start + matched]) == UpperAscii(word[matched])) {
            ++matched;
        }
        if (matched == word.size()) return true;
    }
    return false;
}

bool HasParam(std::string_view word, const TokenArray& tokens)
{
    return std::any_of(tokens.begin(), tokens.end(),
                       [word](std::string_view token) { return ContainsNoCase(word, token); });
}

bool ContainsEncodingB(std::string_view text)
{
    constexpr std::string_view kWord = "ENCODING=B";
    // Every parameter is tested; most have no "=" and so cannot match.
    if (text.find('=') == std::string_view::npos) return false;
    auto isBlank = [](char byte) { return byte == ' ' || byte == '\t'; };
    // Matches as if every blank and tab had been removed from the text, without
    // making that copy: a match may start at any byte that is not blank.
    for (std::size_t start = 0; start < text.size(); ++start) {
        if (isBlank(text[start])) continue;
        std::size_t matched = 0;
        for (std::size_t pos = start; pos < text.size() && matched < kWord.size(); ++pos) {
            if (isBlank(text[pos])) continue;
            if (UpperAscii(text[pos]) != kWord[matched]) break;
            ++matched;
        }
        if (matched == kWord.size()) return true;
    }
    return false;
}

bool HasEncodingB(const TokenArray& tokens)
{
    return std::any_of(tokens.begin(), tokens.end(), ContainsEncodingB);
}

ValueEncoding DetectEncoding(const TokenArray& tokens)
{
    if (HasParam("QUOTED-PRINTABLE", tokens)) return EncodingQuotedPrintable;
    const bool base64 =
        HasParam("BASE64", tokens) || HasEncodingB(tokens) ||
        std::any_of(tokens.begin(), tokens.end(),
                    [](std::string_view token) { return EqualsNoCase(token, "B"); });
    return base64 ? EncodingBase64 : EncodingNone;
}

} // namespace karuto
