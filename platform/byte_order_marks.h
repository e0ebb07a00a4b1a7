#pragma once
// The byte-order marks that open a text file. Books joined after the fact
// (copy /b a.vcf+b.vcf) keep the second one's at the start of a line.

#include <string_view>

namespace karuto {

inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
inline constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
inline constexpr std::string_view kUtf16BeMark = "\xFE\xFF";
inline constexpr std::string_view kUtf32LeMark = {"\xFF\xFE\0\0", 4};
inline constexpr std::string_view kUtf32BeMark = {"\0\0\xFE\xFF", 4};

} // namespace karuto
