// Test build of the page and file opener: the address or path is appended as
// a UTF-8 line to "opened-pages.txt" in the current folder instead of starting
// a browser or an editor, so a test can see what a command would have opened.

#include "app/app.h"
#include "platform/unicode.h"

namespace karuto::app {

namespace {

bool Record(const std::wstring& opened)
{
    const std::string line = WideToUtf8(std::u16string(opened.begin(), opened.end())) + "\n";
    const HANDLE file = CreateFileW(L"opened-pages.txt", FILE_APPEND_DATA, FILE_SHARE_READ,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
                    written == line.size();
    CloseHandle(file);
    return ok;
}

} // namespace

void OpenWebPage(const std::wstring& address)
{
    Record(address);
}

// A test makes it fail by putting a folder in the place of "opened-pages.txt".
bool OpenTextFile(const std::wstring& path)
{
    return Record(path);
}

} // namespace karuto::app
