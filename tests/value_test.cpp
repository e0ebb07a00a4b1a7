#include "decode/value.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace karuto {
namespace {

using namespace std::string_view_literals;

// Test names from the cases' own names.
template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case>& caseInfo)
{
    return caseInfo.param.name;
}

// Heap copies of exactly the input's size, so that a read past the end trips the
// address sanitizer.
std::vector<char> Exact(std::string_view bytes)
{
    return std::vector<char>(bytes.begin(), bytes.end());
}

std::string_view View(const std::vector<char>& bytes)
{
    return std::string_view(bytes.data(), bytes.size());
}

std::string Decode(ValueEncoding encoding, std::string_view value, Charset charset,
                   bool widenKana)
{
    const std::vector<char> exact = Exact(value);
    OwnedString text;
    AppendDecodedValue({encoding, charset, charset, widenKana}, View(exact), text);
    return text;
}

std::string DecodeQp(std::string_view text)
{
    const std::vector<char> exact = Exact(text);
    return DecodeQuotedPrintable(View(exact));
}

// Including numbers outside the named values, which behave like the plain ones.
constexpr ValueEncoding kAllEncodings[] = {EncodingNone, EncodingBase64, EncodingQuotedPrintable,
                                           static_cast<ValueEncoding>(3),
                                           static_cast<ValueEncoding>(-1)};
constexpr Charset kAllCharsets[] = {CharsetNone, CharsetShiftJis, CharsetUtf8,
                                    static_cast<Charset>(3), static_cast<Charset>(-1)};

TEST(AppendDecodedValue, EmptyValueStaysEmptyForEveryCombination)
{
    for (ValueEncoding encoding : kAllEncodings) {
        for (Charset charset : kAllCharsets) {
            for (bool widenKana : {false, true}) {
                EXPECT_EQ(Decode(encoding, ""sv, charset, widenKana), "")
                    << "encoding " << encoding << ", charset " << charset << ", widen "
                    << widenKana;
            }
        }
    }
}

struct DecodeCase {
    const char* name;
    ValueEncoding encoding;
    std::string_view value;
    Charset charset;
    bool widenKana;
    std::string_view expected;
};

// Failure messages name the case instead of dumping its bytes.
void PrintTo(const DecodeCase& c, std::ostream* out) { *out << c.name; }

class AppendDecodedValueCases : public testing::TestWithParam<DecodeCase> {};

TEST_P(AppendDecodedValueCases, GivesExpectedBytes)
{
    const DecodeCase& c = GetParam();
    EXPECT_EQ(Decode(c.encoding, c.value, c.charset, c.widenKana), c.expected);
}

constexpr ValueEncoding kQp = EncodingQuotedPrintable;

INSTANTIATE_TEST_SUITE_P(
    Stages, AppendDecodedValueCases,
    testing::Values(
        DecodeCase{"QpEscapes", kQp, "=41=42C"sv, CharsetNone, false, "ABC"sv},
        DecodeCase{"QpLowerCaseHex", kQp, "a=3db"sv, CharsetNone, false, "a=b"sv},
        DecodeCase{"QpMixedCaseHex", kQp, "a=3Db"sv, CharsetNone, false, "a=b"sv},
        DecodeCase{"QpUtf8", kQp, "=E3=82=AB"sv /* カ */, CharsetUtf8, false,
                   "\x83\x4A"sv /* カ */},
        DecodeCase{"QpUtf8LowerCase", kQp, "=e3=82=ab"sv /* カ */, CharsetUtf8, false,
                   "\x83\x4A"sv /* カ */},
        DecodeCase{"QpCrLfGetsSpace", kQp, "A=0D=0AB"sv, CharsetNone, false, "A\r\n B"sv},
        // Every line break becomes CR LF and a space, so no output line ends
        // in a bare LF or CR.
        DecodeCase{"QpLfGetsCrAndSpace", kQp, "A=0AB"sv, CharsetNone, false, "A\r\n B"sv},
        DecodeCase{"QpLfAtEndGetsCrAndSpace", kQp, "A=0A"sv, CharsetNone, false, "A\r\n "sv},
        DecodeCase{"QpAdjacentLineFeeds", kQp, "=0A=0A"sv, CharsetNone, false, "\r\n \r\n "sv},
        DecodeCase{"QpLineBreaksAtBothEnds", kQp, "=0D=0AAB=0D=0A"sv, CharsetNone, false, "\r\n AB\r\n "sv},
        DecodeCase{"QpRawLineFeedGetsCrAndSpace", kQp, "A\nB"sv, CharsetNone, false, "A\r\n B"sv},
        DecodeCase{"QpCrGetsLfAndSpace", kQp, "A=0DB"sv, CharsetNone, false, "A\r\n B"sv},
        DecodeCase{"QpCrAtEnd", kQp, "A=0D"sv, CharsetNone, false, "A\r\n "sv},
        DecodeCase{"QpLfCrIsTwoBreaks", kQp, "A=0A=0DB"sv, CharsetNone, false, "A\r\n \r\n B"sv},
        DecodeCase{"QpCrCrLf", kQp, "=0D=0D=0A"sv, CharsetNone, false, "\r\n \r\n "sv},
        DecodeCase{"QpUtf8LoneLf", kQp, "=E3=81=82=0A=E3=81=82"sv /* あ LF あ */, CharsetUtf8,
                   false, "\x82\xA0\r\n \x82\xA0"sv},
        DecodeCase{"QpUtf8LineBreak", kQp, "=E3=81=82=0D=0A=E3=81=82"sv /* あ CR LF あ */,
                   CharsetUtf8, false, "\x82\xA0\r\n \x82\xA0"sv /* あ CR LF space あ */},
        DecodeCase{"QpDecodedNulEndsValue", kQp, "a=00b"sv, CharsetNone, false, "a"sv},
        DecodeCase{"QpDecodedNulAtStart", kQp, "=00abc"sv, CharsetUtf8, true, ""sv},
        DecodeCase{"QpKeepsBytesAboveAscii", kQp, "\xB6\xDE \t=41"sv /* ｶﾞ space tab =41 */,
                   CharsetShiftJis, false, "\xB6\xDE \tA"sv /* ｶﾞ space tab A */},
        DecodeCase{"QpShiftJisEscapes", kQp, "=83=4A"sv /* カ */, CharsetShiftJis, false,
                   "\x83\x4A"sv /* カ */},
        // Line unfolding leaves CR LF and a blank in a folded value: no extra space.
        DecodeCase{"PlainFoldKeptAsIs", EncodingNone, "A\r\n B"sv, CharsetNone, false,
                   "A\r\n B"sv},
        DecodeCase{"PlainLineFeedKeptAsIs", EncodingNone, "A\nB"sv, CharsetUtf8, true, "A\nB"sv},
        DecodeCase{"PlainEscapeNotDecoded", EncodingNone, "=41"sv, CharsetNone, false, "=41"sv},
        DecodeCase{"OtherEncodingIsPlain", static_cast<ValueEncoding>(3), "=41\n"sv, CharsetNone,
                   false, "=41\n"sv},
        DecodeCase{"Base64Unchanged", EncodingBase64, "SGVsbG8sIOOCqw=="sv, CharsetUtf8, true,
                   "SGVsbG8sIOOCqw=="sv},
        DecodeCase{"Base64FoldKeptAsIs", EncodingBase64, "QUJD\r\n REVG"sv, CharsetNone, false,
                   "QUJD\r\n REVG"sv},
        DecodeCase{"PlainUtf8IsConverted", EncodingNone, "A\xE3\x81\x82\xE3\x82\xAB" "z"sv /* Aあカz */,
                   CharsetUtf8, false, "A\x82\xA0\x83\x4A" "z"sv /* Aあカz */},
        DecodeCase{"Utf8HangulBecomesSpace", EncodingNone, "a\xED\x95\x9C" "b"sv /* a한b */,
                   CharsetUtf8, false, "a b"sv},
        DecodeCase{"Utf8HangulBetweenKana", kQp, "=E3=82=AB=ED=95=9C=E3=82=AB"sv /* カ한カ */,
                   CharsetUtf8, false, "\x83\x4A \x83\x4A"sv /* カ space カ */},
        DecodeCase{"Utf8BeyondBmpBecomesOneSpace", EncodingNone,
                   "a\xF0\x9F\x98\x80" "b"sv /* a😀b */, CharsetUtf8, false, "a b"sv},
        DecodeCase{"Utf8InvalidByteBecomesSpace", EncodingNone, "a\xFF" "b"sv, CharsetUtf8,
                   false, "a b"sv},
        DecodeCase{"Utf8TruncatedSequenceBecomesSpace", EncodingNone, "a\xE3\x82" "b"sv,
                   CharsetUtf8, false, "a b"sv},
        DecodeCase{"Utf8TruncatedSequenceAtEnd", kQp, "a=E3=82"sv, CharsetUtf8, false, "a "sv},
        DecodeCase{"Utf8LoneContinuationByte", EncodingNone, "\x80" "x"sv, CharsetUtf8, false,
                   " x"sv},
        DecodeCase{"ShiftJisBytesUntouched", EncodingNone, "\xE3\x82\xAB\xFF\x80\x83"sv,
                   CharsetShiftJis, false, "\xE3\x82\xAB\xFF\x80\x83"sv},
        DecodeCase{"NoCharsetBytesUntouched", EncodingNone, "\xE3\x82\xAB\xFF\x80\x83"sv,
                   CharsetNone, false, "\xE3\x82\xAB\xFF\x80\x83"sv},
        DecodeCase{"OtherCharsetBytesUntouched", EncodingNone, "\xE3\x82\xAB\xFF"sv,
                   static_cast<Charset>(99), false, "\xE3\x82\xAB\xFF"sv},
        DecodeCase{"Latin1ToClosestForms", EncodingQuotedPrintable, "M=FCller \xA5"sv, CharsetLatin1, false,
                   "Muller \x81\x8F"sv},
        DecodeCase{"EucJpForARefusedName", EncodingNone, "\xBB\xB3\xC5\xC4"sv, CharsetEucJp, false,
                   "\x8E\x52\x93\x63"sv},
        DecodeCase{"Iso2022JpForARefusedName", EncodingQuotedPrintable, "=1B$B;3ED=1B(B"sv, CharsetIso2022Jp,
                   false, "\x8E\x52\x93\x63"sv},
        DecodeCase{"WidenHalfWidthPair", EncodingNone, "\xB6\xDE"sv /* ｶﾞ */, CharsetShiftJis,
                   true, "\x83\x4B"sv /* ガ */},
        DecodeCase{"NoWideningWhenNotAsked", EncodingNone, "\xB6\xDE"sv /* ｶﾞ */,
                   CharsetShiftJis, false, "\xB6\xDE"sv /* ｶﾞ */},
        // Every stage in turn: QP, UTF-8 to ｶﾞ, CR LF and a space for the line feed, widening.
        DecodeCase{"AllStages", kQp, "=EF=BD=B6=EF=BE=9E=0A=EF=BE=8A=EF=BE=9F"sv /* ｶﾞ LF ﾊﾟ */,
                   CharsetUtf8, true, "\x83\x4B\r\n \x83\x70"sv /* ガ CR LF space パ */},
        DecodeCase{"Utf8HalfWidthNotWidened", kQp, "=EF=BD=B6=EF=BE=9E"sv /* ｶﾞ */, CharsetUtf8,
                   false, "\xB6\xDE"sv /* ｶﾞ */},
        // A line break between a base and a mark keeps them apart.
        DecodeCase{"MarkAfterLineBreakNotMerged", kQp, "\xB6=0A\xDE"sv /* ｶ LF ﾞ */,
                   CharsetShiftJis, true, "\x83\x4A\r\n \x81\x4A"sv /* カ CR LF space ゛ */}),
    CaseName<DecodeCase>);

struct QpCase {
    const char* name;
    std::string_view input;
    std::string_view expected;
};

// Failure messages name the case instead of dumping its bytes.
void PrintTo(const QpCase& c, std::ostream* out) { *out << c.name; }

class QuotedPrintableCases : public testing::TestWithParam<QpCase> {};

TEST_P(QuotedPrintableCases, GivesExpectedBytes)
{
    EXPECT_EQ(DecodeQp(GetParam().input), GetParam().expected);
}

// A malformed escape keeps its "=" and the scan goes on right after it.
INSTANTIATE_TEST_SUITE_P(
    Escapes, QuotedPrintableCases,
    testing::Values(QpCase{"Empty", ""sv, ""sv},
                    QpCase{"EqualsAlone", "="sv, "="sv},
                    QpCase{"OneDigitAtEnd", "=4"sv, "=4"sv},
                    QpCase{"ZeroDigitAtEnd", "=0"sv, "=0"sv},
                    QpCase{"EqualsAtEnd", "a="sv, "a="sv},
                    QpCase{"OneDigitAfterText", "ab=3"sv, "ab=3"sv},
                    QpCase{"FirstNotHex", "=G1"sv, "=G1"sv},
                    QpCase{"SecondNotHex", "=4G"sv, "=4G"sv},
                    QpCase{"SpaceInsideEscape", "= 41"sv, "= 41"sv},
                    QpCase{"SignInsideEscape", "=+4x"sv, "=+4x"sv},
                    QpCase{"DoubleEquals", "==41"sv, "=A"sv},
                    QpCase{"MalformedThenValid", "=x=41"sv, "=xA"sv},
                    QpCase{"MalformedBeforeZeroEscape", "=Z=00b"sv, "=Z"sv},
                    QpCase{"DecodedEqualsNotRescanned", "=3D41"sv, "=41"sv},
                    QpCase{"HighByte", "=FF=80=a1"sv, "\xFF\x80\xA1"sv},
                    QpCase{"EqualsBeforeKana", "=\xB6\xDE"sv /* =ｶﾞ */, "=\xB6\xDE"sv},
                    QpCase{"TrailingBlanksKept", "a \t"sv, "a \t"sv},
                    QpCase{"NoSoftLineBreak", "a=\r\nb"sv, "a=\r\nb"sv},
                    QpCase{"CrLf", "=0D=0A"sv, "\r\n"sv},
                    QpCase{"NulEndsResult", "x=00y=41"sv, "x"sv}),
    CaseName<QpCase>);

class QuotedPrintableAsBase64Cases : public testing::TestWithParam<QpCase> {};

TEST_P(QuotedPrintableAsBase64Cases, GivesExpectedBytes)
{
    const std::vector<char> exact = Exact(GetParam().input);
    std::string base64 = "PHOTO:";
    AppendQuotedPrintableAsBase64(View(exact), base64);
    EXPECT_EQ(base64, "PHOTO:" + std::string(GetParam().expected));
}

// RFC 4648's examples, zero bytes, malformed escapes and the fold after 76.
INSTANTIATE_TEST_SUITE_P(
    Bytes, QuotedPrintableAsBase64Cases,
    testing::Values(QpCase{"Empty", ""sv, ""sv},
                    QpCase{"OneByte", "f"sv, "Zg=="sv},
                    QpCase{"TwoBytes", "f=6F"sv, "Zm8="sv},
                    QpCase{"ThreeBytes", "foo"sv, "Zm9v"sv},
                    QpCase{"SixBytes", "foo=62ar"sv, "Zm9vYmFy"sv},
                    QpCase{"ZeroBytesKept", "=00=00=FF=00"sv, "AAD/AA=="sv},
                    QpCase{"MalformedEscapeKept", "=G1"sv, "PUcx"sv},
                    QpCase{"ExactlyOneLine", std::string_view("=00=00=00" "=00=00=00" "=00=00=00"
                                                              "=00=00=00" "=00=00=00" "=00=00=00"
                                                              "=00=00=00" "=00=00=00" "=00=00=00"
                                                              "=00=00=00" "=00=00=00" "=00=00=00"
                                                              "=00=00=00" "=00=00=00" "=00=00=00"
                                                              "=00=00=00" "=00=00=00" "=00=00=00"
                                                              "=00=00=00"),
                           std::string_view("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"
                                            "AAAAAAAAAAAAAAAAAAAAAAAA")},
                    QpCase{"FoldedAfter76",
                           "=00=00=00=00=00=00=00=00=00=00=00=00=00=00=00=00=00=00=00=00"
                           "=00=00=00=00=00=00=00=00=00=00=00=00=00=00=00=00=00=00=00=00"
                           "=00=00=00=00=00=00=00=00=00=00=00=00=00=00=00=00=00=00=FF"sv,
                           "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA"
                           "\r\n AP8="sv}),
    CaseName<QpCase>);

} // namespace
} // namespace karuto
