#include "job/input.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>

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

int ResultOfRead(ReadStatus status)
{
    switch (status) {
    case ReadStatus::Ok: return kResultOk;
    case ReadStatus::CannotOpen: return kResultCannotOpen;
    case ReadStatus::CannotRead: return kResultCannotRead;
    case ReadStatus::NoMemory: return kResultNoMemory;
    }
    return kResultCannotOpen;
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
// converted piece by piece and each zero unit becomes a NUL byte.
OwnedString UnitsAsText(std::u16string_view units)
{
    OwnedString text;
    for (;;) {
        const std::size_t nul = units.find(u'\0');
        text += WideToAnsi(units.substr(0, nul));
        if (nul == std::u16string_view::npos) return text;
        text.push_back('\0');
        units.remove_prefix(nul + 1);
    }
}

OwnedString Utf16LeAsText(std::string&& bytes, std::size_t markLength, LoadedText& loaded)
{
    std::u16string units = Utf16LeUnits(std::string_view(bytes).substr(markLength));
    // The raw bytes are not needed any more; giving them back first keeps the
    // file from being held three times (bytes, units, text) at once.
    std::string().swap(bytes);
    CountNuls(std::u16string_view(units), loaded);
    DropTrailingNuls(units);
    return UnitsAsText(units);
}

// Where a line break starting at `pos` ends, and whether a folded line (a
// space or a tab) continues after it.
struct LineBreak {
    std::size_t end;
    bool folded;
};

LineBreak ReadLineBreak(std::string_view text, std::size_t pos)
{
    std::size_t end = pos + 1;
    if (text[pos] == '\r' && end < text.size() && text[end] == '\n') ++end;
    const bool folded = end < text.size() && (text[end] == ' ' || text[end] == '\t');
    return {folded ? end + 1 : end, folded};
}

// Are the first `continuations` bytes of `rest` the continuation bytes of a
// sequence, the first of them within [low, high]?
bool IsWholeSequence(std::string_view rest, int continuations, unsigned char low, unsigned char high)
{
    if (rest.size() < static_cast<std::size_t>(continuations)) return false;
    const auto second = static_cast<unsigned char>(rest[0]);
    if (second < low || second > high) return false;
    for (int i = 1; i < continuations; ++i) {
        if ((static_cast<unsigned char>(rest[static_cast<std::size_t>(i)]) & 0xC0) != 0x80) return false;
    }
    return true;
}

// Past the characters from `pos` on that need no closer look: ASCII (line
// breaks between characters included), eight bytes at a time where it comes
// in runs, and the three-byte characters of Japanese text whose second byte
// may be any continuation byte (not after E0 or ED), each in one step.
std::size_t SkipPlainCharacters(std::string_view text, std::size_t pos, bool& beyondAscii)
{
    while (pos < text.size()) {
        if (text.size() - pos >= 8) {
            std::uint64_t eight = 0;
            std::memcpy(&eight, text.data() + pos, 8);
            if ((eight & 0x8080808080808080ull) == 0) {
                pos += 8;
                continue;
            }
        }
        const auto first = static_cast<unsigned char>(text[pos]);
        if (first < 0x80) {
            ++pos;
            continue;
        }
        if (first < 0xE1 || first > 0xEF || first == 0xED || text.size() - pos < 3) break;
        if ((static_cast<unsigned char>(text[pos + 1]) & 0xC0) != 0x80 ||
            (static_cast<unsigned char>(text[pos + 2]) & 0xC0) != 0x80) {
            break;
        }
        beyondAscii = true;
        pos += 3;
    }
    return pos;
}

} // namespace

bool IsUtf8BeyondAscii(std::string_view text)
{
    bool beyondAscii = false;
    int continuations = 0;  // still to come in the current sequence
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    for (std::size_t pos = 0; pos < text.size();) {
        if (continuations == 0) pos = SkipPlainCharacters(text, pos, beyondAscii);
        if (pos == text.size()) break;
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte == '\r' || byte == '\n') {
            // Some writers fold inside a multi-byte character.
            const LineBreak lineBreak = ReadLineBreak(text, pos);
            if (continuations > 0 && !lineBreak.folded) return false;
            pos = lineBreak.end;
            continue;
        }
        ++pos;
        if (continuations > 0) {
            if (byte < low || byte > high) return false;
            low = 0x80;
            high = 0xBF;
            --continuations;
            continue;
        }
        if (byte < 0x80) continue;
        beyondAscii = true;
        // The second byte's range excludes overlongs (E0, F0), surrogates (ED)
        // and code points beyond U+10FFFF (F4).
        if (byte >= 0xC2 && byte <= 0xDF) {
            continuations = 1;
        } else if (byte >= 0xE0 && byte <= 0xEF) {
            continuations = 2;
            low = byte == 0xE0 ? 0xA0 : 0x80;
            high = byte == 0xED ? 0x9F : 0xBF;
        } else if (byte >= 0xF0 && byte <= 0xF4) {
            continuations = 3;
            low = byte == 0xF0 ? 0x90 : 0x80;
            high = byte == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        // A sequence that lies whole before any line break is taken in one step.
        if (IsWholeSequence(text.substr(pos), continuations, low, high)) {
            pos += static_cast<std::size_t>(continuations);
            continuations = 0;
            low = 0x80;
            high = 0xBF;
        }
    }
    return beyondAscii && continuations == 0;
}

SourceEncoding EncodingOf(const LoadedText& loaded)
{
    switch (loaded.mark) {
    case ByteOrderMark::Utf8: return SourceEncoding::Utf8WithMark;
    case ByteOrderMark::Utf16Le: return SourceEncoding::Utf16Le;
    case ByteOrderMark::None: break;
    }
    return loaded.utf8WithoutMark ? SourceEncoding::Utf8WithoutMark : SourceEncoding::ShiftJis;
}

int LoadInputText(PathView path, LoadedText& loaded)
{
    FileBytes file = ReadWholeFileExclusive(path);
    if (file.status != ReadStatus::Ok) return ResultOfRead(file.status);
    return LoadInputBytes(std::move(file.bytes), loaded);
}

int LoadInputBytes(std::string&& bytes, LoadedText& loaded)
{
    try {
        const MarkScan scan = ScanMark(bytes);
        if (scan.unsupported) return kResultUnsupportedEncoding;

        LoadedText made;
        made.mark = scan.mark;
        made.text = scan.mark == ByteOrderMark::Utf16Le
                        ? Utf16LeAsText(std::move(bytes), scan.length, made)
                        : BytesAsText(std::move(bytes), scan.length, made);
        made.utf8WithoutMark = scan.mark == ByteOrderMark::None && IsUtf8BeyondAscii(made.text);
        loaded = std::move(made);
        return kResultOk;
    } catch (const std::bad_alloc&) {
        return kResultNoMemory;
    }
}

} // namespace karuto
