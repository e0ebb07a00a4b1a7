#include "vcard/unfolding.h"

#include <cstdint>

#include "platform/byte_blocks.h"
#include "vcard/params.h"

namespace karuto {

namespace {

Charset CharsetOfWords(ParamWords words, Charset defaultCharset)
{
    if (words & WordUtf8) return CharsetUtf8;
    if (words & WordShiftJis) return CharsetShiftJis;
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
// value's last line with "=" too; the card's end is never part of the value.
void ContinueQuotedPrintable(LogicalLine& line, std::string_view physicalLine, bool first,
                             std::string_view source)
{
    if (!first && IsKeywordLine(physicalLine, "END:VCARD")) {
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

// Where a line break starting at `pos` ends, and whether a folded line (a
// space or a tab) continues after it.
struct LineBreak {
    std::size_t end;
    bool folded;
};

LineBreak ReadLineBreak(std::string_view text, std::size_t pos)
{
    std::size_t end = pos + 1;
    if (text[pos] == '\r' && end < text.size() && text[end] == '\n') ++end;
    const bool folded = end < text.size() && (text[end] == ' ' || text[end] == '\t');
    return {folded ? end + 1 : end, folded};
}

// Are the first `continuations` bytes of `rest` the continuation bytes of a
// sequence, the first of them within [low, high]?
bool IsWholeSequence(std::string_view rest, int continuations, unsigned char low, unsigned char high)
{
    if (rest.size() < static_cast<std::size_t>(continuations)) return false;
    const auto second = static_cast<unsigned char>(rest[0]);
    if (second < low || second > high) return false;
    for (int i = 1; i < continuations; ++i) {
        if ((static_cast<unsigned char>(rest[static_cast<std::size_t>(i)]) & 0xC0) != 0x80) return false;
    }
    return true;
}

// Past the characters from `pos` on that need no closer look: ASCII (line
// breaks between characters included), eight bytes at a time where it comes
// in runs, and the three-byte characters of Japanese text whose second byte
// may be any continuation byte (not after E0 or ED), each in one step.
std::size_t SkipPlainCharacters(std::string_view text, std::size_t pos, bool& beyondAscii)
{
    while (pos < text.size()) {
        if (text.size() - pos >= 8 && AreEightBytesAscii(LoadEightBytes(text.data() + pos))) {
            pos += 8;
            continue;
        }
        const auto first = static_cast<unsigned char>(text[pos]);
        if (first < 0x80) {
            ++pos;
            continue;
        }
        if (first < 0xE1 || first > 0xEF || first == 0xED || text.size() - pos < 3) break;
        if ((static_cast<unsigned char>(text[pos + 1]) & 0xC0) != 0x80 ||
            (static_cast<unsigned char>(text[pos + 2]) & 0xC0) != 0x80) {
            break;
        }
        beyondAscii = true;
        pos += 3;
    }
    return pos;
}

} // namespace

void ResetLogicalLine(LogicalLine& line)
{
    line.charset = CharsetNone;
    line.encoding = EncodingNone;
    line.state = LineEmpty;
    line.widenKana = false;
    line.text = {};
    line.gathered.clear();
    line.isGathered = false;
    line.textEncoding = TextShiftJis;
    line.firstLineNumber = 0;
    line.lastLineNumber = 0;
    line.lostWhenLoaded = {};
    line.substituted = nullptr;
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
    } else {
        line.state = LineCompleteHeld;
    }
}

Utf8Reading ReadAsFoldedUtf8(std::string_view text)
{
    bool beyondAscii = false;
    int continuations = 0;  // still to come in the current sequence
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    for (std::size_t pos = 0; pos < text.size();) {
        if (continuations == 0) pos = SkipPlainCharacters(text, pos, beyondAscii);
        if (pos == text.size()) break;
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte == '\r' || byte == '\n') {
            // Some writers fold inside a multi-byte character.
            const LineBreak lineBreak = ReadLineBreak(text, pos);
            if (continuations > 0 && !lineBreak.folded) return {false, beyondAscii};
            pos = lineBreak.end;
            continue;
        }
        ++pos;
        if (continuations > 0) {
            if (byte < low || byte > high) return {false, beyondAscii};
            low = 0x80;
            high = 0xBF;
            --continuations;
            continue;
        }
        if (byte < 0x80) continue;
        beyondAscii = true;
        // The second byte's range excludes overlongs (E0, F0), surrogates (ED)
        // and code points beyond U+10FFFF (F4).
        if (byte >= 0xC2 && byte <= 0xDF) {
            continuations = 1;
        } else if (byte >= 0xE0 && byte <= 0xEF) {
            continuations = 2;
            low = byte == 0xE0 ? 0xA0 : 0x80;
            high = byte == 0xED ? 0x9F : 0xBF;
        } else if (byte >= 0xF0 && byte <= 0xF4) {
            continuations = 3;
            low = byte == 0xF0 ? 0x90 : 0x80;
            high = byte == 0xF4 ? 0x8F : 0xBF;
        } else {
            return {false, beyondAscii};
        }
        // A sequence that lies whole before any line break is taken in one step.
        if (IsWholeSequence(text.substr(pos), continuations, low, high)) {
            pos += static_cast<std::size_t>(continuations);
            continuations = 0;
            low = 0x80;
            high = 0xBF;
        }
    }
    return {continuations == 0, beyondAscii};
}

bool IsUtf8BeyondAscii(std::string_view text)
{
    const Utf8Reading reading = ReadAsFoldedUtf8(text);
    return reading.valid && reading.beyondAscii;
}


} // namespace karuto
