#pragma once
// The record of one logical property line and its enumerations.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/shift_jis.h"
#include "vcard/strings.h"

namespace karuto {

enum Charset : std::int32_t {
    CharsetNone = 0,
    CharsetShiftJis = 1,
    CharsetUtf8 = 2,
    CharsetLatin1 = 3,
    // Named by a line, and read only to show a refused card's name.
    CharsetEucJp = 4,
    CharsetIso2022Jp = 5,
};

// How the loaded text holds its characters, from its byte-order mark and its
// content: the one description of the input's encoding. It decides how the
// bytes of a value that stand as they are in the text are read, but on the
// lines that the book's reading (BookReading) finds written otherwise; the
// bytes that Quoted-Printable escapes stand for follow the line's CHARSET,
// which a book saved again in another encoding leaves as it was.
enum class SourceEncoding : std::int32_t {
    ShiftJis,          // no mark, read as Shift_JIS: each line as its CHARSET says (Shift_JIS when it names none)
    Utf16Le,           // made Shift_JIS when loaded, whatever a CHARSET says
    Utf8WithMark,      // UTF-8 by its mark, whatever a CHARSET says
    Utf8WithoutMark,   // the same, found from the content
    Utf16LeWithoutMark,  // UTF-16LE found from the content, made Shift_JIS when loaded
    EucJp,             // found from the content, made Shift_JIS when loaded
    Iso2022Jp,         // the same
};

// Was the text made Shift_JIS when it was loaded, whatever a CHARSET says?
constexpr bool IsConvertedWhenLoaded(SourceEncoding encoding)
{
    return encoding == SourceEncoding::Utf16Le || encoding == SourceEncoding::Utf16LeWithoutMark ||
           encoding == SourceEncoding::EucJp || encoding == SourceEncoding::Iso2022Jp;
}

// How the bytes of one line's value are held.
enum TextEncoding : std::int32_t {
    TextShiftJis = 0,   // as the line's CHARSET says (Shift_JIS when it names none)
    TextConverted = 1,  // made Shift_JIS when loaded (UTF-16, EUC-JP, ISO-2022-JP), whatever a CHARSET says
    TextUtf8 = 2,       // UTF-8, whatever a CHARSET says
};

// Lines of a book read otherwise than the book as a whole: a Shift_JIS card
// in a UTF-8 book, a UTF-8 card in a Shift_JIS one (lines firstLine to
// lastLine, 1-based, as the card scanner counts them).
struct LinesReadOtherwise {
    std::int64_t firstLine;
    std::int64_t lastLine;
    TextEncoding encoding;
};

// A character not written as itself when the text was loaded, at its line.
struct LostCharacter {
    std::int64_t line;
    Substitution substitution;
};

enum ValueEncoding : std::int32_t {
    EncodingNone = 0,
    EncodingBase64 = 1,
    EncodingQuotedPrintable = 2,
};

enum LineState : std::int32_t {
    LineEmpty = 0,
    LineCollecting = 1,
    LineComplete = 2,
    LineCompleteHeld = 3,  // complete; the physical line last fed belongs to the next one
};

struct LogicalLine {
    Charset charset = CharsetNone;  // as the line's parameters say
    // How the bytes of this line's value are held (DecideLineEncoding).
    TextEncoding textEncoding = TextShiftJis;
    ValueEncoding encoding = EncodingNone;
    LineState state = LineEmpty;
    bool widenKana = false;   // values get half-width katakana widened
    bool loneCrBreaks = false;  // a CR alone in a value is a line break
    // The line's text, meaningful unless state is LineEmpty: a view of the
    // physical lines while they lie whole and side by side where they were
    // read, else of `gathered`.
    std::string_view text;
    OwnedString gathered;
    bool isGathered = false;
    bool folded = false;  // a folded continuation was taken in (CR LF and a blank in `text`)
    std::int64_t firstLineNumber = 0;  // 1-based number of the first physical line
    std::int64_t lastLineNumber = 0;   // and of the last
    // The characters of these lines not written as themselves when the text was loaded.
    std::span<const LostCharacter> lostWhenLoaded;
    // The name tokens of the first physical line and their parameter words;
    // when that line holds the ":" (`nameComplete`), they are the logical
    // line's own, and the dispatch need not split its name again.
    PropertyTokens tokens;
    bool nameComplete = false;
};

} // namespace karuto
