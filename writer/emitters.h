#pragma once
// The rewriting rules: each turns one dispatched property line into the lines
// of the output card and appends them to the card's text, its values decoded
// as the dispatch says.

#include <string_view>

#include "decode/value.h"
#include "vcard/line.h"
#include "vcard/params.h"
#include "vcard/strings.h"
#include "writer/cards.h"

namespace karuto {

// Type names that decide where an e-mail goes, in the order they are tested,
// as the parameter words that stand for them.
inline constexpr ParamWord KnownTypeNames[] = {WordWork, WordHome, WordCell, WordPcs, WordInternet};

// Re-emits the property with its charset and transfer-encoding markers removed
// and its values decoded.
void EmitProperty(CardEntry& entry, const PropertyTokens& tokens, const ValueDecoding& decoding);

// A photo as EmitProperty writes it, but one in Quoted-Printable: its bytes in
// Base64 on a folded line, after the parameters that EmitProperty keeps.
void EmitPhoto(CardEntry& entry, const PropertyTokens& tokens, const ValueDecoding& decoding);

// A name reading becomes the two phonetic-name properties.
void EmitPhoneticName(CardEntry& entry, const TokenArray& valueTokens, const ValueDecoding& decoding);

// Work, home, or a numbered item group labelled Other.
void EmitEmail(CardEntry& entry, const PropertyTokens& tokens, const ValueDecoding& decoding);
void EmitAddress(CardEntry& entry, const PropertyTokens& tokens, const ValueDecoding& decoding);

// Does `type` occur among the words of a line's name tokens (AnyParamWords)
// while no other of KnownTypeNames does?
bool HasSoleType(ParamWords words, ParamWord type);

// The decoded values separated by ";", appended to `target`.
void AppendDecodedValues(const TokenArray& valueTokens, const ValueDecoding& decoding, OwnedString& target);

// Keeps the first FN value of a card, decoded as `decoding` says (exactly as
// an N value would be).
void RememberFormattedName(CardEntry& entry, const TokenArray& valueTokens, const ValueDecoding& decoding);

// "N:" + the remembered FN value + ";;;;": a card without N, or with an N
// without any component, would otherwise reach the phone without any name.
// It takes the place of that empty N line, else it is appended.
void EmitNameFromFormattedName(CardEntry& entry);

} // namespace karuto
