#include "app/app.h"


#include "app/resource.h"
#include "app_settings.h"

namespace karuto::app {

HINSTANCE AppInstance = nullptr;
RECT StartScreenRect = {};

void ConfirmExit(HWND window, WORD command)
{
    if (MessageBoxW(window, L"終了します。よろしいですか？", L"確認", MB_OKCANCEL) == IDOK) {
        EndDialog(window, command);
    }
}

void SetSmallIcon(HWND window)
{
    const HANDLE icon = LoadImageW(AppInstance, MAKEINTRESOURCEW(IDI_WINDOW), IMAGE_ICON, 0, 0,
                                   LR_DEFAULTSIZE);
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

INT_PTR PaintOnWhite(UINT message, WPARAM wParam)
{
    if (message == WM_CTLCOLORSTATIC) SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
    return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
}

void OpenHomePage()
{
    OpenWebPage(L"http://" KARUTO_MAKER_HOST L"/");
}

void OpenTermsPage()
{
    OpenWebPage(L"http://" KARUTO_MAKER_HOST L"/smt/dl/add/index2.html");
}

PathString ReadControlText(HWND window, int control, int capacity)
{
    const HWND field = GetDlgItem(window, control);
    if (capacity == 0) capacity = GetWindowTextLengthW(field) + 1;
    std::wstring text(static_cast<std::size_t>(capacity), L'\0');
    const int length = GetWindowTextW(field, text.data(), capacity);
    return PathString(text.begin(), text.begin() + length);
}

} // namespace karuto::app
