#include "writer/book_reading.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "decode/judgement.h"
#include "decode/value.h"
#include "platform/byte_blocks.h"
#include "vcard/folding.h"
#include "platform/jis.h"
#include "vcard/params.h"

namespace karuto {

namespace {

// A logical line that holds a byte beyond ASCII, as the card scanner will
// gather it: a first line, then its folded continuations (or its
// Quoted-Printable soft breaks); or, for a line that is not UTF-8, only the
// physical line from its first byte beyond ASCII, which is all that was
// needed to judge it.
struct JudgedLine {
    std::size_t begin = 0;
    std::size_t end = 0;
    LineReading reading = LineReading::Either;
    bool sure = false;
    bool labelledUtf8 = false;
    bool whole = false;  // `begin` is where the logical line starts
};

std::size_t LineEndAt(std::string_view text, std::size_t start)
{
    return std::min(FindByte(text, '\n', start), text.size());
}

// The start of the line holding `pos`, looking back no further than `floor`.
std::size_t LineStartOf(std::string_view text, std::size_t pos, std::size_t floor)
{
    const std::size_t lineFeed = text.substr(floor, pos - floor).rfind('\n');
    return lineFeed == std::string_view::npos ? floor : floor + lineFeed + 1;
}

bool StartsWithBlank(std::string_view text, std::size_t start)
{
    return start < text.size() && (text[start] == ' ' || text[start] == '\t');
}

// A Quoted-Printable line that goes on: a final "=", blanks after it aside.
bool EndsInSoftBreak(std::string_view line)
{
    const std::size_t last = line.find_last_not_of(" \t\r");
    return last != std::string_view::npos && line[last] == '=';
}

std::string_view WithoutSoftBreak(std::string_view line)
{
    const std::size_t last = line.find_last_not_of(" \t\r");
    if (last == std::string_view::npos) return {};
    return line.substr(0, line[last] == '=' ? last : last + 1);
}

// The logical line around `pos`, looking back no further than `floor`.
struct LineGroup {
    std::size_t start;
    std::size_t end;
    std::size_t valueStart;
    ParamWords words;
};

LineGroup GroupAround(std::string_view text, std::size_t pos, std::size_t floor)
{
    std::size_t start = LineStartOf(text, pos, floor);
    while (StartsWithBlank(text, start) && start > floor) start = LineStartOf(text, start - 1, floor);
    std::size_t end = LineEndAt(text, start);
    const std::size_t colon = FindByte(text.substr(start, end - start), ':');
    const std::size_t valueStart = colon == std::string_view::npos ? start : start + colon + 1;
    const ParamWords words = ParamWordsOf(text.substr(start, valueStart - start));
    const bool quotedPrintable = EncodingOfWords(words) == EncodingQuotedPrintable;
    for (;;) {
        const std::size_t next = end + 1;
        if (next >= text.size()) break;
        const bool continues =
            quotedPrintable ? EndsInSoftBreak(text.substr(start, end - start)) &&
                                  !IsKeywordLine(text.substr(next, LineEndAt(text, next) - next), "END:VCARD") &&
                                  !IsKeywordLine(text.substr(next, LineEndAt(text, next) - next), "BEGIN:VCARD")
                            : StartsWithBlank(text, next);
        if (!continues) break;
        end = LineEndAt(text, next);
    }
    return {start, end, valueStart, words};
}

Charset LabelOf(ParamWords words)
{
    return (words & WordUtf8) ? CharsetUtf8 : (words & WordShiftJis) ? CharsetShiftJis : CharsetNone;
}

// Are the bytes from `pos` to `lineEnd` UTF-8 (through folds)?
bool IsUtf8UpTo(std::string_view text, std::size_t pos, std::size_t lineEnd)
{
    while ((pos = FindBeyondAscii(text.data(), lineEnd, pos)) < lineEnd) {
        const FoldedUtf8Char next = ReadFoldedUtf8Char(text, pos);
        if (!next.valid) return false;
        pos = next.end;
    }
    return true;
}

// Walks the logical lines that hold a byte beyond ASCII and calls `judged`
// with each; it stops when `judged` returns false. A line whose first bytes
// beyond ASCII are no UTF-8 is Shift_JIS at once: most lines of a
// feature phone's book cost no more than that look.
template <typename Judged>
void ForEachJudgedLine(std::string_view text, const Judged& judged)
{
    std::size_t floor = 0;  // nothing before it is looked at again
    std::string decoded;
    for (std::size_t pos = 0; (pos = FindBeyondAscii(text.data(), text.size(), pos)) < text.size();) {
        const std::size_t lineEnd = LineEndAt(text, pos);
        if (!IsUtf8UpTo(text, pos, lineEnd)) {
            const JudgedLine line{pos, lineEnd, LineReading::ShiftJis, true, false, false};
            pos = floor = std::min(lineEnd + 1, text.size());
            if (!judged(line)) return;
            continue;
        }
        const LineGroup group = GroupAround(text, pos, floor);
        const Charset label = LabelOf(group.words);
        JudgedLine line{group.start, group.end, LineReading::Either, false, label == CharsetUtf8, true};
        std::string_view value = text.substr(group.valueStart, group.end - group.valueStart);
        if (EncodingOfWords(group.words) == EncodingQuotedPrintable && !(group.words & WordCharset)) {
            // A line that names no charset is read as a whole, the bytes its
            // escapes stand for with it.
            decoded.clear();
            for (std::size_t at = group.valueStart; at < group.end;) {
                const std::size_t end = LineEndAt(text, at);
                decoded += WithoutSoftBreak(text.substr(at, end - at));
                at = end + 1;
            }
            decoded = DecodeQuotedPrintable(decoded);
            value = decoded;
        }
        pos = floor = std::min(group.end + 1, text.size());
        if (FindBeyondAscii(value.data(), value.size(), 0) == value.size()) continue;
        const LineJudgement judgement = JudgeLineBytes(value, label);
        line.reading = judgement.reading;
        line.sure = judgement.sure;
        if (!judged(line)) return;
    }
}

// Every line not judged surely is read as the nearest line judged surely
// (the one before it when two are as near); with none, as it leans, and a
// line that both readings fit as `unjudged`.
void ReadUnsureAsNearest(std::vector<JudgedLine>& lines, LineReading unjudged)
{
    constexpr std::size_t kNone = SIZE_MAX;
    std::vector<std::size_t> previousEnd(lines.size(), kNone);
    std::vector<LineReading> previous(lines.size(), unjudged);
    std::size_t lastEnd = kNone;
    LineReading last = unjudged;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].sure) {
            last = lines[i].reading;
            lastEnd = lines[i].end;
        }
        previous[i] = last;
        previousEnd[i] = lastEnd;
    }
    std::size_t nextBegin = kNone;
    LineReading next = unjudged;
    for (std::size_t i = lines.size(); i-- > 0;) {
        JudgedLine& line = lines[i];
        if (line.sure) {
            next = line.reading;
            nextBegin = line.begin;
            continue;
        }
        const bool before = previousEnd[i] != kNone;
        const bool after = nextBegin != kNone;
        if (before && (!after || line.begin - previousEnd[i] <= nextBegin - line.end)) {
            line.reading = previous[i];
        } else if (after) {
            line.reading = next;
        } else if (line.reading == LineReading::Either) {
            line.reading = unjudged;
        }
    }
}

TextEncoding TextEncodingOf(LineReading reading)
{
    return reading == LineReading::Utf8 ? TextUtf8 : TextShiftJis;
}

// A book valid UTF-8 throughout: UTF-8, unless no line is judged surely
// UTF-8 and one is judged Shift_JIS.
BookReading JudgeValidUtf8Book(std::string_view text)
{
    bool utf8 = false;
    bool shiftJis = false;
    ForEachJudgedLine(text, [&](const JudgedLine& line) {
        utf8 = line.reading == LineReading::Utf8 && line.sure;
        shiftJis = shiftJis || line.reading == LineReading::ShiftJis;
        return !utf8;
    });
    return {utf8 || !shiftJis ? SourceEncoding::Utf8WithoutMark : SourceEncoding::ShiftJis, {}};
}

// The properties that hold readings: feature phones' SOUND;X-IRMC-N, the
// phonetic names of smartphones, the YOMI of PC address books.
bool IsReadingName(std::string_view name)
{
    return ContainsNoCase("IRMC-N", name) || ContainsNoCase("PHONETIC", name) || ContainsNoCase("YOMI", name) ||
           ContainsNoCase("SORT-STRING", name);
}

// A book valid EUC-JP throughout: do its values, line by line, read as
// EUC-JP more plausibly than as Shift_JIS?
bool LeansToEucJp(std::string_view text)
{
    int lead = 0;
    int characters = 0;
    for (std::size_t pos = 0; (pos = FindBeyondAscii(text.data(), text.size(), pos)) < text.size();) {
        const std::size_t start = LineStartOf(text, pos, 0);
        const std::size_t end = LineEndAt(text, pos);
        const std::string_view line = text.substr(start, end - start);
        const std::size_t colon = FindByte(line, ':');
        const std::string_view name = line.substr(0, std::min(colon, line.size()));
        const EucJpLeaning leaning = EucJpLead(colon < line.size() ? line.substr(colon + 1) : line, IsReadingName(name));
        lead += leaning.lead;
        characters += leaning.characters;
        pos = end;
    }
    return lead >= kEucJpMargin && characters >= kEucJpCharacters;
}

} // namespace

BookReading JudgeBook(std::string_view text, bool utf8Mark)
{
    const Utf8Reading whole = ReadAsFoldedUtf8(text);
    if (whole.valid) {
        if (utf8Mark) return {SourceEncoding::Utf8WithMark, {}};
        if (!whole.beyondAscii) return {SourceEncoding::ShiftJis, {}};
        return JudgeValidUtf8Book(text);
    }
    if (!utf8Mark && IsEucJpThroughout(text) && LeansToEucJp(text)) return {SourceEncoding::EucJp, {}};
    std::vector<JudgedLine> lines;
    ForEachJudgedLine(text, [&lines](const JudgedLine& line) {
        lines.push_back(line);
        return true;
    });
    ReadUnsureAsNearest(lines, utf8Mark ? LineReading::Utf8 : LineReading::ShiftJis);
    const auto utf8Lines = std::count_if(lines.begin(), lines.end(),
                                         [](const JudgedLine& line) { return line.reading == LineReading::Utf8; });
    BookReading book;
    const bool utf8 = utf8Mark || utf8Lines * 2 > static_cast<std::ptrdiff_t>(lines.size());
    book.encoding = utf8Mark ? SourceEncoding::Utf8WithMark
                             : utf8 ? SourceEncoding::Utf8WithoutMark : SourceEncoding::ShiftJis;
    const LineReading bookReading = utf8 ? LineReading::Utf8 : LineReading::ShiftJis;
    std::size_t counted = 0;
    std::int64_t lineNumber = 1;  // of the line that starts at `counted`
    const auto lineAt = [&](std::size_t pos) {
        const auto from = text.begin() + static_cast<std::ptrdiff_t>(std::min(counted, pos));
        const auto to = text.begin() + static_cast<std::ptrdiff_t>(std::max(counted, pos));
        const auto lineFeeds = std::count(from, to, '\n');
        lineNumber += pos >= counted ? lineFeeds : -lineFeeds;
        counted = pos;
        return lineNumber;
    };
    std::size_t floor = 0;
    std::size_t listedTo = 0;  // the end of the last lines listed
    for (const JudgedLine& line : lines) {
        const std::size_t lineFloor = floor;
        floor = line.end;
        // A line that names UTF-8 is read as UTF-8 in any book; a folded
        // line already listed with the line it continues is not listed again.
        if (line.reading == bookReading || line.labelledUtf8 || line.begin < listedTo) continue;
        LineGroup group{line.begin, line.end, line.begin, 0};
        if (!line.whole) {
            group = GroupAround(text, line.begin, lineFloor);
            if (LabelOf(group.words) == CharsetUtf8) continue;
        }
        const std::int64_t firstLine = lineAt(group.start);
        book.otherwise.push_back({firstLine, lineAt(group.end), TextEncodingOf(line.reading)});
        listedTo = group.end;
    }
    return book;
}

} // namespace karuto
