#pragma once
// The two other encodings of JIS X 0208 text that Japanese books come in,
// EUC-JP (Unix tools, old web services) and ISO-2022-JP (contacts sent by
// mail), turned into Shift_JIS as Windows' own conversions read them: a JIS
// pair has its Shift_JIS pair by arithmetic, half-width katakana are single
// bytes, and what code page 932 lacks (JIS X 0212, rows it leaves undefined)
// becomes a space, noted as U+FFFD.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shift_jis.h"

namespace karuto {

// Is every byte beyond ASCII of `text` part of a well-formed EUC-JP
// character (two bytes A1-FE, 8E and a half-width katakana, 8F and two bytes
// A1-FE), and is there one?
bool IsEucJpThroughout(std::string_view text);

// The next character of EUC-JP text at `pos` (a byte beyond ASCII): its
// Shift_JIS code (a byte, or lead << 8 | trail; 0 when code page 932 has
// none) and its length in bytes (0 for a malformed one).
struct EucJpChar {
    std::uint16_t code;
    std::size_t length;
};
EucJpChar ReadEucJpChar(std::string_view text, std::size_t pos);

// Does `text` switch to JIS X 0208 or half-width katakana by the escape
// sequences of ISO-2022-JP, and hold no byte beyond ASCII?
bool LooksLikeIso2022Jp(std::string_view text);

// Does an escape sequence of ISO-2022-JP start at `pos`?
bool StartsIso2022JpEscape(std::string_view text, std::size_t pos);

// The text in Shift_JIS; every character written as a space is noted at its
// offset in the result. ISO-2022-JP returns to ASCII at each line end, so
// one broken line does not take the rest of the book with it; an escape
// sequence it does not know is kept as it stands.
std::string EucJpToAnsi(std::string_view text, std::vector<SubstitutedCharacter>& substituted);
std::string Iso2022JpToAnsi(std::string_view text, std::vector<SubstitutedCharacter>& substituted);

} // namespace karuto
