#pragma once
// The converter's main loop over the whole input text.

#include <span>
#include <string_view>

#include "vcard/line.h"
#include "writer/cards.h"

namespace karuto {

// Cuts `text` into physical lines (LF or CR LF; CRs right before an LF are
// dropped; a NUL byte counts as an LF, except for the line numbers, which
// count LFs only), gathers them into logical lines and dispatches each one, which
// builds the cards in `cardList` and hands the accepted ones to `sink`.
// Returns the counts of cards read and written. `encoding` tells how the text
// holds its characters, and `otherwise` (in line order) the lines that hold
// them otherwise; `lostWhenLoaded`, in line order, the characters not written
// as themselves when it was loaded.
CardCounts ConvertText(std::string_view text, CardList& cardList, const CardSink& sink,
                       SourceEncoding encoding = SourceEncoding::ShiftJis,
                       std::span<const LostCharacter> lostWhenLoaded = {},
                       std::span<const LinesReadOtherwise> otherwise = {});

// Decides how the value of the complete `line` is read in a text of
// `encoding` (its textEncoding, and on a line read otherwise that names no
// charset, its charset); true when `otherwise` holds the line. `otherwise` is
// advanced past the lines before it.
bool DecideLineEncoding(LogicalLine& line, SourceEncoding encoding,
                        std::span<const LinesReadOtherwise>& otherwise);

// Writers fold long lines by bytes: a fold of the value of `line` that falls
// inside a character (Shift_JIS: between a lead byte and its trail byte,
// reading from the value's start; UTF-8: inside a sequence) is dropped and
// the character joined. Every other fold stays.
void JoinFoldsInsideCharacters(LogicalLine& line);

} // namespace karuto
