#pragma once
// Folds: those that writers put into long lines, read through even where one
// falls inside a UTF-8 character (some writers fold by bytes), and those of
// the lines of a card written in vCard 3.0: no line longer than 75 octets, a
// fold never inside a character.

#include <cstddef>
#include <string>
#include <string_view>

namespace karuto {

// How many bytes of `text` from `pos` on are a fold that a writer put in a
// long line (CR LF or LF, then a space or a tab); 0 when none starts there.
std::size_t FoldLength(std::string_view text, std::size_t pos);

// A UTF-8 character read through the folds that some writers put inside one
// (they fold by bytes): its code point, where it ends, whether it is a
// whole, well-formed character and whether a fold lay inside it. A malformed
// one ends where a plain reading stops (at least one byte on).
struct FoldedUtf8Char {
    char32_t codePoint;
    std::size_t end;
    bool valid;
    bool folded;
};
FoldedUtf8Char ReadFoldedUtf8Char(std::string_view text, std::size_t pos);

// A text read as UTF-8 through its folds: is it valid, and does it hold a
// byte above 0x7F?
struct Utf8Reading {
    bool valid;
    bool beyondAscii;
};
Utf8Reading ReadAsFoldedUtf8(std::string_view text);

inline constexpr std::size_t kMaxLineOctets = 75;

// `utf8` (whole UTF-8 characters, lines ending in CR LF) appended to `out`
// with a CR LF and a space before each character that would take its line
// past kMaxLineOctets. `lineOctets` carries the length of the last line from
// one piece of a text to the next: a text folded piece by piece gives the
// same bytes as folded at once.
void AppendFoldedLines(std::string_view utf8, std::size_t& lineOctets, std::string& out);

} // namespace karuto
