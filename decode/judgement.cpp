#include "decode/judgement.h"

#include <algorithm>
#include <string>

#include "platform/shift_jis.h"
#include "platform/unicode.h"
#include "vcard/folding.h"
#include "platform/jis.h"

namespace karuto {

namespace {

// How unlikely a character is in an address book, in quarters: 0 for kana,
// common kanji and ASCII, 16 and more for what marks a mis-reading.
constexpr int kImplausible = 16;
// How much less unlikely one reading must be to win, and to win surely.
constexpr int kDecisive = 6;
constexpr int kSure = 16;
// What a reading that is not valid weighs against one that is.
constexpr int kNoReading = 32;

struct Plausibility {
    bool valid = false;
    int penalty = 0;
    bool wide = false;         // a character of three bytes or more
    bool implausible = false;  // a character no address book holds
    int halfWidthSigns = 0;    // read as Shift_JIS: half-width 。「」、・, which EUC-JP's kana lead with
    int eucHalfWidthKana = 0;  // read as Shift_JIS: kanji 8EA1-8EDF, EUC-JP's half-width katakana
    int kanji = 0;
};

// The bytes with their folds taken out: a writer may fold inside a character.
std::string_view Unfolded(std::string_view bytes, std::string& buffer)
{
    if (bytes.find('\n') == std::string_view::npos) return bytes;
    buffer.clear();
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t fold = FoldLength(bytes, pos);
        if (fold > 0) {
            pos += fold;
            continue;
        }
        buffer.push_back(bytes[pos++]);
    }
    return buffer;
}

// ---- The UTF-8 reading ----

constexpr bool IsAsciiLetter(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// An accented Latin letter (Latin-1, Extended-A and -B), × and ÷ aside.
constexpr bool IsLatinLetter(char32_t c) { return c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7; }

// Greek 1, Cyrillic 2: scripts whose words have no ASCII letter in them.
constexpr int ScriptOf(char32_t c) { return c >= 0x370 && c <= 0x3FF ? 1 : c >= 0x400 && c <= 0x4FF ? 2 : 0; }

// Latin-1 signs that contact data holds: no-break space, £, ¥, ©, ®, °, ±, ·.
constexpr bool IsCommonLatin1Sign(char32_t c)
{
    return c == 0xA0 || c == 0xA3 || c == 0xA5 || c == 0xA9 || c == 0xAE || c == 0xB0 || c == 0xB1 ||
           c == 0xB7;
}

int WideCharPenalty(char32_t c)
{
    if ((c >= 0x3000 && c <= 0x30FF) || (c >= 0xFF01 && c <= 0xFF9F) || c == 0xFE0F || c == 0x200D) return 0;
    if (c >= 0x4E00 && c <= 0x9FFF) {
        const std::uint16_t code = ExactAnsiCodeOf(c);
        if (code == 0) return kImplausible;
        return code <= 0x9872 ? 0 : 4;  // the first level of JIS kanji, or the rarer rest
    }
    if (c >= 0x2000 && c <= 0x27BF) return c >= 0x2600 || ExactAnsiCodeOf(c) != 0 ? 4 : 12;
    if (c >= 0xAC00 && c <= 0xD7A3) return 8;   // Hangul: a Korean contact
    if (c >= 0x1F000 && c <= 0x1FAFF) return 4;  // emoji
    if (c >= 0xE000 && c <= 0xF8FF) return 4;    // private use: the pictograms of early smartphones
    return 24;
}

// How plausible a text's characters are, decoded; `utf8` when they were read
// as UTF-8, whose mis-readings have a mark of their own.
Plausibility WeighCharacters(const std::u32string& chars, bool utf8)
{
    Plausibility reading;
    reading.valid = true;
    const auto add = [&reading](int penalty) {
        reading.penalty += penalty;
        reading.implausible = reading.implausible || penalty >= kImplausible;
    };
    const std::size_t n = chars.size();
    for (std::size_t i = 0; i < n;) {
        const char32_t c = chars[i];
        if (IsAsciiLetter(c) || IsLatinLetter(c)) {
            // An accented letter stands in a word with ASCII letters (Müller,
            // José); a half-width reading read as UTF-8 gives them alone.
            std::size_t end = i;
            bool ascii = false;
            for (; end < n && (IsAsciiLetter(chars[end]) || IsLatinLetter(chars[end])); ++end) {
                ascii = ascii || IsAsciiLetter(chars[end]);
            }
            for (; i < end; ++i) {
                if (IsLatinLetter(chars[i])) add(ascii ? 2 : kImplausible);
            }
            continue;
        }
        if (const int script = ScriptOf(c); script != 0) {
            // A Greek or Cyrillic name is a word of several letters; a
            // misread reading gives one or two.
            std::size_t end = i;
            while (end < n && ScriptOf(chars[end]) == script) ++end;
            const int each = end - i >= 3 ? 1 : kImplausible;
            for (; i < end; ++i) add(each);
            continue;
        }
        ++i;
        if (c < 0x80) continue;
        if (c < 0x800) {
            add(IsCommonLatin1Sign(c) ? 8 : c <= 0xBF ? kImplausible : 24);
            continue;
        }
        reading.wide = true;
        // Shift_JIS read as UTF-8 runs a character into the next one's ASCII
        // trail byte (莉子 reads as 从q).
        const bool runIntoLetter = utf8 && i < n && chars[i] >= 0x40 && chars[i] <= 0x7E;
        add(WideCharPenalty(c) + (runIntoLetter ? 12 : 0));
    }
    return reading;
}

Plausibility ReadAsUtf8(std::string_view text, std::u32string& chars)
{
    chars.clear();
    for (std::size_t pos = 0; pos < text.size();) {
        const FoldedUtf8Char next = ReadFoldedUtf8Char(text, pos);
        if (!next.valid) return {};
        chars.push_back(next.codePoint);
        pos = next.end;
    }
    return WeighCharacters(chars, true);
}

// ---- The EUC-JP reading ----

Plausibility ReadAsEucJp(std::string_view text, std::u32string& chars)
{
    chars.clear();
    for (std::size_t pos = 0; pos < text.size();) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte < 0x80) {
            chars.push_back(byte);
            ++pos;
            continue;
        }
        const EucJpChar next = ReadEucJpChar(text, pos);
        if (next.length == 0) return {};
        const char32_t c = next.code == 0     ? char32_t{kReplacementChar}
                           : next.code > 0xFF ? char32_t{WideOfAnsiPair(next.code >> 8, next.code & 0xFF)}
                                              : char32_t{0xFF61u + (next.code - 0xA1u)};
        chars.push_back(c);
        pos += next.length;
    }
    return WeighCharacters(chars, false);
}

// ---- The Shift_JIS reading ----

enum class CharKind { Edge, AsciiLetter, Ascii, Double, HalfWidth };

int DoubleBytePenalty(std::uint16_t code)
{
    if (code >= 0x889F && code <= 0x9872) return 0;  // first-level kanji
    if (code >= 0x989F && code <= 0xEAA4) return 6;  // second-level kanji
    if (code >= 0xF040 && code <= 0xF9FC) return 4;  // user-defined: a phone's pictograms
    if ((code >= 0x8740 && code <= 0x879C) || code >= 0xED40) return 8;  // NEC and IBM extensions
    return 0;  // kana, signs, full-width letters
}

// A run of half-width katakana: a reading stands by itself or beside ASCII
// digits and blanks; UTF-8 read as Shift_JIS leaves single ones between kanji.
struct HalfWidthRun {
    std::size_t length = 0;
    unsigned char first = 0;
    CharKind before = CharKind::Edge;
};

int RunPenalty(const HalfWidthRun& run, CharKind after)
{
    int penalty = 0;
    if (run.before == CharKind::Double) penalty += 4;
    if (after == CharKind::Double) penalty += 4;
    if (run.length == 1 && run.before == CharKind::Double && after == CharKind::Double) penalty += 12;
    if (run.first == 0xDE || run.first == 0xDF) penalty += 12;  // a sound mark with no kana before it
    if (run.first >= 0xA1 && run.first <= 0xA5) penalty += 4;   // half-width punctuation
    if (run.before == CharKind::AsciiLetter || after == CharKind::AsciiLetter) penalty += 8;
    return penalty;
}

Plausibility ReadAsShiftJis(std::string_view text)
{
    Plausibility reading;
    HalfWidthRun run;
    CharKind previous = CharKind::Edge;
    const auto endRun = [&](CharKind after) {
        if (run.length > 0) reading.penalty += RunPenalty(run, after);
        run.length = 0;
    };
    for (std::size_t pos = 0; pos < text.size();) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        CharKind kind = CharKind::Ascii;
        if (byte < 0x80) {
            kind = IsAsciiLetter(byte) ? CharKind::AsciiLetter : CharKind::Ascii;
            ++pos;
        } else if (byte >= 0xA1 && byte <= 0xDF) {
            if (byte <= 0xA5) ++reading.halfWidthSigns;
            if (run.length++ == 0) {
                run.first = byte;
                run.before = previous;
            }
            previous = CharKind::HalfWidth;
            ++pos;
            continue;
        } else {
            if (pos + 1 >= text.size()) return reading;
            const auto trail = static_cast<unsigned char>(text[pos + 1]);
            if (WideOfAnsiPair(byte, trail) == 0) return reading;
            reading.penalty += DoubleBytePenalty(static_cast<std::uint16_t>(byte << 8 | trail));
            if (byte == 0x8E && trail >= 0xA1 && trail <= 0xDF) ++reading.eucHalfWidthKana;
            if (byte >= 0x88) ++reading.kanji;
            kind = CharKind::Double;
            pos += 2;
        }
        endRun(kind);
        previous = kind;
    }
    endRun(CharKind::Edge);
    reading.valid = true;
    return reading;
}

struct JudgementBuffers {
    std::string unfolded;
    std::u32string chars;
};

thread_local JudgementBuffers tBuffers;

} // namespace

LineJudgement JudgeLineBytes(std::string_view bytes, Charset label)
{
    if (label == CharsetUtf8) return {LineReading::Utf8, true};
    JudgementBuffers& buffers = tBuffers;
    const std::string_view text = Unfolded(bytes, buffers.unfolded);
    const Plausibility utf8 = ReadAsUtf8(text, buffers.chars);
    if (!utf8.valid) return {LineReading::ShiftJis, true};
    const bool labelledShiftJis = label == CharsetShiftJis;
    if (labelledShiftJis && (!utf8.wide || utf8.implausible)) return {LineReading::ShiftJis, true};
    const Plausibility shiftJis = ReadAsShiftJis(text);
    // Neither reading plausible: the lines around it decide, UTF-8 failing them.
    if (!shiftJis.valid) return {LineReading::Utf8, !utf8.implausible};
    const int margin = utf8.penalty - shiftJis.penalty;
    if (labelledShiftJis) return {margin <= -kSure ? LineReading::Utf8 : LineReading::ShiftJis, true};
    const bool sure = margin <= -kSure || margin >= kSure;
    if (margin <= -kDecisive) return {LineReading::Utf8, sure};
    if (margin >= kDecisive) return {LineReading::ShiftJis, sure};
    return {LineReading::Either, false};
}

EucJpLeaning EucJpLead(std::string_view bytes, bool reading)
{
    JudgementBuffers& buffers = tBuffers;
    const std::string_view text = Unfolded(bytes, buffers.unfolded);
    const Plausibility eucJp = ReadAsEucJp(text, buffers.chars);
    if (!eucJp.valid) return {-kNoReading, 0};
    const auto characters = static_cast<int>(
        std::count_if(buffers.chars.begin(), buffers.chars.end(), [](char32_t c) { return c >= 0x80; }));
    const Plausibility shiftJis = ReadAsShiftJis(text);
    if (!shiftJis.valid) return {kNoReading, characters};
    // A reading is kana: kanji there mark the other encoding read.
    const auto eucKanji = static_cast<int>(
        std::count_if(buffers.chars.begin(), buffers.chars.end(), [](char32_t c) { return c >= 0x4E00 && c <= 0x9FFF; }));
    const int readingLead = reading ? 8 * (shiftJis.kanji - eucKanji) : 0;
    // EUC-JP's hiragana and katakana all lead with A4 or A5 (､ and ･ read as
    // Shift_JIS), which no half-width reading holds at every other character;
    // its half-width katakana all lead with 8E, which as Shift_JIS makes a
    // reading a run of kanji from one short stretch of the table.
    return {shiftJis.penalty + 4 * shiftJis.halfWidthSigns + 8 * shiftJis.eucHalfWidthKana + readingLead -
                eucJp.penalty,
            characters};
}

} // namespace karuto
