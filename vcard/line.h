#pragma once
// The record of one logical property line and its enumerations.

#include <cstdint>

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
    OwnedString text;         // meaningful unless state is LineEmpty
    std::int64_t firstLineNumber = 0;  // 1-based number of the first physical line
};

} // namespace karuto
