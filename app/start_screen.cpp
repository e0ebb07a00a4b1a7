// The start screen: view the terms of use, or agree and go on.

#include "app/app.h"
#include "app/resource.h"

namespace karuto::app {

namespace {

// Runs the main window where the start screen stood; its result becomes
// this command's result.
INT_PTR GoOnToMainWindow(HWND window)
{
    GetWindowRect(window, &StartScreenRect);
    EndDialog(window, IDC_AGREE);
    return DialogBoxParamW(AppInstance, MAKEINTRESOURCEW(IDD_MAIN_WINDOW), nullptr,
                           MainDialogProc, 0);
}

INT_PTR OnStartCommand(HWND window, WORD command)
{
    switch (command) {
    case IDCANCEL:
    case IDM_EXIT:
        ConfirmExit(window, command);
        return TRUE;
    case IDM_HOME_PAGE:
        OpenHomePage();
        return FALSE;
    case IDC_VIEW_TERMS:
        OpenTermsPage();
        return FALSE;
    case IDC_AGREE:
        return GoOnToMainWindow(window);
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR CALLBACK StartDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SetSmallIcon(window);
        return TRUE;
    case WM_COMMAND:
        return OnStartCommand(window, LOWORD(wParam));
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORDLG:
        return PaintOnWhite(message, wParam);
    default:
        return FALSE;
    }
}

} // namespace karuto::app
