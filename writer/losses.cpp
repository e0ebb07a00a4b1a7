#include "writer/losses.h"

#include <utility>

namespace karuto {

namespace {

constexpr std::size_t kNoPlace = static_cast<std::size_t>(-1);

// A map that grew for a card with very many losses is let go: clearing it
// would cost its size again for every card after.
template <typename Map>
void Empty(Map& map)
{
    constexpr std::size_t kKeptBuckets = 1024;
    if (map.bucket_count() > kKeptBuckets) {
        Map().swap(map);
    } else {
        map.clear();
    }
}

// Where the card's earlier loss of the same thing is, if any; else, while
// the log has room, the place of a new one (and true).
template <typename Map, typename Key>
std::pair<std::size_t, bool> PlaceIn(Map& map, Key&& key, std::size_t next, bool full)
{
    if (full) {
        const auto found = map.find(key);
        return {found == map.end() ? kNoPlace : found->second, false};
    }
    const auto [found, added] = map.try_emplace(std::forward<Key>(key), next);
    return {found->second, added};
}

std::pair<std::size_t, bool> PlaceOf(LossLog& log, LossKind kind, bool onlyWithoutName,
                                     std::uint32_t code, std::string_view name)
{
    const std::size_t next = log.losses.size();
    const bool full = next >= kMaxLoggedLosses;
    if (kind == LossKind::Line) {
        std::string key(name);
        key.push_back(static_cast<char>(onlyWithoutName));
        return PlaceIn(log.linesOfCard, std::move(key), next, full);
    }
    const std::uint64_t key = std::uint64_t{code} << 16 | static_cast<unsigned>(kind) << 8 |
                              static_cast<unsigned>(onlyWithoutName);
    return PlaceIn(log.codesOfCard, key, next, full);
}

} // namespace

void NoteLoss(LossLog& log, std::uint32_t card, LossKind kind, bool onlyWithoutName,
              std::int64_t line, std::uint32_t code, std::string_view name)
{
    if (card != log.card || log.losses.empty()) {
        log.card = card;
        Empty(log.linesOfCard);
        Empty(log.codesOfCard);
    }
    const auto [place, added] = PlaceOf(log, kind, onlyWithoutName, code, name);
    if (place == kNoPlace) {
        ++log.cardUnlisted[static_cast<std::size_t>(kind)][onlyWithoutName];
        log.cardHasUnlisted = true;
        if (kind == LossKind::PrivateUse) {
            log.cardUnlistedCodes[onlyWithoutName].push_back(static_cast<std::uint16_t>(code));
        }
        return;
    }
    if (!added) {
        ++log.losses[place].count;
        return;
    }
    Loss loss;
    loss.card = card;
    loss.kind = kind;
    loss.onlyWithoutName = onlyWithoutName;
    loss.count = 1;
    loss.line = line;
    loss.code = code;
    loss.nameOffset = log.names.size();
    loss.nameLength = static_cast<std::uint32_t>(name.size());
    log.names.append(name);
    log.losses.push_back(loss);
}

void SettleCardLosses(LossLog& log, bool written, bool hasName)
{
    if (!log.cardHasUnlisted) return;
    log.cardHasUnlisted = false;
    for (const bool onlyWithoutName : {false, true}) {
        const bool counts = written && !(onlyWithoutName && hasName);
        for (std::size_t kind = 0; kind < kLossKindCount; ++kind) {
            if (counts) log.unlisted[kind] += log.cardUnlisted[kind][onlyWithoutName];
            log.cardUnlisted[kind][onlyWithoutName] = 0;
        }
        std::vector<std::uint16_t>& codes = log.cardUnlistedCodes[onlyWithoutName];
        if (counts && !codes.empty()) {
            log.unlistedCodes.resize(0xA00);
            for (const std::uint16_t code : codes) ++log.unlistedCodes[code - 0xF000u];
        }
        codes.clear();
    }
}

} // namespace karuto
