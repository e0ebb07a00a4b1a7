#include "vcard/folding.h"

#include <algorithm>

#include "platform/byte_blocks.h"
#include "platform/unicode.h"

namespace karuto {

namespace {

constexpr std::string_view kFold = "\r\n ";

constexpr bool IsUtf8Continuation(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// One line's text, without its line end, folded onto the line so far.
void AppendFoldedLine(std::string_view text, std::size_t& lineOctets, std::string& out)
{
    while (lineOctets + text.size() > kMaxLineOctets) {
        std::size_t cut = kMaxLineOctets - lineOctets;
        while (cut > 0 && IsUtf8Continuation(text[cut])) --cut;
        out.append(text.substr(0, cut)).append(kFold);
        text.remove_prefix(cut);
        lineOctets = 1;
    }
    out.append(text);
    lineOctets += text.size();
}

} // namespace

std::size_t FoldLength(std::string_view text, std::size_t pos)
{
    const std::size_t lineFeed = text[pos] == '\r' ? pos + 1 : pos;
    if (lineFeed + 1 >= text.size() || text[lineFeed] != '\n') return 0;
    const char blank = text[lineFeed + 1];
    return blank == ' ' || blank == '\t' ? lineFeed + 2 - pos : 0;
}

FoldedUtf8Char ReadFoldedUtf8Char(std::string_view text, std::size_t pos)
{
    const Utf8Char next = ReadUtf8Char(text, pos);
    if (next.valid) return {next.codePoint, pos + next.length, true, false};
    const FoldedUtf8Char malformed = {kReplacementChar, pos + next.length, false, false};
    const std::size_t expected = SequenceLength(static_cast<unsigned char>(text[pos]));
    if (expected < 2) return malformed;
    char joined[4];
    std::size_t count = 0;
    bool folded = false;
    std::size_t at = pos;
    while (count < expected && at < text.size()) {
        const std::size_t fold = count > 0 ? FoldLength(text, at) : 0;
        if (fold > 0) {
            at += fold;
            folded = true;
            continue;
        }
        joined[count++] = text[at++];
    }
    if (!folded || count < expected) return malformed;
    const Utf8Char whole = ReadUtf8Char(std::string_view(joined, count), 0);
    if (!whole.valid || whole.length != count) return malformed;
    return {whole.codePoint, at, true, true};
}

Utf8Reading ReadAsFoldedUtf8(std::string_view text)
{
    bool beyondAscii = false;
    for (std::size_t pos = 0; pos < text.size();) {
        if (text.size() - pos >= 8 && AreEightBytesAscii(LoadEightBytes(text.data() + pos))) {
            pos += 8;
            continue;
        }
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
            continue;
        }
        beyondAscii = true;
        if (IsWholeJapaneseChar(text, pos)) {
            pos += 3;
            continue;
        }
        const FoldedUtf8Char next = ReadFoldedUtf8Char(text, pos);
        if (!next.valid) return {false, true};
        pos = next.end;
    }
    return {true, beyondAscii};
}

void AppendFoldedLines(std::string_view utf8, std::size_t& lineOctets, std::string& out)
{
    out.reserve(out.size() + utf8.size() + utf8.size() / 24);
    while (!utf8.empty()) {
        // A line ends in CR LF, which counts for no line's length; a piece
        // may end between the two.
        if (utf8[0] == '\r' || utf8[0] == '\n') {
            if (utf8[0] == '\n') lineOctets = 0;
            out.push_back(utf8[0]);
            utf8.remove_prefix(1);
            continue;
        }
        const std::size_t end = std::min(utf8.find('\r'), utf8.size());
        AppendFoldedLine(utf8.substr(0, end), lineOctets, out);
        utf8.remove_prefix(end);
    }
}

} // namespace karuto
