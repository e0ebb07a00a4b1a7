#pragma once
// Which reading of a line's bytes is the plausible one, for books whose bytes
// do not say it: a feature phone's Shift_JIS export joined to a smartphone's
// UTF-8 one, a single contact a phone shared, a UTF-8 book with a Latin-1
// card. Being valid is not enough. Shift_JIS read as UTF-8 gives characters
// that address books practically never hold (Telugu, Armenian, Arabic, a
// lone Greek or Cyrillic letter, a kanji run into an ASCII letter); UTF-8
// read as Shift_JIS gives rare kanji broken up by single half-width katakana.
// Each reading is weighed by how unlikely its characters are, and the one
// clearly less unlikely wins.

#include <cstdint>
#include <string_view>

#include "vcard/line.h"

namespace karuto {

enum class LineReading : std::uint8_t {
    ShiftJis,  // Shift_JIS is the plausible reading (or neither reading is valid)
    Utf8,      // UTF-8 is
    Either,    // both are, about as much: the lines around it decide
};

struct LineJudgement {
    LineReading reading;
    // Only one reading is valid, or one is far the more plausible; a line
    // judged less surely is read as the nearest line judged surely.
    bool sure;
};

// Judges a value's bytes (folds inside them allowed), which hold a byte beyond
// ASCII. `label` is the line's CHARSET: a line that names UTF-8 is UTF-8; one
// that names Shift_JIS is UTF-8 only when its UTF-8 reading holds a character
// of three bytes or more (a Shift_JIS book saved again as UTF-8) and is
// surely the plausible one.
LineJudgement JudgeLineBytes(std::string_view bytes, Charset label);

// How much less unlikely a line's bytes (beyond ASCII, folds allowed) are
// read as EUC-JP than as Shift_JIS, in quarters: above 0 where EUC-JP is the
// plausible reading. `reading` for the value of a reading (kana, not kanji). A book is EUC-JP when its lines together lean so by a
// clear margin (kEucJpMargin); Shift_JIS books that are valid EUC-JP at all
// are few (second-level kanji, half-width readings in even runs) and lean
// the other way.
struct EucJpLeaning {
    int lead;
    int characters;  // beyond ASCII, read as EUC-JP
};
EucJpLeaning EucJpLead(std::string_view bytes, bool reading);
// The lead a book needs, and the characters: one character is no evidence.
inline constexpr int kEucJpMargin = 16;
inline constexpr int kEucJpCharacters = 2;

} // namespace karuto
