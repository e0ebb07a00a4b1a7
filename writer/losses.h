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
};
inline constexpr std::size_t kLossKindCount = 3;

// One thing a card lost, and how often.
struct Loss {
    std::uint32_t card = 0;        // the card's index in CardList::entries
    LossKind kind = LossKind::Line;
    // Lost only where the card has no N line, since then its FN line stands
    // in for one (its characters reach the phone, a second FN does not).
    bool onlyWithoutName = false;
    std::uint32_t count = 0;
    std::int64_t line = 0;         // the first line of the property where it was lost
    std::uint32_t code = 0;        // Character: the code point; PrivateUse: the Shift_JIS code
    std::uint32_t nameLength = 0;  // Line: its name as written, in LossLog::names
    std::size_t nameOffset = 0;
};

// The losses of one conversion, in card order: each name or code once per
// card, with its count. A book that loses without end (a Hangul one) keeps a
// bounded log: past its last entry, what is lost is only counted.
struct LossLog {
    std::vector<Loss> losses;
    OwnedString names;
    std::int64_t unlisted[kLossKindCount] = {};  // lost once the log was full, by kind
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

} // namespace karuto
