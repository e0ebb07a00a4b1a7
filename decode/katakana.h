#pragma once
// Widening of half-width katakana to full-width Shift_JIS, and the merging of
// a katakana with a following voiced or semi-voiced sound mark.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "vcard/strings.h"

namespace karuto {

// The half-width katakana block 0xA1-0xDF and its full-width forms, entry by entry.
inline constexpr std::array<unsigned char, 63> HalfWidthKana = [] {
    std::array<unsigned char, 63> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(0xA1 + i);
    return bytes;
}();
extern const std::array<std::uint16_t, 63> FullWidthKana;

// Appends to `dst` the one character that starts at byte `pos` of `src`
// (two bytes for a Shift_JIS lead byte and the trail byte after it, else one).
// `pos` must lie on a character boundary; returns the character's width, 0 when
// `pos` is at or past the end.
std::size_t AppendChar(OwnedString& dst, std::string_view src, std::size_t pos);

// `text` (without NUL bytes) appended to `widened` without half-width
// katakana, sound marks merged.
void AppendWidenedKatakana(std::string_view text, OwnedString& widened);

} // namespace karuto
