#pragma once
// Byte strings in the ANSI code page and the splitting of property lines into
// tokens, with vCard's backslash escape and the double-byte rule.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace karuto {

// A heap byte string in the ANSI code page. Only the whole text of an input
// file may hold NUL bytes (the card scanner reads them as line breaks); lines,
// tokens and values never do.
using OwnedString = std::string;

// The tokens of one split: views into the text that was split, which the
// caller keeps alive (the logical line being converted). Empty means "none".
using TokenArray = std::vector<std::string_view>;

// The part of `text` before its first NUL byte: a value is a NUL-terminated
// string, so a NUL that slips into a view ends it.
std::string_view UpToFirstNul(std::string_view text);

// A copy of `text` up to its first NUL byte.
OwnedString DuplicateString(std::string_view text);

// Appends `text` up to its first NUL byte.
void AppendString(OwnedString& target, std::string_view text);

// text.find(byte, from), quicker where the byte is near, as in the short
// parts of a property line.
std::size_t FindByte(std::string_view text, char byte, std::size_t from = 0);

struct PropertyTokens {
    TokenArray nameTokens;   // property name (with any group prefix), then each parameter
    TokenArray valueTokens;  // the value's components; empty when the line has no ":"
    // The parameter words of each name token (see ParamWordsOf), filled by
    // the splits below together with the name tokens.
    std::vector<std::uint32_t> nameWords;
};

// A line "NAME;PARAM;PARAM:VALUE;VALUE" is cut at its first ":", and each
// side at every ";" that no backslash (a character of its own) escapes;
// tokens keep case, blanks and backslashes. The tokens go into vectors that
// keep their room, so that splitting line after line allocates nothing.

// The name tokens alone into `tokens.nameTokens`, with the parameter words of
// each token in `tokens.nameWords`; the value, often the longest part of a
// line, is not split and the value tokens are emptied. True when the line
// has a ":", so that these are all its name tokens.
bool SplitPropertyNameInto(std::string_view line, PropertyTokens& tokens);

// The value tokens into `tokens.valueTokens` (none without a ":").
void SplitPropertyValueInto(std::string_view line, PropertyTokens& tokens);

} // namespace karuto
