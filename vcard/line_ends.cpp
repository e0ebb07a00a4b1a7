#include "vcard/line_ends.h"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "platform/byte_blocks.h"
#include "platform/byte_order_marks.h"
#include "vcard/params.h"

namespace karuto {

namespace {

using namespace std::string_view_literals;

constexpr std::string_view kBegin = "BEGIN:VCARD";
constexpr std::string_view kEnd = "END:VCARD";

bool KeywordAt(std::string_view text, std::size_t pos, std::string_view keyword)
{
    if (pos > text.size() || text.size() - pos < keyword.size()) return false;
    const std::string_view candidate = text.substr(pos, keyword.size());
    return candidate == keyword || EqualsNoCase(candidate, keyword);  // most write it so
}

std::size_t PastMark(std::string_view text, std::size_t pos)
{
    return text.substr(pos).starts_with(kUtf8Mark) ? pos + kUtf8Mark.size() : pos;
}

bool IsLineStart(std::string_view text, std::size_t pos)
{
    if (pos >= kUtf8Mark.size() && text.substr(pos - kUtf8Mark.size(), kUtf8Mark.size()) == kUtf8Mark) {
        pos -= kUtf8Mark.size();
    }
    return pos == 0 || text[pos - 1] == '\n' || text[pos - 1] == '\r' || text[pos - 1] == '\0';
}

void NoteMarkedByte(std::string_view text, std::size_t pos, MarkedBytes& marked)
{
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte == '\t' || byte == '\0') return;
    if (IsStrayControl(byte)) {
        marked.strayControls.push_back(pos);
    } else if (byte == '\r') {
        if (pos + 1 == text.size() || text[pos + 1] != '\n') marked.bareCrs.push_back(pos);
    } else if (KeywordAt(text, pos, kBegin)) {
        marked.cardBegins.push_back(pos);
    }
}

#if defined(__SSE2__)
// The sixteen bytes at `at` that may be marked: stray controls, CRs no LF
// follows, and "B" or "b" five bytes before a ":". Reads 21 bytes.
inline unsigned SixteenMaybeMarked(const char* at)
{
    const __m128i chunk = LoadSixteenBytes(at);
    // Up to 0x1F; NULs and tabs, which are rare, are told apart one by one.
    const __m128i low = _mm_cmpeq_epi8(_mm_subs_epu8(chunk, _mm_set1_epi8(0x1F)), _mm_setzero_si128());
    const __m128i carriageReturns = _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\r'));
    const __m128i lineFeeds = _mm_cmpeq_epi8(chunk, _mm_set1_epi8('\n'));
    // A CR followed by an LF is a line end, as is the LF.
    const __m128i crLf = _mm_and_si128(carriageReturns, _mm_cmpeq_epi8(LoadSixteenBytes(at + 1), _mm_set1_epi8('\n')));
    const __m128i passed = _mm_or_si128(crLf, lineFeeds);
    const __m128i begin = _mm_and_si128(
        _mm_cmpeq_epi8(_mm_or_si128(chunk, _mm_set1_epi8(0x20)), _mm_set1_epi8('b')),
        _mm_cmpeq_epi8(LoadSixteenBytes(at + 5), _mm_set1_epi8(':')));
    const __m128i marked = _mm_or_si128(_mm_or_si128(_mm_andnot_si128(passed, low), begin),
                                        _mm_cmpeq_epi8(chunk, _mm_set1_epi8(0x7F)));
    return static_cast<unsigned>(_mm_movemask_epi8(marked));
}
#endif

// The bare CRs from `from` on up to the CR that ends the END:VCARD line of a
// card whose lines all end in a CR alone, or up to the next LF.
std::size_t EndOfLoneCrCard(std::string_view text, std::size_t from)
{
    std::size_t pos = from;
    for (;;) {
        const std::size_t carriageReturn = text.find_first_of("\r\n\0"sv, pos);
        if (carriageReturn == std::string_view::npos || text[carriageReturn] != '\r') {
            return carriageReturn == std::string_view::npos ? text.size() : carriageReturn;
        }
        std::size_t next = carriageReturn + 1;
        while (next < text.size() && text[next] == '\r') ++next;
        if (KeywordAt(text, PastMark(text, next), kEnd)) {
            const std::size_t endLine = text.find_first_of("\r\n\0"sv, next);
            return endLine == std::string_view::npos ? text.size() : endLine + 1;
        }
        pos = next;
    }
}

} // namespace

MarkedBytes FindMarkedBytes(std::string_view text)
{
    MarkedBytes marked;
    std::size_t pos = 0;
#if defined(__SSE2__)
    // Four sets of sixteen at a time with one branch: most hold nothing.
    for (; text.size() - pos >= 69; pos += 64) {
        const std::uint64_t found = SixteenMaybeMarked(text.data() + pos) |
                                    std::uint64_t{SixteenMaybeMarked(text.data() + pos + 16)} << 16 |
                                    std::uint64_t{SixteenMaybeMarked(text.data() + pos + 32)} << 32 |
                                    std::uint64_t{SixteenMaybeMarked(text.data() + pos + 48)} << 48;
        for (std::uint64_t left = found; left != 0; left &= left - 1) {
            NoteMarkedByte(text, pos + static_cast<std::size_t>(std::countr_zero(left)), marked);
        }
    }
#endif
    for (; pos < text.size(); ++pos) NoteMarkedByte(text, pos, marked);
    return marked;
}

LineEndFix EndLinesAtLoneCrs(std::string& text, const std::vector<std::size_t>& bareCrs,
                             const std::vector<std::size_t>& cardBegins)
{
    LineEndFix fix;
    if (bareCrs.empty()) return fix;
    const std::string_view view = text;
    // The cards whose lines end in a CR alone, as spans of the text.
    std::vector<std::pair<std::size_t, std::size_t>> loneCrCards;
    for (const std::size_t begin : cardBegins) {
        if (!IsLineStart(view, begin)) continue;
        std::size_t end = begin + kBegin.size();
        while (end < view.size() && (view[end] == ' ' || view[end] == '\t')) ++end;
        if (end < view.size() && view[end] == '\r' && std::binary_search(bareCrs.begin(), bareCrs.end(), end)) {
            loneCrCards.emplace_back(end, EndOfLoneCrCard(view, end));
        }
    }
    auto card = loneCrCards.begin();
    for (const std::size_t carriageReturn : bareCrs) {
        while (card != loneCrCards.end() && card->second <= carriageReturn) ++card;
        const bool inLoneCrCard = card != loneCrCards.end() && card->first <= carriageReturn;
        // Of a run of CRs, the last one decides; the others end up at the
        // end of a line, where CRs are dropped.
        std::size_t next = carriageReturn + 1;
        while (next < view.size() && view[next] == '\r') ++next;
        const bool last = next == carriageReturn + 1;
        const bool atTextEnd = next == view.size();
        const bool beforeLineEnd = !atTextEnd && (view[next] == '\n' || view[next] == '\0');
        const bool beforeKeyword = KeywordAt(view, PastMark(view, next), kBegin) ||
                                   KeywordAt(view, PastMark(view, next), kEnd);
        if (inLoneCrCard || (last && (beforeKeyword || atTextEnd))) {
            text[carriageReturn] = '\n';
            fix.changed = true;
        } else if (!beforeLineEnd && !beforeKeyword && !atTextEnd) {
            fix.crLeftInLine = true;
        }
    }
    return fix;
}

std::size_t CardJoinedToEndAt(std::string_view text, std::size_t pos)
{
    if (!KeywordAt(text, pos, kEnd)) return 0;
    const std::size_t begin = PastMark(text, pos + kEnd.size());
    return KeywordAt(text, begin, kBegin) ? begin : 0;
}

} // namespace karuto
