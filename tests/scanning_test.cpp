#include "writer/scanning.h"
#include "writer/book_reading.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "job/output.h"
#include "tests/test_support.h"

namespace karuto {
namespace {

using namespace std::string_literals;

const std::string kDataDir = KARUTO_TEST_DATA_DIR;
const std::string kMark = "\xFF\xFE";

// The outcome of converting one text into the output file's bytes.
struct Scanned {
    std::string file;  // every byte of the output file
    CardCounts counts;
    CardList cards;
};

Scanned Scan(std::string_view text, SourceEncoding encoding = SourceEncoding::ShiftJis,
             std::span<const LinesReadOtherwise> otherwise = {})
{
    Scanned scanned;
    // A buffer of exactly the text's size, so that a read past its end trips
    // the address sanitizer.
    const std::vector<char> exact(text.begin(), text.end());
    CardWriter writer{[&scanned](std::string_view bytes) {
                          scanned.file.append(bytes);
                          return true;
                      },
                      kMark};
    const CardSink sink = [&writer](std::string_view card) { WriteCardBuffered(card, writer); };
    TextFacts facts;
    facts.encoding = encoding;
    facts.otherwise = otherwise;
    scanned.counts = ConvertText(std::string_view(exact.data(), exact.size()), scanned.cards, sink, facts);
    FlushCards(writer);
    return scanned;
}

// The text scanned as the book's reading judges it, as when it is loaded
// (after the UTF-8 mark, with `utf8Mark`).
Scanned ScanJudged(std::string_view text, bool utf8Mark)
{
    const BookReading book = JudgeBook(text, utf8Mark);
    return Scan(text, book.encoding, book.otherwise);
}

// An output file holding these cards.
std::string FileOf(std::u16string_view cards)
{
    return kMark + test::Utf16LeBytes(cards);
}

std::string ReadData(const std::string& name)
{
    return test::ReadFileBytes(kDataDir + "/" + name);
}

std::string ReplaceAllOf(std::string text, std::string_view from, std::string_view to)
{
    std::string result;
    std::size_t start = 0;
    for (std::size_t found; (found = text.find(from, start)) != std::string::npos;
         start = found + from.size()) {
        result.append(text, start, found - start).append(to);
    }
    return result.append(text, start);
}

void ExpectCounts(const CardCounts& counts, int read, int written)
{
    EXPECT_EQ(counts.cardsRead, read);
    EXPECT_EQ(counts.cardsWritten, written);
}

// ---------------------------------------------------------------------------
// Golden files: the sample card of the property rewriting rules and the one of
// the card scanner's walkthrough, each with its output file written by hand.

class GoldenFileTest : public testing::TestWithParam<const char*> {};

TEST_P(GoldenFileTest, OutputMatchesByteForByte)
{
    const std::string name = GetParam();
    const Scanned scanned = Scan(ReadData(name + ".vcf"));
    EXPECT_EQ(scanned.file, ReadData(name + ".expected.vcf"));
    ExpectCounts(scanned.counts, 1, 1);
}

INSTANTIATE_TEST_SUITE_P(Data, GoldenFileTest,
                         testing::Values("emitters_example", "scanning_example"));

// The same sample with other line ends must give the very same output.
struct LineEndCase {
    const char* name;
    std::string_view lineEnd;  // replaces every CR LF
    bool dropFinalBreak;
};

class LineEndTest : public testing::TestWithParam<std::tuple<const char*, LineEndCase>> {};

TEST_P(LineEndTest, GivesTheSameOutput)
{
    const std::string name = std::get<0>(GetParam());
    const LineEndCase& c = std::get<1>(GetParam());
    std::string text = ReplaceAllOf(ReadData(name + ".vcf"), "\r\n", c.lineEnd);
    if (c.dropFinalBreak) text.resize(text.size() - c.lineEnd.size());
    const Scanned scanned = Scan(text);
    EXPECT_EQ(scanned.file, ReadData(name + ".expected.vcf"));
    ExpectCounts(scanned.counts, 1, 1);
}

std::string LineEndCaseName(const testing::TestParamInfo<LineEndTest::ParamType>& caseInfo)
{
    std::string name = std::get<0>(caseInfo.param);
    name.erase(std::remove(name.begin(), name.end(), '_'), name.end());
    return name + std::get<1>(caseInfo.param).name;
}

const LineEndCase kLineEnds[] = {
    {"CrLf", "\r\n", false},
    {"BareLf", "\n", false},
    {"CrCrLf", "\r\r\n", false},
    {"ManyCrsLf", "\r\r\r\r\n", false},
    {"CrLfWithoutFinalBreak", "\r\n", true},
    {"BareLfWithoutFinalBreak", "\n", true},
    // A stray NUL byte breaks a line as an LF does.
    {"Nul", std::string_view("\0", 1), false},
    {"CrNul", std::string_view("\r\0", 2), false},
    {"NulWithoutFinalBreak", std::string_view("\0", 1), true},
};

INSTANTIATE_TEST_SUITE_P(
    Data, LineEndTest,
    testing::Combine(testing::Values("emitters_example", "scanning_example"),
                     testing::ValuesIn(kLineEnds)),
    LineEndCaseName);

TEST(ConvertText, MixedLineEndsGiveTheSameOutput)
{
    std::string text = ReadData("scanning_example.vcf");
    // Every other line end becomes a bare LF.
    bool bare = false;
    std::string mixed;
    for (char byte : text) {
        if (byte == '\r') {
            if (!bare) mixed.push_back(byte);
            continue;
        }
        mixed.push_back(byte);
        if (byte == '\n') bare = !bare;
    }
    ASSERT_NE(mixed, text);
    EXPECT_EQ(Scan(mixed).file, ReadData("scanning_example.expected.vcf"));
}

// ---------------------------------------------------------------------------
// The ends of the text

TEST(ConvertText, EmptyText)
{
    const Scanned scanned = Scan("");
    EXPECT_EQ(scanned.file, kMark);
    EXPECT_TRUE(scanned.cards.records.empty());
    ExpectCounts(scanned.counts, 0, 0);
}

TEST(ConvertText, TextWithoutCards)
{
    const Scanned scanned = Scan("VERSION:2.1\r\nN:a\r\nEND:VCARD\r\n\r\n");
    EXPECT_EQ(scanned.file, kMark);
    EXPECT_TRUE(scanned.cards.records.empty());
    ExpectCounts(scanned.counts, 0, 0);
}

TEST(ConvertText, EndFollowedByCrOnlyDoesNotEndTheCard)
{
    const Scanned scanned = Scan("BEGIN:VCARD\r\nVERSION:2.1\r\nN:a\r\nEND:VCARD\r");
    EXPECT_EQ(scanned.file, kMark);
    ExpectCounts(scanned.counts, 0, 0);
    ASSERT_EQ(scanned.cards.records.size(), 1u);
    EXPECT_FALSE(DetailsOf(scanned.cards, 0).ended);
}

TEST(ConvertText, LoneCrInsideALineStays)
{
    const Scanned scanned = Scan("BEGIN:VCARD\r\nNOTE:a\rb\r\nEND:VCARD\r\n");
    EXPECT_EQ(scanned.file, FileOf(u"BEGIN:VCARD\r\nNOTE:a\rb\r\nEND:VCARD\r\n"));
}

// A soft line break on the last line: the note is still dispatched into the
// card, which stays open since no END:VCARD follows.
class SoftBreakAtEndTest : public testing::TestWithParam<std::string_view> {};

TEST_P(SoftBreakAtEndTest, LineIsDispatched)
{
    const Scanned scanned =
        Scan(std::string("BEGIN:VCARD\r\nNOTE;ENCODING=QUOTED-PRINTABLE:a=") +
             std::string(GetParam()));
    ASSERT_EQ(scanned.cards.records.size(), 1u);
    EXPECT_EQ(scanned.cards.current.text, "BEGIN:VCARD\r\nNOTE:a\r\n");
    ExpectCounts(scanned.counts, 0, 0);
    EXPECT_EQ(scanned.file, kMark);
}

INSTANTIATE_TEST_SUITE_P(FinalBreak, SoftBreakAtEndTest, testing::Values("", "\r\n", "\n"));

TEST(ConvertText, SoftBreakBeforeTheEndLineEndsTheValue)
{
    const Scanned scanned =
        Scan("BEGIN:VCARD\r\nNOTE;ENCODING=QUOTED-PRINTABLE:a=\r\nEND:VCARD \r\n");
    EXPECT_EQ(scanned.file, FileOf(u"BEGIN:VCARD\r\nNOTE:a\r\nEND:VCARD \r\n"));
    ExpectCounts(scanned.counts, 1, 1);
}

TEST(ConvertText, SoftBreakBeforeAnEmptyLine)
{
    const Scanned scanned = Scan(
        "BEGIN:VCARD\r\nNOTE;ENCODING=QUOTED-PRINTABLE:a=\r\n=\r\n\r\nEND:VCARD\r\n");
    EXPECT_EQ(scanned.file, FileOf(u"BEGIN:VCARD\r\nNOTE:a\r\nEND:VCARD\r\n"));
}

// ---------------------------------------------------------------------------
// Continuations

TEST(ConvertText, QuotedPrintableLineTakesNoFoldedContinuation)
{
    const Scanned scanned =
        Scan("BEGIN:VCARD\r\nNOTE;QUOTED-PRINTABLE:abc\r\n def\r\nEND:VCARD\r\n");
    EXPECT_EQ(scanned.file, FileOf(u"BEGIN:VCARD\r\nNOTE:abc\r\nEND:VCARD\r\n"));
}

TEST(ConvertText, FoldedLineKeepsBlankAndTab)
{
    const Scanned scanned = Scan("BEGIN:VCARD\nNOTE:abc\n def\n\tghi\nEND:VCARD\n");
    EXPECT_EQ(scanned.file, FileOf(u"BEGIN:VCARD\r\nNOTE:abc\r\n def\r\n\tghi\r\nEND:VCARD\r\n"));
}

TEST(ConvertText, ParametersOnAContinuationAreNotSeen)
{
    // The fold holds a CHARSET parameter, but only the first physical line
    // counts for charset and acceptance; the fold lands in the value.
    const Scanned scanned =
        Scan("BEGIN:VCARD\r\nNOTE:abc\r\n ;CHARSET=X\r\nEND:VCARD\r\n");
    EXPECT_EQ(scanned.file,
              FileOf(u"BEGIN:VCARD\r\nNOTE:abc\r\n ;CHARSET=X\r\nEND:VCARD\r\n"));
    ExpectCounts(scanned.counts, 1, 1);
}

class FoldedPhotoTest : public testing::TestWithParam<std::string_view> {};

TEST_P(FoldedPhotoTest, KeepsItsFolding)
{
    const std::string text = ReplaceAllOf(
        "BEGIN:VCARD\r\n"
        "VERSION:2.1\r\n"
        "PHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQSkZJRg\r\n"
        " ABAQEASABIAAD=\r\n"
        "\t/2wBDAAgGBgcG==\r\n"
        "\r\n"
        "END:VCARD\r\n",
        "\r\n", GetParam());
    const Scanned scanned = Scan(text);
    EXPECT_EQ(scanned.file, FileOf(u"BEGIN:VCARD\r\n"
                                   u"VERSION:2.1\r\n"
                                   u"PHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQSkZJRg\r\n"
                                   u" ABAQEASABIAAD=\r\n"
                                   u"\t/2wBDAAgGBgcG==\r\n"
                                   u"END:VCARD\r\n"));
    ExpectCounts(scanned.counts, 1, 1);
}

INSTANTIATE_TEST_SUITE_P(LineEnds, FoldedPhotoTest, testing::Values("\r\n", "\n"));

// ---------------------------------------------------------------------------
// Several cards

TEST(ConvertText, BlankLineBetweenCards)
{
    const Scanned scanned =
        Scan("BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\n\r\n\r\nBEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n");
    EXPECT_EQ(scanned.file, FileOf(u"BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\n"
                                   u"BEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n"));
    ExpectCounts(scanned.counts, 2, 2);
}

TEST(ConvertText, BeginWithoutEndIsNotCounted)
{
    const Scanned scanned = Scan("BEGIN:VCARD\r\nVERSION:2.1\r\nN:a\r\n");
    EXPECT_EQ(scanned.file, kMark);
    ExpectCounts(scanned.counts, 0, 0);
}

TEST(ConvertText, CardWithoutEndBeforeAnotherCard)
{
    const Scanned scanned =
        Scan("BEGIN:VCARD\r\nN:a\r\nBEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:c\r\n");
    EXPECT_EQ(scanned.file, FileOf(u"BEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n"));
    ExpectCounts(scanned.counts, 1, 1);
}

// Books joined without a final line break, the second one's mark between
// them or not: the card ends and the next begins, and no BEGIN:VCARD is left
// unaccounted for.
TEST(ConvertText, EndAndBeginOnOneLineAreTwoLines)
{
    for (const std::string& between : {std::string(), std::string("\xEF\xBB\xBF")}) {
        const Scanned scanned = Scan("BEGIN:VCARD\r\nN:a\r\nend:vcard" + between + "Begin:VCard\r\nN:b\r\nEND:VCARD");
        EXPECT_EQ(scanned.file, FileOf(u"BEGIN:VCARD\r\nN:a\r\nend:vcard\r\nBegin:VCard\r\nN:b\r\nEND:VCARD\r\n"));
        ExpectCounts(scanned.counts, 2, 2);
        EXPECT_EQ(DetailsOf(scanned.cards, 1).beginLine, 3);
        EXPECT_TRUE(scanned.cards.unreadBegins.empty());
    }
}

TEST(ConvertText, SecondCardRejected)
{
    const Scanned scanned = Scan(
        "BEGIN:VCARD\r\nVERSION:2.1\r\nN:a\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=ISO-2022-JP:b\r\nEND:VCARD\r\n");
    EXPECT_EQ(scanned.file, FileOf(u"BEGIN:VCARD\r\nVERSION:2.1\r\nN:a\r\nEND:VCARD\r\n"));
    ExpectCounts(scanned.counts, 2, 1);
}

TEST(ConvertText, CardsAbandonedWrittenAndRejected)
{
    const Scanned scanned = Scan(
        "BEGIN:VCARD\nN:a\n"
        "BEGIN:VCARD\nN:b\nEND:VCARD\n"
        "BEGIN:VCARD\nVERSION:4.0\nEND:VCARD\n");
    EXPECT_EQ(scanned.file, FileOf(u"BEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n"));
    ExpectCounts(scanned.counts, 2, 1);
}

TEST(ConvertText, RecordsLineNumbersOfFirstPhysicalLines)
{
    const Scanned scanned = Scan(
        "\r\n"                                      // 1
        "BEGIN:VCARD\r\n"                           // 2
        "NOTE;ENCODING=QUOTED-PRINTABLE:a=\r\n"     // 3
        "b\r\n"                                     // 4
        "ORG:x\n"                                   // 5
        " y\r\n"                                    // 6
        "TEL;ENCODING=8BIT:1\r\n"                   // 7, held after the ORG line
        " 2\r\n"                                    // 8
        "END:VCARD\r\n");                           // 9
    ASSERT_EQ(scanned.cards.records.size(), 1u);
    const CardDetails entry = DetailsOf(scanned.cards, 0);
    EXPECT_EQ(entry.beginLine, 2);
    EXPECT_EQ(entry.rejection, Rejection::Encoding);
    EXPECT_EQ(entry.rejectedLine, 7);
    ExpectCounts(scanned.counts, 1, 0);
}

// ---------------------------------------------------------------------------
// Stray NUL bytes: read as line breaks, so nothing after them is lost

TEST(ConvertText, CardsAfterANulAreConverted)
{
    const Scanned scanned = Scan(
        "BEGIN:VCARD\r\nN:a\0\r\nEND:VCARD\r\n\0\0"
        "BEGIN:VCARD\r\nN:b\r\nNOTE:c\0d\r\nEND:VCARD\r\n"s);
    EXPECT_EQ(scanned.file, FileOf(u"BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\n"
                                   u"BEGIN:VCARD\r\nN:b\r\nNOTE:c\r\nEND:VCARD\r\n"));
    ExpectCounts(scanned.counts, 2, 2);
}

TEST(ConvertText, ANulEndsASoftBreakAndAFoldLikeAnLf)
{
    const Scanned scanned =
        Scan("BEGIN:VCARD\0NOTE;ENCODING=QUOTED-PRINTABLE:a=\0b\0ORG:x\0 y\0END:VCARD"s);
    EXPECT_EQ(scanned.file, FileOf(u"BEGIN:VCARD\r\nNOTE:ab\r\nORG:x\r\n y\r\nEND:VCARD\r\n"));
}

TEST(ConvertText, LineNumbersCountLineFeedsOnly)
{
    const Scanned scanned = Scan(
        "X\0BEGIN:VCARD\r\n"        // 1
        "VERSION:2.1\0\0N:a\r\n"    // 2
        "TEL;ENCODING=8BIT:1\r\n"   // 3
        "END:VCARD\r\n"s);           // 4
    ASSERT_EQ(scanned.cards.records.size(), 1u);
    EXPECT_EQ(DetailsOf(scanned.cards, 0).beginLine, 1);
    EXPECT_EQ(DetailsOf(scanned.cards, 0).rejectedLine, 3);
}

TEST(ConvertText, Utf16WithoutMarkGivesNoCard)
{
    std::string text = test::Utf16LeBytes(u"BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\n");
    text.pop_back();  // the loader drops the final NUL as padding
    const Scanned scanned = Scan(text);
    EXPECT_EQ(scanned.file, kMark);
    EXPECT_TRUE(scanned.cards.records.empty());
}

// ---------------------------------------------------------------------------
// Files that began with the UTF-8 byte-order mark

// 山田 in UTF-8
#define UTF8_YAMADA "\xE5\xB1\xB1\xE7\x94\xB0"

TEST(ConvertText, Utf8DefaultConvertsLinesWithoutCharset)
{
    const Scanned scanned =
        ScanJudged("BEGIN:VCARD\r\nN:" UTF8_YAMADA "\r\nEND:VCARD\r\n", true);
    EXPECT_EQ(scanned.file, FileOf(u"BEGIN:VCARD\r\nN:山田\r\nEND:VCARD\r\n"));
    ExpectCounts(scanned.counts, 1, 1);
}

TEST(ConvertText, Utf8DefaultGivesShiftJisCardText)
{
    // Without END:VCARD the card's text stays in memory to be looked at.
    const Scanned scanned = ScanJudged("BEGIN:VCARD\r\nN:" UTF8_YAMADA "\r\nURL:" UTF8_YAMADA "\r\n", true);
    EXPECT_EQ(scanned.cards.current.text,
              "BEGIN:VCARD\r\nN:\x8E\x52\x93\x63\r\nURL:\x8E\x52\x93\x63\r\n");  // 山田
}

TEST(ConvertText, WithoutUtf8DefaultTheBytesPassUnconverted)
{
    const Scanned scanned = Scan("BEGIN:VCARD\r\nN:" UTF8_YAMADA "\r\nURL:" UTF8_YAMADA "\r\n");
    // URL is not widened: its bytes stay as they are. N is widened, and the
    // widening walks the UTF-8 bytes by the Shift_JIS rules: E5 B1 is one
    // two-byte character, the following B1 a half-width ｱ that becomes ア
    // (83 41); E7 94 is one character and B0 a half-width ｰ that becomes ー
    // (81 5B).
    EXPECT_EQ(scanned.cards.current.text,
              "BEGIN:VCARD\r\nN:\xE5\xB1\x83\x41\xE7\x94\x81\x5B\r\nURL:" UTF8_YAMADA "\r\n");
}

TEST(ConvertText, Utf8DefaultLeavesNamedCharsetsAlone)
{
    const Scanned scanned = ScanJudged(
        "BEGIN:VCARD\r\n"
        "N;CHARSET=SHIFT_JIS:\x8E\x52\x93\x63\r\n"  // 山田 in Shift_JIS
        "NOTE;CHARSET=UTF-8:" UTF8_YAMADA "\r\n"
        "END:VCARD\r\n",
        true);
    EXPECT_EQ(scanned.file, FileOf(u"BEGIN:VCARD\r\nN:山田\r\nNOTE:山田\r\nEND:VCARD\r\n"));
}

TEST(ConvertText, BothCharsetsNamedMeansUtf8)
{
    const Scanned scanned = Scan(
        "BEGIN:VCARD\r\nN;CHARSET=SHIFT_JIS;CHARSET=UTF-8:" UTF8_YAMADA "\r\nEND:VCARD\r\n");
    EXPECT_EQ(scanned.file, FileOf(u"BEGIN:VCARD\r\nN:山田\r\nEND:VCARD\r\n"));
}

TEST(ConvertText, Utf8DefaultDoesNotAcceptUnknownCharsets)
{
    const Scanned scanned =
        ScanJudged("BEGIN:VCARD\r\nN;CHARSET=GB2312:a\r\nEND:VCARD\r\n", true);
    EXPECT_EQ(scanned.file, kMark);
    ExpectCounts(scanned.counts, 1, 0);
}

} // namespace
} // namespace karuto
