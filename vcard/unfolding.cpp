#include "vcard/unfolding.h"

#include <cstdint>

#include "vcard/params.h"

namespace karuto {

namespace {

Charset CharsetOfWords(ParamWords words, Charset defaultCharset)
{
    if (words & WordUtf8) return CharsetUtf8;
    if (words & WordShiftJis) return CharsetShiftJis;
    if (words & WordLatin1) return CharsetLatin1;
    if (words & WordEucJp) return CharsetEucJp;
    if (words & WordIso2022Jp) return CharsetIso2022Jp;
    // The mark at the start of a file declares its encoding for every line that
    // does not name a charset of its own.
    if (!(words & WordCharset)) return defaultCharset;
    return CharsetNone;
}

void StartLine(LogicalLine& line, std::string_view physicalLine, Charset defaultCharset)
{
    line.nameComplete = SplitPropertyNameInto(physicalLine, line.tokens);
    const ParamWords words = AnyParamWords(line.tokens.nameWords);
    line.charset = CharsetOfWords(words, defaultCharset);
    line.encoding = EncodingOfWords(words);
    line.state = LineCollecting;
    line.gathered.clear();
    line.isGathered = false;
    line.folded = false;
}

// Does `piece` follow the line's text in `source` with just `separator`
// between them?
bool FollowsInSource(const LogicalLine& line, std::string_view separator, std::string_view piece,
                     std::string_view source)
{
    if (line.isGathered || source.empty()) return false;
    const auto address = [](const char* at) { return reinterpret_cast<std::uintptr_t>(at); };
    const std::uintptr_t end = address(line.text.data() + line.text.size());
    const std::uintptr_t start = address(source.data());
    if (end < start || end - start > source.size()) return false;
    if (address(piece.data()) - end != separator.size()) return false;
    return source.substr(end - start, separator.size()) == separator;
}

// Adds `separator` and `piece` to the line's text: as a longer view of the
// source where they follow it there, otherwise by gathering a copy.
void ExtendLine(LogicalLine& line, std::string_view separator, std::string_view piece,
                std::string_view source)
{
    if (FollowsInSource(line, separator, piece, source)) {
        line.text = std::string_view(line.text.data(),
                                     line.text.size() + separator.size() + piece.size());
        return;
    }
    if (!line.isGathered) {
        line.gathered.assign(line.text);
        line.isGathered = true;
    }
    AppendString(line.gathered, separator);
    AppendString(line.gathered, piece);
    line.text = line.gathered;
}

// A Quoted-Printable line continues after a soft line break: a final "=",
// blanks after it aside (mail transports pad lines). Several phones end a
// value's last line with "=" too; the card's end is never part of the value,
// nor is the next card's start (a card cut off in a value, a book after it).
void ContinueQuotedPrintable(LogicalLine& line, std::string_view physicalLine, bool first,
                             std::string_view source)
{
    if (!first && (IsKeywordLine(physicalLine, "END:VCARD") || IsKeywordLine(physicalLine, "BEGIN:VCARD"))) {
        line.state = LineCompleteHeld;
        return;
    }
    const std::size_t last = physicalLine.find_last_not_of(" \t");
    const bool softBreak = last != std::string_view::npos && physicalLine[last] == '=';
    if (softBreak) physicalLine = physicalLine.substr(0, last);
    if (first) {
        line.text = physicalLine;
    } else {
        ExtendLine(line, {}, physicalLine, source);
    }
    if (!softBreak) line.state = LineComplete;
}

} // namespace

Charset DefaultCharsetOf(SourceEncoding encoding)
{
    switch (encoding) {
    case SourceEncoding::Utf8WithMark:
    case SourceEncoding::Utf8WithoutMark: return CharsetUtf8;
    case SourceEncoding::ShiftJis:
    case SourceEncoding::Utf16Le:
    case SourceEncoding::Utf16LeWithoutMark:
    case SourceEncoding::EucJp:
    case SourceEncoding::Iso2022Jp: break;
    }
    return CharsetNone;
}

void ResetLogicalLine(LogicalLine& line)
{
    line.charset = CharsetNone;
    line.encoding = EncodingNone;
    line.state = LineEmpty;
    line.widenKana = false;
    line.text = {};
    line.gathered.clear();
    line.isGathered = false;
    line.folded = false;
    line.textEncoding = TextShiftJis;
    line.firstLineNumber = 0;
    line.lastLineNumber = 0;
    line.lostWhenLoaded = {};
    line.tokens.nameTokens.clear();
    line.tokens.nameWords.clear();
    line.tokens.valueTokens.clear();
    line.nameComplete = false;
}

void AccumulateLine(LogicalLine& line, std::optional<std::string_view> physicalLine,
                    Charset defaultCharset, std::string_view source)
{
    if (!physicalLine) {
        line.state = (line.state == LineEmpty) ? LineEmpty : LineComplete;
        return;
    }
    const bool first = (line.state == LineEmpty);
    if (first) StartLine(line, *physicalLine, defaultCharset);

    if (line.encoding == EncodingQuotedPrintable) {
        ContinueQuotedPrintable(line, *physicalLine, first, source);
    } else if (first) {
        line.text = *physicalLine;
    } else if (!physicalLine->empty() &&
               (physicalLine->front() == ' ' || physicalLine->front() == '\t')) {
        // A folded continuation keeps its fold.
        ExtendLine(line, "\r\n", *physicalLine, source);
        line.folded = true;
    } else {
        line.state = LineCompleteHeld;
    }
}

} // namespace karuto
