#pragma once
// Code-page conversions of the converter. The narrow ("ANSI") code page is always
// Windows code page 932 (Shift_JIS with the NEC and IBM extensions), on every
// platform and whatever the system's own ANSI code page is; the conversions are
// table-driven so that every build gives byte-identical results.

#include <string>
#include <string_view>

namespace karuto {

// What a byte sequence that is not valid Shift_JIS decodes to (as the Windows
// conversion without flags does): KATAKANA MIDDLE DOT.
inline constexpr char16_t kInvalidAnsiChar = u'\u30FB';
// What a character without a Shift_JIS form encodes to.
inline constexpr char kAnsiDefaultChar = ' ';
// What each malformed UTF-8 sequence decodes to.
inline constexpr char16_t kReplacementChar = u'\uFFFD';

// True for a byte that opens a two-byte Shift_JIS character (0x81-0x9F, 0xE0-0xFC).
constexpr bool IsAnsiLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Shift_JIS to UTF-16, every byte of `ansi` converted (a NUL byte becomes U+0000).
// A lead byte takes the byte after it as its second byte, whatever that byte is
// except NUL; a pair without a mapping, and a lead byte at the very end or
// before a NUL byte, become U+30FB (the NUL then stays U+0000), as on Windows.
std::u16string AnsiToWide(std::string_view ansi);

// UTF-16 to Shift_JIS, up to the first U+0000 unit or the end of `wide`.
// Every character without a Shift_JIS form (a surrogate pair counts as one
// character, a lone surrogate as one) becomes one ASCII space. No best-fit
// substitutions.
std::string WideToAnsi(std::u16string_view wide);

// UTF-8 to UTF-16, every byte converted. Each maximal malformed subsequence
// becomes one U+FFFD; characters beyond the BMP become surrogate pairs.
std::u16string Utf8ToWide(std::string_view utf8);

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD. For POSIX file names and
// console output.
std::string WideToUtf8(std::u16string_view wide);

} // namespace karuto
