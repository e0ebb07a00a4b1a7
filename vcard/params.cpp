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
    return std::search(text.begin(), text.end(), word.begin(), word.end(), SameLetterNoCase) !=
           text.end();
}

bool HasParam(std::string_view word, const TokenArray& tokens)
{
    return std::any_of(tokens.begin(), tokens.end(),
                       [word](std::string_view token) { return ContainsNoCase(word, token); });
}

bool ContainsEncodingB(std::string_view text)
{
    constexpr std::string_view kWord = "ENCODING=B";
    std::string squeezed;
    squeezed.reserve(text.size());
    for (char byte : text) {
        if (byte != ' ' && byte != '\t') squeezed.push_back(UpperAscii(byte));
    }
    return squeezed.find(kWord) != std::string::npos;
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
