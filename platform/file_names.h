#pragma once
// File names on POSIX, which are bytes.

#include <cstddef>
#include <string>
#include <string_view>

namespace karuto {

// A POSIX file name is bytes, UTF-8 only by custom (an unzipped Windows
// archive leaves Shift_JIS names). Each byte that is no part of a UTF-8
// character becomes the lone surrogate U+DC80-U+DCFF, and back, so that every
// name reaches the file system unchanged.
std::u16string FileNameToWide(std::string_view bytes);
std::string WideToFileName(std::u16string_view wide);
// Whether the unit at `pos` stands for such a byte (U+DC80 + byte).
bool IsEscapedFileNameByte(std::u16string_view text, std::size_t pos);

} // namespace karuto
