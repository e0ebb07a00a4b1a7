// Test build of the page opener: the address is appended as a UTF-8 line to
// "opened-pages.txt" in the current folder instead of starting a browser, so
// a test can see which page a command would have opened.

#include "app/app.h"
#include "platform/codepage.h"

namespace karuto::app {

void OpenWebPage(const std::wstring& address)
{
    const std::string line =
        WideToUtf8(std::u16string(address.begin(), address.end())) + "\n";
    const HANDLE file = CreateFileW(L"opened-pages.txt", FILE_APPEND_DATA, FILE_SHARE_READ,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

} // namespace karuto::app
