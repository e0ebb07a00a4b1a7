#include "platform/shift_jis.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "platform/byte_blocks.h"
#include "platform/cp932_tables.h"
#include "platform/unicode.h"

// The conversions that return a new string walk their input twice with the
// same reader, to count the output and to fill a string of exactly that size;
// the appending ones make room for the most the input can need and trim.

namespace karuto {
namespace {

// ---- Shift_JIS to UTF-16 ----

struct AnsiChar {
    char16_t wide;
    std::size_t length;   // bytes read
};

// The character of a lead byte / trail byte pair, 0 if it has none.
char16_t PairToWide(unsigned char lead, unsigned char trail)
{
    if (trail < cp932::kTrailByteFirst || trail > cp932::kTrailByteLast)
        return 0;
    return cp932::kDoubleByteToWide[cp932::LeadByteIndex(lead)][trail - cp932::kTrailByteFirst];
}

char16_t DecodePair(unsigned char lead, unsigned char trail)
{
    const char16_t wide = PairToWide(lead, trail);
    return wide != 0 ? wide : kInvalidAnsiChar;
}

AnsiChar ReadAnsiChar(std::string_view ansi, std::size_t pos)
{
    const auto first = static_cast<unsigned char>(ansi[pos]);
    if (AnsiCharLength(ansi, pos) == 1)
        return {cp932::kSingleByteToWide[first], 1};
    return {DecodePair(first, static_cast<unsigned char>(ansi[pos + 1])), 2};
}

// ---- UTF-16 to Shift_JIS ----

// Shift_JIS code of every UTF-16 unit, 0 where there is none. Derived from the
// decoding tables, so that every character some code decodes to is encodable,
// then completed by the one-way entries: Windows' best fits and the JIS X 0208
// forms.
using AnsiCodeTable = std::vector<std::uint16_t>;

AnsiCodeTable BuildAnsiCodeTable()
{
    AnsiCodeTable codes(0x10000, 0);
    for (int byte = 0x01; byte <= 0xFF; ++byte) {
        if (!IsAnsiLeadByte(static_cast<unsigned char>(byte)))
            codes[cp932::kSingleByteToWide[byte]] = static_cast<std::uint16_t>(byte);
    }
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsAnsiLeadByte(static_cast<unsigned char>(lead)))
            continue;
        for (int trail = cp932::kTrailByteFirst; trail <= cp932::kTrailByteLast; ++trail) {
            const char16_t wide = PairToWide(static_cast<unsigned char>(lead),
                                             static_cast<unsigned char>(trail));
            if (wide != 0)
                codes[wide] = static_cast<std::uint16_t>(lead << 8 | trail);
        }
    }
    const std::span<const cp932::PreferredCode> chosen[] = {
        cp932::kPreferredCodes, cp932::kBestFitCodes, cp932::kJisFormCodes};
    for (const auto& table : chosen) {
        for (const cp932::PreferredCode& entry : table)
            codes[entry.wide] = entry.code;
    }
    return codes;
}

const AnsiCodeTable& AnsiCodes()
{
    static const AnsiCodeTable codes = BuildAnsiCodeTable();
    return codes;
}

// The characters written in a similar-looking one: Windows' best fits, but
// where a JIS X 0208 form is the character itself. Nearly all are Latin-1,
// so Japanese text asks about them at the cost of one comparison.
struct ClosestForms {
    std::array<bool, 0x100> latin1{};
    std::vector<char16_t> others;  // sorted

    bool operator[](char32_t codePoint) const
    {
        if (codePoint < latin1.size()) return latin1[codePoint];
        return codePoint >= others.front() && codePoint <= others.back() &&
               std::binary_search(others.begin(), others.end(), static_cast<char16_t>(codePoint));
    }
};

const ClosestForms& ClosestFormSet()
{
    static const ClosestForms set = [] {
        ClosestForms closest;
        std::vector<char16_t> jisForms;
        for (const cp932::PreferredCode& entry : cp932::kJisFormCodes) jisForms.push_back(entry.wide);
        for (const cp932::PreferredCode& entry : cp932::kBestFitCodes) {
            if (std::find(jisForms.begin(), jisForms.end(), entry.wide) != jisForms.end()) continue;
            if (entry.wide < closest.latin1.size()) {
                closest.latin1[entry.wide] = true;
            } else {
                closest.others.push_back(entry.wide);
            }
        }
        std::sort(closest.others.begin(), closest.others.end());
        if (closest.others.empty()) closest.others.push_back(0);
        return closest;
    }();
    return set;
}

struct AnsiCode {
    std::uint16_t code;   // one byte up to 0xFF, else lead byte << 8 | trail byte
    std::size_t units;    // UTF-16 units read
    char32_t substituted; // the character not written as itself, or 0
    bool closest = false; // written in its closest form, not as a space
};

constexpr std::size_t AnsiCodeLength(std::uint16_t code) { return code > 0xFF ? 2 : 1; }
AnsiCode ReadWideAsAnsi(std::u16string_view wide, std::size_t pos, const AnsiCodeTable& codes)
{
    constexpr auto kDefault = static_cast<std::uint16_t>(kAnsiDefaultChar);
    // Shift_JIS has nothing beyond the BMP; the pair is one character, so one space.
    const WideChar next = ReadWideChar(wide, pos);
    if (next.units == 2) return {kDefault, 2, next.codePoint};
    const char16_t unit = wide[pos];
    const std::uint16_t code = codes[unit];
    if (code == 0) return {kDefault, 1, unit};
    const bool closest = ClosestFormSet()[unit];
    return {code, 1, closest ? unit : char32_t{0}, closest};
}

} // namespace


char16_t WideOfAnsiPair(unsigned char lead, unsigned char trail)
{
    return IsAnsiLeadByte(lead) ? PairToWide(lead, trail) : 0;
}

std::uint16_t ExactAnsiCodeOf(char32_t codePoint)
{
    if (codePoint == 0 || codePoint > 0xFFFF) return 0;
    const std::uint16_t code = AnsiCodes()[codePoint];
    if (code == 0) return 0;
    const char16_t back = code > 0xFF ? PairToWide(static_cast<unsigned char>(code >> 8),
                                                   static_cast<unsigned char>(code & 0xFF))
                                      : cp932::kSingleByteToWide[code];
    return back == codePoint ? code : 0;
}

std::u16string AnsiToWide(std::string_view ansi)
{
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < ansi.size(); pos += AnsiCharLength(ansi, pos))
        ++count;

    std::u16string wide(count, u'\0');
    char16_t* out = wide.data();
    for (std::size_t pos = 0; pos < ansi.size();) {
        const AnsiChar next = ReadAnsiChar(ansi, pos);
        *out++ = next.wide;
        pos += next.length;
    }
    return wide;
}
namespace {

// The emoji of the pair at `pos` when it is one of the carrier's pictograms.
std::u16string_view PictogramAt(std::string_view ansi, std::size_t pos, std::size_t length,
                                const PictogramConversion& pictograms)
{
    const auto lead = static_cast<unsigned char>(ansi[pos]);
    if (length != 2 || lead < 0xF3 || lead == 0xFA || lead > 0xFB) return {};
    return PictogramOf(pictograms.carrier,
                       static_cast<std::uint16_t>(lead << 8 | static_cast<unsigned char>(ansi[pos + 1])));
}

} // namespace

std::size_t AppendAnsiAsUtf16LeUpTo(std::string_view ansi, std::size_t limit, std::string& bytes,
                                    PictogramConversion* pictograms)
{
    limit = std::min(limit, ansi.size());
    if (pictograms != nullptr && pictograms->carrier == Carrier::None) pictograms = nullptr;
    // Every byte gives at most one unit of two bytes (a pair that ends past
    // the limit, two for two), and a pictogram's two bytes at most four
    // units: room for the worst case, then trimmed to what was written.
    const std::size_t start = bytes.size();
    bytes.resize(start + (pictograms != nullptr ? 4 * limit + 8 : 2 * limit + 2));
    char* out = bytes.data() + start;
    std::size_t pos = 0;
    while (pos < limit) {
        // Most of a card is ASCII, which is its own UTF-16 unit: sixteen or
        // eight bytes at a time become as many units.
#if defined(__SSE2__)
        while (limit - pos >= 16) {
            if (SixteenBytesBeyondAscii(ansi.data() + pos) != 0) break;
            SpreadSixteenBytesToUnits(ansi.data() + pos, out);
            out += 32;
            pos += 16;
        }
#endif
        if constexpr (std::endian::native == std::endian::little) {
            while (limit - pos >= 8) {
                const std::uint64_t eight = LoadEightBytes(ansi.data() + pos);
                if (!AreEightBytesAscii(eight)) break;
                const std::uint64_t low = SpreadFourBytesToUnits(eight & 0xFFFFFFFFu);
                const std::uint64_t high = SpreadFourBytesToUnits(eight >> 32);
                std::memcpy(out, &low, 8);
                std::memcpy(out + 8, &high, 8);
                out += 16;
                pos += 8;
            }
        }
        if (pos == limit) break;
        if (static_cast<unsigned char>(ansi[pos]) < 0x80) {
            *out++ = ansi[pos++];
            *out++ = '\0';
            continue;
        }
        const AnsiChar next = ReadAnsiChar(ansi, pos);
        const std::u16string_view emoji =
            pictograms != nullptr ? PictogramAt(ansi, pos, next.length, *pictograms) : std::u16string_view();
        if (!emoji.empty()) {
            for (const char16_t unit : emoji) {
                *out++ = static_cast<char>(unit & 0xFF);
                *out++ = static_cast<char>(unit >> 8);
            }
            ++pictograms->converted;
        } else {
            *out++ = static_cast<char>(next.wide & 0xFF);
            *out++ = static_cast<char>(next.wide >> 8);
        }
        pos += next.length;
    }
    bytes.resize(static_cast<std::size_t>(out - bytes.data()));
    return pos;
}

std::size_t AppendAnsiAsUtf8UpTo(std::string_view ansi, std::size_t limit, std::string& bytes,
                                PictogramConversion* pictograms)
{
    limit = std::min(limit, ansi.size());
    if (pictograms != nullptr && pictograms->carrier == Carrier::None) pictograms = nullptr;
    // A byte gives at most three bytes (a half-width katakana), a pair at
    // most three, and a pictogram's pair at most four units of up to three
    // bytes: room for the worst case, then trimmed to what was written.
    const std::size_t start = bytes.size();
    bytes.resize(start + (pictograms != nullptr ? 6 * limit + 12 : 3 * limit + 3));
    char* out = bytes.data() + start;
    std::size_t pos = 0;
    while (pos < limit) {
        // Most of a card is ASCII, which is its own UTF-8: eight bytes at a time.
        if (limit - pos >= 8 && AreEightBytesAscii(LoadEightBytes(ansi.data() + pos))) {
            std::memcpy(out, ansi.data() + pos, 8);
            out += 8;
            pos += 8;
            continue;
        }
        const auto first = static_cast<unsigned char>(ansi[pos]);
        if (first < 0x80) {
            *out++ = static_cast<char>(first);
            ++pos;
            continue;
        }
        const AnsiChar next = ReadAnsiChar(ansi, pos);
        const std::u16string_view emoji =
            pictograms != nullptr ? PictogramAt(ansi, pos, next.length, *pictograms) : std::u16string_view();
        if (!emoji.empty()) {
            for (std::size_t unit = 0; unit < emoji.size();) {
                const WideChar wide = ReadWideChar(emoji, unit);
                out = PutUtf8(wide.codePoint, out);
                unit += wide.units;
            }
            ++pictograms->converted;
        } else {
            out = PutUtf8(next.wide, out);
        }
        pos += next.length;
    }
    bytes.resize(static_cast<std::size_t>(out - bytes.data()));
    return pos;
}

std::string WideToAnsi(std::u16string_view wide)
{
    std::vector<SubstitutedCharacter> substituted;
    return WideToAnsi(wide, substituted);
}

std::string WideToAnsi(std::u16string_view wide, std::vector<SubstitutedCharacter>& substituted)
{
    wide = wide.substr(0, wide.find(u'\0'));
    const AnsiCodeTable& codes = AnsiCodes();

    std::size_t count = 0;
    for (std::size_t pos = 0; pos < wide.size();) {
        const AnsiCode next = ReadWideAsAnsi(wide, pos, codes);
        count += AnsiCodeLength(next.code);
        pos += next.units;
    }

    std::string ansi(count, '\0');
    char* out = ansi.data();
    for (std::size_t pos = 0; pos < wide.size();) {
        const AnsiCode next = ReadWideAsAnsi(wide, pos, codes);
        if (next.substituted != 0) {
            substituted.push_back({static_cast<std::size_t>(out - ansi.data()),
                                   {next.substituted, next.closest ? next.code : std::uint16_t{0}}});
        }
        if (AnsiCodeLength(next.code) == 2)
            *out++ = static_cast<char>(next.code >> 8);
        *out++ = static_cast<char>(next.code & 0xFF);
        pos += next.units;
    }
    return ansi;
}

std::size_t AnsiPrefixLength(std::string_view ansi, std::size_t maxBytes)
{
    std::size_t length = 0;
    while (length < ansi.size()) {
        const std::size_t next = length + AnsiCharLength(ansi, length);
        if (next > maxBytes) break;
        length = next;
    }
    return length;
}

namespace {

// The first byte within [firstLead, lastLead] (at least 0xF0) from `from` on,
// or the size: sixteen bytes at a time where the processor compares them at once.
std::size_t FindLeadIn(std::string_view ansi, std::size_t from, unsigned char firstLead,
                       unsigned char lastLead)
{
    std::size_t pos = from;
#if defined(__SSE2__)
    for (; ansi.size() - pos >= 16; pos += 16) {
        const unsigned inRange = SixteenBytesWithin(ansi.data() + pos, firstLead, lastLead);
        if (inRange != 0) return pos + static_cast<std::size_t>(std::countr_zero(inRange));
    }
#endif
    // Eight bytes at a time past those without all four high bits set.
    for (; ansi.size() - pos >= 8; pos += 8) {
        if (HasByteFromF0(LoadEightBytes(ansi.data() + pos))) break;
    }
    for (; pos < ansi.size(); ++pos) {
        const auto byte = static_cast<unsigned char>(ansi[pos]);
        if (byte >= firstLead && byte <= lastLead) return pos;
    }
    return pos;
}

} // namespace

void FindDoubleByteCodes(std::string_view ansi, unsigned char firstLead, unsigned char lastLead,
                         std::vector<std::uint16_t>& codes)
{
    // A byte from F0 up is as often the second byte of a kanji. Whether it starts a
    // character is found by walking from the nearest place known to start one:
    // the start, where the last walk ended, or right after a byte that cannot
    // open a pair (it is a character, or the second byte of one). Each byte is
    // looked at a bounded number of times, so long texts stay linear.
    std::size_t known = 0;
    for (std::size_t candidate = FindLeadIn(ansi, 0, firstLead, lastLead); candidate < ansi.size();
         candidate = FindLeadIn(ansi, known, firstLead, lastLead)) {
        std::size_t pos = candidate;
        while (pos > known && IsAnsiLeadByte(static_cast<unsigned char>(ansi[pos - 1]))) --pos;
        while (pos < candidate) pos += AnsiCharLength(ansi, pos);
        if (pos == candidate && AnsiCharLength(ansi, pos) == 2) {
            codes.push_back(static_cast<std::uint16_t>(static_cast<unsigned char>(ansi[pos]) << 8 |
                                                       static_cast<unsigned char>(ansi[pos + 1])));
        }
        known = pos == candidate ? pos + AnsiCharLength(ansi, pos) : pos;
    }
}
void AppendUtf8AsAnsi(std::string_view utf8, std::string& ansi, std::vector<Substitution>* substituted)
{
    const AnsiCodeTable& codes = AnsiCodes();
    const ClosestForms& closest = ClosestFormSet();
    // No character takes more bytes in Shift_JIS than in UTF-8, and a
    // malformed sequence becomes one space: the input's size is enough.
    const std::size_t start = ansi.size();
    ansi.resize(start + utf8.size());
    char* out = ansi.data() + start;
    for (std::size_t pos = 0; pos < utf8.size();) {
        // ASCII is its own Shift_JIS; runs of it (Base64 photos, numbers,
        // addresses) go eight bytes at a time, as long as no NUL is among them.
        while (utf8.size() - pos >= 8) {
            const std::uint64_t eight = LoadEightBytes(utf8.data() + pos);
            if (!AreEightBytesAscii(eight) || HasZeroByte(eight)) break;
            std::memcpy(out, &eight, 8);
            out += 8;
            pos += 8;
        }
        if (pos == utf8.size()) break;
        const auto first = static_cast<unsigned char>(utf8[pos]);
        if (first == 0) break;  // where WideToAnsi would stop
        if (first < 0x80) {
            *out++ = static_cast<char>(first);
            ++pos;
            continue;
        }
        const Utf8Char next = ReadUtf8Char(utf8, pos);
        pos += next.length;
        // Beyond the BMP a character is a surrogate pair in UTF-16: one space.
        const std::uint16_t code = next.codePoint > 0xFFFF ? 0 : codes[next.codePoint];
        if (code == 0) {
            *out++ = kAnsiDefaultChar;
            if (substituted != nullptr) substituted->push_back({next.codePoint, 0});
        } else {
            if (substituted != nullptr && closest[next.codePoint]) substituted->push_back({next.codePoint, code});
            if (AnsiCodeLength(code) == 2) *out++ = static_cast<char>(code >> 8);
            *out++ = static_cast<char>(code & 0xFF);
        }
    }
    ansi.resize(static_cast<std::size_t>(out - ansi.data()));
}

} // namespace karuto
