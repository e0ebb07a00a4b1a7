#include "platform/pictogram_codes.h"

#include <algorithm>
#include <iterator>
#include <span>

#include "platform/emoji_tables.h"

namespace karuto {

std::u16string_view PictogramOf(Carrier carrier, std::uint16_t code)
{
    std::span<const emoji::Pictogram> table;
    switch (carrier) {
    case Carrier::Docomo: table = emoji::kDocomo; break;
    case Carrier::Au: table = emoji::kAu; break;
    case Carrier::SoftBank: table = emoji::kSoftBank; break;
    case Carrier::None: return {};
    }
    const auto found = std::lower_bound(table.begin(), table.end(), code,
                                        [](const emoji::Pictogram& row, std::uint16_t wanted) {
                                            return row.code < wanted;
                                        });
    if (found == table.end() || found->code != code) return {};
    const std::u16string_view units(found->units, std::size(found->units));
    return units.substr(0, units.find(u'\0'));
}

} // namespace karuto
