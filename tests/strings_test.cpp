#include "vcard/strings.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/shift_jis.h"
#include "tests/test_support.h"

#include <string>
#include <vector>

namespace karuto {
namespace {

std::vector<std::string> AsStrings(const TokenArray& tokens)
{
    return std::vector<std::string>(tokens.begin(), tokens.end());
}

using Tokens = std::vector<std::string>;

struct LineCase {
    const char* line;
    Tokens names;
    Tokens values;  // empty: no ":" in the line
};

class SplitPropertyLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(SplitPropertyLineTest, SplitsNameParametersAndValues)
{
    const LineCase& c = GetParam();
    const std::string line = c.line;  // exact-size copy
    const PropertyTokens tokens = test::SplitLine(line);
    EXPECT_EQ(AsStrings(tokens.nameTokens), c.names);
    EXPECT_EQ(AsStrings(tokens.valueTokens), c.values);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitPropertyLineTest,
    testing::Values(
        LineCase{"TEL;TYPE=CELL:090-1111-2222", {"TEL", "TYPE=CELL"}, {"090-1111-2222"}},
        LineCase{"N:last;first;;;", {"N"}, {"last", "first", "", "", ""}},
        LineCase{"NOTE:a\\;b;c", {"NOTE"}, {"a\\;b", "c"}},
        // Only the one byte before the delimiter counts: still escaped.
        LineCase{"NOTE:a\\\\;b", {"NOTE"}, {"a\\\\;b"}},
        // The 0x5C of "ソ" (83 5C) is its second byte, not an escape.
        LineCase{"N:\x83\x5C;x", {"N"}, {"\x83\x5C", "x"}},
        // "表" (95 5C) likewise, in the parameters.
        LineCase{"X;\x95\x5C;y:v", {"X", "\x95\x5C", "y"}, {"v"}},
        // UTF-8 "あ" (E3 81 82) read by the Shift_JIS ranges: E3 81 is one
        // character and 82 5C the next, so the 0x5C escapes nothing.
        LineCase{"N:\xE3\x81\x82\\;x", {"N"}, {"\xE3\x81\x82\\", "x"}},
        LineCase{"X:a\\:b:c", {"X"}, {"a\\:b:c"}},
        // A backslash never escapes the first ":".
        LineCase{"X\\:a:b", {"X\\"}, {"a:b"}},
        LineCase{"NOTE", {"NOTE"}, {}},
        LineCase{"", {""}, {}},
        LineCase{"N;:", {"N", ""}, {""}},
        LineCase{"N:a;", {"N"}, {"a", ""}},
        LineCase{":", {""}, {""}},
        LineCase{" N ; TYPE=x : v ", {" N ", " TYPE=x "}, {" v "}},
        // A lead byte right before the delimiter takes it as its (invalid)
        // second byte, yet the delimiter is found by plain byte comparison.
        LineCase{"N:\x81;x", {"N"}, {"\x81", "x"}},
        // Escaped delimiter first, then a lone backslash before the end.
        LineCase{"N:\\;\\", {"N"}, {"\\;\\"}},
        LineCase{"N:\\;\\;", {"N"}, {"\\;\\;"}},
        LineCase{"N:a\\\\\\;b;c", {"N"}, {"a\\\\\\;b", "c"}}));

TEST(SplitPropertyLineTest, DoubleByteRuleFollowsCharactersNotBytes)
{
    // "ソ" then a one-byte backslash: 83 5C 5C 3B. The second 5C stands alone
    // and escapes the ";".
    const std::string line = "N:\x83\x5C\x5C;x";
    EXPECT_EQ(AsStrings(test::SplitLine(line).valueTokens), Tokens{"\x83\x5C\x5C;x"});
    // Half-width katakana are one-byte characters: B1 5C 3B is "ｱ\;".
    const std::string kana = "N:\xB1\x5C;x";
    EXPECT_EQ(AsStrings(test::SplitLine(kana).valueTokens), Tokens{"\xB1\x5C;x"});
    // 81 81 is one character (the second 81 is its trail byte), so the 5C
    // after it is a backslash of its own and escapes the ";".
    const std::string leads = "N:\x81\x81\x5C;x";
    EXPECT_EQ(AsStrings(test::SplitLine(leads).valueTokens), Tokens{"\x81\x81\x5C;x"});
    // Three lead bytes: 81 81 | 81 5C — the backslash is a second byte.
    const std::string three = "N:\x81\x81\x81\x5C;x";
    EXPECT_EQ(AsStrings(test::SplitLine(three).valueTokens), (Tokens{"\x81\x81\x81\x5C", "x"}));
}

TEST(SplitPropertyLineTest, EveryUnescapedSemicolonSeparates)
{
    EXPECT_EQ(AsStrings(test::SplitLine("X:a;b").valueTokens), (Tokens{"a", "b"}));
    EXPECT_EQ(AsStrings(test::SplitLine("X:abc").valueTokens), (Tokens{"abc"}));
    EXPECT_EQ(AsStrings(test::SplitLine("X:;;").valueTokens), (Tokens{"", "", ""}));
    // Where the first token ends is where the first separator is.
    for (const auto& [value, first] : {std::pair{";abc", 0u}, {"a\\;b;c", 4u}, {"\x83\x5C;", 2u}, {"", 0u}}) {
        EXPECT_EQ(test::SplitLine("X:" + std::string(value)).valueTokens.front().size(), first) << value;
    }
}

// The search read straight off its definition: walk the characters from the
// start; a delimiter byte counts unless a one-byte backslash comes right
// before it.
std::size_t WalkForDelimiter(std::string_view text, char delimiter)
{
    std::size_t nextCharacter = 0;
    bool backslashBefore = false;
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        const bool starts = pos == nextCharacter;
        if (text[pos] == delimiter && !backslashBefore) return pos;
        backslashBefore = starts && text[pos] == '\\';
        if (starts) {
            nextCharacter = pos + (IsAnsiLeadByte(static_cast<unsigned char>(text[pos])) ? 2 : 1);
        }
        if (text[pos] == delimiter) nextCharacter = pos + 1;
    }
    return std::string_view::npos;
}

TEST(SplitPropertyLineTest, AgreesWithAWalkOverTheCharactersOnEveryShortText)
{
    // Every value of up to 7 bytes over the bytes that matter: separators, the
    // backslash, lead bytes (81, E3) and one-byte characters (a, B1).
    const char alphabet[] = {';', '\\', '\x81', '\xE3', 'a', '\xB1'};
    std::string text;
    std::function<void()> extend = [&] {
        const std::size_t separator = WalkForDelimiter(text, ';');
        ASSERT_EQ(test::SplitLine("X:" + text).valueTokens.front().size(),
                  separator == std::string_view::npos ? text.size() : separator)
            << testing::PrintToString(text);
        if (text.size() == 7) return;
        for (const char byte : alphabet) {
            text.push_back(byte);
            extend();
            text.pop_back();
        }
    };
    extend();
}

TEST(FindByteTest, AgreesWithFindWhereverTheByteIs)
{
    // The byte alone at every place of texts across the eight-byte steps and
    // the hand-over to memchr, among bytes one bit away from it (";" is 3B).
    for (const std::size_t length : {0, 1, 7, 8, 9, 63, 64, 65, 71, 72, 150}) {
        for (std::size_t at = 0; at <= length; ++at) {
            std::vector<char> exact(length);
            for (std::size_t i = 0; i < length; ++i) exact[i] = "\x3A\x7B\xBB\x3F"[i % 4];
            if (at < length) exact[at] = ';';
            const std::string_view view(exact.data(), exact.size());
            for (std::size_t from = 0; from <= length + 1; ++from) {
                ASSERT_EQ(FindByte(view, ';', from), view.find(';', from))
                    << "length " << length << ", at " << at << ", from " << from;
            }
        }
    }
}

TEST(SplitPropertyLineTest, EscapedSeparatorsAllTheWay)
{
    // Escapes must not make splitting slow or wrong on a long line.
    std::string value;
    for (int i = 0; i < 100000; ++i) value += "\\;";
    value += ";end";
    const std::string line = "NOTE:" + value;
    const TokenArray tokens = test::SplitLine(line).valueTokens;
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].size(), 200000u);
    EXPECT_EQ(tokens[1], "end");
}

TEST(OwnedStringTest, DuplicateAndAppendStopAtNul)
{
    const std::string withNul("ab\0cd", 5);
    EXPECT_EQ(DuplicateString(withNul), "ab");
    OwnedString target;
    AppendString(target, "x");
    EXPECT_EQ(target, "x");
    AppendString(target, "");
    EXPECT_EQ(target, "x");
    AppendString(target, withNul);
    EXPECT_EQ(target, "xab");
}

} // namespace
} // namespace karuto
