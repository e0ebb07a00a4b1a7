#pragma once
// Yes-or-no questions about raw parameter tokens. Parameters are never parsed
// into names and values: every test is a substring test that ignores the case
// of the ASCII letters, so "HOME" also matches "TYPE=HOME" or "HOMEPAGE".

#include <string_view>

#include "vcard/line.h"
#include "vcard/strings.h"

namespace karuto {

// ASCII-only upper-casing of one byte, also inside two-byte characters.
constexpr char UpperAscii(char byte)
{
    return (byte >= 'a' && byte <= 'z') ? static_cast<char>(byte - ('a' - 'A')) : byte;
}

// Equal as a whole, ignoring the case of A-Z only.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Does `word` occur inside `text`, ignoring the case of A-Z?
bool ContainsNoCase(std::string_view word, std::string_view text);

// Does `word` occur inside at least one of the tokens?
bool HasParam(std::string_view word, const TokenArray& tokens);

// Does the text contain "ENCODING=B" once upper-cased and stripped of blanks and tabs?
bool ContainsEncodingB(std::string_view text);
bool HasEncodingB(const TokenArray& tokens);

// The transfer encoding the tokens announce; Quoted-Printable wins over Base64.
ValueEncoding DetectEncoding(const TokenArray& tokens);

} // namespace karuto
