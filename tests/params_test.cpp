#include "vcard/params.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_support.h"

namespace karuto {
namespace {

TEST(HasParamTest, LooseCaseInsensitiveSubstringOfAnyToken)
{
    EXPECT_TRUE(HasParam("HOME", {"TEL", "type=home"}));
    EXPECT_TRUE(HasParam("home", {"EMAIL", "HOMEPAGE"}));
    EXPECT_TRUE(HasParam("HOME", {"X-HOME-FAX"}));
    EXPECT_FALSE(HasParam("HOME", {}));
    EXPECT_FALSE(HasParam("HOME", {"TEL", "HOM", "OME"}));
    EXPECT_TRUE(HasParam("UTF-8", {"N", "CHARSET=utf-8"}));
    EXPECT_FALSE(HasParam("SHIFT_JIS", {"N", "CHARSET=SJIS"}));
    EXPECT_FALSE(HasParam("SHIFT_JIS", {"N", "CHARSET=Shift-JIS"}));
    // The property name takes part too.
    EXPECT_TRUE(HasParam("WORK", {"X-NETWORK"}));
}

TEST(ContainsNoCaseTest, OnlyAsciiLettersIgnoreCase)
{
    EXPECT_TRUE(ContainsNoCase("quoted-printable", "ENCODING=QUOTED-PRINTABLE"));
    EXPECT_TRUE(ContainsNoCase("", "x"));
    EXPECT_FALSE(ContainsNoCase("x", ""));
    // Full-width Ａ (82 60) and ａ (82 81) are different characters.
    EXPECT_FALSE(ContainsNoCase("\x82\x60", "\x82\x81"));
    // Upper-casing works byte by byte, so "a" inside a two-byte character
    // (83 61, "ャ" has no such byte but 83 61 is "ャ"? no: 83 61 is "ッ"... the
    // byte 0x61 as a second byte) matches "A".
    EXPECT_TRUE(ContainsNoCase("\x83" "A", "\x83" "a"));
    // 0xC1 and 0xE1 (Latin-1 letters) are not touched.
    EXPECT_FALSE(ContainsNoCase("\xC1", "\xE1"));
}

TEST(EqualsNoCaseTest, WholeComparison)
{
    EXPECT_TRUE(EqualsNoCase("begin:vcard", "BEGIN:VCARD"));
    EXPECT_FALSE(EqualsNoCase("BEGIN:VCARD ", "BEGIN:VCARD"));
    EXPECT_FALSE(EqualsNoCase("BEGIN:VCAR", "BEGIN:VCARD"));
}

struct EncodingCase {
    TokenArray tokens;
    ValueEncoding expected;
};

class DetectEncodingTest : public testing::TestWithParam<EncodingCase> {};

TEST_P(DetectEncodingTest, ReadsTheTransferEncodingFromRawTokens)
{
    std::vector<ParamWords> words;
    FindParamWords(GetParam().tokens, words);
    EXPECT_EQ(EncodingOfWords(AnyParamWords(words)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Tokens, DetectEncodingTest,
    testing::Values(
        EncodingCase{{"NOTE", "ENCODING=QUOTED-PRINTABLE"}, EncodingQuotedPrintable},
        EncodingCase{{"NOTE", "QUOTED-PRINTABLE"}, EncodingQuotedPrintable},
        EncodingCase{{"NOTE", "encoding=quoted-printable"}, EncodingQuotedPrintable},
        EncodingCase{{"PHOTO", "ENCODING=BASE64"}, EncodingBase64},
        EncodingCase{{"PHOTO", "BASE64"}, EncodingBase64},
        EncodingCase{{"PHOTO", "encoding=b"}, EncodingBase64},
        EncodingCase{{"PHOTO", "b"}, EncodingBase64},
        EncodingCase{{"PHOTO", "ENCODING = B"}, EncodingBase64},
        EncodingCase{{"PHOTO", "ENCODING\t=\tB"}, EncodingBase64},
        EncodingCase{{"PHOTO", "ENCODING=\tB"}, EncodingBase64},
        EncodingCase{{"X", " e n c o d i n g = b "}, EncodingBase64},
        EncodingCase{{"X", "ENCODING\r=B"}, EncodingNone},
        EncodingCase{{"PHOTO", "ENCODING=BINARY"}, EncodingBase64},
        EncodingCase{{"TEL", "ENCODING=8BIT"}, EncodingNone},
        EncodingCase{{"NOTE", "ENCODING=BASE64;QUOTED-PRINTABLE"}, EncodingQuotedPrintable},
        EncodingCase{{"NOTE", "QUOTED-PRINTABLE", "BASE64"}, EncodingQuotedPrintable},
        EncodingCase{{"NOTE", "BASE64", "QUOTED-PRINTABLE"}, EncodingQuotedPrintable},
        EncodingCase{{"B"}, EncodingBase64},
        EncodingCase{{"X-BASE64-NAME"}, EncodingBase64},
        EncodingCase{{"PHOTO", "BB"}, EncodingNone},
        EncodingCase{{"PHOTO", " B"}, EncodingNone},
        EncodingCase{{"NOTE", "ENCODING=QP"}, EncodingNone},
        EncodingCase{{}, EncodingNone}));

TEST(ContainsEncodingBTest, IgnoresBlanksAndTabsOnly)
{
    EXPECT_TRUE(ContainsEncodingB("x;ENCODING =b64"));
    EXPECT_FALSE(ContainsEncodingB("ENCODING=8BIT"));
}

// The words of a token read in one pass against one question at a time:
// random tokens made of the words' pieces, in both cases, with blanks.
TEST(ParamWordsOfTest, AnswersAsEachQuestionOnItsOwn)
{
    struct Word {
        std::string_view text;
        ParamWord bit;
    };
    const Word words[] = {{"SHIFT_JIS", WordShiftJis}, {"UTF-8", WordUtf8},
                          {"CHARSET", WordCharset},     {"QUOTED-PRINTABLE", WordQuotedPrintable},
                          {"BASE64", WordBase64},       {"ENCODING", WordEncoding},
                          {"WORK", WordWork},           {"HOME", WordHome},
                          {"CELL", WordCell},           {"PCS", WordPcs},
                          {"INTERNET", WordInternet}};
    const std::string_view pieces[] = {"SHIFT_", "JIS", "utf-", "8", "CHAR", "set", "QUOTED-",
                                       "printable", "base", "64", "Encoding", "=", "b", "B",
                                       " ", "\t", "WO", "rk", "home", "CE", "LL", "pcs", "Inter",
                                       "NET", "\x83", "E", ";"};
    test::PieceTexts texts{pieces, 6};
    for (int round = 0; round < 100000; ++round) {
        const std::string token = texts.Next();
        const ParamWords found = ParamWordsOf(token);
        for (const Word& word : words) {
            ASSERT_EQ((found & word.bit) != 0, ContainsNoCase(word.text, token))
                << word.text << " in " << testing::PrintToString(token);
        }
        ASSERT_EQ((found & WordEncodingB) != 0, ContainsEncodingB(token)) << testing::PrintToString(token);
        ASSERT_EQ((found & WordB) != 0, EqualsNoCase(token, "B")) << testing::PrintToString(token);
    }
}

} // namespace
} // namespace karuto
