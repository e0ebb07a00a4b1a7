#include "writer/book_reading.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "decode/judgement.h"
#include "decode/value.h"
#include "platform/byte_blocks.h"
#include "platform/codepage.h"
#include "vcard/params.h"

namespace karuto {

namespace {

// A logical line that holds a byte beyond ASCII, as the card scanner will
// gather it: a first line, then its folded continuations (or its
// Quoted-Printable soft breaks).
struct JudgedLine {
    std::int64_t firstLine = 0;
    std::int64_t lastLine = 0;
    LineReading reading = LineReading::Either;
    bool sure = false;
    bool labelledUtf8 = false;
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

// Walks the logical lines that hold a byte beyond ASCII and calls `judged`
// with each; it stops when `judged` returns false.
template <typename Judged>
void ForEachJudgedLine(std::string_view text, const Judged& judged)
{
    std::size_t floor = 0;  // nothing before it is looked at again
    std::size_t counted = 0;
    std::int64_t lineNumber = 1;  // of the line that starts at `counted`
    const auto lineAt = [&](std::size_t pos) {
        lineNumber += std::count(text.begin() + static_cast<std::ptrdiff_t>(counted),
                                 text.begin() + static_cast<std::ptrdiff_t>(pos), '\n');
        counted = pos;
        return lineNumber;
    };
    std::string decoded;
    for (std::size_t pos = 0; (pos = FindBeyondAscii(text.data(), text.size(), pos)) < text.size();) {
        std::size_t start = LineStartOf(text, pos, floor);
        while (StartsWithBlank(text, start) && start > floor) start = LineStartOf(text, start - 1, floor);
        std::size_t end = LineEndAt(text, start);
        const std::size_t colon = FindByte(text.substr(start, end - start), ':');
        const std::size_t valueStart = colon == std::string_view::npos ? start : start + colon + 1;
        const ParamWords words = ParamWordsOf(text.substr(start, valueStart - start));
        const bool quotedPrintable = (EncodingOfWords(words) == EncodingQuotedPrintable);
        const Charset label = (words & WordUtf8) ? CharsetUtf8 : (words & WordShiftJis) ? CharsetShiftJis : CharsetNone;
        const std::int64_t firstLine = lineAt(start);
        // Its continuations, as the card scanner gathers them.
        for (;;) {
            const std::size_t next = end + 1;
            if (next >= text.size()) break;
            const bool continues =
                quotedPrintable ? EndsInSoftBreak(text.substr(start, end - start)) &&
                                      !IsKeywordLine(text.substr(next, LineEndAt(text, next) - next), "END:VCARD")
                                : StartsWithBlank(text, next);
            if (!continues) break;
            end = LineEndAt(text, next);
        }
        JudgedLine line{firstLine, lineAt(end), LineReading::Either, false, label == CharsetUtf8};
        std::string_view value = text.substr(valueStart, end - valueStart);
        if (quotedPrintable && !(words & WordCharset)) {
            // A line that names no charset is read as a whole, the bytes its
            // escapes stand for with it.
            decoded.clear();
            for (std::size_t at = valueStart; at < end;) {
                const std::size_t lineEnd = LineEndAt(text, at);
                decoded += WithoutSoftBreak(text.substr(at, lineEnd - at));
                at = lineEnd + 1;
            }
            decoded = DecodeQuotedPrintable(decoded);
            value = decoded;
        }
        pos = floor = std::min(end + 1, text.size());
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
    std::vector<std::int64_t> previousLine(lines.size(), -1);
    std::vector<LineReading> previous(lines.size(), unjudged);
    std::int64_t lastLine = -1;
    LineReading last = unjudged;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].sure) {
            last = lines[i].reading;
            lastLine = lines[i].lastLine;
        }
        previous[i] = last;
        previousLine[i] = lastLine;
    }
    std::int64_t nextLine = -1;
    LineReading next = unjudged;
    for (std::size_t i = lines.size(); i-- > 0;) {
        JudgedLine& line = lines[i];
        if (line.sure) {
            next = line.reading;
            nextLine = line.firstLine;
            continue;
        }
        const bool before = previousLine[i] >= 0;
        const bool after = nextLine >= 0;
        if (before && (!after || line.firstLine - previousLine[i] <= nextLine - line.lastLine)) {
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

} // namespace

BookReading JudgeBook(std::string_view text, bool utf8Mark)
{
    const Utf8Reading whole = ReadAsFoldedUtf8(text);
    if (whole.valid) {
        if (utf8Mark) return {SourceEncoding::Utf8WithMark, {}};
        if (!whole.beyondAscii) return {SourceEncoding::ShiftJis, {}};
        return JudgeValidUtf8Book(text);
    }
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
    for (const JudgedLine& line : lines) {
        // A line that names UTF-8 is read as UTF-8 in any book.
        if (line.reading == bookReading || line.labelledUtf8) continue;
        book.otherwise.push_back({line.firstLine, line.lastLine, TextEncodingOf(line.reading)});
    }
    return book;
}

} // namespace karuto
