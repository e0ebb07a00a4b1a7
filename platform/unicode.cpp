#include "platform/unicode.h"

namespace karuto {

std::u16string Utf16LeUnits(std::string_view bytes)
{
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto low = static_cast<unsigned char>(bytes[i]);
        const auto high = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(static_cast<char16_t>(low | (high << 8)));
    }
    return units;
}

std::u16string Utf8ToWide(std::string_view utf8)
{
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const Utf8Char next = ReadUtf8Char(utf8, pos);
        count += Utf16Length(next.codePoint);
        pos += next.length;
    }

    std::u16string wide(count, u'\0');
    char16_t* out = wide.data();
    for (std::size_t pos = 0; pos < utf8.size();) {
        const Utf8Char next = ReadUtf8Char(utf8, pos);
        out = PutUtf16(next.codePoint, out);
        pos += next.length;
    }
    return wide;
}
std::string WideToUtf8(std::u16string_view wide)
{
    std::size_t count = 0;
    for (std::size_t pos = 0; pos < wide.size();) {
        const WideChar next = ReadWideChar(wide, pos);
        count += Utf8Length(next.codePoint);
        pos += next.units;
    }

    std::string utf8(count, '\0');
    char* out = utf8.data();
    for (std::size_t pos = 0; pos < wide.size();) {
        const WideChar next = ReadWideChar(wide, pos);
        out = PutUtf8(next.codePoint, out);
        pos += next.units;
    }
    return utf8;
}

} // namespace karuto
