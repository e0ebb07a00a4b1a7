#pragma once
// Feature-phone pictograms on their way into the output: which carrier's
// codes become emoji, chosen by the user or found from the cards themselves.

#include <bitset>
#include <cstdint>
#include <string_view>

#include "job/output.h"

#include "vcard/strings.h"
#include "writer/cards.h"

namespace karuto {

// The user's choice: a carrier, none, or the one whose pictograms the written
// cards hold (`Auto`, which the window program always uses).
// The web page passes these as numbers, 0 to 4.
enum class EmojiChoice { Auto, None, Docomo, Au, SoftBank };

// The codes F000-F9FF, by code - F000: room for every user-defined one.
using UserDefinedCodes = std::bitset<0x0A00>;

// Cards on their way to the writer. With a carrier given, or none, each goes
// on at once. With `Auto`, the cards from the first that holds a code some
// carrier may claim are held back until the last card has shown which carrier
// has every user-defined code (F040-F9FC) of the written cards: exactly one
// fits, or none is used. Only a Shift_JIS file takes part: the codes of a
// UTF-8 or UTF-16 file were never a phone's.
struct PictogramStage {
    EmojiChoice choice = EmojiChoice::Auto;
    CardWriter* writer = nullptr;
    bool holding = false;
    OwnedString held;                   // the cards held back, in Shift_JIS
    UserDefinedCodes userDefined;       // the codes F040-F9FC of the written cards
};

// Readies the stage for a file read as Shift_JIS or not.
void StartPictograms(PictogramStage& stage, EmojiChoice choice, bool shiftJis, CardWriter& writer);

// Takes one written card, the last of `cards`, whose codes F040-F9FC the
// writer noted.
void PassCard(PictogramStage& stage, std::string_view card, const CardList& cards);

// Settles the carrier, writes the cards held back and flushes the writer.
void FinishCards(PictogramStage& stage);

// Whether the written cards held user-defined codes that `Auto` could not
// give to one carrier.
bool HasUnattributedCodes(const PictogramStage& stage);

} // namespace karuto
