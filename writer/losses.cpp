#include "writer/losses.h"

#include <cstring>

namespace karuto {

namespace {

std::string KeyOf(LossKind kind, bool onlyWithoutName, std::uint32_t code, std::string_view name)
{
    std::string key{static_cast<char>(kind), static_cast<char>(onlyWithoutName)};
    if (kind == LossKind::Line) return key.append(name);
    char bytes[sizeof code];
    std::memcpy(bytes, &code, sizeof code);
    return key.append(bytes, sizeof bytes);
}

// A new card starts with no losses to count into. A map that grew for a card
// with very many is let go: clearing it would cost its size for every card after.
void StartCard(LossLog& log, std::uint32_t card)
{
    constexpr std::size_t kKeptBuckets = 1024;
    log.card = card;
    if (log.ofCard.bucket_count() > kKeptBuckets) {
        std::unordered_map<std::string, std::size_t>().swap(log.ofCard);
    } else {
        log.ofCard.clear();
    }
}

} // namespace

void NoteLoss(LossLog& log, std::uint32_t card, LossKind kind, bool onlyWithoutName,
              std::int64_t line, std::uint32_t code, std::string_view name)
{
    if (card != log.card || log.losses.empty()) StartCard(log, card);
    const auto [found, added] =
        log.ofCard.try_emplace(KeyOf(kind, onlyWithoutName, code, name), log.losses.size());
    if (!added) {
        ++log.losses[found->second].count;
        return;
    }
    if (log.losses.size() >= kMaxLoggedLosses) {
        log.ofCard.erase(found);
        ++log.unlisted[static_cast<std::size_t>(kind)];
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

} // namespace karuto
