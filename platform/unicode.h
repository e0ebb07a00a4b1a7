#pragma once
// UTF-8 and UTF-16: reading and writing one character, and whole texts.
// The readers are inline: the conversions of every layer call them for each
// character.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace karuto {

// The units of UTF-16LE bytes; an odd final byte has no partner and is dropped.
std::u16string Utf16LeUnits(std::string_view bytes);

// What each malformed UTF-8 sequence decodes to.
inline constexpr char16_t kReplacementChar = u'\uFFFD';

inline constexpr bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline constexpr bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
inline constexpr bool IsSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

struct WideChar {
    char32_t codePoint;   // U+FFFD for a lone surrogate
    std::size_t units;    // UTF-16 units read
};

inline WideChar ReadWideChar(std::u16string_view wide, std::size_t pos)
{
    const char16_t unit = wide[pos];
    if (!IsSurrogate(unit))
        return {unit, 1};
    if (IsHighSurrogate(unit) && pos + 1 < wide.size() && IsLowSurrogate(wide[pos + 1])) {
        const char32_t high = unit - 0xD800u;
        const char32_t low = wide[pos + 1] - 0xDC00u;
        return {0x10000 + (high << 10 | low), 2};
    }
    return {kReplacementChar, 1};
}


struct Utf8Char {
    char32_t codePoint;   // U+FFFD for a malformed subsequence
    std::size_t length;   // bytes read
    bool valid;           // a whole, well-formed character
};

// The bytes of a UTF-8 sequence that `first` opens; 0 for a byte that opens none.
constexpr std::size_t SequenceLength(unsigned char first)
{
    if (first < 0x80) return 1;
    if (first >= 0xC2 && first <= 0xDF) return 2;
    if (first >= 0xE0 && first <= 0xEF) return 3;
    if (first >= 0xF0 && first <= 0xF4) return 4;
    return 0;
}

// Most of Japanese text: a three-byte character whose second byte may be any
// continuation byte (not after E0 or ED), told in one step.
inline bool IsWholeJapaneseChar(std::string_view utf8, std::size_t pos)
{
    const auto first = static_cast<unsigned char>(utf8[pos]);
    return first >= 0xE1 && first <= 0xEF && first != 0xED && utf8.size() - pos >= 3 &&
           (static_cast<unsigned char>(utf8[pos + 1]) & 0xC0) == 0x80 &&
           (static_cast<unsigned char>(utf8[pos + 2]) & 0xC0) == 0x80;
}

// Reads one character or one maximal malformed subsequence: the longest start
// of a well-formed sequence, or a single byte if none starts here. The byte
// that breaks a sequence is not consumed; it starts the next read.
inline Utf8Char ReadUtf8Char(std::string_view utf8, std::size_t pos)
{
    const auto first = static_cast<unsigned char>(utf8[pos]);
    if (first < 0x80)
        return {first, 1, true};
    if (IsWholeJapaneseChar(utf8, pos)) {
        const auto second = static_cast<unsigned char>(utf8[pos + 1]);
        const auto third = static_cast<unsigned char>(utf8[pos + 2]);
        return {static_cast<char32_t>((first & 0x0F) << 12 | (second & 0x3F) << 6 | (third & 0x3F)), 3, true};
    }

    const std::size_t sequence = SequenceLength(first);
    if (sequence == 0) return {kReplacementChar, 1, false};
    const int continuations = static_cast<int>(sequence) - 1;
    char32_t codePoint = first & (0x7Fu >> sequence);  // the lead byte's own bits
    // The range of the second byte excludes overlongs (E0, F0), encoded
    // surrogates (ED) and code points beyond U+10FFFF (F4).
    unsigned char low = first == 0xE0 ? 0xA0 : first == 0xF0 ? 0x90 : 0x80;
    unsigned char high = first == 0xED ? 0x9F : first == 0xF4 ? 0x8F : 0xBF;

    std::size_t length = 1;
    for (int i = 0; i < continuations; ++i) {
        if (pos + length == utf8.size())
            return {kReplacementChar, length, false};
        const auto next = static_cast<unsigned char>(utf8[pos + length]);
        if (next < low || next > high)
            return {kReplacementChar, length, false};
        codePoint = codePoint << 6 | (next & 0x3F);
        low = 0x80;
        high = 0xBF;
        ++length;
    }
    return {codePoint, length, true};
}


constexpr std::size_t Utf16Length(char32_t codePoint) { return codePoint > 0xFFFF ? 2 : 1; }

inline char16_t* PutUtf16(char32_t codePoint, char16_t* out)
{
    if (codePoint <= 0xFFFF) {
        *out++ = static_cast<char16_t>(codePoint);
        return out;
    }
    const char32_t offset = codePoint - 0x10000;
    *out++ = static_cast<char16_t>(0xD800 + (offset >> 10));
    *out++ = static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
    return out;
}

// ---- UTF-16 to UTF-8 ----

constexpr std::size_t Utf8Length(char32_t codePoint)
{
    if (codePoint < 0x80)
        return 1;
    if (codePoint < 0x800)
        return 2;
    return codePoint < 0x10000 ? 3 : 4;
}

inline char* PutUtf8(char32_t codePoint, char* out)
{
    const std::size_t length = Utf8Length(codePoint);
    if (length == 1) {
        *out++ = static_cast<char>(codePoint);
        return out;
    }
    static constexpr unsigned char kLeadMarks[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (std::size_t i = length - 1; i > 0; --i) {
        out[i] = static_cast<char>(0x80 | (codePoint & 0x3F));
        codePoint >>= 6;
    }
    out[0] = static_cast<char>(kLeadMarks[length] | codePoint);
    return out + length;
}

// UTF-8 to UTF-16, every byte converted. Each maximal malformed subsequence
// becomes one U+FFFD; characters beyond the BMP become surrogate pairs.
std::u16string Utf8ToWide(std::string_view utf8);

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD. For POSIX file names and
// console output.
std::string WideToUtf8(std::u16string_view wide);

} // namespace karuto
