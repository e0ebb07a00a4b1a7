#pragma once
// A written card in vCard 3.0, for the importers of iCloud.com and Google
// Contacts, which take neither vCard 2.1 nor a card without FN.

#include <cstdint>
#include <string_view>

#include "vcard/strings.h"
#include "writer/cards.h"

namespace karuto {

// What iCloud.com imports at most: a card of 256 KB, its photo included, and
// a photo of 224 KB.
inline constexpr std::int64_t kCardByteLimit = 256 * 1024;
inline constexpr std::int64_t kPhotoByteLimit = 224 * 1024;

constexpr bool IsTooLargeForICloud(std::int64_t cardBytes, std::int64_t photoBytes)
{
    return cardBytes > kCardByteLimit || photoBytes > kPhotoByteLimit;
}

// The finished card `entry.text` rewritten into `out` (emptied first), in
// Shift_JIS and with unfolded lines: BEGIN:VCARD, VERSION:3.0 and an FN line
// (the card's own FN, else the family and given names of N, else its ORG),
// then every other line with its parameters in 3.0's form (a bare "CELL" as
// "TYPE=CELL", Base64 as "ENCODING=b", no CHARSET) and its text escaped as
// 3.0 asks ("\n" for a line break, "\," "\;" "\\"), read by the escapes of
// the card's own version. Notes in `entry` the size of its largest photo and,
// where it may pass kCardByteLimit, of the card in UTF-8 once folded.
void RewriteAsVCard30(CardEntry& entry, OwnedString& out);

} // namespace karuto
