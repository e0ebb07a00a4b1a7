#include "job/input.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "platform/byte_blocks.h"
#include "platform/codepage.h"

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

// The bytes beyond ASCII in text[begin, end).
std::int64_t CountBeyondAscii(std::string_view text, std::size_t begin, std::size_t end)
{
    std::int64_t count = 0;
    for (; end - begin >= 8; begin += 8) {
        // The high bits moved to the low ones, summed by the multiplication into the top byte.
        count += static_cast<std::int64_t>((((LoadEightBytes(text.data() + begin) & kEveryHighBit) >> 7) * kEveryByteOne) >> 56);
    }
    for (; begin < end; ++begin) count += static_cast<unsigned char>(text[begin]) >= 0x80 ? 1 : 0;
    return count;
}

// The rest of a line of a text read as UTF-8 through its folds, from `pos`
// (its first byte beyond ASCII): where the next line starts, its bytes beyond
// ASCII, whether it is UTF-8 and whether it holds a character of three or
// four bytes.
struct Utf8Line {
    std::size_t next;
    std::int64_t beyondAscii = 0;
    bool valid = true;
    bool wide = false;
};

Utf8Line ReadUtf8Line(std::string_view text, std::size_t pos)
{
    Utf8Line line{text.size()};
    while (pos < text.size() && text[pos] != '\n') {
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const FoldedUtf8Char next = ReadFoldedUtf8Char(text, pos);
        if (!next.valid) {
            const std::size_t end = std::min(FindByte(text, '\n', pos), text.size());
            line.valid = false;
            line.beyondAscii += CountBeyondAscii(text, pos, end);
            pos = end;
            break;
        }
        line.beyondAscii += static_cast<std::int64_t>(next.end - pos);
        line.wide = line.wide || next.codePoint >= 0x800;
        pos = next.end;
    }
    line.next = std::min(pos + 1, text.size());
    return line;
}

// How a text of no mark or a UTF-8 mark holds its characters.
SourceEncoding EncodingOfBytes(std::string_view text, ByteOrderMark mark)
{
    const Utf8Reading reading = ReadAsFoldedUtf8(text);
    if (mark == ByteOrderMark::Utf8) {
        return reading.valid ? SourceEncoding::Utf8WithMark : SourceEncoding::MixedWithMark;
    }
    if (reading.valid) return reading.beyondAscii ? SourceEncoding::Utf8WithoutMark : SourceEncoding::ShiftJis;
    return IsMostlyUtf8(text) ? SourceEncoding::MixedWithoutMark : SourceEncoding::ShiftJis;
}

} // namespace

ByteOrderMark MarkOf(SourceEncoding encoding)
{
    switch (encoding) {
    case SourceEncoding::Utf16Le: return ByteOrderMark::Utf16Le;
    case SourceEncoding::Utf8WithMark:
    case SourceEncoding::MixedWithMark: return ByteOrderMark::Utf8;
    case SourceEncoding::ShiftJis:
    case SourceEncoding::Utf8WithoutMark:
    case SourceEncoding::MixedWithoutMark: break;
    }
    return ByteOrderMark::None;
}

// Each line beyond ASCII weighs its bytes beyond ASCII: a line that is UTF-8
// with a character of three or four bytes (kana, kanji, most symbols) for
// UTF-8, a line that is not UTF-8 against; UTF-8 must weigh more than
// kUtf8Weight times as much. Shift_JIS text practically never makes such a
// line, half-width readings and kanji alike, so a Shift_JIS book stays one.
bool IsMostlyUtf8(std::string_view text)
{
    constexpr std::int64_t kUtf8Weight = 2;
    std::int64_t utf8 = 0;
    std::int64_t other = 0;
    // Lines of ASCII weigh nothing: only the bytes beyond it are looked at.
    for (std::size_t pos = 0; (pos = FindBeyondAscii(text.data(), text.size(), pos)) < text.size();) {
        const Utf8Line line = ReadUtf8Line(text, pos);
        if (!line.valid) {
            other += line.beyondAscii;
        } else if (line.wide) {
            utf8 += line.beyondAscii;
        }
        pos = line.next;
        // Decided once the rest of the text could not turn it.
        const auto rest = static_cast<std::int64_t>(text.size() - std::min(pos, text.size()));
        if (utf8 + rest <= kUtf8Weight * other) return false;
    }
    return utf8 > kUtf8Weight * other;
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
        made.encoding = EncodingOfBytes(made.text, scan.mark);
    }
    loaded = std::move(made);
    return Outcome::Done;
}

} // namespace karuto
