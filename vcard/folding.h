#pragma once
// Folding of the long lines of a written card, as vCard 3.0 asks of its
// writers: no line longer than 75 octets, a fold never inside a character.

#include <cstddef>
#include <string>
#include <string_view>

namespace karuto {

inline constexpr std::size_t kMaxLineOctets = 75;

// `utf8` (whole UTF-8 characters, lines ending in CR LF) appended to `out`
// with a CR LF and a space before each character that would take its line
// past kMaxLineOctets. `lineOctets` carries the length of the last line from
// one piece of a text to the next: a text folded piece by piece gives the
// same bytes as folded at once.
void AppendFoldedLines(std::string_view utf8, std::size_t& lineOctets, std::string& out);

} // namespace karuto
