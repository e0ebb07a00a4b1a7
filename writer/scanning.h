#pragma once
// The converter's main loop over the whole input text.

#include <span>
#include <string_view>
#include <vector>

#include "vcard/line.h"
#include "writer/cards.h"

namespace karuto {

// What loading found out about a text, beyond its bytes.
struct TextFacts {
    // How the text holds its characters, and (in line order) the lines that
    // hold them otherwise.
    SourceEncoding encoding = SourceEncoding::ShiftJis;
    std::span<const LinesReadOtherwise> otherwise;
    // In line order, the characters not written as themselves when it was loaded.
    std::span<const LostCharacter> lostWhenLoaded;
    // Where every BEGIN:VCARD (any case, anywhere) starts, when loading found
    // them (FindMarkedBytes); else they are sought here.
    const std::vector<std::size_t>* cardBegins = nullptr;
    bool crLeftInLine = false;  // a CR alone inside a line: a value's line break
};

// Cuts `text` into physical lines (LF or CR LF; CRs right before an LF are
// dropped; a NUL byte counts as an LF, except for the line numbers, which
// count LFs only; END:VCARD and a BEGIN:VCARD after it on the same line are
// two lines of one number), gathers them into logical lines and dispatches
// each one, which builds the cards in `cardList` and hands the accepted ones
// to `sink`. Every BEGIN:VCARD that starts no card is noted in `cardList`.
// Returns the counts of cards read and written.
CardCounts ConvertText(std::string_view text, CardList& cardList, const CardSink& sink,
                       const TextFacts& facts = {});

} // namespace karuto
