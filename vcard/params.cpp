#include "vcard/params.h"

#include <algorithm>
#include <array>

namespace karuto {

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    }
    return true;
}

bool IsKeywordLineAfterItsFirstByte(std::string_view lineText, std::string_view keyword)
{
    const std::size_t end = lineText.find_last_not_of(" \t");
    return EqualsNoCase(lineText.substr(0, end == std::string_view::npos ? 0 : end + 1), keyword);
}

bool ContainsNoCase(std::string_view word, std::string_view text)
{
    if (word.empty()) return true;
    if (text.size() < word.size()) return false;
    // Every parameter test runs this on every token of every line: a plain
    // loop that only looks further where the first letter matches.
    const char first = UpperAscii(word[0]);
    const std::size_t lastStart = text.size() - word.size();
    for (std::size_t start = 0; start <= lastStart; ++start) {
        if (UpperAscii(text[start]) != first) continue;
        std::size_t matched = 1;
        while (matched < word.size() &&
               UpperAscii(text[start + matched]) == UpperAscii(word[matched])) {
            ++matched;
        }
        if (matched == word.size()) return true;
    }
    return false;
}

bool HasParam(std::string_view word, const TokenArray& tokens)
{
    return std::any_of(tokens.begin(), tokens.end(),
                       [word](std::string_view token) { return ContainsNoCase(word, token); });
}

bool ContainsEncodingB(std::string_view text)
{
    constexpr std::string_view kWord = "ENCODING=B";
    // Every parameter is tested; most have no "=" and so cannot match.
    if (text.find('=') == std::string_view::npos) return false;
    auto isBlank = [](char byte) { return byte == ' ' || byte == '\t'; };
    // Matches as if every blank and tab had been removed from the text, without
    // making that copy: a match may start at any byte that is not blank.
    for (std::size_t start = 0; start < text.size(); ++start) {
        if (isBlank(text[start])) continue;
        std::size_t matched = 0;
        for (std::size_t pos = start; pos < text.size() && matched < kWord.size(); ++pos) {
            if (isBlank(text[pos])) continue;
            if (UpperAscii(text[pos]) != kWord[matched]) break;
            ++matched;
        }
        if (matched == kWord.size()) return true;
    }
    return false;
}

ValueEncoding EncodingOfWords(ParamWords words)
{
    if (words & WordQuotedPrintable) return EncodingQuotedPrintable;
    return (words & (WordBase64 | WordEncodingB | WordB)) ? EncodingBase64 : EncodingNone;
}

namespace {

// `word` (upper case) at `pos` of `token`, ignoring the case of A-Z.
ParamWords WordAt(std::string_view token, std::size_t pos, std::string_view word, ParamWord bit)
{
    if (token.size() - pos < word.size()) return 0;
    for (std::size_t i = 1; i < word.size(); ++i) {
        if (UpperAscii(token[pos + i]) != word[i]) return 0;
    }
    return bit;
}

} // namespace

namespace {

struct KnownCharset {
    std::string_view name;
    ParamWords words;
};

// The names a charset goes by: IANA's and those writers use.
constexpr KnownCharset kCharsetNames[] = {
    {"SHIFT_JIS", WordShiftJis}, {"SHIFT-JIS", WordShiftJis}, {"SHIFTJIS", WordShiftJis},
    {"SJIS", WordShiftJis}, {"X-SJIS", WordShiftJis}, {"MS_KANJI", WordShiftJis},
    {"CSSHIFTJIS", WordShiftJis}, {"WINDOWS-31J", WordShiftJis}, {"CSWINDOWS31J", WordShiftJis},
    {"CP932", WordShiftJis}, {"MS932", WordShiftJis}, {"WINDOWS-932", WordShiftJis},
    {"UTF-8", WordUtf8}, {"UTF8", WordUtf8}, {"CSUTF8", WordUtf8},
    {"ISO-8859-1", WordLatin1}, {"ISO_8859-1", WordLatin1}, {"ISO8859-1", WordLatin1},
{"LATIN1", WordLatin1}, {"L1", WordLatin1},
    {"CSISOLATIN1", WordLatin1}, {"ISO-IR-100", WordLatin1}, {"CP819", WordLatin1}, {"IBM819", WordLatin1},
    {"EUC-JP", WordEucJp}, {"EUCJP", WordEucJp}, {"X-EUC-JP", WordEucJp}, {"CSEUCPKDFMTJAPANESE", WordEucJp},
    {"ISO-2022-JP", WordIso2022Jp}, {"CSISO2022JP", WordIso2022Jp},
};

constexpr std::string_view kAsciiNames[] = {"US-ASCII", "ASCII", "US", "ANSI_X3.4-1968", "CSASCII",
                                            "ISO646-US", "CP367", "IBM367"};

std::string_view TrimBlanks(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace

CharsetAlias CharsetAliasWords(std::string_view afterCharset)
{
    std::string_view value = TrimBlanks(afterCharset);
    if (!value.starts_with('=')) return {0, false};
    // A line's parameters may come as one text, the value ending at the
    // next one or at the ":" before the line's value.
    value = value.substr(1);
    std::size_t end = 0;
    while (end < value.size() && value[end] != ';' && value[end] != ':') ++end;
    value = TrimBlanks(value.substr(0, end));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    for (const KnownCharset& known : kCharsetNames) {
        if (EqualsNoCase(value, known.name)) return {known.words, false};
    }
    const auto ascii = [value](std::string_view name) { return EqualsNoCase(value, name); };
    const bool isAscii = std::any_of(std::begin(kAsciiNames), std::end(kAsciiNames), ascii);
    return {isAscii ? ParamWords{WordAscii} : ParamWords{0}, isAscii};
}

namespace {

// The bytes the loop below must stop at: the first letters of the words, in
// either case, and the blanks.
constexpr std::array<bool, 256> MakeStops()
{
    std::array<bool, 256> stops{};
    for (const char letter : std::string_view("SUCQBEWHPI")) {
        stops[static_cast<unsigned char>(letter)] = true;
        stops[static_cast<unsigned char>(letter - 'A' + 'a')] = true;
    }
    stops[' '] = true;
    stops['\t'] = true;
    return stops;
}

constexpr std::array<bool, 256> kStops = MakeStops();

} // namespace

ParamWords ParamWordsOf(std::string_view token)
{
    ParamWords words = 0;
    bool blanks = false;
    std::size_t charsetAt = std::string_view::npos;
    // One look at each byte: only a word's first letter leads to a comparison.
    for (std::size_t pos = 0; pos < token.size(); ++pos) {
        if (!kStops[static_cast<unsigned char>(token[pos])]) continue;
        switch (UpperAscii(token[pos])) {
        case 'S': words |= WordAt(token, pos, "SHIFT_JIS", WordShiftJis); break;
        case 'U': words |= WordAt(token, pos, "UTF-8", WordUtf8); break;
        case 'C':
            if (WordAt(token, pos, "CHARSET", WordCharset)) {
                if (charsetAt == std::string_view::npos) charsetAt = pos;
                words |= WordCharset;
            } else {
                words |= WordAt(token, pos, "CELL", WordCell);
            }
            break;
        case 'Q': words |= WordAt(token, pos, "QUOTED-PRINTABLE", WordQuotedPrintable); break;
        case 'B': words |= WordAt(token, pos, "BASE64", WordBase64); break;
        case 'E':
            words |= WordAt(token, pos, "ENCODING", WordEncoding) |
                     WordAt(token, pos, "ENCODING=B", WordEncodingB);
            break;
        case 'W': words |= WordAt(token, pos, "WORK", WordWork); break;
        case 'H': words |= WordAt(token, pos, "HOME", WordHome); break;
        case 'P': words |= WordAt(token, pos, "PCS", WordPcs); break;
        case 'I': words |= WordAt(token, pos, "INTERNET", WordInternet); break;
        case ' ':
        case '\t': blanks = true; break;
        default: break;
        }
    }
    // The charset by another of its names: looked for only where neither of
    // the two names of nearly every book is there.
    if (charsetAt != std::string_view::npos && !(words & (WordShiftJis | WordUtf8))) {
        const CharsetAlias alias = CharsetAliasWords(token.substr(charsetAt + 7));
        words |= alias.set;
        if (alias.ascii) words &= ~ParamWords{WordCharset};
    }
    // Blanks inside may hide "ENCODING=B" from the plain comparison.
    if (blanks && !(words & WordEncodingB) && ContainsEncodingB(token)) words |= WordEncodingB;
    if (EqualsNoCase(token, "B")) words |= WordB;
    return words;
}

void FindParamWords(const TokenArray& tokens, std::vector<ParamWords>& words)
{
    words.clear();
    for (std::string_view token : tokens) words.push_back(ParamWordsOf(token));
}

ParamWords AnyParamWords(const std::vector<ParamWords>& words)
{
    ParamWords any = 0;
    for (ParamWords tokenWords : words) any |= tokenWords;
    return any;
}

} // namespace karuto
