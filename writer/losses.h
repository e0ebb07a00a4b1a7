#pragma once
// What the cards lose on their way to the phone, noted as they are built,
// for the report.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "vcard/strings.h"

namespace karuto {

enum class LossKind : std::uint8_t {
    Line,        // a property line that gave no output line
    Character,   // a character that Shift_JIS lacks, written as a space
    PrivateUse,  // a double-byte code F040-F9FC: a private-use character, shown as nothing
    ClosestForm, // a character written in a similar-looking one ("e" for "é")
    Control,     // a control character (ESC and the like), left out
};
inline constexpr std::size_t kLossKindCount = 5;

// One thing a card lost, and how often.
struct Loss {
    std::uint32_t card = 0;        // the card's index in CardList::records
    LossKind kind = LossKind::Line;
    // Lost only where the card has no N line, since then its FN line stands
    // in for one (its characters reach the phone, a second FN does not).
    bool onlyWithoutName = false;
    std::uint32_t count = 0;
    std::int64_t line = 0;         // the first line of the property where it was lost
    // Character, ClosestForm, Control: the code point; PrivateUse: the Shift_JIS code
    std::uint32_t code = 0;
    // Line: its name as written; ClosestForm: the form written (Shift_JIS),
    // in LossLog::names
    std::uint32_t nameLength = 0;
    std::size_t nameOffset = 0;
};

// The losses of one conversion, in card order: each name or code once per
// card, with its count. A book that loses without end (a Hangul one) keeps a
// bounded log: past its last entry, what is lost is only counted.
struct LossLog {
    std::vector<Loss> losses;
    OwnedString names;
    // Lost by written cards once the log was full, by kind; the private-use
    // codes among them also by code - 0xF000, since some may become emoji.
    std::int64_t unlisted[kLossKindCount] = {};
    std::vector<std::int64_t> unlistedCodes;
    // Lost by the current card once the log was full, until it is known
    // whether the card is written: by kind and whether only without N, and
    // its private-use codes so.
    std::int64_t cardUnlisted[kLossKindCount][2] = {};
    std::vector<std::uint16_t> cardUnlistedCodes[2];
    bool cardHasUnlisted = false;
    // Where each loss of the current card is: lines by name, characters and
    // codes by kind and code.
    std::unordered_map<std::string, std::size_t> linesOfCard;
    std::unordered_map<std::uint64_t, std::size_t> codesOfCard;
    std::uint32_t card = 0;
};

inline constexpr std::size_t kMaxLoggedLosses = std::size_t{1} << 20;

// Notes that `card` lost a line by its `name` (Shift_JIS), or the
// character or code `code`, at `line`.
void NoteLoss(LossLog& log, std::uint32_t card, LossKind kind, bool onlyWithoutName,
              std::int64_t line, std::uint32_t code, std::string_view name = {});

// The current card is left behind: what it lost past a full log counts only
// when it was written (and, for an FN line's losses, had no N).
void SettleCardLosses(LossLog& log, bool written, bool hasName);

} // namespace karuto
