#include "vcard/unfolding.h"
#include "vcard/folding.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace karuto {
namespace {

// Feeds physical lines the way the card scanner does and collects every
// complete logical line with its charset and encoding.
struct Dispatched {
    std::string text;
    Charset charset;
    ValueEncoding encoding;
    bool operator==(const Dispatched&) const = default;
};

std::vector<Dispatched> Unfold(const std::vector<std::string>& physicalLines,
                               Charset defaultCharset = CharsetNone)
{
    std::vector<Dispatched> out;
    LogicalLine line;
    std::size_t next = 0;
    bool holding = false;
    for (;;) {
        const bool endOfInput = !holding && next == physicalLines.size();
        if (endOfInput && line.state == LineEmpty) break;
        const std::size_t index = holding ? next - 1 : next++;
        holding = false;
        AccumulateLine(line,
                       endOfInput ? std::nullopt
                                  : std::optional<std::string_view>(physicalLines[index]),
                       defaultCharset);
        if (line.state == LineComplete || line.state == LineCompleteHeld) {
            out.push_back({std::string(line.text), line.charset, line.encoding});
            holding = (line.state == LineCompleteHeld);
            ResetLogicalLine(line);
        }
        if (endOfInput) break;
    }
    return out;
}

// The logical lines of `text` cut at `lineBreak`, fed as views of it, with or
// without it as the source; each with whether it had to be copied.
std::vector<std::pair<std::string, bool>> UnfoldViews(std::string_view text,
                                                      std::string_view lineBreak, bool withSource)
{
    std::vector<std::string_view> physicalLines;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(lineBreak, start);
        physicalLines.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) break;
        start = end + lineBreak.size();
    }
    std::vector<std::pair<std::string, bool>> out;
    LogicalLine line;
    for (std::size_t next = 0; next <= physicalLines.size();) {
        const bool endOfInput = next == physicalLines.size();
        AccumulateLine(line, endOfInput ? std::nullopt : std::optional(physicalLines[next]),
                       CharsetNone, withSource ? text : std::string_view());
        if (line.state == LineComplete || line.state == LineCompleteHeld) {
            out.emplace_back(std::string(line.text), line.isGathered);
            if (line.state == LineComplete) ++next;
            ResetLogicalLine(line);
        } else {
            ++next;
        }
    }
    return out;
}

TEST(AccumulateLineTest, FoldsSideBySideInTheSourceAreViewedNotCopied)
{
    const std::string text =
        "NOTE:a\r\n b\r\n\tc\r\nTEL:1\r\nNOTE;QUOTED-PRINTABLE:x=\r\ny=\r\nz\r\n \r\nN:end";
    const auto copied = UnfoldViews(text, "\r\n", false);
    const auto viewed = UnfoldViews(text, "\r\n", true);
    using Lines = std::vector<std::pair<std::string, bool>>;
    EXPECT_EQ(copied, (Lines{{"NOTE:a\r\n b\r\n\tc", true},
                             {"TEL:1", false},
                             {"NOTE;QUOTED-PRINTABLE:xyz", true},
                             {" ", false},
                             {"N:end", false}}));
    // Only a soft line break, which drops its "=", needs a copy.
    EXPECT_EQ(viewed, (Lines{{"NOTE:a\r\n b\r\n\tc", false},
                             {"TEL:1", false},
                             {"NOTE;QUOTED-PRINTABLE:xyz", true},
                             {" ", false},
                             {"N:end", false}}));
    // Folds after a bare LF are rebuilt with CR LF, so they are copied.
    std::string lineFeeds = text;
    for (std::size_t at = lineFeeds.find("\r\n"); at != std::string::npos; at = lineFeeds.find("\r\n", at)) {
        lineFeeds.erase(at, 1);
    }
    const auto fromLineFeeds = UnfoldViews(lineFeeds, "\n", true);
    EXPECT_EQ(fromLineFeeds, copied);
}

TEST(AccumulateLineTest, QuotedPrintableContinuesOnlyAfterSoftBreak)
{
    EXPECT_EQ(Unfold({"NOTE;QUOTED-PRINTABLE:abc", " def"}),
              (std::vector<Dispatched>{{"NOTE;QUOTED-PRINTABLE:abc", CharsetNone,
                                        EncodingQuotedPrintable},
                                       {" def", CharsetNone, EncodingNone}}));
    EXPECT_EQ(Unfold({"NOTE;ENCODING=QUOTED-PRINTABLE:line1=", "line2"}),
              (std::vector<Dispatched>{{"NOTE;ENCODING=QUOTED-PRINTABLE:line1line2", CharsetNone,
                                        EncodingQuotedPrintable}}));
    EXPECT_EQ(Unfold({"NOTE;ENCODING=QUOTED-PRINTABLE:a=", ""}),
              (std::vector<Dispatched>{
                  {"NOTE;ENCODING=QUOTED-PRINTABLE:a", CharsetNone, EncodingQuotedPrintable}}));
    // Leading blanks of a continuation stay; no line break is inserted.
    EXPECT_EQ(Unfold({"NOTE;QUOTED-PRINTABLE:a=", "  b=", "=", "c"}),
              (std::vector<Dispatched>{
                  {"NOTE;QUOTED-PRINTABLE:a  bc", CharsetNone, EncodingQuotedPrintable}}));
    // End of input completes a soft-broken line.
    EXPECT_EQ(Unfold({"NOTE;QUOTED-PRINTABLE:a="}),
              (std::vector<Dispatched>{
                  {"NOTE;QUOTED-PRINTABLE:a", CharsetNone, EncodingQuotedPrintable}}));
    // Only the card's own end line ends a value after a soft break.
    EXPECT_EQ(Unfold({"NOTE;QUOTED-PRINTABLE:abc=", "END:VCARDS"})[0].text,
              "NOTE;QUOTED-PRINTABLE:abcEND:VCARDS");
}

TEST(AccumulateLineTest, FoldedLinesKeepTheirFold)
{
    EXPECT_EQ(Unfold({"NOTE:abc", " def", "\tghi"}),
              (std::vector<Dispatched>{{"NOTE:abc\r\n def\r\n\tghi", CharsetNone, EncodingNone}}));
    EXPECT_EQ(Unfold({"ORG:Example", "END:VCARD"}),
              (std::vector<Dispatched>{{"ORG:Example", CharsetNone, EncodingNone},
                                       {"END:VCARD", CharsetNone, EncodingNone}}));
    // An empty line is no continuation, and becomes an empty logical line.
    EXPECT_EQ(Unfold({"ORG:x", "", " y"}),
              (std::vector<Dispatched>{{"ORG:x", CharsetNone, EncodingNone},
                                       {"\r\n y", CharsetNone, EncodingNone}}));
}

TEST(AccumulateLineTest, CharsetAndEncodingComeFromTheFirstPhysicalLine)
{
    EXPECT_EQ(Unfold({"N;CHARSET=SHIFT_JIS;CHARSET=UTF-8:x"})[0].charset, CharsetUtf8);
    EXPECT_EQ(Unfold({"N;CHARSET=UTF-8;CHARSET=SHIFT_JIS:x"})[0].charset, CharsetUtf8);
    EXPECT_EQ(Unfold({"N;CHARSET=Shift_JIS:x"})[0].charset, CharsetShiftJis);
    EXPECT_EQ(Unfold({"N;CHARSET=GB2312:x"})[0].charset, CharsetNone);
    // Other names of the same charsets, case aside; ASCII as if none were named.
    const std::pair<const char*, Charset> aliases[] = {
        {"SJIS", CharsetShiftJis},       {"x-sjis", CharsetShiftJis},     {"Shift-JIS", CharsetShiftJis},
        {"Windows-31J", CharsetShiftJis}, {"CP932", CharsetShiftJis},      {"MS_Kanji", CharsetShiftJis},
        {"UTF8", CharsetUtf8},           {"US-ASCII", CharsetUtf8},       {"ISO-8859-1", CharsetLatin1},
        {"latin1", CharsetLatin1},       {"ISO-8859-15", CharsetNone},    {"EUC-JP", CharsetEucJp},
        {"ISO-2022-JP", CharsetIso2022Jp}, {" \"utf-8\" ", CharsetUtf8}};
    for (const auto& [name, charset] : aliases) {
        EXPECT_EQ(Unfold({std::string("N;CHARSET=") + name + ":x"}, CharsetUtf8)[0].charset, charset) << name;
    }
    EXPECT_EQ(Unfold({"NOTE;ENCODING=QUOTED-PRINTABLE;ENCODING=BASE64:x"})[0].encoding,
              EncodingQuotedPrintable);
    EXPECT_EQ(Unfold({"NOTE:abc", " ;CHARSET=UTF-8"})[0].charset, CharsetNone);
    // Parameters after the first ":" are value text, not parameters.
    EXPECT_EQ(Unfold({"NOTE:CHARSET=UTF-8"})[0].charset, CharsetNone);
    EXPECT_EQ(Unfold({"NOTE;BASE64"})[0].encoding, EncodingBase64);
}

TEST(AccumulateLineTest, ByteOrderMarkDeclaresUtf8ForLinesWithoutCharset)
{
    const auto utf8 = [](const char* text) { return Unfold({text}, CharsetUtf8)[0].charset; };
    EXPECT_EQ(utf8("N:x"), CharsetUtf8);
    EXPECT_EQ(utf8("N;CHARSET=SHIFT_JIS:x"), CharsetShiftJis);
    EXPECT_EQ(utf8("N;SHIFT_JIS:x"), CharsetShiftJis);
    // A charset that is named but not known stays unknown (and rejects the card).
    EXPECT_EQ(utf8("N;CHARSET=GB2312:x"), CharsetNone);
    EXPECT_EQ(Unfold({"N:x"}, CharsetNone)[0].charset, CharsetNone);
}

TEST(AccumulateLineTest, StateTable)
{
    LogicalLine line;
    AccumulateLine(line, std::nullopt);
    EXPECT_EQ(line.state, LineEmpty);

    AccumulateLine(line, std::string_view("NOTE;QUOTED-PRINTABLE:a="));
    EXPECT_EQ(line.state, LineCollecting);
    EXPECT_EQ(line.text, "NOTE;QUOTED-PRINTABLE:a");
    AccumulateLine(line, std::string_view("b="));
    EXPECT_EQ(line.state, LineCollecting);
    AccumulateLine(line, std::string_view("c"));
    EXPECT_EQ(line.state, LineComplete);
    EXPECT_EQ(line.text, "NOTE;QUOTED-PRINTABLE:abc");

    ResetLogicalLine(line);
    AccumulateLine(line, std::string_view("NOTE;QUOTED-PRINTABLE:x"));
    EXPECT_EQ(line.state, LineComplete);

    ResetLogicalLine(line);
    AccumulateLine(line, std::string_view("TEL:1"));
    EXPECT_EQ(line.state, LineCollecting);
    AccumulateLine(line, std::string_view(" 2"));
    EXPECT_EQ(line.state, LineCollecting);
    AccumulateLine(line, std::string_view("EMAIL:x"));
    EXPECT_EQ(line.state, LineCompleteHeld);
    EXPECT_EQ(line.text, "TEL:1\r\n 2");

    ResetLogicalLine(line);
    AccumulateLine(line, std::string_view(""));
    EXPECT_EQ(line.state, LineCollecting);
    EXPECT_EQ(line.text, "");
    AccumulateLine(line, std::nullopt);
    EXPECT_EQ(line.state, LineComplete);

    line.widenKana = true;
    ResetLogicalLine(line);
    EXPECT_FALSE(line.widenKana);
    EXPECT_EQ(line.state, LineEmpty);
}

// The card-scanning walk-through: nine physical lines of one card.
TEST(AccumulateLineTest, SampleCardLineByLine)
{
    const std::vector<std::string> physical = {
        "BEGIN:VCARD",
        "VERSION:2.1",
        "N;CHARSET=SHIFT_JIS:last;first;;;",
        "NOTE;ENCODING=QUOTED-PRINTABLE:line1=",
        "line2",
        "ORG:Example",
        " Division",
        "END:VCARD",
        "",
    };
    EXPECT_EQ(Unfold(physical),
              (std::vector<Dispatched>{
                  {"BEGIN:VCARD", CharsetNone, EncodingNone},
                  {"VERSION:2.1", CharsetNone, EncodingNone},
                  {"N;CHARSET=SHIFT_JIS:last;first;;;", CharsetShiftJis, EncodingNone},
                  {"NOTE;ENCODING=QUOTED-PRINTABLE:line1line2", CharsetNone,
                   EncodingQuotedPrintable},
                  {"ORG:Example\r\n Division", CharsetNone, EncodingNone},
                  {"END:VCARD", CharsetNone, EncodingNone},
                  {"", CharsetNone, EncodingNone},
              }));
}

// Lines of one-, two-, three- and four-byte characters, each length around
// the fold's: no line passes 75 octets, no fold falls inside a character,
// unfolding gives the text back, and folding character by character (CR
// and LF apart) gives the same bytes.
TEST(FoldingTest, LinesFoldAtSeventyFiveOctetsBetweenCharacters)
{
    for (const std::string_view character : {"a", "\xC3\xA9", "\xE3\x81\x82", "\xF0\x9F\x98\x80"}) {
        for (std::size_t count = 60; count <= 160; count += 7) {
            std::string line = "NOTE:";
            for (std::size_t i = 0; i < count / character.size(); ++i) line.append(character);
            const std::string text = line + "\r\n" + line + "\r\n";
            std::string folded;
            std::size_t lineOctets = 0;
            AppendFoldedLines(text, lineOctets, folded);
            std::string unfolded = folded;
            for (std::size_t fold; (fold = unfolded.find("\r\n ")) != std::string::npos;) unfolded.erase(fold, 3);
            EXPECT_EQ(unfolded, text);
            for (std::size_t start = 0, end; (end = folded.find("\r\n", start)) != std::string::npos; start = end + 2) {
                EXPECT_LE(end - start, kMaxLineOctets);
                EXPECT_NE(static_cast<unsigned char>(folded[end + 2 < folded.size() ? end + 3 : end]) & 0xC0, 0x80u)
                    << "a fold inside a character";
            }
            std::string byPieces;
            lineOctets = 0;
            for (std::size_t start = 0, end; start < text.size(); start = end) {
                for (end = start + 1; end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80;) ++end;
                AppendFoldedLines(std::string_view(text).substr(start, end - start), lineOctets, byPieces);
            }
            EXPECT_EQ(byPieces, folded);
        }
    }
}

} // namespace
} // namespace karuto
