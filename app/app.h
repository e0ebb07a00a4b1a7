#pragma once
// The window program: the start screen and the main window, modal dialogs
// built from the resources in karuto.rc.

#include <windows.h>

#include <shellapi.h>

#include <string>

#include "job/output.h"
#include "job/window.h"
#include "platform/files.h"

namespace karuto::app {

// Capacity of every path buffer of the windows, terminator included.
inline constexpr int kPathCapacity = 260;

// Program-wide values: the module, for its resources, and where the start
// screen stood when the user agreed, for placing the main window there.
extern HINSTANCE AppInstance;
extern RECT StartScreenRect;

INT_PTR CALLBACK StartDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Shared by both screens.
void ConfirmExit(HWND window, WORD command);
void SetSmallIcon(HWND window);
// Both screens are white: the answer to WM_CTLCOLORDLG and, with its text
// drawn transparently, to WM_CTLCOLORSTATIC.
INT_PTR PaintOnWhite(UINT message, WPARAM wParam);

// The maker's pages, opened in the default browser.
void OpenHomePage();
void OpenTermsPage();
// Hands an address to the browser. A test build records it instead.
void OpenWebPage(const std::wstring& address);
// Opens a text file in the user's editor; false when it cannot be opened. A
// test build records its path instead.
bool OpenTextFile(const std::wstring& path);

// The main window's operations.
void SetBusy(bool enable, HWND window);
void PumpMessages(HWND window);
void BrowseForInput(HWND window);
void AcceptDroppedFile(HDROP drop, HWND window);
void DeriveOutputPath(HWND window, PathView inputPath);
void AddMessage(HWND window, std::u16string_view text);
JobWindow MakeJobWindow(HWND window);

// The report of the main window's last conversion (conversion_report.cpp):
// runs the conversion in the chosen form keeping its report, tells whether
// there is one to offer for the book the input field names, opens it, and
// forgets it when a new main window opens.
void ConvertKeepingReport(HWND window, PathView outputPath, PathView inputPath, OutputForm form);
bool HasReportFor(PathView inputPath);
void OpenReport(HWND window, PathView inputPath);
void ForgetReport();

// A control's text: up to `capacity` - 1 characters, or all of it when
// `capacity` is 0.
PathString ReadControlText(HWND window, int control, int capacity = 0);

} // namespace karuto::app
