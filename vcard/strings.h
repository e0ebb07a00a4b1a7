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

// Position of the first occurrence of `delimiter` that separates tokens, or
// npos. With `honourEscapes`, an occurrence right after a backslash that is a
// character of its own (not the second byte of a Shift_JIS character) is
// escaped and skipped. The match length is always one byte.
std::size_t FindDelimiter(std::string_view text, char delimiter, bool honourEscapes);

// Splits at every counting delimiter, or after at most `splitLimit` splits
// (0 = no limit). Always yields at least one token.
TokenArray SplitTokens(std::string_view text, char delimiter, bool honourEscapes,
                       std::size_t splitLimit);

// SplitTokens into `tokens`, which is emptied first and keeps its room, so
// that splitting line after line allocates nothing.
void SplitTokensInto(std::string_view text, char delimiter, bool honourEscapes,
                     std::size_t splitLimit, TokenArray& tokens);

struct PropertyTokens {
    TokenArray nameTokens;   // property name (with any group prefix), then each parameter
    TokenArray valueTokens;  // the value's components; empty when the line has no ":"
    // The parameter words of each name token (see ParamWordsOf), filled by
    // the splits below together with the name tokens.
    std::vector<std::uint32_t> nameWords;
};

// Splits "NAME;PARAM;PARAM:VALUE;VALUE" at its first ":" and then each side at
// unescaped ";". Tokens keep case, blanks and backslashes.
PropertyTokens SplitPropertyLine(std::string_view line);

// The name tokens of SplitPropertyLine alone into `tokens.nameTokens`, with
// the parameter words of each token in `tokens.nameWords`; the value, often
// the longest part of a line, is not split and the value tokens are emptied.
// True when the line has a ":", so that these are all its name tokens.
bool SplitPropertyNameInto(std::string_view line, PropertyTokens& tokens);

// The value tokens of SplitPropertyLine into `tokens.valueTokens`.
void SplitPropertyValueInto(std::string_view line, PropertyTokens& tokens);

} // namespace karuto
