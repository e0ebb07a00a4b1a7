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

// The VERSION rule: a card is acceptable only as version 2.1 or 3.0.
void CheckVersion(CardEntry& entry, const PropertyTokens& tokens, const LogicalLine& line,
                  const ValueDecoding& decoding, std::string_view lineText);

} // namespace karuto
