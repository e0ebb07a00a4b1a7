#pragma once
// The record of one logical property line and its enumerations.

#include <cstdint>
#include <string_view>

#include "vcard/strings.h"

namespace karuto {

enum Charset : std::int32_t {
    CharsetNone = 0,
    CharsetShiftJis = 1,
    CharsetUtf8 = 2,
};

enum ValueEncoding : std::int32_t {
    EncodingNone = 0,
    EncodingBase64 = 1,
    EncodingQuotedPrintable = 2,
};

enum LineState : std::int32_t {
    LineEmpty = 0,
    LineCollecting = 1,
    LineComplete = 2,
    LineCompleteHeld = 3,  // complete; the physical line last fed belongs to the next one
};

struct LogicalLine {
    Charset charset = CharsetNone;
    ValueEncoding encoding = EncodingNone;
    LineState state = LineEmpty;
    bool recognized = false;  // the dispatch handled the property by name
    bool widenKana = false;   // values get half-width katakana widened
    // The line's text, meaningful unless state is LineEmpty: a view of the
    // physical lines while they lie whole and side by side where they were
    // read, else of `gathered`.
    std::string_view text;
    OwnedString gathered;
    bool isGathered = false;
    std::int64_t firstLineNumber = 0;  // 1-based number of the first physical line
    // The name tokens of the first physical line and their parameter words;
    // when that line holds the ":" (`nameComplete`), they are the logical
    // line's own, and the dispatch need not split its name again.
    PropertyTokens tokens;
    bool nameComplete = false;
};

} // namespace karuto
