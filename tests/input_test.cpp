#include "job/input.h"
#include "vcard/unfolding.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "decode/katakana.h"
#include "platform/shift_jis.h"
#include "platform/unicode.h"
#include "vcard/folding.h"
#include "tests/test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <iconv.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace karuto {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::Utf16LeBytes;
using test::WriteFileBytes;

std::string Bytes(std::string_view text)
{
    return std::string(text);
}

struct LoadCase {
    const char* name;
    std::string fileBytes;
    Outcome result;
    std::string text;  // compared only when the load succeeds
    ByteOrderMark mark;
    std::int64_t nulCount = 0;
    std::int64_t firstNulLine = 0;
    std::optional<SourceEncoding> encoding = {};  // where the mark does not tell it
};

const std::string kUtf8Mark = "\xEF\xBB\xBF";
const std::string kUtf16LeMark = "\xFF\xFE";
const std::string kUtf16BeMark = "\xFE\xFF";

const LoadCase kLoadCases[] = {
    // Files too short to hold a mark are text as they are.
    {"empty file", "", Outcome::Done, "", ByteOrderMark::None},
    {"one byte", "A", Outcome::Done, "A", ByteOrderMark::None},
    {"one byte FF", "\xFF", Outcome::Done, "\xFF", ByteOrderMark::None},
    {"one byte FE", "\xFE", Outcome::Done, "\xFE", ByteOrderMark::None},
    {"one byte EF", "\xEF", Outcome::Done, "\xEF", ByteOrderMark::None},
    {"two bytes", "AB", Outcome::Done, "AB", ByteOrderMark::None},
    {"EF BB alone is no mark", "\xEF\xBB", Outcome::Done, "\xEF\xBB", ByteOrderMark::None},
    {"EF BB and a letter is no mark", "\xEF\xBBZ", Outcome::Done, "\xEF\xBBZ", ByteOrderMark::None},
    {"FF and a letter is no mark", "\xFF" "A", Outcome::Done, "\xFF" "A", ByteOrderMark::None},

    // UTF-8 mark: skipped, every later byte kept as it is.
    {"UTF-8 mark only", kUtf8Mark, Outcome::Done, "", ByteOrderMark::Utf8},
    {"UTF-8 mark and vCard", kUtf8Mark + "BEGIN:VCARD\r\nFN:\xE5\xB1\xB1\xE7\x94\xB0\r\n", Outcome::Done,
     "BEGIN:VCARD\r\nFN:\xE5\xB1\xB1\xE7\x94\xB0\r\n", ByteOrderMark::Utf8},
    {"UTF-8 mark twice keeps the second", kUtf8Mark + kUtf8Mark, Outcome::Done, kUtf8Mark,
     ByteOrderMark::Utf8},
    {"UTF-8 mark and a NUL in the middle", kUtf8Mark + Bytes({"AB\0CD", 5}), Outcome::Done,
     Bytes({"AB\0CD", 5}), ByteOrderMark::Utf8, 1, 1},
    {"UTF-8 mark and NUL padding", kUtf8Mark + Bytes({"A\r\nB\0\0\0", 7}), Outcome::Done, "A\r\nB",
     ByteOrderMark::Utf8, 3, 2},

    // No mark: bytes as they are; NULs stay, except those that pad the end.
    {"Shift_JIS bytes", "FN:\x83\x41\x83\x43\r\n", Outcome::Done, "FN:\x83\x41\x83\x43\r\n",
     ByteOrderMark::None},
    {"NUL in the middle", Bytes({"AB\0CD", 5}), Outcome::Done, Bytes({"AB\0CD", 5}),
     ByteOrderMark::None, 1, 1},
    {"NUL first", Bytes({"\0ABC", 4}), Outcome::Done, Bytes({"\0ABC", 4}), ByteOrderMark::None, 1, 1},
    {"NULs on later lines", Bytes({"A\nB\nC\0D\nE\0\0F", 12}), Outcome::Done,
     Bytes({"A\nB\nC\0D\nE\0\0F", 12}), ByteOrderMark::None, 3, 3},
    {"NUL padding after the last line", Bytes({"A\r\n\0\0", 5}), Outcome::Done, "A\r\n",
     ByteOrderMark::None, 2, 2},
    {"NUL padding after a CR, which ends the last line", Bytes({"A\r\0", 3}), Outcome::Done, "A\n",
     ByteOrderMark::None, 1, 1},
    {"nothing but NULs", Bytes({"\0\0\0\0", 4}), Outcome::Done, "", ByteOrderMark::None, 4, 1},
    {"UTF-16LE without a mark, found from its NULs", Utf16LeBytes(u"BEGIN:VCARD\r\nN:\u5C71\r\n"),
     Outcome::Done, "BEGIN:VCARD\r\nN:\x8E\x52\r\n", ByteOrderMark::None, 0, 0, SourceEncoding::Utf16LeWithoutMark},
    {"a few NULs between letters are no UTF-16", Bytes({"A\0B\0CDEFGH\r\n", 12}), Outcome::Done,
     Bytes({"A\0B\0CDEFGH\r\n", 12}), ByteOrderMark::None, 2, 1, SourceEncoding::ShiftJis},
    {"UTF-16BE without a mark is refused", Bytes({"\0B\0E\0G\0I\0N", 10}), Outcome::UnsupportedEncoding, "",
     ByteOrderMark::None},
    {"UTF-32LE without a mark is refused", Bytes({"B\0\0\0E\0\0\0G\0\0\0", 12}), Outcome::UnsupportedEncoding,
     "", ByteOrderMark::None},

    // Without a mark, EUC-JP and ISO-2022-JP are made Shift_JIS.
    {"EUC-JP", "N:\xBB\xB3\xC5\xC4;\xA4\xE6\xA4\xDF\r\nX-READING:\x8E\xD4\x8E\xCF\r\n", Outcome::Done,
     "N:\x8E\x52\x93\x63;\x82\xE4\x82\xDD\r\nX-READING:\xD4\xCF\r\n", ByteOrderMark::None, 0, 0,
     SourceEncoding::EucJp},
    {"ISO-2022-JP", "N:\x1B$B;3ED\x1B(B;\x1B$B$f$_\x1B(B\r\nX-READING:\x1B(ITO\x1B(B\r\n", Outcome::Done,
     "N:\x8E\x52\x93\x63;\x82\xE4\x82\xDD\r\nX-READING:\xD4\xCF\r\n", ByteOrderMark::None, 0, 0,
     SourceEncoding::Iso2022Jp},
    {"ISO-2022-JP returns to ASCII at a line end", "N:\x1B$B;3\r\nTEL:1\r\n", Outcome::Done,
     "N:\x8E\x52\r\nTEL:1\r\n", ByteOrderMark::None, 0, 0, SourceEncoding::Iso2022Jp},
    {"ISO-2022-JP leaves out an escape it does not know", "N:\x1B$B;3\x1B(B\x1B$(Qab\r\n", Outcome::Done,
     "N:\x8E\x52$(Qab\r\n", ByteOrderMark::None, 0, 0, SourceEncoding::Iso2022Jp},
    {"ISO-2022-JP's JIS X 0212 becomes a space", "N:\x1B$(D0!\x1B$B;3\x1B(B\r\n", Outcome::Done,
     "N: \x8E\x52\r\n", ByteOrderMark::None, 0, 0, SourceEncoding::Iso2022Jp},
    {"a Shift_JIS book whose bytes are EUC-JP too stays Shift_JIS", "N:\xE0\xB7\xB1\xBA\r\n", Outcome::Done,
     "N:\xE0\xB7\xB1\xBA\r\n", ByteOrderMark::None, 0, 0, SourceEncoding::ShiftJis},
    // A CR alone ends a line before BEGIN:VCARD or END:VCARD and in a card
    // whose lines all end so; inside a value it stays.
    {"lines ending in CR alone", "BEGIN:VCARD\rN:a\r\rEND:VCARD\r", Outcome::Done, "BEGIN:VCARD\nN:a\n\nEND:VCARD\n",
     ByteOrderMark::None, 0, 0},
    {"a CR alone before the keywords, any case", "N:a\rend:vcard\r\r\xEF\xBB\xBF" "BEGIN:VCARD\r\n", Outcome::Done,
     "N:a\nend:vcard\r\n\xEF\xBB\xBF" "BEGIN:VCARD\r\n", ByteOrderMark::None, 0, 0},
    {"a CR alone inside a value stays", "NOTE:a\rb\r\nTEL:1\r\n", Outcome::Done, "NOTE:a\rb\r\nTEL:1\r\n",
     ByteOrderMark::None, 0, 0},
    {"an escape alone is left out", "N:a\x1B\x7F\x01" "b\tc\r\n", Outcome::Done, "N:ab\tc\r\n", ByteOrderMark::None, 0,
     0, SourceEncoding::ShiftJis},

    // UTF-16LE mark: converted to Shift_JIS.
    {"UTF-16LE mark only", kUtf16LeMark, Outcome::Done, "", ByteOrderMark::Utf16Le},
    {"UTF-16LE keeps CR LF", kUtf16LeMark + Utf16LeBytes(u"BEGIN:VCARD\r\nEND:VCARD\r\n"), Outcome::Done,
     "BEGIN:VCARD\r\nEND:VCARD\r\n", ByteOrderMark::Utf16Le},
    {"UTF-16LE katakana", kUtf16LeMark + Utf16LeBytes(u"\u30A2\u30A4"), Outcome::Done, "\x83\x41\x83\x43",
     ByteOrderMark::Utf16Le},
    {"UTF-16LE half-width katakana", kUtf16LeMark + Utf16LeBytes(u"\uFF71"), Outcome::Done, "\xB1",
     ByteOrderMark::Utf16Le},
    {"UTF-16LE Hangul becomes a space", kUtf16LeMark + Utf16LeBytes(u"A\uAC00B"), Outcome::Done, "A B",
     ByteOrderMark::Utf16Le},
    {"UTF-16LE pair beyond the BMP becomes one space", kUtf16LeMark + Utf16LeBytes(u"A\U0001F600B"),
     Outcome::Done, "A B", ByteOrderMark::Utf16Le},
    {"UTF-16LE odd final byte is dropped", kUtf16LeMark + Utf16LeBytes(u"AB") + "C", Outcome::Done, "AB",
     ByteOrderMark::Utf16Le},
    {"UTF-16LE single odd byte", kUtf16LeMark + "C", Outcome::Done, "", ByteOrderMark::Utf16Le},
    {"UTF-16LE zero unit in the middle", kUtf16LeMark + Utf16LeBytes({u"AB\0CD", 5}), Outcome::Done,
     Bytes({"AB\0CD", 5}), ByteOrderMark::Utf16Le, 1, 1},
    {"UTF-16LE zero units between kanji", kUtf16LeMark + Utf16LeBytes({u"\n\u5C71\0\0\u7530\0", 6}),
     Outcome::Done, Bytes({"\n\x8E\x52\0\0\x93\x63", 7}), ByteOrderMark::Utf16Le, 3, 2},
    {"UTF-16LE zero-unit padding", kUtf16LeMark + Utf16LeBytes({u"A\r\n\0\0\0", 6}), Outcome::Done,
     "A\r\n", ByteOrderMark::Utf16Le, 3, 2},
    {"UTF-16LE zero unit and an odd byte", kUtf16LeMark + Utf16LeBytes({u"A\0", 2}) + "B", Outcome::Done,
     "A", ByteOrderMark::Utf16Le, 1, 1},
    {"UTF-16LE mark of a book joined after END:VCARD is dropped",
     kUtf16LeMark + Utf16LeBytes(u"End:VCard\uFEFFBEGIN:VCARD\uFEFF"), Outcome::Done, "End:VCardBEGIN:VCARD ",
     ByteOrderMark::Utf16Le},
    {"UTF-16LE zero byte inside a unit is no end", kUtf16LeMark + Bytes({"A\0\0\x30", 4}), Outcome::Done,
     "A\x81\x40", ByteOrderMark::Utf16Le},

    // UTF-16BE and UTF-32 marks: refused whatever follows.
    {"UTF-32LE mark", Bytes({"\xFF\xFE\0\0B\0\0\0", 8}), Outcome::UnsupportedEncoding, "", ByteOrderMark::None},
    {"UTF-32BE mark", Bytes({"\0\0\xFE\xFF\0\0\0B", 8}), Outcome::UnsupportedEncoding, "", ByteOrderMark::None},
    {"UTF-16BE mark only", kUtf16BeMark, Outcome::UnsupportedEncoding, "", ByteOrderMark::None},
    {"UTF-16BE mark and text", kUtf16BeMark + Bytes({"\0B\0E", 4}), Outcome::UnsupportedEncoding, "",
     ByteOrderMark::None},
    {"UTF-16BE mark and one byte", kUtf16BeMark + "A", Outcome::UnsupportedEncoding, "",
     ByteOrderMark::None},
};

TEST(LoadInputText, HandlesEveryByteOrderMarkCase)
{
    TempDir dir;
    for (const LoadCase& c : kLoadCases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(dir.ChildPath(u"in.vcf"), c.fileBytes);
        LoadedText loaded;
        loaded.text = "untouched";
        loaded.encoding = SourceEncoding::Utf16Le;
        ASSERT_EQ(LoadInputText(dir.Child(u"in.vcf"), loaded), c.result);
        if (c.result == Outcome::Done) {
            EXPECT_EQ(loaded.text, c.text);
            const bool marked = loaded.encoding == SourceEncoding::Utf8WithMark || loaded.encoding == SourceEncoding::Utf16Le;
            EXPECT_EQ(marked ? (loaded.encoding == SourceEncoding::Utf16Le ? ByteOrderMark::Utf16Le : ByteOrderMark::Utf8)
                             : ByteOrderMark::None,
                      c.mark);
            EXPECT_EQ(loaded.nulCount, c.nulCount);
            EXPECT_EQ(loaded.firstNulLine, c.firstNulLine);
            if (c.encoding) {
                EXPECT_EQ(loaded.encoding, *c.encoding);
            }
        } else {
            EXPECT_EQ(loaded.text, "untouched");
            EXPECT_EQ(loaded.encoding, SourceEncoding::Utf16Le);
        }
        // The same from the bytes alone, without a file.
        LoadedText fromBytes;
        fromBytes.text = "untouched";
        ASSERT_EQ(LoadInputBytes(std::string(c.fileBytes), fromBytes), c.result);
        EXPECT_EQ(fromBytes.text, c.result == Outcome::Done ? c.text : "untouched");
    }
}

bool IsUtf8BeyondAscii(std::string_view text)
{
    const Utf8Reading reading = ReadAsFoldedUtf8(text);
    return reading.valid && reading.beyondAscii;
}

TEST(ReadAsFoldedUtf8, NeedsValidUtf8WithACharacterBeyondAscii)
{
    struct Row {
        const char* name;
        std::string_view text;
        bool utf8;
    };
    const Row rows[] = {
        {"empty", "", false},
        {"ASCII only", "BEGIN:VCARD\r\nN:Doe;John\r\n", false},
        {"kanji", "N:\xE5\xB1\xB1\xE7\x94\xB0", true},
        {"two-byte character", "N:Zo\xC3\xAB", true},
        {"emoji", "NOTE:\xF0\x9F\x98\x80", true},
        {"kanji in Shift_JIS", "N:\x8E\x52\x93\x63", false},
        {"half-width kana in Shift_JIS", "N:\xB6\xC5", false},
        {"folded with CR LF and a space inside a character", "N:\xE5\xB1\r\n \xB1", true},
        {"folded with LF and a tab inside a character", "N:\xE5\n\t\xB1\xB1", true},
        {"line break inside a character", "N:\xE5\xB1\r\n\xB1", false},
        {"lone CR and a blank inside a character", "N:\xE5\xB1\r \xB1", false},
        {"a genuine U+FFFD", "N:\xEF\xBF\xBD", true},
        {"truncated at the end", "N:\xE5\xB1", false},
        {"overlong", "N:\xC0\x80", false},
        {"encoded surrogate", "N:\xED\xA0\x80", false},
        {"beyond U+10FFFF", "N:\xF4\x90\x80\x80", false},
        {"stray continuation byte", "N:\x80", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(IsUtf8BeyondAscii(row.text), row.utf8) << row.name;
    }
}

// The same question answered the plain way: drop every folded line break
// (CR LF or LF, then a blank or tab, which may split a character), and the rest
// must come back unchanged from a decode and re-encode, with a byte beyond ASCII.
bool IsUtf8BeyondAsciiByModel(std::string_view text)
{
    std::string unfolded;
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        std::size_t end = pos;
        if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++end;
        const bool lineBreak = text[end] == '\n';
        if (lineBreak && end + 1 < text.size() && (text[end + 1] == ' ' || text[end + 1] == '\t')) {
            pos = end + 1;
            continue;
        }
        unfolded += text[pos];
    }
    const bool beyondAscii = std::any_of(unfolded.begin(), unfolded.end(),
                                         [](char byte) { return static_cast<unsigned char>(byte) >= 0x80; });
    return beyondAscii && WideToUtf8(Utf8ToWide(unfolded)) == unfolded;
}

TEST(ReadAsFoldedUtf8, AgreesWithTheModelOnRandomTexts)
{
    const std::string_view pieces[] = {"a", "\r", "\n", " ", "\t", "\xE3", "\x82", "\xAB", "\xC3",
                                       "\xF0", "\x9F", "\x80", "\xBF", "\xED", "\xA0", "\xE0",
                                       "\xFF", "\xE3\x82\xAB", "abcdefgh"};
    test::PieceTexts texts{pieces, 10};
    for (int round = 0; round < 300000; ++round) {
        const std::string text = texts.Next();
        const std::vector<char> exact(text.begin(), text.end());
        ASSERT_EQ(IsUtf8BeyondAscii(std::string_view(exact.data(), exact.size())),
                  IsUtf8BeyondAsciiByModel(text))
            << testing::PrintToString(text);
    }
}

TEST(LoadInputText, ReadsUtf8WithoutAMarkAsUtf8AndShiftJisAsItWas)
{
    TempDir dir;
    const auto load = [&dir](const std::string& bytes) {
        WriteFileBytes(dir.ChildPath(u"in.vcf"), bytes);
        LoadedText loaded;
        EXPECT_EQ(LoadInputText(dir.Child(u"in.vcf"), loaded), Outcome::Done);
        return loaded;
    };
    EXPECT_EQ(load("BEGIN:VCARD\r\nN:\xE5\xB1\xB1;;;;\r\n").encoding, SourceEncoding::Utf8WithoutMark);
    EXPECT_EQ(load(kUtf8Mark + "N:\xE5\xB1\xB1;;;;\r\n").encoding, SourceEncoding::Utf8WithMark);
    EXPECT_EQ(load(kUtf16LeMark + std::string("N\0:\0\x71\x5C", 6)).encoding, SourceEncoding::Utf16Le);
    EXPECT_EQ(load(ReadFileBytes(fs::path(KARUTO_TEST_DATA_DIR) / ".." / ".." / "examples" / "contacts.vcf"))
                  .encoding,
              SourceEncoding::ShiftJis);
}

// A random Shift_JIS character: a kanji of either level, kana, a symbol, a
// half-width katakana or a pictogram, as feature phones write them.
std::string AnyShiftJisCode(std::mt19937& random)
{
    const auto byte = [&random](unsigned low, unsigned high) {
        return static_cast<char>(low + random() % (high - low + 1));
    };
    const auto trail = [&] { return random() % 2 ? byte(0x40, 0x7E) : byte(0x80, 0xFC); };
    switch (random() % 7) {
    case 0: return {byte(0x88, 0x9F), trail()};
    case 1: return {byte(0xE0, 0xEA), trail()};  // the second level, whose lead bytes open UTF-8 sequences
    case 2: return {'\x82', byte(0x9F, 0xF1)};
    case 3: return {'\x83', byte(0x40, 0x96)};
    case 4: return {'\x81', trail()};
    case 5: return {byte(0xF8, 0xF9), byte(0x40, 0xFC)};
    default: return {byte(0xA1, 0xDF)};
    }
}

// Only codes that Shift_JIS defines: phones write no others.
std::string RandomShiftJisCharacter(std::mt19937& random)
{
    for (;;) {
        std::string code = AnyShiftJisCode(random);
        if (code.size() == 1 || WideOfAnsiPair(static_cast<unsigned char>(code[0]), static_cast<unsigned char>(code[1])) != 0) {
            return code;
        }
    }
}

std::string RandomHalfWidth(std::mt19937& random, std::size_t length)
{
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text += static_cast<char>(0xA1 + random() % 0x3F);
    return text;
}

std::string RandomShiftJis(std::mt19937& random, std::size_t characters)
{
    std::string text;
    for (std::size_t i = 0; i < characters; ++i) text += RandomShiftJisCharacter(random);
    return text;
}

// A feature phone's card: kanji names, half-width readings (also as short
// phonetic lines of their own), addresses and notes, with and without CHARSET.
std::string RandomShiftJisCard(std::mt19937& random)
{
    const std::string charset = random() % 2 ? ";CHARSET=SHIFT_JIS" : "";
    std::string card = "BEGIN:VCARD\r\nVERSION:2.1\r\n";
    if (random() % 4 != 0) card += "N" + charset + ":" + RandomShiftJis(random, 1 + random() % 4) + ";" + RandomShiftJis(random, random() % 3) + ";;;\r\n";
    if (random() % 2) card += "SOUND;X-IRMC-N" + charset + ":" + RandomHalfWidth(random, 1 + random() % 6) + ";" + RandomHalfWidth(random, random() % 6) + ";;;\r\n";
    if (random() % 2) card += "X-PHONETIC-LAST-NAME:" + RandomHalfWidth(random, 1 + random() % 3) + "\r\n";
    if (random() % 2) card += "X-PHONETIC-FIRST-NAME:" + RandomHalfWidth(random, 1 + random() % 3) + "\r\n";
    card += "TEL;CELL:090-" + std::to_string(1000 + random() % 9000) + "-0000\r\n";
    if (random() % 2) card += "ADR;HOME" + charset + ":;;" + RandomShiftJis(random, 2 + random() % 12) + " 1-2-3;;;;\r\n";
    if (random() % 3 == 0) card += "NOTE" + charset + ":" + RandomShiftJis(random, 1 + random() % 30) + "\r\n";
    return card + "END:VCARD\r\n";
}

// A Shift_JIS book, short or long, is read as Shift_JIS throughout, even
// when its bytes happen to be valid UTF-8 (a single contact's kanji and
// half-width reading).
TEST(LoadInputText, GeneratedShiftJisBooksStayShiftJis)
{
    std::mt19937 random(932);
    int validUtf8 = 0;
    for (int book = 0; book < 20000; ++book) {
        std::string bytes;
        const int cards = book % 3 == 0 ? 1 : book % 3 == 1 ? 1 + static_cast<int>(random() % 10) : 100;
        for (int card = 0; card < cards; ++card) bytes += RandomShiftJisCard(random);
        validUtf8 += IsUtf8BeyondAscii(bytes) ? 1 : 0;
        LoadedText loaded;
        ASSERT_EQ(LoadInputBytes(std::string(bytes), loaded), Outcome::Done);
        EXPECT_EQ(loaded.encoding, SourceEncoding::ShiftJis) << "book " << book << ": " << testing::PrintToString(bytes);
        EXPECT_TRUE(loaded.linesReadOtherwise.empty()) << "book " << book << ": " << testing::PrintToString(bytes);
    }
    // The books that used to be read as UTF-8 are among them.
    EXPECT_GT(validUtf8, 0);
}

TEST(LoadInputText, KeepsEveryByteOfALargeFile)
{
    TempDir dir;
    std::string content;
    for (int card = 0; card < 20000; ++card) {
        content += "BEGIN:VCARD\r\nFN:\x8E\x52\x93\x63 " + std::to_string(card) + "\r\nEND:VCARD\r\n";
    }
    WriteFileBytes(dir.ChildPath(u"in.vcf"), kUtf8Mark + content);
    LoadedText loaded;
    ASSERT_EQ(LoadInputText(dir.Child(u"in.vcf"), loaded), Outcome::Done);
    EXPECT_TRUE(loaded.text == content);
}

TEST(LoadInputText, ReadsANonAsciiName)
{
    TempDir dir;
    WriteFileBytes(dir.ChildPath(u"アドレス帳.vcf"), "BEGIN:VCARD\r\n");
    LoadedText loaded;
    ASSERT_EQ(LoadInputText(dir.Child(u"アドレス帳.vcf"), loaded), Outcome::Done);
    EXPECT_EQ(loaded.text, "BEGIN:VCARD\r\n");
}

TEST(LoadInputText, WhatCannotBeOpenedIsReportedAndLeavesTheResultAlone)
{
    TempDir dir;
    fs::create_directory(dir.ChildPath(u"folder.vcf"));
    const PathString paths[] = {dir.Child(u"missing.vcf"), dir.Child(u"folder.vcf")};
    for (const PathString& path : paths) {
        LoadedText loaded;
        loaded.text = "untouched";
        EXPECT_EQ(LoadInputText(path, loaded), Outcome::CannotOpenInput);
        EXPECT_EQ(loaded.text, "untouched");
    }
}

TEST(LoadInputText, AFileTheConverterHoldsCannotBeLoaded)
{
    TempDir dir;
    OutputHandle holder = CreateNewFileExclusive(dir.Child(u"in.vcf")).file;
    ASSERT_TRUE(holder.IsOpen());
    ASSERT_TRUE(WriteAllBytes(holder, "BEGIN:VCARD\r\n"));
    LoadedText loaded;
    EXPECT_EQ(LoadInputText(dir.Child(u"in.vcf"), loaded), Outcome::CannotOpenInput);
    ASSERT_TRUE(CloseFile(holder));
    EXPECT_EQ(LoadInputText(dir.Child(u"in.vcf"), loaded), Outcome::Done);
    EXPECT_EQ(loaded.text, "BEGIN:VCARD\r\n");
}

#ifndef _WIN32
TEST(LoadInputText, AFileLockedByAnotherProgramCannotBeLoaded)
{
    TempDir dir;
    fs::path path = dir.ChildPath(u"in.vcf");
    WriteFileBytes(path, "BEGIN:VCARD\r\n");
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    LoadedText loaded;
    EXPECT_EQ(LoadInputText(dir.Child(u"in.vcf"), loaded), Outcome::CannotOpenInput);
    close(fd);
    EXPECT_EQ(LoadInputText(dir.Child(u"in.vcf"), loaded), Outcome::Done);
}

// The bytes in another encoding, by the C library's own tables; empty when
// one of its characters has no form there. Opening a converter reads the
// library's tables: each is opened once.
std::string Iconv(std::string_view bytes, const char* from, const char* to)
{
    static std::map<std::pair<std::string, std::string>, std::unique_ptr<test::Iconv>> converters;
    std::unique_ptr<test::Iconv>& converter = converters[{from, to}];
    if (!converter) converter = std::make_unique<test::Iconv>(to, from);
    if (converter->handle == reinterpret_cast<iconv_t>(-1)) return {};
    return test::Convert(*converter, bytes).value_or(std::string());
}

// Full-width katakana in Shift_JIS to the half-width reading a feature phone
// writes, by widening every half-width kana (and sound mark pair) backwards.
std::string HalfWidthReading(std::string_view fullWidth)
{
    static const std::map<std::string, std::string> kHalfOf = [] {
        std::map<std::string, std::string> halfOf;
        for (int kana = 0xA6; kana <= 0xDD; ++kana) {
            for (const std::string mark : {"", "\xDE", "\xDF"}) {
                const std::string half = std::string(1, static_cast<char>(kana)) + mark;
                std::string full;
                AppendWidenedKatakana(half, full);
                if (full.size() == 2) halfOf.try_emplace(full, half);
            }
        }
        halfOf["\x81\x5B"] = "\xB0";  // the long vowel mark
        return halfOf;
    }();
    std::string half;
    for (std::size_t pos = 0; pos + 1 < fullWidth.size(); pos += 2) {
        const auto found = kHalfOf.find(std::string(fullWidth.substr(pos, 2)));
        if (found == kHalfOf.end()) return {};
        half += found->second;
    }
    return half;
}

// Every person and place name of a Japanese dictionary (Debian's
// mecab-ipadic, in EUC-JP), written as a one-card book the way phones share
// a contact: in Shift_JIS with its half-width reading, with and without
// CHARSET, it is read as Shift_JIS; in EUC-JP, ISO-2022-JP and UTF-8 each is
// read as what it is, and gives the Shift_JIS text.
TEST(LoadInputText, EveryNameOfADictionaryIsReadAsWhatItIsWrittenIn)
{
    const auto card = [](std::string_view label, std::string_view name, std::string_view reading) {
        return "BEGIN:VCARD\r\nVERSION:2.1\r\nN" + std::string(label) + ":" + std::string(name) +
               ";;;;\r\nSOUND;X-IRMC-N" + std::string(label) + ":" + std::string(reading) + ";;;;\r\nEND:VCARD\r\n";
    };
    std::map<std::string, int> misread;  // by the encoding written in
    std::map<std::string, std::string> example;
    const auto expect = [&](const std::string& form, const std::string& bytes, SourceEncoding encoding,
                            const std::string& text) {
        LoadedText loaded;
        const bool read = LoadInputBytes(std::string(bytes), loaded) == Outcome::Done && loaded.encoding == encoding &&
                          loaded.linesReadOtherwise.empty() && loaded.text == text;
        if (!read && misread[form]++ == 0) example[form] = bytes;
    };
    int names = 0;
    for (const char* file : {"Noun.name.csv", "Noun.place.csv"}) {
        std::ifstream csv(std::string("/usr/share/mecab/dic/ipadic/") + file, std::ios::binary);
        ASSERT_TRUE(csv) << "Debian's mecab-ipadic is needed: apt-get install mecab-ipadic";
        for (std::string row; std::getline(csv, row);) {
            std::vector<std::string> fields;
            for (std::size_t start = 0, comma = 0; comma != std::string::npos; start = comma + 1) {
                comma = row.find(',', start);
                fields.push_back(row.substr(start, comma - start));
            }
            if (fields.size() < 12) continue;
            const std::string name = Iconv(fields[0], "EUC-JP", "CP932");
            const std::string fullReading = Iconv(fields[11], "EUC-JP", "CP932");
            const std::string reading = HalfWidthReading(fullReading);
            if (name.empty() || reading.empty()) continue;
            ++names;
            const std::string shiftJis = card("", name, reading);
            expect("Shift_JIS", shiftJis, SourceEncoding::ShiftJis, shiftJis);
            const std::string labelled = card(";CHARSET=SHIFT_JIS", name, reading);
            expect("Shift_JIS with CHARSET", labelled, SourceEncoding::ShiftJis, labelled);
            expect("EUC-JP", Iconv(shiftJis, "CP932", "EUC-JP"), SourceEncoding::EucJp, shiftJis);
            const std::string fullWidth = card("", name, fullReading);
            expect("ISO-2022-JP", Iconv(fullWidth, "CP932", "ISO-2022-JP"), SourceEncoding::Iso2022Jp, fullWidth);
            const std::string utf8 = Iconv(shiftJis, "CP932", "UTF-8");
            expect("UTF-8", utf8, SourceEncoding::Utf8WithoutMark, utf8);
        }
    }
    EXPECT_GT(names, 50000);
    for (const auto& [form, count] : misread) {
        ADD_FAILURE() << count << " of " << names << " names in " << form << " misread, as " << example[form];
    }
}
#endif

} // namespace
} // namespace karuto
