#include "platform/file_names.h"

#include "platform/unicode.h"

namespace karuto {

namespace {

// A byte of a file name that is no part of a UTF-8 character, kept as the
// lone surrogate U+DC80-U+DCFF: no text holds one, so it stands only for that byte.
constexpr char16_t kEscapedByteBase = 0xDC00;

bool IsEscapedByte(char16_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

} // namespace

std::u16string FileNameToWide(std::string_view bytes)
{
    std::u16string wide;
    wide.reserve(bytes.size());
    for (std::size_t pos = 0; pos < bytes.size();) {
        const Utf8Char next = ReadUtf8Char(bytes, pos);
        if (!next.valid) {
            for (std::size_t i = 0; i < next.length; ++i) {
                wide.push_back(static_cast<char16_t>(kEscapedByteBase + static_cast<unsigned char>(bytes[pos + i])));
            }
        } else {
            char16_t units[2];
            wide.append(units, PutUtf16(next.codePoint, units));
        }
        pos += next.length;
    }
    return wide;
}

std::string WideToFileName(std::u16string_view wide)
{
    std::string bytes;
    bytes.reserve(wide.size());
    for (std::size_t pos = 0; pos < wide.size();) {
        // A pair is read whole, so a low surrogate met here stands alone.
        if (IsEscapedByte(wide[pos])) {
            bytes.push_back(static_cast<char>(wide[pos++] - kEscapedByteBase));
            continue;
        }
        const WideChar next = ReadWideChar(wide, pos);
        char utf8[4];
        bytes.append(utf8, PutUtf8(next.codePoint, utf8));
        pos += next.units;
    }
    return bytes;
}

bool IsEscapedFileNameByte(std::u16string_view text, std::size_t pos)
{
    return IsEscapedByte(text[pos]) && (pos == 0 || text[pos - 1] < 0xD800 || text[pos - 1] > 0xDBFF);
}

} // namespace karuto
