#include "platform/jis.h"

#include <cstdint>

#include "platform/byte_blocks.h"
#include "platform/unicode.h"

namespace karuto {

namespace {

constexpr char kEscape = '\x1B';

constexpr bool IsJisByte(unsigned char byte) { return byte >= 0x21 && byte <= 0x7E; }
constexpr bool IsEucByte(unsigned char byte) { return byte >= 0xA1 && byte <= 0xFE; }

// The Shift_JIS code of JIS X 0208 row `first`, cell `second` (0x21-0x7E
// each), as code page 932 reads it: 0 where it holds no character.
std::uint16_t AnsiCodeOfJisPair(unsigned char first, unsigned char second)
{
    const auto lead = static_cast<unsigned char>((first + 1) / 2 + (first <= 0x5E ? 0x70 : 0xB0));
    const auto trail = static_cast<unsigned char>(second + (first % 2 == 0 ? 0x7E : second >= 0x60 ? 0x20 : 0x1F));
    return WideOfAnsiPair(lead, trail) == 0 ? 0 : static_cast<std::uint16_t>(lead << 8 | trail);
}

// A code as the bytes of Shift_JIS text; a code that has none becomes a space.
void AppendCode(std::uint16_t code, std::string& ansi, std::vector<SubstitutedCharacter>& substituted)
{
    if (code == 0) {
        substituted.push_back({ansi.size(), {kReplacementChar, 0}});
        ansi.push_back(kAnsiDefaultChar);
    } else if (code > 0xFF) {
        ansi.push_back(static_cast<char>(code >> 8));
        ansi.push_back(static_cast<char>(code & 0xFF));
    } else {
        ansi.push_back(static_cast<char>(code));
    }
}

unsigned char ByteAt(std::string_view text, std::size_t pos)
{
    return pos < text.size() ? static_cast<unsigned char>(text[pos]) : 0;
}

} // namespace

EucJpChar ReadEucJpChar(std::string_view text, std::size_t pos)
{
    const unsigned char lead = ByteAt(text, pos);
    const unsigned char second = ByteAt(text, pos + 1);
    if (IsEucByte(lead) && IsEucByte(second)) {
        return {AnsiCodeOfJisPair(lead - 0x80, second - 0x80), 2};
    }
    if (lead == 0x8E && second >= 0xA1 && second <= 0xDF) return {second, 2};
    if (lead == 0x8F && IsEucByte(second) && IsEucByte(ByteAt(text, pos + 2))) return {0, 3};  // JIS X 0212
    return {0, 0};
}

bool IsEucJpThroughout(std::string_view text)
{
    bool any = false;
    for (std::size_t pos = 0; (pos = FindBeyondAscii(text.data(), text.size(), pos)) < text.size();) {
        const EucJpChar next = ReadEucJpChar(text, pos);
        if (next.length == 0) return false;
        any = true;
        pos += next.length;
    }
    return any;
}

std::string EucJpToAnsi(std::string_view text, std::vector<SubstitutedCharacter>& substituted)
{
    std::string ansi;
    ansi.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t beyond = FindBeyondAscii(text.data(), text.size(), pos);
        ansi.append(text.substr(pos, beyond - pos));
        if (beyond == text.size()) break;
        const EucJpChar next = ReadEucJpChar(text, beyond);
        AppendCode(next.code, ansi, substituted);
        pos = beyond + (next.length == 0 ? 1 : next.length);
    }
    return ansi;
}

namespace {

enum class JisMode { Ascii, Kanji, Kana, Supplement };

// The mode an escape sequence at `pos` switches to, and its length; 0 for
// one that is none of ISO-2022-JP's.
struct Designation {
    JisMode mode;
    std::size_t length;
};

Designation DesignationAt(std::string_view text, std::size_t pos)
{
    const std::string_view rest = text.substr(pos);
    if (rest.starts_with("\x1B(B") || rest.starts_with("\x1B(J")) return {JisMode::Ascii, 3};
    if (rest.starts_with("\x1B$B") || rest.starts_with("\x1B$@")) return {JisMode::Kanji, 3};
    if (rest.starts_with("\x1B&@\x1B$B")) return {JisMode::Kanji, 6};
    if (rest.starts_with("\x1B(I")) return {JisMode::Kana, 3};
    if (rest.starts_with("\x1B$(D")) return {JisMode::Supplement, 4};
    return {JisMode::Ascii, 0};
}

} // namespace

bool StartsIso2022JpEscape(std::string_view text, std::size_t pos)
{
    return DesignationAt(text, pos).length > 0;
}

bool LooksLikeIso2022Jp(std::string_view text)
{
    if (FindBeyondAscii(text.data(), text.size(), 0) < text.size()) return false;
    for (std::size_t pos = 0; (pos = text.find(kEscape, pos)) != std::string_view::npos; ++pos) {
        const Designation designation = DesignationAt(text, pos);
        if (designation.length > 0 && designation.mode != JisMode::Ascii) return true;
    }
    return false;
}

std::string Iso2022JpToAnsi(std::string_view text, std::vector<SubstitutedCharacter>& substituted)
{
    std::string ansi;
    ansi.reserve(text.size());
    JisMode mode = JisMode::Ascii;
    JisMode shiftedFrom = JisMode::Ascii;  // the mode SO left, for SI
    for (std::size_t pos = 0; pos < text.size();) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte == kEscape) {
            const Designation designation = DesignationAt(text, pos);
            if (designation.length > 0) {
                mode = designation.mode;
                pos += designation.length;
                continue;
            }
        } else if (byte == 0x0E || byte == 0x0F) {  // SO and SI: half-width katakana in and out
            if (byte == 0x0E && mode != JisMode::Kana) shiftedFrom = mode;
            mode = byte == 0x0E ? JisMode::Kana : shiftedFrom;
            ++pos;
            continue;
        } else if (byte == '\n' || byte == '\r') {
            mode = JisMode::Ascii;
        } else if (mode == JisMode::Kana && byte >= 0x21 && byte <= 0x5F) {
            ansi.push_back(static_cast<char>(byte + 0x80));
            ++pos;
            continue;
        } else if ((mode == JisMode::Kanji || mode == JisMode::Supplement) && IsJisByte(byte) &&
                   IsJisByte(ByteAt(text, pos + 1))) {
            const std::uint16_t code =
                mode == JisMode::Kanji ? AnsiCodeOfJisPair(byte, ByteAt(text, pos + 1)) : 0;
            AppendCode(code, ansi, substituted);
            pos += 2;
            continue;
        }
        ansi.push_back(static_cast<char>(byte));
        ++pos;
    }
    return ansi;
}

} // namespace karuto
