#pragma once
// Yes-or-no questions about raw parameter tokens. Parameters are never parsed
// into names and values: every test is a substring test that ignores the case
// of the ASCII letters, so "HOME" also matches "TYPE=HOME" or "HOMEPAGE".

#include <cstdint>
#include <string_view>
#include <vector>

#include "vcard/line.h"
#include "vcard/strings.h"

namespace karuto {

// ASCII-only upper-casing of one byte (also inside two-byte characters) or
// one UTF-16 unit (full-width letters stay as they are).
template <typename Unit>
constexpr Unit UpperAscii(Unit unit)
{
    return (unit >= 'a' && unit <= 'z') ? static_cast<Unit>(unit - ('a' - 'A')) : unit;
}

// Equal as a whole, ignoring the case of A-Z only.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Is the line the keyword ("BEGIN:VCARD", "END:VCARD"), ignoring the case of
// A-Z and the blanks after it that some phones write? Asked of every line,
// so most lines are answered by their first byte, here.
bool IsKeywordLineAfterItsFirstByte(std::string_view lineText, std::string_view keyword);
inline bool IsKeywordLine(std::string_view lineText, std::string_view keyword)
{
    return lineText.size() >= keyword.size() && UpperAscii(lineText[0]) == keyword[0] &&
           IsKeywordLineAfterItsFirstByte(lineText, keyword);
}

// Does `word` occur inside `text`, ignoring the case of A-Z?
bool ContainsNoCase(std::string_view word, std::string_view text);

// Does `word` occur inside at least one of the tokens?
bool HasParam(std::string_view word, const TokenArray& tokens);

// Does the text contain "ENCODING=B" once upper-cased and stripped of blanks and tabs?
bool ContainsEncodingB(std::string_view text);

// The words the conversion asks about, one bit each, so that a token is read
// once for all of them instead of once per question.
using ParamWords = std::uint32_t;
enum ParamWord : ParamWords {
    WordShiftJis = 1u << 0,          // "SHIFT_JIS"
    WordUtf8 = 1u << 1,              // "UTF-8"
    WordCharset = 1u << 2,           // "CHARSET"
    WordQuotedPrintable = 1u << 3,   // "QUOTED-PRINTABLE"
    WordBase64 = 1u << 4,            // "BASE64"
    WordEncoding = 1u << 5,          // "ENCODING"
    WordEncodingB = 1u << 6,         // ContainsEncodingB
    WordB = 1u << 7,                 // the whole token is "B"
    WordWork = 1u << 8,              // "WORK"
    WordHome = 1u << 9,              // "HOME"
    WordCell = 1u << 10,             // "CELL"
    WordPcs = 1u << 11,              // "PCS"
    WordInternet = 1u << 12,         // "INTERNET"
    // What "CHARSET=" names by another of its names (CharsetAliasWords).
    WordLatin1 = 1u << 13,           // ISO-8859-1
    WordEucJp = 1u << 14,            // EUC-JP
    WordIso2022Jp = 1u << 15,        // ISO-2022-JP
    WordAscii = 1u << 16,            // US-ASCII
};

// The words that a CHARSET parameter's value sets by one of the names of its
// charset (case aside): Shift_JIS's IANA and common names (SJIS, MS_Kanji,
// Windows-31J, CP932...) set WordShiftJis, UTF8 WordUtf8, Latin-1's
// WordLatin1, EUC-JP's and ISO-2022-JP's their own; ASCII's set WordAscii
// and clear WordCharset, since a line in ASCII is read as one that names no
// charset. `afterCharset` is the token after the word "CHARSET".
struct CharsetAlias {
    ParamWords set;
    bool ascii;
};
CharsetAlias CharsetAliasWords(std::string_view afterCharset);

// Which of the words `token` contains, as ContainsNoCase, ContainsEncodingB
// and EqualsNoCase would each tell, with those CharsetAliasWords adds (and
// without WordCharset where CHARSET names ASCII).
ParamWords ParamWordsOf(std::string_view token);

// The words of every token, in a parallel array.
void FindParamWords(const TokenArray& tokens, std::vector<ParamWords>& words);

// All the words that occur in at least one token.
ParamWords AnyParamWords(const std::vector<ParamWords>& words);

// The transfer encoding the parameter words announce; Quoted-Printable wins
// over Base64.
ValueEncoding EncodingOfWords(ParamWords words);

} // namespace karuto
