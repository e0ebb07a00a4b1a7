#include "job/input.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "platform/codepage.h"
#include "writer/book_reading.h"

namespace karuto {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

struct MarkScan {
    ByteOrderMark mark = ByteOrderMark::None;
    std::size_t length = 0;
    bool unsupported = false;
};

MarkScan ScanMark(std::string_view bytes)
{
    if (bytes.starts_with(kUtf8Mark)) return {ByteOrderMark::Utf8, kUtf8Mark.size(), false};
    if (bytes.starts_with(kUtf16LeMark)) return {ByteOrderMark::Utf16Le, kUtf16LeMark.size(), false};
    if (bytes.starts_with(kUtf16BeMark)) return {ByteOrderMark::None, 0, true};
    return {};
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

// An odd final byte has no partner and is dropped.
std::u16string Utf16LeUnits(std::string_view payload)
{
    std::u16string units;
    units.reserve(payload.size() / 2);
    for (std::size_t i = 0; i + 1 < payload.size(); i += 2) {
        auto low = static_cast<unsigned char>(payload[i]);
        auto high = static_cast<unsigned char>(payload[i + 1]);
        units.push_back(static_cast<char16_t>(low | (high << 8)));
    }
    return units;
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

// Books joined after the fact (copy /b a.vcf+b.vcf) hold the second one's
// mark at the start of a line; it is no character of the text.
void DropMarksAtLineStarts(std::u16string& units)
{
    if (units.find(u'\uFEFF') == std::u16string::npos) return;
    std::size_t kept = 0;
    for (const char16_t unit : units) {
        const bool lineStart = kept == 0 || units[kept - 1] == u'\n' || units[kept - 1] == u'\0';
        if (unit == u'\uFEFF' && lineStart) continue;
        units[kept++] = unit;
    }
    units.resize(kept);
}

OwnedString Utf16LeAsText(std::string&& bytes, std::size_t markLength, LoadedText& loaded)
{
    std::u16string units = Utf16LeUnits(std::string_view(bytes).substr(markLength));
    DropMarksAtLineStarts(units);
    // The raw bytes are not needed any more; giving them back first keeps the
    // file from being held three times (bytes, units, text) at once.
    std::string().swap(bytes);
    CountNuls(std::u16string_view(units), loaded);
    DropTrailingNuls(units);
    std::vector<SubstitutedCharacter> substituted;
    OwnedString text = UnitsAsText(units, substituted);
    loaded.lostCharacters = LostCharactersByLine(text, substituted);
    return text;
}

} // namespace

ByteOrderMark MarkOf(SourceEncoding encoding)
{
    switch (encoding) {
    case SourceEncoding::Utf16Le: return ByteOrderMark::Utf16Le;
    case SourceEncoding::Utf8WithMark: return ByteOrderMark::Utf8;
    case SourceEncoding::ShiftJis:
    case SourceEncoding::Utf8WithoutMark: break;
    }
    return ByteOrderMark::None;
}

Outcome LoadInputText(PathView path, LoadedText& loaded)
{
    FileBytes file = ReadWholeFileExclusive(path);
    if (file.status != ReadStatus::Ok) return OutcomeOf(file.status);
    return LoadInputBytes(std::move(file.bytes), loaded);
}

Outcome LoadInputBytes(std::string&& bytes, LoadedText& loaded)
{
    const MarkScan scan = ScanMark(bytes);
    if (scan.unsupported) return Outcome::UnsupportedEncoding;
    LoadedText made;
    if (scan.mark == ByteOrderMark::Utf16Le) {
        made.text = Utf16LeAsText(std::move(bytes), scan.length, made);
        made.encoding = SourceEncoding::Utf16Le;
    } else {
        made.text = BytesAsText(std::move(bytes), scan.length, made);
        BookReading book = JudgeBook(made.text, scan.mark == ByteOrderMark::Utf8);
        made.encoding = book.encoding;
        made.linesReadOtherwise = std::move(book.otherwise);
    }
    loaded = std::move(made);
    return Outcome::Done;
}

} // namespace karuto
