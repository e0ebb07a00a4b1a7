#pragma once
// Questions asked of eight or sixteen bytes at once, for the loops that pass
// over long runs of plain bytes (ASCII text, Base64 photos). Eight bytes are
// one 64-bit number; sixteen are one SSE2 register, where the processor has
// them. Where a result says which byte, the first byte counts as the lowest,
// as a little-endian processor loads them.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace karuto {

inline constexpr std::uint64_t kEveryByteOne = 0x0101010101010101ull;
inline constexpr std::uint64_t kEveryHighBit = 0x8080808080808080ull;

// The eight bytes at `at` as one number.
inline std::uint64_t LoadEightBytes(const char* at)
{
    std::uint64_t eight = 0;
    std::memcpy(&eight, at, 8);
    return eight;
}

// Are all eight bytes below 0x80?
constexpr bool AreEightBytesAscii(std::uint64_t eight)
{
    return (eight & kEveryHighBit) == 0;
}

// The high bit of the first zero byte set, and perhaps of bytes after it (the
// subtraction's borrow), never of one before it.
constexpr std::uint64_t ZeroByteMarks(std::uint64_t eight)
{
    return (eight - kEveryByteOne) & ~eight & kEveryHighBit;
}

// Is one of the eight bytes zero?
constexpr bool HasZeroByte(std::uint64_t eight)
{
    return ZeroByteMarks(eight) != 0;
}

// Which of the eight bytes is the first equal to `byte` (0 to 7), or 8 when none is.
constexpr std::size_t FirstByteEqualTo(std::uint64_t eight, char byte)
{
    const std::uint64_t differences = eight ^ (kEveryByteOne * static_cast<unsigned char>(byte));
    return static_cast<std::size_t>(std::countr_zero(ZeroByteMarks(differences))) / 8;
}

// Is one of the eight bytes 0xF0 or above, its four high bits all set?
constexpr bool HasByteFromF0(std::uint64_t eight)
{
    return (eight & (eight << 1) & (eight << 2) & (eight << 3) & kEveryHighBit) != 0;
}

// Four bytes, 0xDDCCBBAA, as four 16-bit units, 0x00DD00CC00BB00AA: four ASCII
// characters in UTF-16LE.
constexpr std::uint64_t SpreadFourBytesToUnits(std::uint64_t four)
{
    four = (four | (four << 16)) & 0x0000FFFF0000FFFFull;
    return (four | (four << 8)) & 0x00FF00FF00FF00FFull;
}

#if defined(__SSE2__)

inline __m128i LoadSixteenBytes(const char* at)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// One bit for each of the sixteen bytes at `at`, set where the byte is `byte`.
inline unsigned SixteenBytesEqualTo(const char* at, char byte)
{
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(LoadSixteenBytes(at), _mm_set1_epi8(byte))));
}

// One bit for each of the sixteen bytes at `at`, set where the byte is 0x80
// or above: zero when all of them are ASCII.
inline unsigned SixteenBytesBeyondAscii(const char* at)
{
    return static_cast<unsigned>(_mm_movemask_epi8(LoadSixteenBytes(at)));
}

// One bit for each of the sixteen bytes at `at`, set where the byte lies
// within [first, last].
inline unsigned SixteenBytesWithin(const char* at, unsigned char first, unsigned char last)
{
    // Bytes below `first` wrap around to above the span.
    const __m128i offset =
        _mm_sub_epi8(LoadSixteenBytes(at), _mm_set1_epi8(static_cast<char>(first)));
    const __m128i span = _mm_set1_epi8(static_cast<char>(last - first));
    const __m128i within = _mm_cmpeq_epi8(_mm_min_epu8(offset, span), offset);
    return static_cast<unsigned>(_mm_movemask_epi8(within));
}

// The sixteen bytes at `at` as sixteen 16-bit little-endian units, 32 bytes
// at `out`: sixteen ASCII characters in UTF-16LE.
inline void SpreadSixteenBytesToUnits(const char* at, char* out)
{
    const __m128i chunk = LoadSixteenBytes(at);
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(chunk, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi8(chunk, zero));
}

#endif

// Where the first byte from `pos` on that is 0x80 or above lies; the size of
// `text` when none does (or `pos` is past it).
inline std::size_t FindBeyondAscii(const char* text, std::size_t size, std::size_t pos)
{
    if (pos >= size) return size;
#if defined(__SSE2__)
    for (; size - pos >= 16; pos += 16) {
        if (const unsigned found = SixteenBytesBeyondAscii(text + pos); found != 0) {
            return pos + static_cast<std::size_t>(std::countr_zero(found));
        }
    }
#endif
    for (; size - pos >= 8; pos += 8) {
        if (const std::uint64_t high = LoadEightBytes(text + pos) & kEveryHighBit; high != 0) {
            return pos + static_cast<std::size_t>(std::countr_zero(high)) / 8;
        }
    }
    while (pos < size && static_cast<unsigned char>(text[pos]) < 0x80) ++pos;
    return pos;
}

// A control character that is no line break, tab or NUL (0x01-0x08, 0x0B,
// 0x0C, 0x0E-0x1F, 0x7F): ESC and the like, which no text of a card holds.
constexpr bool IsStrayControl(unsigned char byte)
{
    return (byte >= 0x01 && byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || byte == 0x7F;
}

} // namespace karuto
