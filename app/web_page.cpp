#include "app/app.h"

#include <shellapi.h>

namespace karuto::app {

void OpenWebPage(const std::wstring& address)
{
    // A page that cannot be opened is not worth a message.
    ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool OpenTextFile(const std::wstring& path)
{
    const auto opened = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return opened > 32;
}

} // namespace karuto::app
