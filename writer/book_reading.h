#pragma once
// How a book of bytes (no mark, or the UTF-8 mark) holds its characters, line
// by line: the one judgement that decides it, before the cards are read.

#include <string_view>
#include <vector>

#include "vcard/line.h"

namespace karuto {

struct BookReading {
    // The book as a whole: ShiftJis, Utf8WithoutMark, Utf8WithMark or EucJp.
    SourceEncoding encoding = SourceEncoding::ShiftJis;
    // Its lines read otherwise, in line order: the lines of a feature phone's
    // Shift_JIS export joined to a smartphone's UTF-8 one, or the other way.
    std::vector<LinesReadOtherwise> otherwise;
};

// Each logical line whose value holds a byte beyond ASCII is judged
// (JudgeLineBytes); a line that both readings fit is read as the nearest
// line judged. A book valid UTF-8 throughout is UTF-8 as soon as one line is
// judged UTF-8 (or with its mark), and Shift_JIS when none is and one is
// judged Shift_JIS (a shared contact whose kanji happen to be valid UTF-8).
// Any other book is read as most of its judged lines are, the others read
// otherwise; with the mark, as UTF-8. A book without the mark that is
// EUC-JP throughout and reads more plausibly so is EUC-JP.
BookReading JudgeBook(std::string_view text, bool utf8Mark);

} // namespace karuto
