#include "platform/file_names.h"
#include "platform/shift_jis.h"
#include "platform/unicode.h"
#include "platform/cp932_tables.h"
#include "tests/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace karuto {
namespace {

using namespace std::literals;

// Inputs are copied into buffers of exactly their size: a std::string keeps a
// NUL after its end, which would hide a read past the end from the sanitizers.
// AnsiToWide, checked against the output file's form of the same text, which
// every decoding case so covers too.
std::u16string DecodeAnsi(std::string_view bytes)
{
    const std::vector<char> exact(bytes.begin(), bytes.end());
    const std::u16string wide = AnsiToWide(std::string_view(exact.data(), exact.size()));
    std::string littleEndian = "kept";
    AppendAnsiAsUtf16LeUpTo(std::string_view(exact.data(), exact.size()), exact.size(), littleEndian);
    std::string expected = "kept";
    for (const char16_t unit : wide) {
        expected += static_cast<char>(unit & 0xFF);
        expected += static_cast<char>(unit >> 8);
    }
    EXPECT_EQ(littleEndian, expected) << "the UTF-16LE form differs";
    // And the UTF-8 form, the output for iCloud.com.
    const std::string expectedUtf8 = "kept" + WideToUtf8(wide);
    // Converted in pieces of any length, each starting where the last stopped.
    for (std::size_t piece = 1; piece <= 3; ++piece) {
        std::string pieces = "kept";
        std::string utf8Pieces = "kept";
        for (std::string_view rest(exact.data(), exact.size()); !rest.empty();) {
            rest.remove_prefix(AppendAnsiAsUtf16LeUpTo(rest, piece, pieces));
        }
        for (std::string_view rest(exact.data(), exact.size()); !rest.empty();) {
            rest.remove_prefix(AppendAnsiAsUtf8UpTo(rest, piece, utf8Pieces));
        }
        EXPECT_EQ(pieces, expected) << "converted in pieces of " << piece;
        EXPECT_EQ(utf8Pieces, expectedUtf8) << "converted to UTF-8 in pieces of " << piece;
    }
    return wide;
}

std::string EncodeAnsi(std::u16string_view text)
{
    const std::vector<char16_t> exact(text.begin(), text.end());
    return WideToAnsi(std::u16string_view(exact.data(), exact.size()));
}

std::u16string DecodeUtf8(std::string_view bytes)
{
    const std::vector<char> exact(bytes.begin(), bytes.end());
    return Utf8ToWide(std::string_view(exact.data(), exact.size()));
}

std::string EncodeUtf8(std::u16string_view text)
{
    const std::vector<char16_t> exact(text.begin(), text.end());
    return WideToUtf8(std::u16string_view(exact.data(), exact.size()));
}

std::string Hex(std::string_view bytes)
{
    std::string hex;
    for (const char byte : bytes) {
        char cell[4];
        std::snprintf(cell, sizeof cell, "%02X ", static_cast<unsigned char>(byte));
        hex += cell;
    }
    return hex;
}

std::string TwoBytes(int lead, int trail)
{
    return {static_cast<char>(lead), static_cast<char>(trail)};
}

std::vector<int> LeadBytes()
{
    std::vector<int> leads;
    for (int byte = 0x81; byte <= 0x9F; ++byte)
        leads.push_back(byte);
    for (int byte = 0xE0; byte <= 0xFC; ++byte)
        leads.push_back(byte);
    return leads;
}

const char16_t kHighSurrogate = 0xD83D;
const char16_t kLowSurrogate = 0xDE00;

TEST(IsAnsiLeadByte, HoldsExactlyForTheTwoLeadByteRanges)
{
    const std::vector<int> leads = LeadBytes();
    for (int byte = 0x00; byte <= 0xFF; ++byte) {
        const bool lead = std::find(leads.begin(), leads.end(), byte) != leads.end();
        EXPECT_EQ(IsAnsiLeadByte(static_cast<unsigned char>(byte)), lead)
            << Hex(std::string(1, static_cast<char>(byte)));
    }
}

// ---- Shift_JIS to UTF-16 ----

struct AnsiDecodeCase {
    const char* name;
    std::string_view ansi;
    std::u16string_view wide;
};

const AnsiDecodeCase kAnsiDecodeCases[] = {
    {"empty", ""sv, u""sv},
    {"ascii", "BEGIN:VCARD\r\nN:Doe;John\r\n"sv, u"BEGIN:VCARD\r\nN:Doe;John\r\n"sv},
    {"backslash and tilde stay ASCII", "\x5C\x7E"sv, u"\\~"sv},
    {"katakana a", "\x83\x41"sv, u"\u30A2"sv},
    {"hiragana and kanji", "\x82\xA0\x88\x9F"sv, u"\u3042\u4E9C"sv},
    {"half-width katakana", "\xA1\xB1\xDF"sv, u"\uFF61\uFF71\uFF9F"sv},
    {"bytes outside JIS X 0201", "\x80\xA0\xFD\xFE\xFF"sv, u"\u0080\uF8F0\uF8F1\uF8F2\uF8F3"sv},
    {"81 60 is the fullwidth tilde", "\x81\x60"sv, u"\uFF5E"sv},
    {"NEC special character", "\x87\x54"sv, u"\u2160"sv},
    {"NEC-selected IBM extension", "\xED\x40"sv, u"\u7E8A"sv},
    {"IBM extension", "\xFA\x40"sv, u"\u2170"sv},
    {"user-defined area bounds", "\xF0\x40\xF9\xFC"sv, u"\uE000\uE757"sv},
    {"lead byte as second byte", "\x81\x81" "A"sv, u"\uFF1D" "A"sv},
    {"lead byte at the end", "A\x81"sv, u"A\u30FB"sv},
    {"lead byte alone", "\xE0"sv, u"\u30FB"sv},
    // A lead byte takes no byte that cannot be a trail byte: that byte stays.
    {"second byte below the range", "\x81\x3F" "B"sv, u"\u30FB?B"sv},
    {"lead byte before CR LF", "\x81\r\n"sv, u"\u30FB\r\n"sv},
    {"lead byte before a semicolon", "A\x88;B"sv, u"A\u30FB;B"sv},
    {"second byte 7F", "\x81\x7F" "B"sv, u"\u30FB\u007F" "B"sv},
    {"second byte above the range", "\x9F\xFD" "B"sv, u"\u30FB\uF8F1" "B"sv},
    {"unassigned pair", "\x85\x40" "B"sv, u"\u30FB" "B"sv},
    {"NUL in the middle", "A\0B"sv, u"A\0B"sv},
    {"lead byte before NUL", "\x81\0B"sv, u"\u30FB\0B"sv},
};

TEST(AnsiToWide, DecodesTableCases)
{
    for (const AnsiDecodeCase& c : kAnsiDecodeCases)
        EXPECT_EQ(DecodeAnsi(c.ansi), c.wide) << c.name;
}

TEST(AnsiToWide, AsciiIsIdentity)
{
    std::string ascii;
    std::u16string expected;
    for (int byte = 0; byte <= 0x7F; ++byte) {
        ascii += static_cast<char>(byte);
        expected += static_cast<char16_t>(byte);
    }
    EXPECT_EQ(DecodeAnsi(ascii), expected);
}

TEST(AnsiToWide, LeadByteBeforeANonTrailByteStandsAlone)
{
    for (const int lead : LeadBytes()) {
        for (int other = 0x00; other <= 0xFF; ++other) {
            if (IsAnsiTrailByte(static_cast<unsigned char>(other)))
                continue;
            std::u16string expected(1, u'\u30FB');
            expected += DecodeAnsi(std::string(1, static_cast<char>(other)));
            expected += u'A';
            EXPECT_EQ(DecodeAnsi(TwoBytes(lead, other) + "A"), expected) << Hex(TwoBytes(lead, other));
        }
    }
}

TEST(IsAnsiTrailByte, Holds40To7EAnd80ToFC)
{
    for (int byte = 0x00; byte <= 0xFF; ++byte) {
        const bool trail = (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
        EXPECT_EQ(IsAnsiTrailByte(static_cast<unsigned char>(byte)), trail) << byte;
    }
}

// ---- UTF-16 to Shift_JIS ----

struct AnsiEncodeCase {
    const char* name;
    std::u16string wide;
    std::string_view ansi;
};

const AnsiEncodeCase kAnsiEncodeCases[] = {
    {"empty", u"", ""sv},
    {"ascii", u"BEGIN:VCARD\r\n", "BEGIN:VCARD\r\n"sv},
    {"backslash and tilde", u"\\~", "\x5C\x7E"sv},
    {"katakana a", u"\u30A2", "\x83\x41"sv},
    {"half-width katakana", u"\uFF61\uFF9F", "\xA1\xDF"sv},
    {"single bytes outside JIS X 0201", u"\u0080\uF8F0\uF8F1\uF8F3", "\x80\xA0\xFD\xFF"sv},
    {"user-defined area bounds", u"\uE000\uE757", "\xF0\x40\xF9\xFC"sv},
    {"fullwidth tilde", u"\uFF5E", "\x81\x60"sv},
    {"hangul syllable", u"\uAC00", " "sv},
    // Windows' best fits.
    {"e acute between letters", u"A\u00E9B", "AeB"sv},
    {"names with accents", u"Zo\u00EB Jos\u00E9 M\u00FCller", "Zoe Jose Muller"sv},
    {"copyright, registered, superscript two", u"\u00A9\u00AE\u00B2", "cR2"sv},
    {"broken bar", u"\u00A6", "|"sv},
    {"cent and pound to full width", u"\u00A2\u00A3", "\x81\x91\x81\x92"sv},
    {"not sign", u"\u00AC", "\x81\xCA"sv},
    {"guillemets", u"\u00AB\u00BB", "\x81\xE1\x81\xE2"sv},
    {"micro sign to mu", u"\u00B5", "\x83\xCA"sv},
    {"middle dot, macron, cedilla", u"\u00B7\u00AF\u00B8", "\x81\x45\x81\x50\x81\x43"sv},
    {"hiragana vu to katakana vu", u"\u3094", "\x83\x94"sv},
    // The JIS X 0208 forms, beyond Windows.
    {"wave dash", u"10\u6642\u301C12\u6642", "10\x8E\x9E\x81\x60" "12\x8E\x9E"sv},
    {"minus sign", u"2\u22128", "2\x81\x7C" "8"sv},
    {"em dash", u"\u2014", "\x81\x5C"sv},
    {"double vertical line", u"\u2016", "\x81\x61"sv},
    {"yen sign, not the backslash", u"\u00A5" "1,000", "\x81\x8F" "1,000"sv},
    {"overline, not the tilde", u"\u203E", "\x81\x50"sv},
    // Characters with several codes: the one Windows emits.
    {"approximately equal: JIS X 0208", u"\u2252", "\x81\xE0"sv},
    {"identical to: JIS X 0208", u"\u2261", "\x81\xDF"sv},
    {"because: JIS X 0208", u"\u2235", "\x81\xE6"sv},
    {"fullwidth not sign: JIS X 0208", u"\uFFE2", "\x81\xCA"sv},
    {"roman numeral one: NEC", u"\u2160", "\x87\x54"sv},
    {"numero sign: NEC", u"\u2116", "\x87\x82"sv},
    {"parenthesized stock: NEC", u"\u3231", "\x87\x8A"sv},
    {"small roman numeral one: IBM", u"\u2170", "\xFA\x40"sv},
    {"kanji of ED 40: IBM", u"\u7E8A", "\xFA\x5C"sv},
    {"fullwidth apostrophe: IBM", u"\uFF07", "\xFA\x56"sv},
    {"fullwidth broken bar: IBM", u"\uFFE4", "\xFA\x55"sv},
    // Surrogates: a pair is one character, each lone surrogate another.
    {"surrogate pair", u"A\U0001F600B", "A B"sv},
    {"lone high surrogate", {u'A', kHighSurrogate, u'B'}, "A B"sv},
    {"lone high surrogate at the end", {u'A', kHighSurrogate}, "A "sv},
    {"lone low surrogate", {u'A', kLowSurrogate, u'B'}, "A B"sv},
    {"two lone low surrogates", {u'A', kLowSurrogate, kLowSurrogate, u'B'}, "A  B"sv},
    {"reversed pair", {kLowSurrogate, kHighSurrogate}, "  "sv},
    {"high surrogate before a pair", {kHighSurrogate, kHighSurrogate, kLowSurrogate}, "  "sv},
    // The conversion ends at the first U+0000.
    {"stops at U+0000", u"AB\0\u30A2"s, "AB"sv},
    {"U+0000 first", u"\0A"s, ""sv},
    {"high surrogate before U+0000", {kHighSurrogate, u'\0', kLowSurrogate}, " "sv},
};

TEST(WideToAnsi, EncodesTableCases)
{
    for (const AnsiEncodeCase& c : kAnsiEncodeCases)
        EXPECT_EQ(Hex(EncodeAnsi(c.wide)), Hex(c.ansi)) << c.name;
}

TEST(WideToAnsi, AsciiIsIdentity)
{
    std::u16string ascii;
    std::string expected;
    for (int unit = 0x01; unit <= 0x7F; ++unit) {
        ascii += static_cast<char16_t>(unit);
        expected += static_cast<char>(unit);
    }
    EXPECT_EQ(EncodeAnsi(ascii), expected);
}

// Whatever a code decodes to must encode to a code that decodes to the same
// character (so a code that is the only one of its character comes back as
// itself).
TEST(WideToAnsi, EveryDecodedCharacterEncodesBack)
{
    std::vector<std::string> codes;
    for (int byte = 0x01; byte <= 0xFF; ++byte) {
        if (!IsAnsiLeadByte(static_cast<unsigned char>(byte)))
            codes.push_back(std::string(1, static_cast<char>(byte)));
    }
    for (const int lead : LeadBytes()) {
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail != 0x7F) codes.push_back(TwoBytes(lead, trail));
        }
    }
    int decodable = 0;
    for (const std::string& code : codes) {
        const std::u16string wide = DecodeAnsi(code);
        ASSERT_EQ(wide.size(), 1u) << Hex(code);
        if (wide == u"\u30FB" && code != "\x81\x45")
            continue;   // no mapping
        ++decodable;
        const std::string encoded = EncodeAnsi(wide);
        EXPECT_EQ(DecodeAnsi(encoded), wide) << Hex(code) << "-> " << Hex(encoded);
    }
    // 195 single bytes besides NUL and 9604 pairs (7724 of JIS X 0208 and the
    // vendor rows, 1880 user-defined) have a character.
    EXPECT_EQ(decodable, 195 + 9604);
}

// ---- UTF-8 to UTF-16 ----

struct Utf8DecodeCase {
    const char* name;
    std::string_view utf8;
    std::u16string_view wide;
    int replacements;
};

const Utf8DecodeCase kUtf8DecodeCases[] = {
    {"empty", ""sv, u""sv, 0},
    {"ascii", "N:Doe"sv, u"N:Doe"sv, 0},
    {"two bytes", "\xC2\x80\xC3\xA9\xDF\xBF"sv, u"\u0080\u00E9\u07FF"sv, 0},
    {"three bytes", "\xE0\xA0\x80\xE3\x82\xAB\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"sv,
     u"\u0800\u30AB\uD7FF\uE000\uFFFF"sv, 0},
    {"four bytes", "\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"sv,
     u"\U00010000\U0001F600\U0010FFFF"sv, 0},
    {"byte-order mark is a character", "\xEF\xBB\xBF" "A"sv, u"\uFEFF" "A"sv, 0},
    {"NUL in the middle", "a\0b"sv, u"a\0b"sv, 0},
    {"lone continuation byte", "\x80"sv, u"\uFFFD"sv, 1},
    {"two continuation bytes", "\xBF\x80"sv, u"\uFFFD\uFFFD"sv, 2},
    {"overlong two bytes C0", "\xC0\x80"sv, u"\uFFFD\uFFFD"sv, 2},
    {"overlong two bytes C1", "\xC1\xBF"sv, u"\uFFFD\uFFFD"sv, 2},
    {"overlong three bytes", "\xE0\x80\x80"sv, u"\uFFFD\uFFFD\uFFFD"sv, 3},
    {"overlong three bytes, highest", "\xE0\x9F\xBF"sv, u"\uFFFD\uFFFD\uFFFD"sv, 3},
    {"overlong four bytes", "\xF0\x80\x80\x80"sv, u"\uFFFD\uFFFD\uFFFD\uFFFD"sv, 4},
    {"encoded high surrogate", "\xED\xA0\x80"sv, u"\uFFFD\uFFFD\uFFFD"sv, 3},
    {"encoded low surrogate", "\xED\xBF\xBF"sv, u"\uFFFD\uFFFD\uFFFD"sv, 3},
    {"beyond U+10FFFF", "\xF4\x90\x80\x80"sv, u"\uFFFD\uFFFD\uFFFD\uFFFD"sv, 4},
    {"lead byte F5", "\xF5\x80"sv, u"\uFFFD\uFFFD"sv, 2},
    {"five-byte form", "\xF8\x88\x80\x80\x80"sv, u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"sv, 5},
    {"bytes FE FF", "\xFE\xFF"sv, u"\uFFFD\uFFFD"sv, 2},
    {"two-byte form cut at the end", "\xC3"sv, u"\uFFFD"sv, 1},
    {"two-byte form cut by a letter", "\xC3" "A"sv, u"\uFFFD" "A"sv, 1},
    {"three-byte form cut at the end", "\xE3\x82"sv, u"\uFFFD"sv, 1},
    {"three-byte form cut by a letter", "\xE3\x82" "A"sv, u"\uFFFD" "A"sv, 1},
    {"four-byte form cut after three", "\xF0\x9F\x98"sv, u"\uFFFD"sv, 1},
    {"four-byte form cut after one", "\xF0"sv, u"\uFFFD"sv, 1},
    {"four-byte form cut by a valid character", "\xF0\x9F\xE3\x82\xAB"sv, u"\uFFFD\u30AB"sv, 1},
    {"character then stray continuation", "\xE3\x82\xAB\x82"sv, u"\u30AB\uFFFD"sv, 1},
    {"letter inside a sequence", "A\xE3" "A\x82\xAB"sv, u"A\uFFFD" "A\uFFFD\uFFFD"sv, 3},
    {"mixed malformed run", "a\xF1\x80\x80\xE1\x80\xC2" "b\x80" "c\x80\xBF" "d"sv,
     u"a\uFFFD\uFFFD\uFFFD" "b\uFFFD" "c\uFFFD\uFFFD" "d"sv, 6},
};

// The one-pass conversion against the two it replaces: every scalar value,
// then random byte strings rich in malformed sequences.
std::string Utf8AsAnsi(std::string_view utf8)
{
    std::string ansi;
    AppendUtf8AsAnsi(utf8, ansi);
    return ansi;
}

TEST(AppendUtf8AsAnsi, IsWideToAnsiOfUtf8ToWide)
{
    for (char32_t codePoint = 1; codePoint <= 0x10FFFF; ++codePoint) {
        if (codePoint >= 0xD800 && codePoint <= 0xDFFF) continue;
        std::u16string wide;
        if (codePoint <= 0xFFFF) {
            wide = std::u16string(1, static_cast<char16_t>(codePoint));
        } else {
            wide = {static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10)),
                    static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF))};
        }
        const std::string utf8 = "a" + WideToUtf8(wide) + "b";
        ASSERT_EQ(Utf8AsAnsi(utf8), WideToAnsi(Utf8ToWide(utf8))) << static_cast<unsigned>(codePoint);
    }
    const char pieces[] = {'a', '\0', '\x80', '\xBF', '\xC2', '\xE3', '\xED', '\xA0', '\xF0',
                           '\xF4', '\x90', '\xFF', '\x81'};
    std::uint32_t state = 932;
    for (int round = 0; round < 200000; ++round) {
        std::string bytes;
        for (int i = 0; i < 8; ++i) {
            state = state * 1103515245 + 12345;
            bytes += pieces[(state >> 16) % sizeof pieces];
        }
        ASSERT_EQ(Utf8AsAnsi(bytes), WideToAnsi(Utf8ToWide(bytes))) << Hex(bytes);
    }
}

TEST(Utf8ToWide, DecodesTableCases)
{
    for (const Utf8DecodeCase& c : kUtf8DecodeCases) {
        const std::u16string wide = DecodeUtf8(c.utf8);
        EXPECT_EQ(wide, c.wide) << c.name;
        EXPECT_EQ(std::count(wide.begin(), wide.end(), kReplacementChar), c.replacements)
            << c.name;
        // As a file name every byte is kept; a valid name reads as text does.
        const std::u16string name = FileNameToWide(c.utf8);
        EXPECT_EQ(Hex(WideToFileName(name)), Hex(c.utf8)) << c.name;
        if (c.replacements == 0) {
            EXPECT_EQ(name, wide) << c.name;
        }
    }
}

// ---- UTF-16 to UTF-8 ----

struct Utf8EncodeCase {
    const char* name;
    std::u16string wide;
    std::string_view utf8;
};

const Utf8EncodeCase kUtf8EncodeCases[] = {
    {"empty", u"", ""sv},
    {"ascii", u"N:Doe", "N:Doe"sv},
    {"two bytes", u"\u0080\u00E9\u07FF", "\xC2\x80\xC3\xA9\xDF\xBF"sv},
    {"three bytes", u"\u0800\u30AB\uFFFF", "\xE0\xA0\x80\xE3\x82\xAB\xEF\xBF\xBF"sv},
    {"surrogate pairs", u"\U00010000\U0010FFFF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"sv},
    {"NUL in the middle", u"a\0b"s, "a\0b"sv},
    {"lone high surrogate", {u'A', kHighSurrogate, u'B'}, "A\xEF\xBF\xBD" "B"sv},
    {"lone high surrogate at the end", {u'A', kHighSurrogate}, "A\xEF\xBF\xBD"sv},
    {"lone low surrogate", {kLowSurrogate, u'B'}, "\xEF\xBF\xBD" "B"sv},
    {"high surrogate before a pair", {kHighSurrogate, kHighSurrogate, kLowSurrogate},
     "\xEF\xBF\xBD\xF0\x9F\x98\x80"sv},
};

TEST(WideToUtf8, EncodesTableCases)
{
    for (const Utf8EncodeCase& c : kUtf8EncodeCases)
        EXPECT_EQ(Hex(EncodeUtf8(c.wide)), Hex(c.utf8)) << c.name;
}

#ifndef _WIN32
// ---- Cross-check against glibc's iconv ----
//
// glibc's "CP932" (an alias of "WINDOWS-31J") is an implementation of the same
// code page that shares no data with the converter's tables. Where glibc and
// Windows part ways, the exception tables below say so, case by case.

std::string CodePoint(char32_t codePoint)
{
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(codePoint));
    return text;
}

using test::Convert;
using test::Iconv;

std::u16string FromUtf16Le(std::string_view bytes)
{
    std::u16string wide;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        wide += static_cast<char16_t>(static_cast<unsigned char>(bytes[i])
                                      | static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    return wide;
}

std::string ToUtf16Le(std::u16string_view wide)
{
    std::string bytes;
    for (const char16_t unit : wide) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

bool IsOpen(const Iconv& converter)
{
    return converter.handle != reinterpret_cast<iconv_t>(-1);
}

const Iconv& Cp932Decoder()
{
    static const Iconv decoder("UTF-16LE", "CP932");
    return decoder;
}

const Iconv& Cp932Encoder()
{
    static const Iconv encoder("CP932", "UTF-16LE");
    return encoder;
}

// What Windows decodes `code` to, by glibc: a code glibc rejects is one
// without a mapping.
std::u16string GlibcDecode(std::string_view code)
{
    const std::optional<std::string> utf16 = Convert(Cp932Decoder(), code);
    return utf16 ? FromUtf16Le(*utf16) : u"\u30FB";
}

std::optional<std::string> GlibcEncode(char16_t unit)
{
    return Convert(Cp932Encoder(), ToUtf16Le(std::u16string_view(&unit, 1)));
}

// Single bytes that Windows maps and glibc's CP932 does not know at all.
struct SingleByteException {
    unsigned char byte;
    char16_t windows;
};

const SingleByteException kSingleByteExceptions[] = {
    {0x80, u'\u0080'},
    {0xA0, u'\uF8F0'},
    {0xFD, u'\uF8F1'},
    {0xFE, u'\uF8F2'},
    {0xFF, u'\uF8F3'},
};

TEST(CodePageIconv, EverySingleByteDecodesAsGlibcSaysOrAsListed)
{
    ASSERT_TRUE(IsOpen(Cp932Decoder())) << "glibc lacks CP932";
    for (int byte = 0x00; byte <= 0xFF; ++byte) {
        if (IsAnsiLeadByte(static_cast<unsigned char>(byte)))
            continue;
        const std::string code(1, static_cast<char>(byte));
        const auto exception = std::find_if(
            std::begin(kSingleByteExceptions), std::end(kSingleByteExceptions),
            [byte](const SingleByteException& e) { return e.byte == byte; });
        if (exception == std::end(kSingleByteExceptions)) {
            EXPECT_EQ(DecodeAnsi(code), GlibcDecode(code)) << Hex(code);
            continue;
        }
        EXPECT_FALSE(Convert(Cp932Decoder(), code).has_value()) << Hex(code) << "glibc learnt it";
        EXPECT_EQ(DecodeAnsi(code), std::u16string(1, exception->windows)) << Hex(code);
    }
}

// glibc and Windows agree on every pair, user-defined area included.
TEST(CodePageIconv, EveryDoubleByteCodeDecodesAsGlibcSays)
{
    ASSERT_TRUE(IsOpen(Cp932Decoder())) << "glibc lacks CP932";
    for (const int lead : LeadBytes()) {
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F) continue;  // no trail byte: the lead byte stands alone
            const std::string code = TwoBytes(lead, trail);
            EXPECT_EQ(DecodeAnsi(code), GlibcDecode(code)) << Hex(code);
        }
    }
}

// Characters on which glibc's encoder and the converter differ.
struct EncodeException {
    char16_t wide;
    std::optional<std::string_view> glibc;
    std::string_view windows;
    const char* why;
};

const EncodeException kEncodeExceptions[] = {
    // Windows' single bytes that glibc does not know (see kSingleByteExceptions).
    {u'\u0080', std::nullopt, "\x80"sv, "no single byte 80 in glibc"},
    {u'\uF8F0', std::nullopt, "\xA0"sv, "no single byte A0 in glibc"},
    {u'\uF8F1', std::nullopt, "\xFD"sv, "no single byte FD in glibc"},
    {u'\uF8F2', std::nullopt, "\xFE"sv, "no single byte FE in glibc"},
    {u'\uF8F3', std::nullopt, "\xFF"sv, "no single byte FF in glibc"},
    // JIS X 0208 forms instead of glibc's one-way mappings (and Windows' best fits).
    {u'\u00A5', "\x5C"sv, "\x81\x8F"sv, "yen sign; 5C is the backslash"},
    {u'\u203E', "\x7E"sv, "\x81\x50"sv, "overline; 7E is the tilde"},
};

// Windows' best fits that glibc lacks: each is a one-way mapping to a code of
// another character ("é" to "e").
bool IsBestFitGlibcLacks(char16_t wide, const std::string& ours,
                         const std::optional<std::string>& glibc)
{
    const bool bestFit = std::any_of(std::begin(cp932::kBestFitCodes), std::end(cp932::kBestFitCodes),
                                     [wide](const cp932::PreferredCode& e) { return e.wide == wide; });
    return bestFit && !glibc && ours != " " && DecodeAnsi(ours) != std::u16string(1, wide);
}

TEST(CodePageIconv, EveryBmpCharacterEncodesAsGlibcSaysOrAsListed)
{
    ASSERT_TRUE(IsOpen(Cp932Encoder())) << "glibc lacks CP932";
    int bestFitsGlibcLacks = 0;
    for (char32_t codePoint = 0x0001; codePoint <= 0xFFFF; ++codePoint) {
        if (codePoint >= 0xD800 && codePoint <= 0xDFFF)
            continue;
        const auto wide = static_cast<char16_t>(codePoint);
        const std::string ours = EncodeAnsi(std::u16string_view(&wide, 1));
        const std::optional<std::string> glibc = GlibcEncode(wide);
        if (IsBestFitGlibcLacks(wide, ours, glibc)) {
            ++bestFitsGlibcLacks;
            continue;
        }
        const auto exception = std::find_if(
            std::begin(kEncodeExceptions), std::end(kEncodeExceptions),
            [wide](const EncodeException& e) { return e.wide == wide; });
        if (exception == std::end(kEncodeExceptions)) {
            EXPECT_EQ(Hex(ours), Hex(glibc.value_or(" "))) << CodePoint(codePoint);
            continue;
        }
        EXPECT_EQ(Hex(ours), Hex(exception->windows)) << CodePoint(codePoint) << exception->why;
        EXPECT_EQ(glibc, exception->glibc) << CodePoint(codePoint) << "glibc changed";
        if (glibc) {   // a one-way mapping indeed: the code stands for something else
            EXPECT_NE(DecodeAnsi(*glibc), std::u16string(1, wide)) << CodePoint(codePoint);
        }
    }
    // The accented Latin letters and signs of U+00A1-U+00FF and U+3094; glibc
    // knows only the yen, cent, pound and not signs among Windows' 83, and
    // the yen sign takes its JIS X 0208 form over both.
    EXPECT_EQ(bestFitsGlibcLacks, cp932::kBestFitCodeCount - 4);
}

TEST(Utf8Iconv, EveryScalarValueConvertsAsGlibcDoes)
{
    std::u16string all;
    for (char32_t codePoint = 0; codePoint <= 0x10FFFF; ++codePoint) {
        if (codePoint >= 0xD800 && codePoint <= 0xDFFF)
            continue;
        if (codePoint <= 0xFFFF) {
            all += static_cast<char16_t>(codePoint);
        } else {
            all += static_cast<char16_t>(0xD800 + ((codePoint - 0x10000) >> 10));
            all += static_cast<char16_t>(0xDC00 + ((codePoint - 0x10000) & 0x3FF));
        }
    }
    const Iconv toUtf8("UTF-8", "UTF-16LE");
    ASSERT_TRUE(IsOpen(toUtf8));
    const std::optional<std::string> glibc = Convert(toUtf8, ToUtf16Le(all));
    ASSERT_TRUE(glibc.has_value());

    const std::string ours = EncodeUtf8(all);
    EXPECT_TRUE(ours == *glibc) << "UTF-8 differs from glibc's";
    EXPECT_TRUE(DecodeUtf8(*glibc) == all) << "UTF-8 of glibc decodes differently";
}
#endif // _WIN32

#ifdef _WIN32
// On Windows the system's own conversions are the reference: every code of
// the tables must convert exactly as MultiByteToWideChar and
// WideCharToMultiByte (without flags, as the converter is specified to call
// it) do with code page 932, but for two deliberate differences listed here.

std::u16string SystemAnsiToWide(std::string_view bytes)
{
    wchar_t units[4] = {};
    const int count = MultiByteToWideChar(932, 0, bytes.data(), static_cast<int>(bytes.size()),
                                          units, 4);
    return std::u16string(reinterpret_cast<const char16_t*>(units), count > 0 ? count : 0);
}

std::string SystemWideToAnsi(char16_t unit)
{
    const wchar_t wide = static_cast<wchar_t>(unit);
    char bytes[4] = {};
    const int count = WideCharToMultiByte(932, 0, &wide, 1, bytes, 4, " ", nullptr);
    return std::string(bytes, count > 0 ? count : 0);
}

TEST(CodePageSystem, EverySingleAndDoubleByteCodeDecodesAsTheSystemDoes)
{
    for (int byte = 0x01; byte <= 0xFF; ++byte) {
        if (IsAnsiLeadByte(static_cast<unsigned char>(byte))) continue;
        const std::string code(1, static_cast<char>(byte));
        EXPECT_EQ(DecodeAnsi(code), SystemAnsiToWide(code)) << "byte " << byte;
    }
    int leadBytesStandingAlone = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsAnsiLeadByte(static_cast<unsigned char>(lead))) continue;
        for (int trail = 0x01; trail <= 0xFF; ++trail) {
            const std::string code{static_cast<char>(lead), static_cast<char>(trail)};
            if (IsAnsiTrailByte(static_cast<unsigned char>(trail))) {
                EXPECT_EQ(DecodeAnsi(code), SystemAnsiToWide(code)) << Hex(code);
                continue;
            }
            // The difference: the system swallows a byte that cannot be a
            // trail byte (a CR, a ";"); the converter keeps it.
            ++leadBytesStandingAlone;
            EXPECT_EQ(SystemAnsiToWide(code), u"\u30FB") << Hex(code);
            std::u16string alone(1, u'\u30FB');
            alone += SystemAnsiToWide(code.substr(1));
            EXPECT_EQ(DecodeAnsi(code), alone) << Hex(code);
        }
    }
    EXPECT_EQ(leadBytesStandingAlone, 60 * (0x3F + 1 + 3));
}

TEST(CodePageSystem, EveryBmpCharacterEncodesAsTheSystemDoes)
{
    // The difference: the JIS X 0208 forms that the system's table lacks or
    // that replace its best fits; each with the system's own result.
    struct JisForm {
        char16_t character;
        std::string_view ours;
        std::string_view system;
    };
    const std::vector<JisForm> jisForms = {
        {u'\u00A5', "\x81\x8F"sv, "\x5C"sv}, {u'\u2014', "\x81\x5C"sv, " "sv},
        {u'\u2016', "\x81\x61"sv, " "sv},    {u'\u203E', "\x81\x50"sv, " "sv},
        {u'\u2212', "\x81\x7C"sv, " "sv},    {u'\u301C', "\x81\x60"sv, " "sv}};
    for (unsigned unit = 0x0001; unit <= 0xFFFF; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF) continue;  // not a character on its own
        const char16_t character = static_cast<char16_t>(unit);
        const std::string ours = EncodeAnsi(std::u16string_view(&character, 1));
        const auto jis = std::find_if(jisForms.begin(), jisForms.end(),
                                      [character](const JisForm& form) { return form.character == character; });
        if (jis == jisForms.end()) {
            EXPECT_EQ(Hex(ours), Hex(SystemWideToAnsi(character))) << "U+" << std::hex << unit;
        } else {
            EXPECT_EQ(Hex(SystemWideToAnsi(character)), Hex(jis->system)) << "U+" << std::hex << unit;
            EXPECT_EQ(Hex(ours), Hex(jis->ours)) << "U+" << std::hex << unit;
        }
    }
}
#endif // _WIN32

} // namespace
} // namespace karuto
