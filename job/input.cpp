#include "job/input.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "platform/byte_blocks.h"
#include "platform/byte_order_marks.h"
#include "platform/jis.h"
#include "platform/shift_jis.h"
#include "platform/unicode.h"
#include "vcard/line_ends.h"
#include "vcard/params.h"
#include "writer/book_reading.h"

namespace karuto {

namespace {

// How a file's bytes hold its text, from its mark or, without one, from the
// NUL bytes that wide forms put beside each ASCII character.
enum class ByteForm { Bytes, Utf16Le, Unsupported };

struct MarkScan {
    ByteOrderMark mark = ByteOrderMark::None;
    std::size_t length = 0;
    ByteForm form = ByteForm::Bytes;
};

// Looks at the start of a file without a mark: UTF-16LE when most of its
// pairs of bytes are an ASCII character and a NUL; UTF-16BE and UTF-32 (NULs
// before, or three of them) are refused.
ByteForm UnmarkedFormOf(std::string_view bytes)
{
    constexpr std::size_t kLooked = 4096;
    const std::string_view start = bytes.substr(0, std::min(bytes.size(), kLooked) & ~std::size_t{3});
    std::size_t littlePairs = 0, bigPairs = 0, littleQuads = 0, bigQuads = 0;
    for (std::size_t i = 0; i < start.size(); i += 4) {
        const auto ascii = [](char byte) { return byte != 0 && static_cast<unsigned char>(byte) < 0x80; };
        const char* b = start.data() + i;
        littlePairs += (ascii(b[0]) && b[1] == 0) + (ascii(b[2]) && b[3] == 0);
        bigPairs += (b[0] == 0 && ascii(b[1])) + (b[2] == 0 && ascii(b[3]));
        littleQuads += ascii(b[0]) && b[1] == 0 && b[2] == 0 && b[3] == 0;
        bigQuads += b[0] == 0 && b[1] == 0 && b[2] == 0 && ascii(b[3]);
    }
    const std::size_t quads = start.size() / 4;
    if (quads == 0) return ByteForm::Bytes;
    if (littleQuads * 2 > quads || bigQuads * 2 > quads || bigPairs > quads) return ByteForm::Unsupported;
    return littlePairs > quads ? ByteForm::Utf16Le : ByteForm::Bytes;
}

MarkScan ScanMark(std::string_view bytes)
{
    if (bytes.starts_with(kUtf32LeMark) || bytes.starts_with(kUtf32BeMark)) {
        return {ByteOrderMark::None, 0, ByteForm::Unsupported};
    }
    if (bytes.starts_with(kUtf8Mark)) return {ByteOrderMark::Utf8, kUtf8Mark.size(), ByteForm::Bytes};
    if (bytes.starts_with(kUtf16LeMark)) {
        return {ByteOrderMark::Utf16Le, kUtf16LeMark.size(), ByteForm::Utf16Le};
    }
    if (bytes.starts_with(kUtf16BeMark)) return {ByteOrderMark::None, 0, ByteForm::Unsupported};
    return {ByteOrderMark::None, 0, UnmarkedFormOf(bytes)};
}

Outcome OutcomeOf(ReadStatus status)
{
    switch (status) {
    case ReadStatus::Ok: return Outcome::Done;
    case ReadStatus::CannotOpen: break;
    case ReadStatus::CannotRead: return Outcome::CannotReadInput;
    case ReadStatus::NoMemory: return Outcome::OutOfMemory;
    }
    return Outcome::CannotOpenInput;
}

// Where the NUL bytes (or zero units) are, for the report.
template <typename Char>
void CountNuls(std::basic_string_view<Char> text, LoadedText& loaded)
{
    const std::size_t first = text.find(Char{0});
    loaded.nulCount = 0;
    loaded.firstNulLine = 0;
    if (first == text.npos) return;
    loaded.nulCount = std::count(text.begin() + first, text.end(), Char{0});
    loaded.firstNulLine = 1 + std::count(text.begin(), text.begin() + first, Char{'\n'});
}

// NULs at the very end pad the file to some block size; they are not text.
template <typename Char>
void DropTrailingNuls(std::basic_string<Char>& text)
{
    const std::size_t last = text.find_last_not_of(Char{0});
    text.resize(last == text.npos ? 0 : last + 1);
}

// Turns the file's bytes into the text in place: the mark is dropped, without
// a second copy of a possibly large file.
OwnedString BytesAsText(std::string&& bytes, std::size_t markLength, LoadedText& loaded)
{
    bytes.erase(0, markLength);
    CountNuls(std::string_view(bytes), loaded);
    DropTrailingNuls(bytes);
    return std::move(bytes);
}

// The conversion ends at a zero unit, so the text between zero units is
// converted piece by piece and each zero unit becomes a NUL byte. The
// characters not written as themselves are noted with their offsets.
OwnedString UnitsAsText(std::u16string_view units, std::vector<SubstitutedCharacter>& substituted)
{
    OwnedString text;
    std::vector<SubstitutedCharacter> inPiece;
    for (;;) {
        const std::size_t nul = units.find(u'\0');
        inPiece.clear();
        const std::size_t pieceStart = text.size();
        text += WideToAnsi(units.substr(0, nul), inPiece);
        for (const SubstitutedCharacter& character : inPiece) {
            substituted.push_back({pieceStart + character.offset, character.substitution});
        }
        if (nul == std::u16string_view::npos) return text;
        text.push_back('\0');
        units.remove_prefix(nul + 1);
    }
}

// The lines of the characters not written as themselves, counted as the card
// scanner counts them (by line feeds), in one pass however many there are.
std::vector<LostCharacter> LostCharactersByLine(std::string_view text,
                                                const std::vector<SubstitutedCharacter>& substituted)
{
    std::vector<LostCharacter> lost;
    lost.reserve(substituted.size());
    std::int64_t line = 1;
    std::size_t counted = 0;
    for (const SubstitutedCharacter& character : substituted) {
        line += std::count(text.begin() + static_cast<std::ptrdiff_t>(counted),
                           text.begin() + static_cast<std::ptrdiff_t>(character.offset), '\n');
        counted = character.offset;
        lost.push_back({line, character.substitution});
    }
    return lost;
}

// Does END:VCARD end at `end`, where a book joined without a final line
// break gives way to the next one?
bool AfterEndOfCard(std::u16string_view units, std::size_t end)
{
    constexpr std::u16string_view kEnd = u"END:VCARD";
    if (end < kEnd.size()) return false;
    for (std::size_t i = 0; i < kEnd.size(); ++i) {
        if (UpperAscii(units[end - kEnd.size() + i]) != kEnd[i]) return false;
    }
    return true;
}

// Books joined after the fact (copy /b a.vcf+b.vcf) hold the second one's
// mark at the start of a line, or right after the first one's END:VCARD; it
// is no character of the text.
void DropMarksAtLineStarts(std::u16string& units)
{
    if (units.find(u'\uFEFF') == std::u16string::npos) return;
    std::size_t kept = 0;
    for (const char16_t unit : units) {
        const bool lineStart = kept == 0 || units[kept - 1] == u'\n' || units[kept - 1] == u'\0';
        if (unit == u'\uFEFF' && (lineStart || AfterEndOfCard(units, kept))) continue;
        units[kept++] = unit;
    }
    units.resize(kept);
}

OwnedString Utf16LeAsText(std::string&& bytes, std::size_t markLength, LoadedText& loaded,
                          std::vector<SubstitutedCharacter>& substituted)
{
    std::u16string units = Utf16LeUnits(std::string_view(bytes).substr(markLength));
    DropMarksAtLineStarts(units);
    // The raw bytes are not needed any more; giving them back first keeps the
    // file from being held three times (bytes, units, text) at once.
    std::string().swap(bytes);
    CountNuls(std::u16string_view(units), loaded);
    DropTrailingNuls(units);
    return UnitsAsText(units, substituted);
}

// A book of bytes: ISO-2022-JP by its escape sequences, else as the book's
// reading judges it; EUC-JP and ISO-2022-JP are made Shift_JIS here (true).
bool ReadBook(LoadedText& made, bool utf8Mark, std::vector<SubstitutedCharacter>& substituted)
{
    if (!utf8Mark && LooksLikeIso2022Jp(made.text)) {
        made.text = Iso2022JpToAnsi(made.text, substituted);
        made.encoding = SourceEncoding::Iso2022Jp;
        return true;
    }
    BookReading book = JudgeBook(made.text, utf8Mark);
    made.encoding = book.encoding;
    made.linesReadOtherwise = std::move(book.otherwise);
    if (made.encoding != SourceEncoding::EucJp) return false;
    made.text = EucJpToAnsi(made.text, substituted);
    return true;
}

// CRs that end lines change the lines' numbers, and so that of the first NUL.
void RecountFirstNulLine(LoadedText& made)
{
    const std::size_t first = made.text.find('\0');
    if (first == std::string::npos) return;
    made.firstNulLine = 1 + std::count(made.text.begin(), made.text.begin() + static_cast<std::ptrdiff_t>(first), '\n');
}

// An escape sequence of ISO-2022-JP on a line that names that charset is
// kept: the card is refused for it, and its name shown as the label says.
bool IsEscapeOfItsLabel(std::string_view text, std::size_t pos)
{
    if (!StartsIso2022JpEscape(text, pos)) return false;
    const std::size_t lineFeed = text.rfind('\n', pos);
    const std::size_t start = lineFeed == std::string_view::npos ? 0 : lineFeed + 1;
    const std::string_view line = text.substr(start, pos - start);
    return (ParamWordsOf(line.substr(0, line.find(':'))) & WordIso2022Jp) != 0;
}

// No control character but line breaks and tabs belongs in a card (an ESC
// that a broken ISO-2022-JP line left, a stray byte of another program):
// each is left out and noted at its line, in line order with the others.
void LeaveOutStrayControls(LoadedText& made, MarkedBytes& marked)
{
    OwnedString& text = made.text;
    std::vector<std::size_t> strays;
    for (const std::size_t found : marked.strayControls) {
        if (!IsEscapeOfItsLabel(text, found)) strays.push_back(found);
    }
    if (strays.empty()) return;
    // The cards' beginnings move forward by the bytes left out before them.
    std::size_t passed = 0;
    for (std::size_t& begin : marked.cardBegins) {
        while (passed < strays.size() && strays[passed] < begin) ++passed;
        begin -= passed;
    }
    std::vector<SubstitutedCharacter> leftOut;
    std::size_t kept = strays.front();
    for (std::size_t i = 0; i < strays.size(); ++i) {
        leftOut.push_back({kept, {static_cast<unsigned char>(text[strays[i]]), 0}});
        const std::size_t next = i + 1 < strays.size() ? strays[i + 1] : text.size();
        std::memmove(text.data() + kept, text.data() + strays[i] + 1, next - strays[i] - 1);
        kept += next - strays[i] - 1;
    }
    text.resize(kept);
    // NULs that only control characters followed pad the end as well.
    DropTrailingNuls(text);
    const std::vector<LostCharacter> lost = LostCharactersByLine(text, leftOut);
    std::vector<LostCharacter> merged;
    merged.reserve(lost.size() + made.lostCharacters.size());
    std::merge(made.lostCharacters.begin(), made.lostCharacters.end(), lost.begin(), lost.end(),
               std::back_inserter(merged),
               [](const LostCharacter& a, const LostCharacter& b) { return a.line < b.line; });
    made.lostCharacters = std::move(merged);
}

} // namespace

Outcome LoadInputText(PathView path, LoadedText& loaded)
{
    FileBytes file = ReadWholeFileExclusive(path);
    if (file.status != ReadStatus::Ok) return OutcomeOf(file.status);
    return LoadInputBytes(std::move(file.bytes), loaded);
}

Outcome LoadInputBytes(std::string&& bytes, LoadedText& loaded)
{
    const MarkScan scan = ScanMark(bytes);
    if (scan.form == ByteForm::Unsupported) return Outcome::UnsupportedEncoding;
    LoadedText made;
    std::vector<SubstitutedCharacter> substituted;
    const bool wide = scan.form == ByteForm::Utf16Le;
    if (wide) {
        made.text = Utf16LeAsText(std::move(bytes), scan.length, made, substituted);
        made.encoding = scan.mark == ByteOrderMark::Utf16Le ? SourceEncoding::Utf16Le
                                                            : SourceEncoding::Utf16LeWithoutMark;
    } else {
        made.text = BytesAsText(std::move(bytes), scan.length, made);
    }
    // One pass finds what the lines, the report and the cards depend on.
    MarkedBytes marked = FindMarkedBytes(made.text);
    const LineEndFix lineEnds = EndLinesAtLoneCrs(made.text, marked.bareCrs, marked.cardBegins);
    if (lineEnds.changed) RecountFirstNulLine(made);
    made.crLeftInLine = lineEnds.crLeftInLine;
    if (!wide && ReadBook(made, scan.mark == ByteOrderMark::Utf8, substituted)) {
        marked = FindMarkedBytes(made.text);
    }
    if (!substituted.empty()) made.lostCharacters = LostCharactersByLine(made.text, substituted);
    LeaveOutStrayControls(made, marked);
    made.cardBegins = std::move(marked.cardBegins);
    loaded = std::move(made);
    return Outcome::Done;
}

} // namespace karuto
