#include "app/app.h"

#include <shellapi.h>

namespace karuto::app {

void OpenWebPage(const std::wstring& address)
{
    // A page that cannot be opened is not worth a message.
    ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

} // namespace karuto::app
