#include "writer/scanning.h"

#include <algorithm>
#include <bit>
#include <optional>

#include "decode/judgement.h"
#include "decode/value.h"
#include "platform/byte_blocks.h"
#include "platform/codepage.h"
#include "vcard/params.h"
#include "vcard/unfolding.h"
#include "writer/dispatch.h"

namespace karuto {

namespace {

struct PhysicalLine {
    std::string_view text;
    std::int64_t number = 0;
};

// Reads physical lines off the text as views; nothing is copied. A stray NUL
// byte ends a physical line as an LF does, so that nothing after it is lost;
// it does not start a new line of the file for the line numbers.
struct LineCutter {
    std::string_view text;
    std::size_t position = 0;
    bool pastEnd = false;
    std::int64_t lineNumber = 1;  // of the next physical line
    std::size_t nextNul = text.find('\0');  // sought again only once passed

    // Both searches run at memory speed; the NUL one rarely runs at all.
    std::size_t NextLineBreak()
    {
        if (nextNul < position) nextNul = text.find('\0', position);
        return std::min(FindByte(text, '\n', position), nextNul);
    }

    PhysicalLine Next()
    {
        PhysicalLine line{{}, lineNumber};
        const std::size_t lineBreak = NextLineBreak();
        if (lineBreak == std::string_view::npos) {
            line.text = WithoutMark(text.substr(position));  // a trailing CR stays
            pastEnd = true;
            return line;
        }
        std::size_t end = lineBreak;
        while (end > position && text[end - 1] == '\r') --end;
        line.text = WithoutMark(text.substr(position, end - position));
        position = lineBreak + 1;
        if (text[lineBreak] == '\n') ++lineNumber;
        return line;
    }

    // Books joined after the fact (copy /b a.vcf+b.vcf) hold the second
    // one's byte-order mark at the start of a line.
    static std::string_view WithoutMark(std::string_view line)
    {
        constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
        while (line.starts_with(kUtf8Mark)) line.remove_prefix(kUtf8Mark.size());
        return line;
    }
};

// Does a line start at `at` the way most writers start a card?
bool StartsCardAt(std::string_view text, std::size_t at)
{
    constexpr std::string_view kBegin = "BEGIN:VCARD";
    return (at == 0 || text[at - 1] == '\n' || text[at - 1] == '\0') &&
           text.substr(at, kBegin.size()) == kBegin;
}

// The lines that start like a card as most writers write it: a guess for
// reserving room, never a count that anything relies on. Only line starts
// count, so a value that merely mentions it reserves nothing.
std::size_t CountCardStarts(std::string_view text)
{
    std::size_t count = 0;
    std::size_t pos = 0;
#if defined(__SSE2__)
    // Only a "B" may start one: sixteen bytes looked at together, and only
    // the places of their "B"s looked at closer.
    for (; text.size() - pos >= 16; pos += 16) {
        for (unsigned found = SixteenBytesEqualTo(text.data() + pos, 'B'); found != 0;
             found &= found - 1) {
            if (StartsCardAt(text, pos + static_cast<std::size_t>(std::countr_zero(found)))) ++count;
        }
    }
#endif
    for (pos = text.find('B', pos); pos != std::string_view::npos; pos = text.find('B', pos + 1)) {
        if (StartsCardAt(text, pos)) ++count;
    }
    return count;
}

// Where a line's value starts: after its first ":". A line without one is all
// value: text that a writer broke off.
std::size_t ValueStart(std::string_view lineText)
{
    const std::size_t colon = FindByte(lineText, ':');
    return colon == std::string_view::npos ? 0 : colon + 1;
}

// How the lines of a book hold their values, but those read otherwise.
TextEncoding LineEncodingOf(SourceEncoding encoding)
{
    switch (encoding) {
    case SourceEncoding::Utf16Le:
    case SourceEncoding::Utf16LeWithoutMark:
    case SourceEncoding::EucJp:
    case SourceEncoding::Iso2022Jp: return TextConverted;
    case SourceEncoding::Utf8WithMark:
    case SourceEncoding::Utf8WithoutMark: return TextUtf8;
    case SourceEncoding::ShiftJis: break;
    }
    return TextShiftJis;
}

LineReading ReadingOf(TextEncoding textEncoding)
{
    return textEncoding == TextUtf8 ? LineReading::Utf8 : LineReading::ShiftJis;
}

// Reads the line's value as `textEncoding`; of a line that names no charset,
// the bytes its escapes stand for too.
void ReadOtherwise(LogicalLine& line, TextEncoding textEncoding)
{
    line.textEncoding = textEncoding;
    if (!(AnyParamWords(line.tokens.nameWords) & WordCharset)) {
        line.charset = textEncoding == TextUtf8 ? CharsetUtf8 : CharsetNone;
    }
}

// A Quoted-Printable line that names no charset and whose bytes beyond ASCII
// are all escaped, which the book's reading did not look at: what its escapes
// stand for, judged as the bytes of a line are.
LineReading JudgeEscapesOnly(const LogicalLine& line, SourceEncoding encoding)
{
    if (line.encoding != EncodingQuotedPrintable || IsConvertedWhenLoaded(encoding) ||
        (AnyParamWords(line.tokens.nameWords) & WordCharset)) {
        return LineReading::Either;
    }
    const std::string_view value = line.text.substr(ValueStart(line.text));
    if (value.find('=') == std::string_view::npos ||
        FindBeyondAscii(value.data(), value.size(), 0) < value.size()) {
        return LineReading::Either;
    }
    const OwnedString decoded = DecodeQuotedPrintable(value);
    if (FindBeyondAscii(decoded.data(), decoded.size(), 0) == decoded.size()) return LineReading::Either;
    return JudgeLineBytes(decoded, CharsetNone).reading;
}

// The characters lost when the text was loaded that lie on the lines of
// `line`, taken from the front of `lost`, which is in line order.
std::span<const LostCharacter> TakeLostCharacters(const LogicalLine& line,
                                                  std::span<const LostCharacter>& lost)
{
    std::size_t skipped = 0;
    while (skipped < lost.size() && lost[skipped].line < line.firstLineNumber) ++skipped;
    std::size_t taken = skipped;
    while (taken < lost.size() && lost[taken].line <= line.lastLineNumber) ++taken;
    const std::span<const LostCharacter> onLine = lost.subspan(skipped, taken - skipped);
    lost = lost.subspan(taken);
    return onLine;
}

} // namespace

bool DecideLineEncoding(LogicalLine& line, SourceEncoding encoding,
                        std::span<const LinesReadOtherwise>& otherwise)
{
    line.textEncoding = LineEncodingOf(encoding);
    while (!otherwise.empty() && otherwise.front().lastLine < line.firstLineNumber) otherwise = otherwise.subspan(1);
    if (!otherwise.empty() && otherwise.front().firstLine <= line.lastLineNumber) {
        ReadOtherwise(line, otherwise.front().encoding);
        return true;
    }
    const LineReading reading = JudgeEscapesOnly(line, encoding);
    if (reading == LineReading::Either || ReadingOf(line.textEncoding) == reading) return false;
    ReadOtherwise(line, reading == LineReading::Utf8 ? TextUtf8 : TextShiftJis);
    return true;
}

void JoinFoldsInsideCharacters(LogicalLine& line)
{
    if (!line.folded) return;
    const std::string_view text = line.text;
    const bool utf8 = DecodingOf(line).ownCharset == CharsetUtf8;
    OwnedString joined;
    std::size_t copied = 0;  // text before this is in `joined`
    const auto join = [&](std::size_t start, std::size_t end) {
        joined.append(text.substr(copied, start - copied));
        for (std::size_t pos = start; pos < end;) {
            const std::size_t fold = FoldLength(text, pos);
            if (fold == 0) joined.push_back(text[pos]);
            pos += fold == 0 ? 1 : fold;
        }
        copied = end;
    };
    // Only a byte beyond ASCII opens a character that a fold can split, and
    // ASCII bytes are characters of their own: runs of them (a folded
    // photo) are passed over whole.
    for (std::size_t pos = ValueStart(text); (pos = FindBeyondAscii(text.data(), text.size(), pos)) < text.size();) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (utf8) {
            const FoldedUtf8Char next = ReadFoldedUtf8Char(text, pos);
            if (next.folded) join(pos, next.end);
            pos = next.end;
            continue;
        }
        const std::size_t fold = IsAnsiLeadByte(byte) ? FoldLength(text, pos + 1) : 0;
        const std::size_t trail = pos + 1 + fold;
        if (fold > 0 && trail < text.size() && IsAnsiTrailByte(static_cast<unsigned char>(text[trail]))) {
            join(pos, trail + 1);
            pos = trail + 1;
        } else {
            pos += AnsiCharLength(text, pos);
        }
    }
    if (copied == 0) return;
    joined.append(text.substr(copied));
    line.gathered = std::move(joined);
    line.isGathered = true;
    line.text = line.gathered;
}

CardCounts ConvertText(std::string_view text, CardList& cardList, const CardSink& sink,
                       SourceEncoding encoding, std::span<const LostCharacter> lostWhenLoaded,
                       std::span<const LinesReadOtherwise> otherwise)
{
    const Charset defaultCharset = DefaultCharsetOf(encoding);
    const TextEncoding bookTextEncoding = LineEncodingOf(encoding);
    // Room for the cards at once: growing the records by doubling would hold
    // them twice for a moment, a large share of the memory of a big book.
    cardList.records.reserve(cardList.records.size() + CountCardStarts(text));
    LogicalLine line;
    ResetLogicalLine(line);
    LineCutter cutter{text};
    PhysicalLine held;
    bool holding = false;  // `held` must be fed again to the emptied record
    do {
        PhysicalLine physical;
        bool endOfInput = false;
        if (holding) {
            physical = held;
            holding = false;
        } else if (!cutter.pastEnd) {
            physical = cutter.Next();
        } else {
            endOfInput = true;
        }
        if (!endOfInput && line.state == LineEmpty) line.firstLineNumber = physical.number;
        AccumulateLine(line, endOfInput ? std::nullopt : std::optional(physical.text),
                       defaultCharset, text);
        if (!endOfInput && line.state != LineCompleteHeld) line.lastLineNumber = physical.number;
        switch (line.state) {
        case LineEmpty:
            ResetLogicalLine(line);
            break;
        case LineCollecting:
            break;
        case LineComplete:
        case LineCompleteHeld:
            // Most lines of most books are read as the book is, with nothing to judge.
            if (otherwise.empty() && line.encoding != EncodingQuotedPrintable) {
                line.textEncoding = bookTextEncoding;
            } else if (DecideLineEncoding(line, encoding, otherwise)) {
                NoteLineReadOtherwise(cardList, line.firstLineNumber);
            }
            JoinFoldsInsideCharacters(line);
            if (!lostWhenLoaded.empty()) line.lostWhenLoaded = TakeLostCharacters(line, lostWhenLoaded);
            ConvertProperty(line, sink, cardList);
            if (line.state == LineCompleteHeld) {
                held = physical;
                holding = true;
            }
            ResetLogicalLine(line);
            break;
        }
    } while (!cutter.pastEnd || holding || line.state == LineCollecting);
    AbandonOpenCard(cardList);
    // The room kept for a next card is not needed any more.
    OwnedString().swap(cardList.spareText);
    return CountCards(cardList);
}

} // namespace karuto
