#include "job/output.h"

#include <new>
#include <string>

#include "platform/codepage.h"
#include "vcard/strings.h"

namespace karuto {

namespace {

constexpr std::string_view kUtf16LeMark = "\xFF\xFE";

std::string Utf16LeBytes(std::u16string_view units)
{
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t unit : units) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

} // namespace

OutputHandle OpenOutputFile(PathView path)
{
    OutputHandle file = CreateFileExclusive(path);
    if (!file.IsOpen()) return file;
    if (!WriteAllBytes(file, kUtf16LeMark)) {
        CloseFile(file);
        return OutputHandle{};
    }
    return file;
}

bool WriteCardText(std::string_view text, OutputHandle& outputFile)
{
    if (!outputFile.IsOpen()) return false;
    // A card text is a NUL-terminated string; nothing after a NUL belongs to it.
    text = UpToFirstNul(text);
    if (text.empty()) return true;
    try {
        return WriteAllBytes(outputFile, Utf16LeBytes(AnsiToWide(text)));
    } catch (const std::bad_alloc&) {
        return false;
    }
}

} // namespace karuto
