#include "writer/dispatch.h"
#include "writer/emitters.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "job/output.h"
#include "tests/test_support.h"

namespace karuto {
namespace {

using namespace std::string_view_literals;

// Shift_JIS bytes used below, spelled out once.
#define SJIS_YAMAMOTO "\x8E\x52\x96\x7B"  // 山本
#define SJIS_TARO "\x91\xBE\x98\x59"      // 太郎
#define SJIS_HALF_A "\xB1"                // ｱ (half-width)
#define SJIS_FULL_A "\x83\x41"            // ア
#define SJIS_HALF_YAMAMOTO "\xD4\xCF\xD3\xC4"              // ﾔﾏﾓﾄ
#define SJIS_FULL_YAMAMOTO "\x83\x84\x83\x7D\x83\x82\x83\x67"  // ヤマモト
#define SJIS_HALF_TARO "\xC0\xDB\xB3"                      // ﾀﾛｳ
#define SJIS_FULL_TARO "\x83\x5E\x83\x8D\x83\x45"          // タロウ

constexpr std::string_view kOther = "X-ABLabel:_$!<Other>!$_\r\n";

template <typename Case>
std::string CaseName(const testing::TestParamInfo<Case>& caseInfo)
{
    return caseInfo.param.name;
}

// What the line reader would have found out about a line.
struct LineFacts {
    Charset charset = CharsetNone;
    ValueEncoding encoding = EncodingNone;
    bool widenKana = false;
};

// A line kept in a buffer of exactly its size, so that a token read past the
// line's end trips the address sanitizer.
struct ExactLine {
    std::vector<char> bytes;
    explicit ExactLine(std::string_view text) : bytes(text.begin(), text.end()) {}
    std::string_view View() const { return {bytes.data(), bytes.size()}; }
};

LogicalLine LineWith(const LineFacts& facts)
{
    LogicalLine line;
    line.charset = facts.charset;
    line.encoding = facts.encoding;
    line.widenKana = facts.widenKana;
    return line;
}

using EmitRule = void (*)(CardEntry&, const PropertyTokens&, const ValueDecoding&);

void EmitPhoneticNameRule(CardEntry& entry, const PropertyTokens& tokens, const ValueDecoding& decoding)
{
    EmitPhoneticName(entry, tokens.valueTokens, decoding);
}

// What the rule appends to the entry's text for one property line.
std::string EmitInto(CardEntry& entry, EmitRule rule, std::string_view lineText,
                     const LineFacts& facts = {})
{
    const ExactLine exact(lineText);
    const PropertyTokens tokens = test::SplitLine(exact.View());
    const std::size_t before = entry.text.size();
    rule(entry, tokens, DecodingOf(LineWith(facts)));
    return entry.text.substr(before);
}

std::string Emit(EmitRule rule, std::string_view lineText, const LineFacts& facts = {})
{
    CardEntry entry;
    return EmitInto(entry, rule, lineText, facts);
}

std::string ItemGroup(int number, std::string_view property, std::string_view value)
{
    const std::string item = "item" + std::to_string(number);
    return item + "." + std::string(property) + ":" + std::string(value) + "\r\n" + item + "." +
           std::string(kOther);
}

// ---------------------------------------------------------------------------
// EmitProperty

struct EmitCase {
    const char* name;
    std::string_view line;
    LineFacts facts;
    std::string_view expected;
};

class EmitPropertyTest : public testing::TestWithParam<EmitCase> {};

TEST_P(EmitPropertyTest, WritesTheFilteredLine)
{
    const EmitCase& c = GetParam();
    EXPECT_EQ(Emit(EmitProperty, c.line, c.facts), c.expected);
}

constexpr LineFacts kShiftJis{CharsetShiftJis, EncodingNone, false};
constexpr LineFacts kUtf8{CharsetUtf8, EncodingNone, false};
constexpr LineFacts kQuoted{CharsetNone, EncodingQuotedPrintable, false};
constexpr LineFacts kBase64{CharsetNone, EncodingBase64, false};
constexpr LineFacts kWiden{CharsetNone, EncodingNone, true};

const EmitCase kEmitCases[] = {
    // Charset and transfer-encoding markers are dropped.
    {"ShiftJisCharsetDropped", "N;CHARSET=SHIFT_JIS:" SJIS_YAMAMOTO ";" SJIS_TARO ";;;", kShiftJis,
     "N:" SJIS_YAMAMOTO ";" SJIS_TARO ";;;\r\n"},
    {"LowerCaseShiftJisDropped", "NOTE;charset=shift_jis;HOME:a", kShiftJis, "NOTE;HOME:a\r\n"},
    {"BareShiftJisDropped", "TEL;SHIFT_JIS;CELL:1", kShiftJis, "TEL;CELL:1\r\n"},
    {"Utf8CharsetDropped", "NOTE;CHARSET=UTF-8:abc", kUtf8, "NOTE:abc\r\n"},
    {"AnyTokenWithUtf8Dropped", "NOTE;X-UTF-8-HINT;VOICE:abc", kUtf8, "NOTE;VOICE:abc\r\n"},
    {"QuotedPrintableDropped", "NOTE;ENCODING=QUOTED-PRINTABLE:a=3Db", kQuoted, "NOTE:a=b\r\n"},
    {"BareQuotedPrintableDropped", "NOTE;quoted-printable;WORK:x", kQuoted, "NOTE;WORK:x\r\n"},
    {"CharsetAndQuotedPrintableDropped",
     "NOTE;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:=83=41",
     {CharsetShiftJis, EncodingQuotedPrintable, false}, "NOTE:" SJIS_FULL_A "\r\n"},
    // Quoted-Printable wins over Base64, so the Base64 markers go as well.
    {"Base64MarkerOnQuotedLineDropped", "NOTE;BASE64;QUOTED-PRINTABLE:x", kQuoted, "NOTE:x\r\n"},
    {"EncodingBDropped", "NOTE;ENCODING=B;QUOTED-PRINTABLE:x", kQuoted, "NOTE:x\r\n"},
    {"EncodingBWithBlanksDropped", "NOTE;ENCODING = B;QUOTED-PRINTABLE:x", kQuoted, "NOTE:x\r\n"},
    {"EncodingBWithTabDropped", "NOTE;ENCODING=\tb;QUOTED-PRINTABLE:x", kQuoted, "NOTE:x\r\n"},
    {"EncodingBinaryDropped", "NOTE;ENCODING=BINARY;QUOTED-PRINTABLE:x", kQuoted, "NOTE:x\r\n"},
    {"BareBDropped", "NOTE;B;QUOTED-PRINTABLE:x", kQuoted, "NOTE:x\r\n"},
    {"BareLowerBDropped", "NOTE;b;QUOTED-PRINTABLE:x", kQuoted, "NOTE:x\r\n"},
    // Everything else stays, verbatim and in order.
    {"BareTypeKept", "TEL;CELL:090-0000-0000", {}, "TEL;CELL:090-0000-0000\r\n"},
    {"TypeParameterKeepsItsCase", "TEL;TYPE=cell:090-0000-0000", {},
     "TEL;TYPE=cell:090-0000-0000\r\n"},
    {"SeveralParametersKeptInOrder", "TEL;PREF;X-CUSTOM=1;VOICE;LANGUAGE=ja:1", {},
     "TEL;PREF;X-CUSTOM=1;VOICE;LANGUAGE=ja:1\r\n"},
    {"TokenMerelyContainingBKept", "NOTE;BB;QUOTED-PRINTABLE:x", kQuoted, "NOTE;BB:x\r\n"},
    {"UnknownCharsetKept", "NOTE;CHARSET=GB2312:x", {}, "NOTE;CHARSET=GB2312:x\r\n"},
    {"UnknownEncodingKept", "TEL;ENCODING=8BIT:1", {}, "TEL;ENCODING=8BIT:1\r\n"},
    {"PropertyNameCaseKept", "note;Home:x", {}, "note;Home:x\r\n"},
    // A Base64 line keeps every parameter and its value unchanged.
    {"Base64KeepsEverything", "PHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQ", kBase64,
     "PHOTO;ENCODING=BASE64;TYPE=JPEG:/9j/4AAQ\r\n"},
    {"Base64KeepsCharsetAndShortForm", "PHOTO;ENCODING=b;CHARSET=SHIFT_JIS;TYPE=JPEG:AB=3D",
     {CharsetShiftJis, EncodingBase64, false},
     "PHOTO;ENCODING=b;CHARSET=SHIFT_JIS;TYPE=JPEG:AB=3D\r\n"},
    {"Base64KeepsBareMarkers", "PHOTO;BASE64;B:AAAA", kBase64, "PHOTO;BASE64;B:AAAA\r\n"},
    {"Base64KeepsFolding", "PHOTO;ENCODING=BASE64:AAAA\r\n BBBB\r\n\tCCCC", kBase64,
     "PHOTO;ENCODING=BASE64:AAAA\r\n BBBB\r\n\tCCCC\r\n"},
    // Values: components, escapes and decoding.
    {"EmptyComponentsKept", "N:" SJIS_YAMAMOTO ";;;;", {}, "N:" SJIS_YAMAMOTO ";;;;\r\n"},
    {"EscapedSemicolonKept", "NOTE:a\\;b;c", {}, "NOTE:a\\;b;c\r\n"},
    {"EmptyValue", "NOTE:", {}, "NOTE:\r\n"},
    {"LaterColonsStayInValue", "URL:http://example.com:80/", {}, "URL:http://example.com:80/\r\n"},
    {"QuotedLineBreakBecomesFold", "NOTE;ENCODING=QUOTED-PRINTABLE:abc=0D=0Adef", kQuoted,
     "NOTE:abc\r\n def\r\n"},
    {"QuotedComponentsDecodedOneByOne", "N;QUOTED-PRINTABLE:=41;=42", kQuoted, "N:A;B\r\n"},
    {"Utf8Converted", "N;CHARSET=UTF-8:\xE5\xB1\xB1\xE6\x9C\xAC", kUtf8,  // 山本 in UTF-8
     "N:" SJIS_YAMAMOTO "\r\n"},
    {"CharsetNoneLeavesBytes", "N:\xE5\xB1\xB1", {}, "N:\xE5\xB1\xB1\r\n"},
    {"WidenedWhenAsked", "ORG:" SJIS_HALF_A, kWiden, "ORG:" SJIS_FULL_A "\r\n"},
    {"NotWidenedOtherwise", "TEL:" SJIS_HALF_A, {}, "TEL:" SJIS_HALF_A "\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Table, EmitPropertyTest, testing::ValuesIn(kEmitCases), CaseName<EmitCase>);

TEST(EmitProperty, AppendsToWhatTheCardHolds)
{
    CardEntry entry;
    entry.text = "BEGIN:VCARD\r\n";
    EmitInto(entry, EmitProperty, "N:a;b");
    EmitInto(entry, EmitProperty, "TEL;CELL:1");
    EXPECT_EQ(entry.text, "BEGIN:VCARD\r\nN:a;b\r\nTEL;CELL:1\r\n");
    EXPECT_EQ(entry.itemCount, 0u);
}

// ---------------------------------------------------------------------------
// EmitPhoneticName

const EmitCase kPhoneticCases[] = {
    {"TwoComponentsWidened", "SOUND;X-IRMC-N;CHARSET=SHIFT_JIS:" SJIS_HALF_YAMAMOTO ";" SJIS_HALF_TARO ";;;",
     {CharsetShiftJis, EncodingNone, true},
     "X-PHONETIC-LAST-NAME:" SJIS_FULL_YAMAMOTO "\r\nX-PHONETIC-FIRST-NAME:" SJIS_FULL_TARO "\r\n"},
    {"OneComponentGivesEmptyFirstName", "SOUND;X-IRMC-N:" SJIS_HALF_YAMAMOTO, kWiden,
     "X-PHONETIC-LAST-NAME:" SJIS_FULL_YAMAMOTO "\r\nX-PHONETIC-FIRST-NAME:\r\n"},
    {"SortString", "SORT-STRING:yamamoto", {},
     "X-PHONETIC-LAST-NAME:yamamoto\r\nX-PHONETIC-FIRST-NAME:\r\n"},
    {"ParametersAndLaterComponentsUnused", "SOUND;TYPE=HOME;X-FOO;CHARSET=ISO-8859-1:a;b;c;d", {},
     "X-PHONETIC-LAST-NAME:a\r\nX-PHONETIC-FIRST-NAME:b\r\n"},
    {"EmptyLastName", "SOUND:;b", {}, "X-PHONETIC-LAST-NAME:\r\nX-PHONETIC-FIRST-NAME:b\r\n"},
    {"EmptyValue", "SOUND:", {}, "X-PHONETIC-LAST-NAME:\r\nX-PHONETIC-FIRST-NAME:\r\n"},
    {"QuotedPrintableDecoded", "SOUND;ENCODING=QUOTED-PRINTABLE:=41;=42", kQuoted,
     "X-PHONETIC-LAST-NAME:A\r\nX-PHONETIC-FIRST-NAME:B\r\n"},
    {"NotWidenedWithoutTheFlag", "SOUND:" SJIS_HALF_A, {},
     "X-PHONETIC-LAST-NAME:" SJIS_HALF_A "\r\nX-PHONETIC-FIRST-NAME:\r\n"},
};

class EmitPhoneticNameTest : public testing::TestWithParam<EmitCase> {};

TEST_P(EmitPhoneticNameTest, WritesBothReadings)
{
    const EmitCase& c = GetParam();
    EXPECT_EQ(Emit(EmitPhoneticNameRule, c.line, c.facts), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, EmitPhoneticNameTest, testing::ValuesIn(kPhoneticCases),
                         CaseName<EmitCase>);

// ---------------------------------------------------------------------------
// EmitEmail and EmitAddress

enum class Form { Work, Home, Other };

struct TypeCase {
    const char* name;
    std::string_view line;  // its value is always "v"
    Form form;
};

std::string ExpectedTyped(std::string_view property, Form form)
{
    switch (form) {
    case Form::Work: return std::string(property) + ";TYPE=WORK:v\r\n";
    case Form::Home: return std::string(property) + ";TYPE=HOME:v\r\n";
    case Form::Other: return ItemGroup(1, property, "v");
    }
    return {};
}

const TypeCase kEmailCases[] = {
    {"Work", "EMAIL;WORK:v", Form::Work},
    {"TypeWorkLowerCase", "EMAIL;TYPE=work:v", Form::Work},
    {"WorkBeatsHome", "EMAIL;WORK;HOME:v", Form::Work},
    {"XNetworkContainsWork", "EMAIL;X-NETWORK:v", Form::Work},
    {"WorkBeatsSeveralSoleTypes", "EMAIL;INTERNET;CELL;WORK:v", Form::Work},
    {"Home", "EMAIL;HOME:v", Form::Home},
    {"HomeBeatsSeveralTypes", "EMAIL;INTERNET;CELL;HOME:v", Form::Home},
    {"SoleInternet", "EMAIL;INTERNET:v", Form::Home},
    {"SoleInternetLowerCase", "EMAIL;type=internet:v", Form::Home},
    {"PrefAndInternet", "EMAIL;PREF;INTERNET:v", Form::Home},
    {"SoleCell", "EMAIL;CELL:v", Form::Home},
    {"SolePcs", "EMAIL;PCS:v", Form::Home},
    {"SoleInternetWithCharset", "EMAIL;CHARSET=SHIFT_JIS;INTERNET:v", Form::Home},
    {"InternetAndCell", "EMAIL;INTERNET;CELL:v", Form::Other},
    {"InternetAndCellInOneToken", "EMAIL;TYPE=INTERNET,CELL:v", Form::Other},
    {"CellAndPcs", "EMAIL;CELL;PCS:v", Form::Other},
    {"AllThreeSoleTypes", "EMAIL;INTERNET;CELL;PCS:v", Form::Other},
    {"NoParameter", "EMAIL:v", Form::Other},
    {"PrefOnly", "EMAIL;PREF:v", Form::Other},
    {"UnknownType", "EMAIL;X-AOL:v", Form::Other},
    {"LowerCasePropertyName", "email;internet:v", Form::Home},
};

class EmitEmailTest : public testing::TestWithParam<TypeCase> {};

TEST_P(EmitEmailTest, MapsTheTypes)
{
    const TypeCase& c = GetParam();
    EXPECT_EQ(Emit(EmitEmail, c.line), ExpectedTyped("EMAIL", c.form));
}

INSTANTIATE_TEST_SUITE_P(Table, EmitEmailTest, testing::ValuesIn(kEmailCases), CaseName<TypeCase>);

const TypeCase kAddressCases[] = {
    {"Work", "ADR;WORK:v", Form::Work},
    {"TypeWork", "ADR;TYPE=WORK:v", Form::Work},
    {"WorkBeatsHome", "ADR;HOME;WORK:v", Form::Work},
    {"XNetworkContainsWork", "ADR;X-NETWORK:v", Form::Work},
    {"Home", "ADR;HOME:v", Form::Home},
    {"TypeHomeLowerCase", "adr;type=home:v", Form::Home},
    // Addresses have no sole-type rule.
    {"Cell", "ADR;CELL:v", Form::Other},
    {"Internet", "ADR;INTERNET:v", Form::Other},
    {"Pcs", "ADR;PCS:v", Form::Other},
    {"NoParameter", "ADR:v", Form::Other},
    {"Postal", "ADR;POSTAL;PARCEL:v", Form::Other},
};

class EmitAddressTest : public testing::TestWithParam<TypeCase> {};

TEST_P(EmitAddressTest, MapsTheTypes)
{
    const TypeCase& c = GetParam();
    EXPECT_EQ(Emit(EmitAddress, c.line), ExpectedTyped("ADR", c.form));
}

INSTANTIATE_TEST_SUITE_P(Table, EmitAddressTest, testing::ValuesIn(kAddressCases),
                         CaseName<TypeCase>);

TEST(EmitEmail, JoinsAllComponentsAndDropsEveryParameter)
{
    EXPECT_EQ(Emit(EmitEmail, "EMAIL;INTERNET:a;b"), "EMAIL;TYPE=HOME:a;b\r\n");
    EXPECT_EQ(Emit(EmitEmail, "EMAIL;X-FOO;CHARSET=SHIFT_JIS:a;;b", kShiftJis),
              ItemGroup(1, "EMAIL", "a;;b"));
    EXPECT_EQ(Emit(EmitEmail, "EMAIL;WORK;ENCODING=QUOTED-PRINTABLE:a=40b", kQuoted),
              "EMAIL;TYPE=WORK:a@b\r\n");
}

TEST(EmitAddress, DecodesAndWidensEveryComponent)
{
    const LineFacts facts{CharsetShiftJis, EncodingNone, true};
    EXPECT_EQ(Emit(EmitAddress, "ADR;HOME;CHARSET=SHIFT_JIS:;;" SJIS_HALF_A ";x;;;", facts),
              "ADR;TYPE=HOME:;;" SJIS_FULL_A ";x;;;\r\n");
    EXPECT_EQ(Emit(EmitAddress, "ADR:;;" SJIS_HALF_A, facts),
              ItemGroup(1, "ADR", ";;" SJIS_FULL_A));
}

TEST(ItemGroups, AreNumberedTogetherForEmailsAndAddresses)
{
    CardEntry entry;
    EXPECT_EQ(EmitInto(entry, EmitEmail, "EMAIL:a"), ItemGroup(1, "EMAIL", "a"));
    EXPECT_EQ(EmitInto(entry, EmitAddress, "ADR;HOME:b"), "ADR;TYPE=HOME:b\r\n");
    EXPECT_EQ(EmitInto(entry, EmitAddress, "ADR:c"), ItemGroup(2, "ADR", "c"));
    EXPECT_EQ(EmitInto(entry, EmitEmail, "EMAIL;WORK:d"), "EMAIL;TYPE=WORK:d\r\n");
    EXPECT_EQ(EmitInto(entry, EmitEmail, "EMAIL;INTERNET;CELL:e"), ItemGroup(3, "EMAIL", "e"));
    EXPECT_EQ(entry.itemCount, 3u);
}

TEST(ItemGroups, StopAfterNinetyNine)
{
    CardEntry entry;
    for (int n = 1; n <= 99; ++n) {
        const std::string value = "v" + std::to_string(n);
        if (n % 2 == 1) {
            ASSERT_EQ(EmitInto(entry, EmitEmail, "EMAIL:" + value), ItemGroup(n, "EMAIL", value));
        } else {
            ASSERT_EQ(EmitInto(entry, EmitAddress, "ADR:" + value), ItemGroup(n, "ADR", value));
        }
    }
    EXPECT_EQ(entry.itemCount, 99u);
    EXPECT_EQ(entry.droppedItems, 0u);
    const std::string before = entry.text;
    EXPECT_EQ(EmitInto(entry, EmitEmail, "EMAIL:v100"), "");
    EXPECT_EQ(EmitInto(entry, EmitAddress, "ADR;CELL:v101"), "");
    EXPECT_EQ(entry.text, before);
    EXPECT_EQ(entry.itemCount, 99u);
    EXPECT_EQ(entry.droppedItems, 2u);  // counted for the report
    // Work and home entries use no number and still go through.
    EXPECT_EQ(EmitInto(entry, EmitEmail, "EMAIL;INTERNET:w"), "EMAIL;TYPE=HOME:w\r\n");
    EXPECT_EQ(EmitInto(entry, EmitAddress, "ADR;WORK:x"), "ADR;TYPE=WORK:x\r\n");
    EXPECT_EQ(entry.droppedItems, 2u);
}

// ---------------------------------------------------------------------------
// HasSoleType

struct SoleTypeCase {
    const char* name;
    TokenArray tokens;
    ParamWord type;
    bool expected;
};

class HasSoleTypeTest : public testing::TestWithParam<SoleTypeCase> {};

TEST_P(HasSoleTypeTest, Answers)
{
    const SoleTypeCase& c = GetParam();
    std::vector<ParamWords> words;
    FindParamWords(c.tokens, words);
    EXPECT_EQ(HasSoleType(AnyParamWords(words), c.type), c.expected);
}

const SoleTypeCase kSoleTypeCases[] = {
    {"Alone", {"EMAIL", "INTERNET"}, WordInternet, true},
    {"IgnoresCase", {"EMAIL", "type=internet"}, WordInternet, true},
    {"WithUnknownParameters", {"EMAIL", "PREF", "X-FOO", "PCS"}, WordPcs, true},
    {"Missing", {"EMAIL", "CELL"}, WordInternet, false},
    {"NoTokens", {}, WordInternet, false},
    {"NameOnly", {"EMAIL"}, WordCell, false},
    {"WithAnotherKnownType", {"EMAIL", "INTERNET", "CELL"}, WordInternet, false},
    {"TwoInOneToken", {"EMAIL", "TYPE=INTERNET,CELL"}, WordCell, false},
    {"WithWork", {"EMAIL", "WORK", "PCS"}, WordPcs, false},
    {"WithWorkInsideXNetwork", {"EMAIL", "X-NETWORK", "INTERNET"}, WordInternet, false},
    {"WithHomeInsideLongerWord", {"EMAIL", "X-HOMEPAGE", "CELL"}, WordCell, false},
    {"RepeatedTypeIsStillSole", {"EMAIL", "CELL", "cell"}, WordCell, true},
};

INSTANTIATE_TEST_SUITE_P(Table, HasSoleTypeTest, testing::ValuesIn(kSoleTypeCases),
                         CaseName<SoleTypeCase>);

// ---------------------------------------------------------------------------
// ConvertProperty

// One logical line as the card scanner hands it over.
struct InputLine {
    std::string_view text;
    Charset charset = CharsetNone;
    ValueEncoding encoding = EncodingNone;
};

// A conversion into the output file's bytes, line by line.
struct Session {
    std::string file;
    CardWriter writer{[this](std::string_view bytes) {
                          file.append(bytes);
                          return true;
                      },
                      "\xFF\xFE"};
    CardSink output = [this](std::string_view card) { WriteCardBuffered(card, writer); };
    CardList cards;
    std::int64_t lineNumber = 0;
};

// Returns the line record as the dispatch left it.
LogicalLine Feed(Session& session, const InputLine& input)
{
    const ExactLine exact(input.text);
    LogicalLine line;
    line.charset = input.charset;
    line.encoding = input.encoding;
    line.state = LineComplete;
    line.text = exact.View();
    line.firstLineNumber = ++session.lineNumber;
    ConvertProperty(line, session.output, session.cards);
    return line;
}

void FeedAll(Session& session, const std::vector<InputLine>& lines)
{
    for (const InputLine& input : lines) Feed(session, input);
}

// The output file's bytes once the session is over.
std::string Finish(Session& session)
{
    FlushCards(session.writer);
    return session.file;
}

// An output file holding these cards.
std::string FileOf(std::u16string_view cards)
{
    return "\xFF\xFE" + test::Utf16LeBytes(cards);
}

std::string Converted(const std::vector<InputLine>& lines)
{
    Session session;
    FeedAll(session, lines);
    return Finish(session);
}

CardCounts CountsOf(const std::vector<InputLine>& lines)
{
    Session session;
    FeedAll(session, lines);
    return CountCards(session.cards);
}

void ExpectCounts(const CardCounts& counts, int read, int written)
{
    EXPECT_EQ(counts.cardsRead, read);
    EXPECT_EQ(counts.cardsWritten, written);
}

// Dispatch of one property inside an otherwise empty card.
struct DispatchCase {
    const char* name;
    std::string_view line;
    bool widenKana;
    std::u16string_view output;  // between BEGIN:VCARD and END:VCARD
};

class DispatchTest : public testing::TestWithParam<DispatchCase> {};

TEST_P(DispatchTest, SetsTheFlagsAndWritesTheRule)
{
    const DispatchCase& c = GetParam();
    Session session;
    Feed(session, {"BEGIN:VCARD"});
    const LogicalLine line = Feed(session, {c.line});
    Feed(session, {"END:VCARD"});
    EXPECT_EQ(line.widenKana, c.widenKana);
    const std::u16string card = u"BEGIN:VCARD\r\n" + std::u16string(c.output) + u"END:VCARD\r\n";
    EXPECT_EQ(Finish(session), FileOf(card));
    ExpectCounts(CountCards(session.cards), 1, 1);
}

// The value is a half-width katakana ｱ; it comes out as ア where the property
// is widened and as ｱ elsewhere.
const DispatchCase kDispatchCases[] = {
    {"Version", "VERSION:2.1" SJIS_HALF_A, false, u"VERSION:2.1ｱ\r\n"},
    {"N", "N:" SJIS_HALF_A, true, u"N:ア\r\n"},
    {"Sound", "SOUND:" SJIS_HALF_A, true,
     u"X-PHONETIC-LAST-NAME:ア\r\nX-PHONETIC-FIRST-NAME:\r\n"},
    {"SortString", "SORT-STRING:" SJIS_HALF_A, true,
     u"X-PHONETIC-LAST-NAME:ア\r\nX-PHONETIC-FIRST-NAME:\r\n"},
    {"PhoneticLastName", "X-PHONETIC-LAST-NAME:" SJIS_HALF_A, true,
     u"X-PHONETIC-LAST-NAME:ア\r\n"},
    {"PhoneticFirstName", "X-PHONETIC-FIRST-NAME:" SJIS_HALF_A, true,
     u"X-PHONETIC-FIRST-NAME:ア\r\n"},
    {"Nickname", "NICKNAME:" SJIS_HALF_A, true, u"NICKNAME:ア\r\n"},
    {"Bday", "BDAY:" SJIS_HALF_A, false, u"BDAY:ｱ\r\n"},
    {"Tel", "TEL:" SJIS_HALF_A, false, u"TEL:ｱ\r\n"},
    {"Email", "EMAIL:" SJIS_HALF_A, false,
     u"item1.EMAIL:ｱ\r\nitem1.X-ABLabel:_$!<Other>!$_\r\n"},
    {"Url", "URL:" SJIS_HALF_A, false, u"URL:ｱ\r\n"},
    {"Adr", "ADR:" SJIS_HALF_A, true, u"item1.ADR:ア\r\nitem1.X-ABLabel:_$!<Other>!$_\r\n"},
    {"Org", "ORG:" SJIS_HALF_A, true, u"ORG:ア\r\n"},
    {"Title", "TITLE:" SJIS_HALF_A, true, u"TITLE:ア\r\n"},
    {"Note", "NOTE:" SJIS_HALF_A, true, u"NOTE:ア\r\n"},
    {"Photo", "PHOTO:" SJIS_HALF_A, false, u"PHOTO:ｱ\r\n"},
    {"NamesIgnoreCase", "nOtE;Type=x:" SJIS_HALF_A, true, u"nOtE;Type=x:ア\r\n"},
    {"EmailAlwaysInCapitals", "Email;Internet:" SJIS_HALF_A, false,
     u"EMAIL;TYPE=HOME:ｱ\r\n"},
    {"EmptyValue", "NOTE:", true, u"NOTE:\r\n"},
    // Not in the table: nothing is written.
    // Not in the table, but it names a card that has no N.
    {"FormattedName", "FN:" SJIS_HALF_A, false, u"N:ア;;;;\r\n"},
    {"GroupedEmail", "item1.EMAIL:" SJIS_HALF_A, false, u""},
    {"GroupedLabel", "item1.X-ABLabel:x", false, u""},
    {"OtherXName", "X-FOO:" SJIS_HALF_A, false, u""},
    {"Label", "LABEL:" SJIS_HALF_A, false, u""},
    {"NameWithTrailingBlank", "NOTE :x", false, u""},
    {"NoColon", "NOTE", false, u""},
    {"EmptyLine", "", false, u""},
    {"SecondBeginWithMoreText", "BEGIN:VCARD x", false, u""},
};

INSTANTIATE_TEST_SUITE_P(Table, DispatchTest, testing::ValuesIn(kDispatchCases),
                         CaseName<DispatchCase>);

TEST(ConvertProperty, BeginAndEndAreWrittenVerbatim)
{
    EXPECT_EQ(Converted({{"begin:vcard"}, {"VERSION:2.1"}, {"End:Vcard"}}),
              FileOf(u"begin:vcard\r\nVERSION:2.1\r\nEnd:Vcard\r\n"));
}

TEST(ConvertProperty, BeginWithTrailingBlanksOpensACardKeptAsWritten)
{
    Session session;
    FeedAll(session, {{"BEGIN:VCARD "}, {"N:a"}, {"END:VCARD"},
                      {"BEGIN:VCARD"}, {"N:b"}, {"END:VCARD"}});
    EXPECT_EQ(Finish(session), FileOf(u"BEGIN:VCARD \r\nN:a\r\nEND:VCARD\r\n"
                                      u"BEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n"));
    EXPECT_EQ(session.cards.records.size(), 2u);
    ExpectCounts(CountCards(session.cards), 2, 2);
}

TEST(ConvertProperty, BeginWithBlanksInsideACardAbandonsIt)
{
    EXPECT_EQ(Converted({{"BEGIN:VCARD"}, {"N:a"}, {"BEGIN:VCARD\t"}, {"NOTE:b"}, {"END:VCARD"}}),
              FileOf(u"BEGIN:VCARD\t\r\nNOTE:b\r\nEND:VCARD\r\n"));
}

TEST(ConvertProperty, EndWithTrailingBlanksEndsTheCard)
{
    EXPECT_EQ(CountsOf({{"BEGIN:VCARD"}, {"N:a"}, {"END:VCARD "}}).cardsRead, 1);
    EXPECT_EQ(Converted({{"BEGIN:VCARD"}, {"N:a"}, {"END:VCARD \t "}, {"NOTE:b"}, {"END:VCARD"}}),
              FileOf(u"BEGIN:VCARD\r\nN:a\r\nEND:VCARD \t \r\n"));
}

// Which lines open and close a card: the keyword alone, in any letter case,
// followed by nothing but spaces and tabs.
struct KeywordCase {
    std::string_view begin;
    std::string_view end;
    int cardsRead;
};

TEST(ConvertProperty, KeywordLinesIgnoreOnlyTrailingBlanks)
{
    const KeywordCase cases[] = {
        {"BEGIN:VCARD", "END:VCARD", 1},
        {"begin:vcard  ", "end:vcard\t", 1},
        {"BEGIN:VCARD\t \t", "END:VCARD   ", 1},
        {" BEGIN:VCARD", "END:VCARD", 0},
        {"BEGIN :VCARD", "END:VCARD", 0},
        {"BEGIN:VCARD x", "END:VCARD", 0},
        {"BEGIN:VCARD", "\tEND:VCARD", 0},
        {"BEGIN:VCARD", "END:VCARD\r", 0},
        {"BEGIN:VCARD", "END:VCARD\r\n ", 0},
        {"BEGIN:VCARD", "END:VCARD\v", 0},
    };
    for (const KeywordCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.begin) + "|" + std::string(c.end)));
        EXPECT_EQ(CountsOf({{c.begin}, {"N:a"}, {c.end}}).cardsRead, c.cardsRead);
    }
}

TEST(ConvertProperty, SecondBeginAbandonsTheFirstCard)
{
    Session session;
    FeedAll(session, {{"BEGIN:VCARD"}, {"N:first"}, {"BEGIN:VCARD"}, {"N:second"},
                      {"END:VCARD"}});
    EXPECT_EQ(Finish(session), FileOf(u"BEGIN:VCARD\r\nN:second\r\nEND:VCARD\r\n"));
    ASSERT_EQ(session.cards.records.size(), 2u);
    EXPECT_FALSE(DetailsOf(session.cards, 0).ended);
    EXPECT_TRUE(DetailsOf(session.cards, 1).ended);
    ExpectCounts(CountCards(session.cards), 1, 1);
}

TEST(ConvertProperty, SecondEndAndLinesAfterTheCardAreIgnored)
{
    Session session;
    FeedAll(session, {{"BEGIN:VCARD"}, {"N:a"}, {"END:VCARD"}, {"N:b"}, {"END:VCARD"},
                      {"BEGIN:VCARD"}, {"N:c"}, {"END:VCARD"}});
    EXPECT_EQ(Finish(session), FileOf(u"BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\n"
                                      u"BEGIN:VCARD\r\nN:c\r\nEND:VCARD\r\n"));
    ExpectCounts(CountCards(session.cards), 2, 2);
}

TEST(ConvertProperty, LinesOutsideCardsProduceNothing)
{
    Session session;
    FeedAll(session, {{"VERSION:4.0"}, {"N:a"}, {"N;CHARSET=ISO-2022-JP:a"}, {"END:VCARD"}});
    EXPECT_EQ(Finish(session), FileOf(u""));
    EXPECT_TRUE(session.cards.records.empty());
    ExpectCounts(CountCards(session.cards), 0, 0);
}

TEST(ConvertProperty, NoteWithoutColonIsDroppedAndEmptyNoteKept)
{
    EXPECT_EQ(Converted({{"BEGIN:VCARD"}, {"NOTE"}, {""}, {"NOTE:"}, {"END:VCARD"}}),
              FileOf(u"BEGIN:VCARD\r\nNOTE:\r\nEND:VCARD\r\n"));
}

TEST(ConvertProperty, EveryCardStartsAtItemOne)
{
    EXPECT_EQ(Converted({{"BEGIN:VCARD"}, {"EMAIL:a"}, {"ADR:b"}, {"END:VCARD"},
                         {"BEGIN:VCARD"}, {"ADR:c"}, {"END:VCARD"}}),
              FileOf(u"BEGIN:VCARD\r\n"
                     u"item1.EMAIL:a\r\nitem1.X-ABLabel:_$!<Other>!$_\r\n"
                     u"item2.ADR:b\r\nitem2.X-ABLabel:_$!<Other>!$_\r\n"
                     u"END:VCARD\r\n"
                     u"BEGIN:VCARD\r\n"
                     u"item1.ADR:c\r\nitem1.X-ABLabel:_$!<Other>!$_\r\n"
                     u"END:VCARD\r\n"));
}

TEST(ConvertProperty, HundredthItemGroupIsDroppedAndTheCardWritten)
{
    std::vector<std::string> lines = {"BEGIN:VCARD"};
    std::u16string expected = u"BEGIN:VCARD\r\n";
    for (int n = 1; n <= 100; ++n) {
        const std::string number = std::to_string(n);
        lines.push_back("EMAIL:e" + number);
        if (n <= 99) {
            const std::u16string item = u"item" + std::u16string(number.begin(), number.end());
            expected += item + u".EMAIL:e" + std::u16string(number.begin(), number.end()) +
                        u"\r\n" + item + u".X-ABLabel:_$!<Other>!$_\r\n";
        }
    }
    lines.push_back("END:VCARD");
    expected += u"END:VCARD\r\n";

    std::vector<InputLine> input;
    for (const std::string& line : lines) input.push_back({line});
    Session session;
    FeedAll(session, input);
    EXPECT_EQ(Finish(session), FileOf(expected));
    ExpectCounts(CountCards(session.cards), 1, 1);
    EXPECT_EQ(DetailsOf(session.cards, 0).droppedItems, 1u);
}

// A card named only by FN gets "N:" + the FN value + ";;;;" before its end.
struct FormattedNameCase {
    const char* name;
    std::vector<InputLine> lines;  // between BEGIN:VCARD and END:VCARD
    std::u16string_view output;    // the same span in the output
};

class FormattedNameTest : public testing::TestWithParam<FormattedNameCase> {};

TEST_P(FormattedNameTest, StandsInForAMissingName)
{
    const FormattedNameCase& c = GetParam();
    std::vector<InputLine> lines = {{"BEGIN:VCARD"}};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    lines.push_back({"END:VCARD"});
    EXPECT_EQ(Converted(lines), FileOf(u"BEGIN:VCARD\r\n" + std::u16string(c.output) + u"END:VCARD\r\n"));
}

const FormattedNameCase kFormattedNameCases[] = {
    {"Plain", {{"FN:Taro Yamada"}}, u"N:Taro Yamada;;;;\r\n"},
    {"AfterTheOtherLines", {{"FN:Taro"}, {"TEL:1"}}, u"TEL:1\r\nN:Taro;;;;\r\n"},
    {"ComponentsKeepTheirSeparators", {{"FN:a;b"}}, u"N:a;b;;;;\r\n"},
    {"ShiftJisWidened",
     {{"FN;CHARSET=SHIFT_JIS:" SJIS_HALF_YAMAMOTO " " SJIS_YAMAMOTO, CharsetShiftJis}},
     u"N:ヤマモト 山本;;;;\r\n"},
    {"QuotedPrintableUtf8",
     {{"FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=B1=B1=E6=9C=AC=20=EF=BE=80", CharsetUtf8,
       EncodingQuotedPrintable}},
     u"N:山本 タ;;;;\r\n"},
    {"TheFirstOfTwo", {{"FN:first"}, {"FN:second"}}, u"N:first;;;;\r\n"},
    {"UnknownCharsetDoesNotReject", {{"FN;CHARSET=ISO-2022-JP:x"}}, u"N:x;;;;\r\n"},
    {"UnknownEncodingDoesNotReject", {{"FN;ENCODING=8BIT:x"}}, u"N:x;;;;\r\n"},
    {"EmptyValue", {{"FN:"}}, u"N:;;;;\r\n"},
    {"LowerCaseName", {{"fn:x"}}, u"N:x;;;;\r\n"},
    {"NameWithoutColonIsNoName", {{"N"}, {"FN:x"}}, u"N:x;;;;\r\n"},
    {"FormattedNameWithoutColonIsNone", {{"FN"}}, u""},
    {"NameAfterItWins", {{"FN:x"}, {"N:a;b;;;"}}, u"N:a;b;;;\r\n"},
    // An N without any component names no one: FN takes its place.
    {"EmptyNameGivesWay", {{"N;CHARSET=SHIFT_JIS:;;;;", CharsetShiftJis}, {"TEL:1"}, {"N:"}, {"FN:x"}},
     u"N:x;;;;\r\nTEL:1\r\nN:\r\n"},
    {"EmptyNameWithoutFormattedNameStays", {{"N:;;;;"}, {"TEL:1"}}, u"N:;;;;\r\nTEL:1\r\n"},
    {"BlankNameWins", {{"N: ;;;;"}, {"FN:x"}}, u"N: ;;;;\r\n"},
    {"GroupedFormattedNameIsNotOne", {{"item1.FN:x"}}, u""},
    {"NoFormattedName", {{"TEL:1"}}, u"TEL:1\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Table, FormattedNameTest, testing::ValuesIn(kFormattedNameCases),
                         CaseName<FormattedNameCase>);

TEST(ConvertProperty, FormattedNameOfARejectedOrFinishedCardWritesNothing)
{
    Session session;
    FeedAll(session, {{"BEGIN:VCARD"}, {"VERSION:4.0"}, {"FN:rejected"}, {"END:VCARD"},
                      {"FN:outside"},
                      {"BEGIN:VCARD"}, {"N:a"}, {"END:VCARD"}, {"FN:after the end"}});
    EXPECT_EQ(Finish(session), FileOf(u"BEGIN:VCARD\r\nN:a\r\nEND:VCARD\r\n"));
    ExpectCounts(CountCards(session.cards), 2, 1);
    EXPECT_EQ(DetailsOf(session.cards, 0).name, "rejected");  // the report's name for it
}

// Acceptance of a card holding one more line.
struct AcceptanceCase {
    const char* name;
    InputLine line;
    bool rejected;
};

class AcceptanceTest : public testing::TestWithParam<AcceptanceCase> {};

TEST_P(AcceptanceTest, DecidesWhetherTheCardIsWritten)
{
    const AcceptanceCase& c = GetParam();
    Session session;
    FeedAll(session, {{"BEGIN:VCARD"}, {"N:a"}, c.line, {"END:VCARD"}});
    const std::string file = Finish(session);
    ExpectCounts(CountCards(session.cards), 1, c.rejected ? 0 : 1);
    ASSERT_EQ(session.cards.records.size(), 1u);
    EXPECT_EQ(DetailsOf(session.cards, 0).rejected, c.rejected);
    if (c.rejected) {
        EXPECT_EQ(file, FileOf(u""));
    } else {
        EXPECT_TRUE(file.starts_with(FileOf(u"BEGIN:VCARD\r\nN:a\r\n")));
        EXPECT_TRUE(file.ends_with(test::Utf16LeBytes(u"END:VCARD\r\n")));
    }
}

const AcceptanceCase kAcceptanceCases[] = {
    {"Version21", {"VERSION:2.1"}, false},
    {"Version30", {"VERSION:3.0"}, false},
    {"Version40", {"VERSION:4.0"}, true},
    {"VersionLowerCase", {"version:3.0"}, false},
    {"VersionEmpty", {"VERSION:"}, true},
    {"VersionInLaterComponent", {"VERSION:4.0;2.1"}, false},
    {"VersionContainingTheNumber", {"VERSION:2.10"}, false},
    {"VersionWithoutColon", {"VERSION"}, false},
    {"VersionWithKnownCharset", {"VERSION;CHARSET=SHIFT_JIS:2.1", CharsetShiftJis}, false},
    {"VersionWithUnknownCharset", {"VERSION;CHARSET=X:2.1"}, true},
    {"NameWithUnknownCharset", {"N;CHARSET=ISO-2022-JP:x"}, true},
    {"NameWithShiftJis", {"N;CHARSET=SHIFT_JIS:x", CharsetShiftJis}, false},
    {"NameWithUtf8", {"N;CHARSET=UTF-8:x", CharsetUtf8}, false},
    {"UndispatchedWithUnknownCharset", {"X-FOO;CHARSET=ISO-2022-JP:x"}, false},
    {"FormattedNameWithUnknownCharset", {"FN;CHARSET=ISO-2022-JP:x"}, false},
    {"TelWith8Bit", {"TEL;ENCODING=8BIT:1"}, true},
    {"PhotoWithBase64", {"PHOTO;ENCODING=BASE64;TYPE=JPEG:AAAA", CharsetNone, EncodingBase64},
     false},
    {"NoteWithQuotedPrintable",
     {"NOTE;ENCODING=QUOTED-PRINTABLE:=41", CharsetNone, EncodingQuotedPrintable}, false},
    {"EmailWithUnknownEncoding", {"EMAIL;INTERNET;ENCODING=7BIT:a"}, true},
    {"SoundWithUnknownCharset", {"SOUND;CHARSET=EUC-JP:a"}, true},
    {"UndispatchedWithUnknownEncoding", {"LABEL;ENCODING=8BIT:x"}, false},
    {"NoVersionAtAll", {"TEL:1"}, false},
};

INSTANTIATE_TEST_SUITE_P(Table, AcceptanceTest, testing::ValuesIn(kAcceptanceCases),
                         CaseName<AcceptanceCase>);

TEST(ConvertProperty, RejectedLineAfterTheEndChangesNothing)
{
    Session session;
    FeedAll(session, {{"BEGIN:VCARD"}, {"END:VCARD"}, {"VERSION:4.0"}, {"N;CHARSET=X:a"}});
    EXPECT_EQ(Finish(session), FileOf(u"BEGIN:VCARD\r\nEND:VCARD\r\n"));
    EXPECT_FALSE(DetailsOf(session.cards, 0).rejected);
}

TEST(ConvertProperty, ThreeCardsAbandonedWrittenAndRejected)
{
    Session session;
    FeedAll(session, {{"BEGIN:VCARD"}, {"N:abandoned"},
                      {"BEGIN:VCARD"}, {"N:written"}, {"END:VCARD"},
                      {"BEGIN:VCARD"}, {"VERSION:4.0"}, {"END:VCARD"}});
    EXPECT_EQ(Finish(session), FileOf(u"BEGIN:VCARD\r\nN:written\r\nEND:VCARD\r\n"));
    ExpectCounts(CountCards(session.cards), 2, 1);
}

// ---------------------------------------------------------------------------
// What the report tells about each card

// A card's name and first line are kept where the report names the card: one
// not written, or one that lost something; a card written whole keeps nothing.
TEST(CardReport, RecordsWhereTheCardBeganAndItsName)
{
    Session session;
    FeedAll(session, {{"VERSION:2.1"},
                      {"BEGIN:VCARD"},
                      {"N;CHARSET=SHIFT_JIS:" SJIS_YAMAMOTO ";" SJIS_TARO ";;;", CharsetShiftJis},
                      {"VERSION:4.0"},
                      {"END:VCARD"},
                      {"BEGIN:VCARD"},
                      {"N:" SJIS_HALF_YAMAMOTO ";;" SJIS_HALF_TARO},
                      {"X-FOO:lost"},
                      {"END:VCARD"},
                      {"BEGIN:VCARD"},
                      {"N:whole"},
                      {"END:VCARD"}});
    // A name or a rejecting line of any length is quoted cut short.
    const std::string longName = "N:" + std::string(25, 'a') + ";" + std::string(20, 'b');
    const std::string longVersion = "VERSION:" + std::string(50, '4');
    FeedAll(session, {{"BEGIN:VCARD"}, {longName}, {longVersion}, {"END:VCARD"}});
    ASSERT_EQ(session.cards.records.size(), 4u);
    const CardDetails fourth = DetailsOf(session.cards, 3);
    EXPECT_EQ(fourth.name, std::string(25, 'a') + " " + std::string(14, 'b') + "\x81\x63");
    EXPECT_EQ(fourth.rejectedBy, longVersion.substr(0, 40) + "\x81\x63");
    const CardDetails first = DetailsOf(session.cards, 0);
    EXPECT_EQ(first.beginLine, 2);
    EXPECT_EQ(first.name, SJIS_YAMAMOTO " " SJIS_TARO);
    EXPECT_EQ(first.rejection, Rejection::Version);
    const CardDetails second = DetailsOf(session.cards, 1);
    EXPECT_EQ(second.beginLine, 6);
    EXPECT_EQ(second.name, SJIS_FULL_YAMAMOTO " " SJIS_FULL_TARO);
    EXPECT_EQ(DetailsOf(session.cards, 2).beginLine, 10);
    EXPECT_EQ(session.cards.notes.size(), 3u);
}

TEST(CardReport, NameIsDecoded)
{
    Session session;
    FeedAll(session, {{"BEGIN:VCARD"},
                      {"N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=B1=B1=E6=9C=AC;a",  // 山本
                       CharsetUtf8, EncodingQuotedPrintable}});
    EXPECT_EQ(DetailsOf(session.cards, 0).name, SJIS_YAMAMOTO " a");
}

struct RejectionCase {
    const char* name;
    std::vector<InputLine> lines;  // inside the card, from line 2 on
    Rejection rejection;
    std::string_view rejectedBy;
    std::int64_t rejectedLine;
};

class RejectionReportTest : public testing::TestWithParam<RejectionCase> {};

TEST_P(RejectionReportTest, KeepsTheFirstCause)
{
    const RejectionCase& c = GetParam();
    Session session;
    Feed(session, {"BEGIN:VCARD"});
    FeedAll(session, c.lines);
    Feed(session, {"END:VCARD"});
    ASSERT_EQ(session.cards.records.size(), 1u);
    const CardDetails entry = DetailsOf(session.cards, 0);
    EXPECT_TRUE(entry.rejected);
    EXPECT_EQ(entry.rejection, c.rejection);
    EXPECT_EQ(entry.rejectedBy, c.rejectedBy);
    EXPECT_EQ(entry.rejectedLine, c.rejectedLine);
    }

const RejectionCase kRejectionCases[] = {
    {"Version", {{"VERSION:4.0"}}, Rejection::Version, "VERSION:4.0", 2},
    {"Charset", {{"N:a"}, {"N;CHARSET=ISO-2022-JP:x"}}, Rejection::Charset,
     "CHARSET=ISO-2022-JP", 3},
    {"Encoding", {{"TEL;CELL;ENCODING=8BIT:1"}}, Rejection::Encoding, "ENCODING=8BIT", 2},
    {"VersionBeforeCharset", {{"VERSION:4.0"}, {"N;CHARSET=X:a"}}, Rejection::Version,
     "VERSION:4.0", 2},
    {"CharsetBeforeVersion", {{"N;CHARSET=X:a"}, {"VERSION:4.0"}}, Rejection::Charset,
     "CHARSET=X", 2},
    {"CharsetBeforeEncodingOnOneLine", {{"TEL;ENCODING=8BIT;CHARSET=X:1"}}, Rejection::Charset,
     "CHARSET=X", 2},
    {"FirstOfTwoCharsetTokens", {{"N;X-CHARSET-HINT;CHARSET=X:a"}}, Rejection::Charset,
     "X-CHARSET-HINT", 2},
    {"VersionWithUnknownCharset", {{"VERSION;CHARSET=X:4.0"}}, Rejection::Version,
     "VERSION;CHARSET=X:4.0", 2},
};

INSTANTIATE_TEST_SUITE_P(Table, RejectionReportTest, testing::ValuesIn(kRejectionCases),
                         CaseName<RejectionCase>);

} // namespace
} // namespace karuto
