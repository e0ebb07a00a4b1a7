#include "decode/katakana.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shift_jis.h"
#include "platform/unicode.h"
#include "tests/test_support.h"

namespace karuto {
namespace {

using namespace std::string_view_literals;

// Test names from the cases' own names.
template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case>& caseInfo)
{
    return caseInfo.param.name;
}

// Widens a heap copy of exactly the input's size, so that a read past the end
// trips the address sanitizer.
std::string Widen(std::string_view bytes)
{
    const std::vector<char> exact(bytes.begin(), bytes.end());
    std::string widened;
    AppendWidenedKatakana(std::string_view(exact.data(), exact.size()), widened);
    return widened;
}

// The Shift_JIS bytes of a Unicode text: the expectations below are written as
// the characters a reader sees and converted independently of the tables under test.
std::string Sjis(std::u16string_view text)
{
    return WideToAnsi(text);
}

// Every full-width form, in the order of the half-width block 0xA1-0xDF.
constexpr std::u16string_view kFullWidthForms =
    u"。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテト"
    u"ナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン゛゜";

TEST(WideningTable, CoversTheHalfWidthBlockInOrder)
{
    ASSERT_EQ(kFullWidthForms.size(), 63u);
    for (std::size_t i = 0; i < HalfWidthKana.size(); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(HalfWidthKana[i]), 0xA1 + i) << "entry " << i;
    }
}

TEST(WideningTable, FullWidthFormsAreTheUsualCorrespondence)
{
    for (std::size_t i = 0; i < FullWidthKana.size(); ++i) {
        const std::string expected = Sjis(kFullWidthForms.substr(i, 1));
        ASSERT_EQ(expected.size(), 2u) << "entry " << i;
        const std::string actual{static_cast<char>(FullWidthKana[i] >> 8),
                                 static_cast<char>(FullWidthKana[i] & 0xFF)};
        EXPECT_EQ(actual, expected) << "entry " << i;
    }
}

// Each byte of the block is the half-width character U+FF61 + i of Unicode, so
// the table above really pairs each half-width character with its own full-width form.
TEST(WideningTable, HalfWidthBytesAreTheUnicodeHalfWidthBlock)
{
    for (std::size_t i = 0; i < HalfWidthKana.size(); ++i) {
        const char byte = static_cast<char>(HalfWidthKana[i]);
        EXPECT_EQ(AnsiToWide(std::string_view(&byte, 1)),
                  std::u16string(1, static_cast<char16_t>(0xFF61 + i)))
            << "entry " << i;
    }
}

TEST(WidenKatakana, WidensEachHalfWidthCharacterOnItsOwn)
{
    for (unsigned byte = 0xA1; byte <= 0xDF; ++byte) {
        const std::string input(1, static_cast<char>(byte));
        EXPECT_EQ(Widen(input), Sjis(kFullWidthForms.substr(byte - 0xA1, 1)))
            << "byte " << std::hex << byte;
    }
}

// In block order no sound mark follows a base (ﾞ follows ﾝ), so nothing merges.
TEST(WidenKatakana, WidensTheWholeBlockInOneText)
{
    std::string block;
    for (unsigned byte = 0xA1; byte <= 0xDF; ++byte) block.push_back(static_cast<char>(byte));
    EXPECT_EQ(Widen(block), Sjis(kFullWidthForms));
}

struct WideningCase {
    const char* name;
    std::string_view input;
    std::string_view expected;
};

// Failure messages name the case instead of dumping its bytes.
void PrintTo(const WideningCase& c, std::ostream* out) { *out << c.name; }

class WidenKatakanaCases : public testing::TestWithParam<WideningCase> {};

TEST_P(WidenKatakanaCases, GivesExpectedBytes)
{
    EXPECT_EQ(Widen(GetParam().input), GetParam().expected);
}

// Bytes are spelt out so that the classification of every byte is visible.
INSTANTIATE_TEST_SUITE_P(
    Bytes, WidenKatakanaCases,
    testing::Values(
        WideningCase{"Empty", ""sv, ""sv},
        WideningCase{"Vowels", "\xB1\xB2\xB3"sv /* ｱｲｳ */, "\x83\x41\x83\x43\x83\x45"sv /* アイウ */},
        WideningCase{"Denwa", "\xC3\xDE\xDD\xDC"sv /* ﾃﾞﾝﾜ */,
                     "\x83\x66\x83\x93\x83\x8F"sv /* デンワ */},
        WideningCase{"Punctuation", "\xA1\xA2\xA3\xA4\xA5"sv /* ｡｢｣､･ */,
                     "\x81\x42\x81\x75\x81\x76\x81\x41\x81\x45"sv /* 。「」、・ */},
        WideningCase{"LongVowelMark", "\xB0"sv /* ｰ */, "\x81\x5B"sv /* ー */},
        WideningCase{"HalfWidthVoicedPair", "\xB6\xDE"sv /* ｶﾞ */, "\x83\x4B"sv /* ガ */},
        WideningCase{"HalfWidthVoicedHa", "\xCA\xDE"sv /* ﾊﾞ */, "\x83\x6F"sv /* バ */},
        WideningCase{"HalfWidthSemiVoicedHa", "\xCA\xDF"sv /* ﾊﾟ */, "\x83\x70"sv /* パ */},
        WideningCase{"HalfWidthVu", "\xB3\xDE"sv /* ｳﾞ */, "\x83\x94"sv /* ヴ */},
        WideningCase{"ThreeVoicedPairs", "\xB6\xDE\xB7\xDE\xB8\xDE"sv /* ｶﾞｷﾞｸﾞ */,
                     "\x83\x4B\x83\x4D\x83\x4F"sv /* ガギグ */},
        WideningCase{"WaIsNoBase", "\xDC\xDE"sv /* ﾜﾞ */, "\x83\x8F\x81\x4A"sv /* ワ゛ */},
        WideningCase{"AIsNoBase", "\xB1\xDE"sv /* ｱﾞ */, "\x83\x41\x81\x4A"sv /* ア゛ */},
        WideningCase{"LoneMark", "\xDE"sv /* ﾞ */, "\x81\x4A"sv /* ゛ */},
        WideningCase{"MarkAtStart", "\xDF\xB6"sv /* ﾟｶ */, "\x81\x4B\x83\x4A"sv /* ゜カ */},
        WideningCase{"SecondVoicedMarkStays", "\xB6\xDE\xDE"sv /* ｶﾞﾞ */,
                     "\x83\x4B\x81\x4A"sv /* ガ゛ */},
        WideningCase{"SemiVoicedMarkAfterMergedPairStays", "\xCA\xDE\xDF"sv /* ﾊﾞﾟ */,
                     "\x83\x6F\x81\x4B"sv /* バ゜ */},
        WideningCase{"FullWidthVoicedPair", "\x83\x4A\x81\x4A"sv /* カ゛ */, "\x83\x4B"sv /* ガ */},
        WideningCase{"FullWidthSemiVoicedPair", "\x83\x6E\x81\x4B"sv /* ハ゜ */,
                     "\x83\x70"sv /* パ */},
        WideningCase{"UHasNoSemiVoicedForm", "\x83\x45\x81\x4B"sv /* ウ゜ */,
                     "\x83\x45\x81\x4B"sv /* ウ゜ */},
        WideningCase{"HiraganaIsNoBase", "\x82\xA9\x81\x4A"sv /* か゛ */,
                     "\x82\xA9\x81\x4A"sv /* か゛ */},
        WideningCase{"FullWidthBaseHalfWidthMark", "\x83\x4A\xDE"sv /* カﾞ */,
                     "\x83\x4B"sv /* ガ */},
        WideningCase{"HalfWidthBaseFullWidthMark", "\xB6\x81\x4A"sv /* ｶ゛ */,
                     "\x83\x4B"sv /* ガ */},
        WideningCase{"BaseAtEndIsWidened", "\xB6"sv /* ｶ */, "\x83\x4A"sv /* カ */},
        WideningCase{"FullWidthBaseAtEnd", "\x83\x4A"sv /* カ */, "\x83\x4A"sv /* カ */},
        // Γ: its second byte lies in the half-width block but belongs to Γ.
        WideningCase{"GammaUnchanged", "\x83\xA1"sv /* Γ */, "\x83\xA1"sv /* Γ */},
        WideningCase{"TrailByteLikeMarkUnchanged", "\x83\xDE\x83\xDF"sv, "\x83\xDE\x83\xDF"sv},
        // A lead byte takes the next byte whatever it is, here a half-width ｶ.
        WideningCase{"LeadByteSwallowsHalfWidthKana", "\x81\xB6\xDE"sv /* ?ﾞ */,
                     "\x81\xB6\x81\x4A"sv /* ?゛ */},
        WideningCase{"LeadByteSwallowsAscii", "\x81" "a" "\xB6"sv /* ?ｶ */,
                     "\x81" "a" "\x83\x4A"sv /* ?カ */},
        // ャ then "J" then ゛: read out of step, "\x83\x4A" would look like カ.
        WideningCase{"MarkAfterOutOfStepLookalike", "\x83\x83\x4A\x81\x4A"sv /* ャJ゛ */,
                     "\x83\x83\x4A\x81\x4A"sv /* ャJ゛ */},
        WideningCase{"LoneLeadByteAtEnd", "a\x83"sv, "a\x83"sv},
        WideningCase{"OnlyALoneLeadByte", "\xFC"sv, "\xFC"sv},
        // A lone 0x81 at the end is not the first half of a mark.
        WideningCase{"BaseThenLoneMarkLeadByte", "\xB6\x81"sv /* ｶ? */,
                     "\x83\x4A\x81"sv /* カ? */},
        WideningCase{"KatakanaThenAscii", "\xB6" "J"sv /* ｶJ */, "\x83\x4A" "J"sv /* カJ */},
        WideningCase{"SingleByteOutsideBlockUnchanged", "\x80\xA0\xFD\xFE\xFF"sv,
                     "\x80\xA0\xFD\xFE\xFF"sv},
        WideningCase{"NonLeadHighByteBeforeKana", "\xFD\xB6"sv /* ?ｶ */,
                     "\xFD\x83\x4A"sv /* ?カ */},
        WideningCase{"AsciiUnchanged", "Hello, World! ~{|}\t\r\n0123 ABC xyz"sv,
                     "Hello, World! ~{|}\t\r\n0123 ABC xyz"sv}),
    CaseName<WideningCase>);

TEST(WidenKatakana, AllAsciiBytesComeBackUnchanged)
{
    std::string ascii;
    for (int byte = 1; byte < 0x80; ++byte) ascii.push_back(static_cast<char>(byte));
    EXPECT_EQ(Widen(ascii), ascii);
}

// Every katakana followed by each full-width mark, in every spelling of the pair.
struct SoundMarkCase {
    std::u16string_view halfWidthBase;  // empty when the base has no half-width form
    std::u16string_view fullWidthBase;
    std::u16string_view voiced;         // empty when the voiced mark does not merge
    std::u16string_view semiVoiced;     // empty when the semi-voiced mark does not merge
};

constexpr SoundMarkCase kSoundMarkCases[] = {
    {u"ｳ", u"ウ", u"ヴ", u""},  {u"ｶ", u"カ", u"ガ", u""},  {u"ｷ", u"キ", u"ギ", u""},
    {u"ｸ", u"ク", u"グ", u""},  {u"ｹ", u"ケ", u"ゲ", u""},  {u"ｺ", u"コ", u"ゴ", u""},
    {u"ｻ", u"サ", u"ザ", u""},  {u"ｼ", u"シ", u"ジ", u""},  {u"ｽ", u"ス", u"ズ", u""},
    {u"ｾ", u"セ", u"ゼ", u""},  {u"ｿ", u"ソ", u"ゾ", u""},  {u"ﾀ", u"タ", u"ダ", u""},
    {u"ﾁ", u"チ", u"ヂ", u""},  {u"ﾂ", u"ツ", u"ヅ", u""},  {u"ﾃ", u"テ", u"デ", u""},
    {u"ﾄ", u"ト", u"ド", u""},  {u"ﾊ", u"ハ", u"バ", u"パ"}, {u"ﾋ", u"ヒ", u"ビ", u"ピ"},
    {u"ﾌ", u"フ", u"ブ", u"プ"}, {u"ﾍ", u"ヘ", u"ベ", u"ペ"}, {u"ﾎ", u"ホ", u"ボ", u"ポ"},
    // Katakana that never merge.
    {u"ｱ", u"ア", u"", u""},    {u"ｲ", u"イ", u"", u""},    {u"ｴ", u"エ", u"", u""},
    {u"ｵ", u"オ", u"", u""},    {u"ﾅ", u"ナ", u"", u""},    {u"ﾏ", u"マ", u"", u""},
    {u"ﾔ", u"ヤ", u"", u""},    {u"ﾗ", u"ラ", u"", u""},    {u"ﾜ", u"ワ", u"", u""},
    {u"ｦ", u"ヲ", u"", u""},    {u"ﾝ", u"ン", u"", u""},    {u"ｯ", u"ッ", u"", u""},
    {u"", u"ヰ", u"", u""},     {u"", u"ヱ", u"", u""},     {u"", u"ガ", u"", u""},
    {u"", u"パ", u"", u""},     {u"", u"ヴ", u"", u""},     {u"", u"ヵ", u"", u""},
    // Hiragana never merge either.
    {u"", u"う", u"", u""},     {u"", u"か", u"", u""},     {u"", u"は", u"", u""},
};

void ExpectMerge(std::u16string_view base, std::u16string_view mark,
                 std::u16string_view merged)
{
    std::u16string input(base);
    input += mark;
    const std::u16string expected = merged.empty() ? input : std::u16string(merged);
    // What stays unmerged is still widened: half-width U+FF61 + i becomes entry i.
    std::u16string widenedExpected = expected;
    for (char16_t& unit : widenedExpected) {
        if (unit >= 0xFF61 && unit <= 0xFF9F) unit = kFullWidthForms[unit - 0xFF61];
    }
    EXPECT_EQ(Widen(Sjis(input)), Sjis(widenedExpected));
}

TEST(WidenKatakana, MergesExactlyTheVoicedAndSemiVoicedBases)
{
    for (const SoundMarkCase& c : kSoundMarkCases) {
        SCOPED_TRACE("base " + WideToUtf8(c.fullWidthBase));
        for (std::u16string_view voicedMark : {u"゛", u"ﾞ"}) {
            ExpectMerge(c.fullWidthBase, voicedMark, c.voiced);
            if (!c.halfWidthBase.empty()) ExpectMerge(c.halfWidthBase, voicedMark, c.voiced);
        }
        for (std::u16string_view semiVoicedMark : {u"゜", u"ﾟ"}) {
            ExpectMerge(c.fullWidthBase, semiVoicedMark, c.semiVoiced);
            if (!c.halfWidthBase.empty()) {
                ExpectMerge(c.halfWidthBase, semiVoicedMark, c.semiVoiced);
            }
        }
    }
}

// The widening as two plain passes over a list of characters: each widened
// on its own, then each two-byte one merged with a sound mark right after it,
// as the table above says. Here a lead byte takes whatever byte follows it;
// the widening, where it takes only a trail byte, must give the same text.
std::string WidenByModel(std::string_view text)
{
    std::vector<std::string> characters;
    for (std::size_t pos = 0; pos < text.size();) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        std::size_t width = IsAnsiLeadByte(byte) && pos + 1 < text.size() ? 2 : 1;
        if (byte >= 0xA1 && byte <= 0xDF) {
            characters.push_back(Sjis(kFullWidthForms.substr(byte - 0xA1, 1)));
        } else {
            characters.emplace_back(text.substr(pos, width));
        }
        pos += width;
    }
    std::map<std::string, std::string> merges;
    for (const SoundMarkCase& c : kSoundMarkCases) {
        if (!c.voiced.empty()) merges[Sjis(c.fullWidthBase) + Sjis(u"゛")] = Sjis(c.voiced);
        if (!c.semiVoiced.empty()) merges[Sjis(c.fullWidthBase) + Sjis(u"゜")] = Sjis(c.semiVoiced);
    }
    std::string widened;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const auto merged = i + 1 < characters.size() && characters[i].size() == 2
                                ? merges.find(characters[i] + characters[i + 1])
                                : merges.end();
        if (merged != merges.end()) {
            widened += merged->second;
            ++i;
        } else {
            widened += characters[i];
        }
    }
    return widened;
}

TEST(WidenKatakana, AgreesWithTheModelOnRandomTexts)
{
    // Bases and marks of both widths, a lead byte that may pair with a mark's
    // byte, and bytes that are no character's start.
    const std::string_view pieces[] = {"a", "\xB6", "\xCA", "\xDE", "\xDF", "\xB3", "\x83\x4A",
                                       "\x81\x4A", "\x81\x4B", "\x83\x6E", "\x81", "\x83",
                                       "\x80", "\xA0", "\xFD", "\x4A", "\x96\xDE"};
    test::PieceTexts texts{pieces, 9};
    for (int round = 0; round < 200000; ++round) {
        const std::string text = texts.Next();
        ASSERT_EQ(Widen(text), WidenByModel(text)) << testing::PrintToString(text);
    }
}

TEST(AppendChar, AppendsOneByteCharacter)
{
    const std::vector<char> src{'a', '\xB6', 'b'};
    OwnedString dst = "x";
    EXPECT_EQ(AppendChar(dst, std::string_view(src.data(), src.size()), 1), 1u);
    EXPECT_EQ(dst, "x\xB6");
}

TEST(AppendChar, AppendsBothBytesOfTwoByteCharacter)
{
    const std::vector<char> src{'a', '\x83', '\xA1', 'b'};  // a Γ b
    OwnedString dst;
    EXPECT_EQ(AppendChar(dst, std::string_view(src.data(), src.size()), 1), 2u);
    EXPECT_EQ(dst, "\x83\xA1");
}

TEST(AppendChar, LeadByteAtEndStandsAlone)
{
    const std::vector<char> src{'a', '\x83'};
    OwnedString dst = "x";
    EXPECT_EQ(AppendChar(dst, std::string_view(src.data(), src.size()), 1), 1u);
    EXPECT_EQ(dst, "x\x83");
}

TEST(AppendChar, NothingAtOrPastTheEnd)
{
    const std::vector<char> src{'a'};
    OwnedString dst = "x";
    EXPECT_EQ(AppendChar(dst, std::string_view(src.data(), src.size()), 1), 0u);
    EXPECT_EQ(dst, "x");
}

} // namespace
} // namespace karuto
