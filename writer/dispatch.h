#pragma once
// What becomes of each complete logical line: it opens or closes a card, is
// rewritten into the current card, rejects the card, or is dropped.

#include <string_view>

#include "decode/value.h"
#include "vcard/line.h"
#include "vcard/strings.h"
#include "writer/cards.h"

namespace karuto {

// Handles one logical line (`line.text`). A finished, accepted card goes to
// `sink` at once.
void ConvertProperty(LogicalLine& line, const CardSink& sink, CardList& cardList);

} // namespace karuto
