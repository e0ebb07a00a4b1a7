// Entry point of the window program.

#include <windows.h>

#include <commctrl.h>

#include "app/app.h"
#include "app/resource.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // Never load a DLL from the program's own folder (often a downloads
    // folder) or the current one: only from the system folder.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);

    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    karuto::app::AppInstance = instance;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_START_SCREEN), nullptr,
                    karuto::app::StartDialogProc, 0);
    return 0;
}
