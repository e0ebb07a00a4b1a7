#include "job/input.h"

#include <cstddef>
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

// Turns the file's bytes into the text in place: the mark is dropped and the
// text ends at the first NUL, without a second copy of a possibly large file.
OwnedString BytesAsText(std::string&& bytes, std::size_t markLength)
{
    bytes.erase(0, markLength);
    std::size_t nul = bytes.find('\0');
    if (nul != std::string::npos) bytes.resize(nul);
    return std::move(bytes);
}

// Only the units before the first zero unit can reach the text, so the
// assembly stops there. An odd final byte has no partner and is dropped.
std::u16string Utf16LeUnits(std::string_view payload)
{
    std::u16string units;
    units.reserve(payload.size() / 2);
    for (std::size_t i = 0; i + 1 < payload.size(); i += 2) {
        auto low = static_cast<unsigned char>(payload[i]);
        auto high = static_cast<unsigned char>(payload[i + 1]);
        auto unit = static_cast<char16_t>(low | (high << 8));
        if (unit == u'\0') break;
        units.push_back(unit);
    }
    return units;
}

OwnedString Utf16LeAsText(std::string&& bytes, std::size_t markLength)
{
    std::u16string units = Utf16LeUnits(std::string_view(bytes).substr(markLength));
    // The raw bytes are not needed any more; giving them back first keeps the
    // file from being held three times (bytes, units, text) at once.
    std::string().swap(bytes);
    return WideToAnsi(units);
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

} // namespace

bool IsUtf8BeyondAscii(std::string_view text)
{
    bool beyondAscii = false;
    int continuations = 0;  // still to come in the current sequence
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    for (std::size_t pos = 0; pos < text.size();) {
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
    }
    return beyondAscii && continuations == 0;
}

int LoadInputText(PathView path, LoadedText& loaded)
{
    try {
        FileBytes file = ReadWholeFileExclusive(path);
        if (file.status != ReadStatus::Ok) return ResultOfRead(file.status);

        MarkScan scan = ScanMark(file.bytes);
        if (scan.unsupported) return kResultUnsupportedEncoding;

        OwnedString text = scan.mark == ByteOrderMark::Utf16Le
                               ? Utf16LeAsText(std::move(file.bytes), scan.length)
                               : BytesAsText(std::move(file.bytes), scan.length);
        loaded.utf8WithoutMark = scan.mark == ByteOrderMark::None && IsUtf8BeyondAscii(text);
        loaded.text = std::move(text);
        loaded.mark = scan.mark;
        return kResultOk;
    } catch (const std::bad_alloc&) {
        return kResultNoMemory;
    }
}

} // namespace karuto
