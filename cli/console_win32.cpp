#include "cli/console.h"

#include <windows.h>

#include <string>

#include "platform/unicode.h"

namespace karuto::cli {

namespace {

// A console gets wide characters; a pipe or a file gets UTF-8 bytes.
bool WriteTo(DWORD which, std::u16string_view text)
{
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        return WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written,
                             nullptr) &&
               written == text.size();
    }
    const std::string bytes = WideToUtf8(text);
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(bytes.size() - done);
        if (!WriteFile(handle, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

} // namespace

bool WriteOut(std::u16string_view text) { return WriteTo(STD_OUTPUT_HANDLE, text); }

bool WriteError(std::u16string_view text) { return WriteTo(STD_ERROR_HANDLE, text); }

bool InputIsTerminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

std::optional<std::u16string> ReadInputLine()
{
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::u16string line;
    for (;;) {
        wchar_t unit = 0;
        DWORD got = 0;
        if (!ReadConsoleW(input, &unit, 1, &got, nullptr) || got == 0) {
            if (line.empty()) return std::nullopt;
            break;
        }
        if (unit == L'\n') break;
        if (unit != L'\r') line.push_back(static_cast<char16_t>(unit));
    }
    return line;
}

} // namespace karuto::cli
