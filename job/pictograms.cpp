#include "job/pictograms.h"

#include <algorithm>
#include <array>

namespace karuto {

namespace {

constexpr std::array kCarriers = {Carrier::Docomo, Carrier::Au, Carrier::SoftBank};

Carrier CarrierOf(EmojiChoice choice)
{
    switch (choice) {
    case EmojiChoice::Docomo: return Carrier::Docomo;
    case EmojiChoice::Au: return Carrier::Au;
    case EmojiChoice::SoftBank: return Carrier::SoftBank;
    case EmojiChoice::Auto:
    case EmojiChoice::None: break;
    }
    return Carrier::None;
}

// Does the carrier have every user-defined code seen?
bool HasEvery(Carrier carrier, const UserDefinedCodes& seen)
{
    for (std::size_t offset = 0; offset < seen.size(); ++offset) {
        if (seen[offset] && PictogramOf(carrier, static_cast<std::uint16_t>(0xF000 + offset)).empty()) {
            return false;
        }
    }
    return true;
}

// The one carrier that has every code seen; none when there is no code, or
// none or several fit.
Carrier FittingCarrier(const UserDefinedCodes& seen)
{
    if (seen.none()) return Carrier::None;
    Carrier fitting = Carrier::None;
    for (const Carrier carrier : kCarriers) {
        if (!HasEvery(carrier, seen)) continue;
        if (fitting != Carrier::None) return Carrier::None;
        fitting = carrier;
    }
    return fitting;
}

} // namespace

void StartPictograms(PictogramStage& stage, EmojiChoice choice, bool shiftJis, CardWriter& writer)
{
    stage = PictogramStage();
    stage.choice = shiftJis ? choice : EmojiChoice::None;
    stage.writer = &writer;
    writer.pictograms = {CarrierOf(stage.choice), 0};
}

void PassCard(PictogramStage& stage, std::string_view card, const CardList& cards)
{
    if (stage.choice != EmojiChoice::Auto) return WriteCardBuffered(card, *stage.writer);
    const CardEntry& entry = cards.current;
    bool claimable = entry.holdsSoftBankRange;
    const auto claim = [&](const std::vector<std::uint16_t>& codes) {
        for (const std::uint16_t code : codes) stage.userDefined.set(code - 0xF000u);
        claimable = claimable || !codes.empty();
    };
    claim(entry.userDefinedCodes);
    // An FN line's codes reach the card only where it has no N.
    if (!entry.hasName) claim(entry.formattedNameCodes);
    stage.holding = stage.holding || claimable;
    if (!stage.holding) return WriteCardBuffered(card, *stage.writer);
    stage.held.append(card);
}

void FinishCards(PictogramStage& stage)
{
    if (stage.choice == EmojiChoice::Auto) {
        stage.writer->pictograms.carrier = FittingCarrier(stage.userDefined);
        WriteCardBuffered(stage.held, *stage.writer);
        OwnedString().swap(stage.held);
    }
    FlushCards(*stage.writer);
}

bool HasUnattributedCodes(const PictogramStage& stage)
{
    return stage.choice == EmojiChoice::Auto && stage.userDefined.any() &&
           stage.writer->pictograms.carrier == Carrier::None;
}

} // namespace karuto
