#pragma once
// Loading of the source file into one text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "job/outcome.h"
#include "platform/files.h"
#include "vcard/line.h"
#include "vcard/strings.h"

namespace karuto {

enum class ByteOrderMark { None, Utf8, Utf16Le };

struct LoadedText {
    OwnedString text;  // may hold NUL bytes, which the card scanner reads as line breaks
    SourceEncoding encoding = SourceEncoding::ShiftJis;
    // Its lines read otherwise than the book as a whole (JudgeBook), in line order.
    std::vector<LinesReadOtherwise> linesReadOtherwise;
    // The characters of a UTF-16 file not written as themselves (spaces, closest forms), in line order.
    std::vector<LostCharacter> lostCharacters;
    // Where every BEGIN:VCARD (any case, anywhere) starts in `text`, for the
    // report of those that start no card.
    std::vector<std::size_t> cardBegins;
    bool crLeftInLine = false;      // a CR alone inside a line: a line break of a value
    std::int64_t nulCount = 0;      // NUL bytes (zero units of UTF-16) in the file
    std::int64_t firstNulLine = 0;  // 1-based line of the first of them; 0 without any
};

// Reads the whole file into `loaded`: Done, or CannotOpenInput,
// CannotReadInput, OutOfMemory (no room to read it) or UnsupportedEncoding.
// `loaded` is left untouched on failure.
Outcome LoadInputText(PathView path, LoadedText& loaded);

// Makes the text from a whole file's bytes: Done or UnsupportedEncoding. A
// UTF-8 mark is skipped (bytes unchanged), UTF-16LE is converted to Shift_JIS
// (an odd final byte is dropped), UTF-16BE is refused. NUL bytes (zero units)
// at the very end are padding and dropped; every other one stays a NUL byte
// of the text. `loaded` is left untouched on failure.
Outcome LoadInputBytes(std::string&& bytes, LoadedText& loaded);

} // namespace karuto
