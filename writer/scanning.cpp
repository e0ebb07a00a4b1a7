#include "writer/scanning.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <optional>

#include "decode/judgement.h"
#include "decode/value.h"
#include "platform/byte_blocks.h"
#include "platform/byte_order_marks.h"
#include "platform/shift_jis.h"
#include "vcard/folding.h"
#include "vcard/line_ends.h"
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
            if (!SplitJoinedCards(line)) pastEnd = true;
            return line;
        }
        std::size_t end = lineBreak;
        while (end > position && text[end - 1] == '\r') --end;
        line.text = WithoutMark(text.substr(position, end - position));
        if (SplitJoinedCards(line)) return line;
        position = lineBreak + 1;
        if (text[lineBreak] == '\n') ++lineNumber;
        return line;
    }

    // A book joined without a final line break: END:VCARDBEGIN:VCARD is two
    // lines, both of this number; the next starts at the BEGIN:VCARD.
    bool SplitJoinedCards(PhysicalLine& line)
    {
        constexpr std::size_t kEndLength = std::string_view("END:VCARD").size();
        const std::string_view start = line.text;
        if (start.size() <= kEndLength || start[3] != ':' || UpperAscii(start[0]) != 'E') return false;
        const std::size_t at = static_cast<std::size_t>(start.data() - text.data());
        const std::size_t next = CardJoinedToEndAt(text, at);
        if (next == 0) return false;
        line.text = start.substr(0, kEndLength);
        position = next;
        return true;
    }

    // Books joined after the fact (copy /b a.vcf+b.vcf) hold the second
    // one's byte-order mark at the start of a line.
    static std::string_view WithoutMark(std::string_view line)
    {
        while (line.starts_with(kUtf8Mark)) line.remove_prefix(kUtf8Mark.size());
        return line;
    }
};

// Accounts for every BEGIN:VCARD of the text: each starts a card that is
// read, or is noted in the card list with why it does not.
struct BeginAccount {
    std::string_view text;
    const std::vector<std::size_t>& begins;
    std::size_t next = 0;  // the first not accounted for
    std::vector<std::size_t> unread;

    void CardOpenedAt(std::string_view lineText)
    {
        const auto address = [](const char* at) { return reinterpret_cast<std::uintptr_t>(at); };
        const std::uintptr_t at = address(lineText.data());
        if (at < address(text.data()) || at - address(text.data()) > text.size()) return;
        const std::size_t offset = at - address(text.data());
        while (next < begins.size() && begins[next] < offset) unread.push_back(begins[next++]);
        if (next < begins.size() && begins[next] == offset) ++next;
    }

    // Why one was not read, and on which line it stands.
    void Finish(CardList& cardList)
    {
        while (next < begins.size()) unread.push_back(begins[next++]);
        std::int64_t lineNumber = 1;
        std::size_t counted = 0;
        for (const std::size_t offset : unread) {
            lineNumber += std::count(text.begin() + static_cast<std::ptrdiff_t>(counted),
                                     text.begin() + static_cast<std::ptrdiff_t>(offset), '\n');
            counted = offset;
            cardList.unreadBegins.push_back({lineNumber, WhyUnread(offset)});
        }
    }

    UnreadBegin::Why WhyUnread(std::size_t offset) const
    {
        std::size_t lineStart = offset;
        if (lineStart >= 3 && text.substr(lineStart - 3, 3) == kUtf8Mark) lineStart -= 3;
        if (lineStart > 0 && text[lineStart - 1] != '\n' && text[lineStart - 1] != '\0') {
            return UnreadBegin::Why::InsideALine;
        }
        const std::size_t lineEnd = std::min(text.find_first_of(std::string_view("\n\0", 2), offset), text.size());
        std::string_view line = text.substr(offset, lineEnd - offset);
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return IsKeywordLine(line, "BEGIN:VCARD") ? UnreadBegin::Why::ContinuesALine : UnreadBegin::Why::MoreOnItsLine;
    }
};

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

// Decides how the value of the complete `line` is read in a text of
// `encoding` (its textEncoding, and on a line read otherwise that names no
// charset, its charset); true when `otherwise` holds the line. `otherwise` is
// advanced past the lines before it.
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

// Writers fold long lines by bytes: a fold of the value of `line` that falls
// inside a character (Shift_JIS: between a lead byte and its trail byte,
// reading from the value's start; UTF-8: inside a sequence) is dropped and
// the character joined. Every other fold stays.
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

} // namespace

CardCounts ConvertText(std::string_view text, CardList& cardList, const CardSink& sink, const TextFacts& facts)
{
    const SourceEncoding encoding = facts.encoding;
    std::span<const LostCharacter> lostWhenLoaded = facts.lostWhenLoaded;
    std::span<const LinesReadOtherwise> otherwise = facts.otherwise;
    const Charset defaultCharset = DefaultCharsetOf(encoding);
    const TextEncoding bookTextEncoding = LineEncodingOf(encoding);
    std::vector<std::size_t> soughtBegins;
    if (facts.cardBegins == nullptr) soughtBegins = FindMarkedBytes(text).cardBegins;
    const std::vector<std::size_t>& begins = facts.cardBegins ? *facts.cardBegins : soughtBegins;
    BeginAccount beginAccount{text, begins, 0, {}};
    // Room for the cards at once: growing the records by doubling would hold
    // them twice for a moment, a large share of the memory of a big book.
    cardList.records.reserve(cardList.records.size() + begins.size());
    LogicalLine line;
    ResetLogicalLine(line);
    line.loneCrBreaks = facts.crLeftInLine;  // the same for every line; no reset clears it
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
            {
                const std::size_t cardsBefore = cardList.records.size();
                ConvertProperty(line, sink, cardList);
                if (cardList.records.size() > cardsBefore) beginAccount.CardOpenedAt(line.text);
            }
            if (line.state == LineCompleteHeld) {
                held = physical;
                holding = true;
            }
            ResetLogicalLine(line);
            break;
        }
    } while (!cutter.pastEnd || holding || line.state == LineCollecting);
    beginAccount.Finish(cardList);
    AbandonOpenCard(cardList);
    // The room kept for a next card is not needed any more.
    OwnedString().swap(cardList.spareText);
    return CountCards(cardList);
}

} // namespace karuto
