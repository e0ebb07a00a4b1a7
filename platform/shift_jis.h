#pragma once
// Shift_JIS, the text of the conversion: always Windows code page 932
// (Shift_JIS with the NEC and IBM extensions), on every platform and whatever
// the system's own ANSI code page is; the conversions are table-driven so
// that every build gives byte-identical results.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/pictogram_codes.h"

namespace karuto {

// What a byte sequence that is not valid Shift_JIS decodes to (as the Windows
// conversion without flags does): KATAKANA MIDDLE DOT.
inline constexpr char16_t kInvalidAnsiChar = u'\u30FB';
// What a character without a Shift_JIS form encodes to.
inline constexpr char kAnsiDefaultChar = ' ';

// True for a byte that opens a two-byte Shift_JIS character (0x81-0x9F, 0xE0-0xFC).
constexpr bool IsAnsiLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// True for a byte that can be the second byte of a two-byte character
// (0x40-0x7E, 0x80-0xFC).
constexpr bool IsAnsiTrailByte(unsigned char byte)
{
    return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
}

// The one rule by which Shift_JIS text is cut into characters, for every
// layer: a lead byte pairs only with a byte that can be a trail byte, so that
// a truncated character before a line end, a ";" or a ":" never swallows it.
// How many bytes the character that starts at `pos` (within the text) takes:
// 2 for such a pair, else 1; a lead byte at the very end stands alone.
constexpr std::size_t AnsiCharLength(std::string_view ansi, std::size_t pos)
{
    const bool pairs = IsAnsiLeadByte(static_cast<unsigned char>(ansi[pos])) &&
                       pos + 1 < ansi.size() &&
                       IsAnsiTrailByte(static_cast<unsigned char>(ansi[pos + 1]));
    return pairs ? 2 : 1;
}

// Does a character start at `pos` of a text that starts with one? Only a
// trail byte right after a run of lead bytes may be a second byte; the run
// starts a character (the byte before it cannot open a pair), and its bytes,
// all of them trail bytes too, pair up from there: `pos` starts a character
// exactly when the run is of even length. Looks back only over that run.
constexpr bool StartsAnsiChar(std::string_view ansi, std::size_t pos)
{
    if (pos >= ansi.size() || !IsAnsiTrailByte(static_cast<unsigned char>(ansi[pos]))) return true;
    std::size_t run = 0;
    while (run < pos && IsAnsiLeadByte(static_cast<unsigned char>(ansi[pos - run - 1]))) ++run;
    return run % 2 == 0;
}

// Shift_JIS to UTF-16, every byte of `ansi` converted (a NUL byte becomes U+0000).
// A lead byte takes the byte after it as its second byte when that byte can be
// a trail byte; a pair without a mapping becomes U+30FB, as on Windows. A lead
// byte before any other byte, or at the very end, becomes U+30FB on its own and
// the next byte is a character of its own, so a line end or a ";" after a
// truncated character survives.
std::u16string AnsiToWide(std::string_view ansi);

// The character of a Shift_JIS pair (lead byte, trail byte); 0 when the pair
// has none.
char16_t WideOfAnsiPair(unsigned char lead, unsigned char trail);

// The Shift_JIS code (one byte up to 0xFF, else lead << 8 | trail) of a
// character that Shift_JIS holds as itself; 0 for one it holds only in a
// closest form or not at all.
std::uint16_t ExactAnsiCodeOf(char32_t codePoint);

// AnsiToWide of the characters of `ansi` that start before byte `limit` (at
// most its size), appended to `bytes` as UTF-16LE: the output file's form,
// made in one pass without an intermediate string. A text converted piece by
// piece, each piece starting where the one before stopped, gives the same
// bytes as converted at once. Returns where it stopped: `limit`, or one byte
// past it when the last character was a pair. With `pictograms`, the
// carrier's pictogram codes become their emoji.
std::size_t AppendAnsiAsUtf16LeUpTo(std::string_view ansi, std::size_t limit, std::string& bytes,
                                    PictogramConversion* pictograms = nullptr);

// AppendAnsiAsUtf16LeUpTo, appending UTF-8 instead: the form of the output
// for the importers of iCloud.com and Google Contacts.
std::size_t AppendAnsiAsUtf8UpTo(std::string_view ansi, std::size_t limit, std::string& bytes,
                                PictogramConversion* pictograms = nullptr);

// UTF-16 to Shift_JIS, up to the first U+0000 unit or the end of `wide`, as
// Windows' encoder without flags converts: exact forms, then its best fits
// ("é" to "e"), and beyond Windows the JIS X 0208 forms of the wave dash,
// minus sign, em dash, double vertical line, yen sign and overline (the
// yen sign's best fit 5C would reach the phone as a backslash, an escape). Every other character
// (a surrogate pair counts as one character, a lone surrogate as one) becomes
// one ASCII space.
std::string WideToAnsi(std::u16string_view wide);

// A character that a conversion to Shift_JIS could not write as itself: as
// a space for want of a form (`code` 0), or in its closest form (`code`, "e"
// for "é"). The JIS X 0208 forms above are the characters themselves.
struct Substitution {
    char32_t codePoint;  // a lone surrogate as itself; U+FFFD for malformed UTF-8
    std::uint16_t code;
};

// A substitution of WideToAnsi, at its offset in the converted text.
struct SubstitutedCharacter {
    std::size_t offset;
    Substitution substitution;
};

// WideToAnsi, noting in `substituted` every character it did not write as itself.
std::string WideToAnsi(std::u16string_view wide, std::vector<SubstitutedCharacter>& substituted);

// The length of the longest start of `ansi` that is whole characters and at
// most `maxBytes` long.
std::size_t AnsiPrefixLength(std::string_view ansi, std::size_t maxBytes);

// The double-byte codes of Shift_JIS text whose first byte lies within
// [firstLead, lastLead] (at least 0xF0), appended to `codes` in order. The
// text must start at a character. F0-F9 is the user-defined area, which
// becomes the private-use characters U+E000-U+E757.
void FindDoubleByteCodes(std::string_view ansi, unsigned char firstLead, unsigned char lastLead,
                         std::vector<std::uint16_t>& codes);

// WideToAnsi(Utf8ToWide(utf8)) in one pass, without the UTF-16 string between,
// appended to `ansi`: each character to its Shift_JIS code, each malformed
// sequence and each character without a form (supplementary ones included)
// to one space. When `substituted` is given, every character not written as
// itself is noted there.
void AppendUtf8AsAnsi(std::string_view utf8, std::string& ansi,
                      std::vector<Substitution>* substituted = nullptr);

} // namespace karuto
