// The main window: choose the source file, convert, read the messages.

#include "app/app.h"

#include <commdlg.h>

#include <exception>

#include "app/resource.h"
#include "job/conversion.h"
#include "job/paths.h"

namespace karuto::app {

namespace {

std::wstring WideText(std::u16string_view text)
{
    return std::wstring(text.begin(), text.end());
}

// A path as the user put it into the field, as it is used: Explorer's "copy
// as path" puts it in double quotes, which no Windows name holds, so
// surrounding quotes and the blanks outside them are taken off; and "/" is a
// separator as "\" is.
PathString UsablePath(PathView typed)
{
    const std::size_t first = typed.find_first_not_of(u" \t");
    const std::size_t last = typed.find_last_not_of(u" \t");
    if (first != PathView::npos && last > first && typed[first] == u'"' && typed[last] == u'"') {
        typed = typed.substr(first + 1, last - first - 1);
    }
    return WithNativeSeparators(typed);
}

// The output's form is the checked item of 「出力形式」: the menu holds the
// choice, so nothing else can disagree with what the user sees there.
OutputForm ChosenForm(HWND window)
{
    const UINT state = GetMenuState(GetMenu(window), IDM_FORM_ICLOUD, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED) ? OutputForm::ICloud : OutputForm::IPhone;
}

void ShowInputPath(HWND window, const wchar_t* path)
{
    SetDlgItemTextW(window, IDC_INPUT_PATH, path);
    DeriveOutputPath(window, PathView(reinterpret_cast<const char16_t*>(path)));
}

// The book the input field names, as a conversion would read it.
PathString FieldPath(HWND window)
{
    return UsablePath(ReadControlText(window, IDC_INPUT_PATH, kPathCapacity));
}

// Checks the item of the form and shows the output that form writes for the
// book in the input field, as a conversion started now would write it.
void ChooseForm(HWND window, UINT item)
{
    const HMENU menu = GetMenu(window);
    // Greyed while a conversion runs, the item is not chosen even by a command
    // another program posts (the questions keep messages flowing): the output
    // field keeps naming the file being written.
    if (GetMenuState(menu, item, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)) return;
    CheckMenuRadioItem(menu, IDM_FORM_IPHONE, IDM_FORM_ICLOUD, item, MF_BYCOMMAND);
    DeriveOutputPath(window, FieldPath(window));
}

// 「変換レポート」 is there for the book the field names, and only for it.
void UpdateReportItem(HWND window, bool enable)
{
    EnableMenuItem(GetMenu(window), IDM_REPORT,
                   MF_BYCOMMAND | (enable && HasReportFor(FieldPath(window)) ? MF_ENABLED : MF_GRAYED));
}

void StartConversion(HWND window)
{
    const PathString inputPath = FieldPath(window);
    DeriveOutputPath(window, inputPath);
    // Read whole: a derived path too long for a conversion must reach the
    // path checks as it is, to be refused there, never cut to a shorter one.
    const PathString outputPath = ReadControlText(window, IDC_OUTPUT_PATH);

    const HWND focus = GetFocus();
    SetBusy(false, window);
    try {
        ConvertKeepingReport(window, outputPath, inputPath, ChosenForm(window));
    } catch (const std::exception&) {
        AddMessage(window, kFailed);
    }
    PumpMessages(window);
    SetBusy(true, window);
    // Disabling took the keyboard focus away; give it back where it was.
    if (focus != nullptr && IsChild(window, focus)) {
        SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(focus), TRUE);
    }
}

void OnMainInit(HWND window)
{
    SetWindowPos(window, HWND_TOP, StartScreenRect.left, StartScreenRect.top, 0, 0, SWP_NOSIZE);
    SetSmallIcon(window);
    DragAcceptFiles(window, TRUE);
    ForgetReport();
    // Every run starts with the iPhone's form: the program keeps no settings.
    CheckMenuRadioItem(GetMenu(window), IDM_FORM_IPHONE, IDM_FORM_ICLOUD, IDM_FORM_IPHONE, MF_BYCOMMAND);
}

INT_PTR OnMainCommand(HWND window, WORD command)
{
    switch (command) {
    case IDCANCEL:
    case IDM_EXIT:
    case IDC_EXIT:
        ConfirmExit(window, command);
        return TRUE;
    case IDM_HOME_PAGE:
        OpenHomePage();
        return FALSE;
    case IDM_TERMS:
        OpenTermsPage();
        return FALSE;
    case IDM_REPORT:
        OpenReport(window, FieldPath(window));
        return FALSE;
    case IDM_FORM_IPHONE:
    case IDM_FORM_ICLOUD:
        ChooseForm(window, command);
        return FALSE;
    case IDC_BROWSE:
        BrowseForInput(window);
        return FALSE;
    case IDC_START:
        StartConversion(window);
        return FALSE;
    default:
        // Enter in a field or the list (ID 1, there is no default button)
        // and the controls' notifications.
        return FALSE;
    }
}

BOOL CALLBACK EnableChild(HWND child, LPARAM enable)
{
    EnableWindow(child, enable != 0);
    return TRUE;
}

} // namespace

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnMainInit(window);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_INPUT_PATH && HIWORD(wParam) == EN_CHANGE) {
            UpdateReportItem(window, IsWindowEnabled(GetDlgItem(window, IDC_START)) != FALSE);
            DrawMenuBar(window);
            return FALSE;
        }
        return OnMainCommand(window, LOWORD(wParam));
    case WM_DROPFILES:
        AcceptDroppedFile(reinterpret_cast<HDROP>(wParam), window);
        return FALSE;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORDLG:
        return PaintOnWhite(message, wParam);
    default:
        return FALSE;
    }
}

void SetBusy(bool enable, HWND window)
{
    EnumChildWindows(window, EnableChild, enable);
    const HMENU menu = GetMenu(window);
    // 「出力形式」 itself stays open to show which form the conversion writes.
    for (const UINT item : {IDM_EXIT, IDM_HOME_PAGE, IDM_TERMS, IDM_FORM_IPHONE, IDM_FORM_ICLOUD}) {
        EnableMenuItem(menu, item, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
    }
    // There is a report to open once a conversion has read the book the field names.
    UpdateReportItem(window, enable);
    DrawMenuBar(window);
    UpdateWindow(window);
    // The conversion holds the window's thread: the pointer says it is busy
    // until the controls come back, whatever the outcome.
    SetCursor(LoadCursorW(nullptr, enable ? IDC_ARROW : IDC_WAIT));
}

void PumpMessages(HWND window)
{
    MSG message;
    while (PeekMessageW(&message, window, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void BrowseForInput(HWND window)
{
    wchar_t path[kPathCapacity] = {};
    wchar_t title[kPathCapacity] = {};
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window;
    dialog.lpstrFilter = L"vCardファイル(*.vcf)\0*.vcf\0";
    dialog.lpstrFile = path;
    dialog.nMaxFile = kPathCapacity;
    dialog.lpstrFileTitle = title;
    dialog.nMaxFileTitle = kPathCapacity;
    dialog.lpstrTitle = L"ファイルを開く";
    dialog.lpstrDefExt = L"vcf";
    // The current folder stays where it was: left on the stick or card the
    // book came from, it would keep Windows from ejecting it.
    dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (GetOpenFileNameW(&dialog)) ShowInputPath(window, path);
}

void AcceptDroppedFile(HDROP drop, HWND window)
{
    // While a conversion runs (its questions keep messages flowing) a drop
    // would name a file that is not the one converted: it is let go.
    if (!IsWindowEnabled(GetDlgItem(window, IDC_START))) {
        DragFinish(drop);
        return;
    }
    DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    wchar_t path[kPathCapacity] = {};
    DragQueryFileW(drop, 0, path, kPathCapacity);
    DragFinish(drop);
    // Only the first item counts; it is judged when the conversion starts.
    ShowInputPath(window, path);
}

void DeriveOutputPath(HWND window, PathView inputPath)
{
    if (inputPath.empty()) return;
    SetDlgItemTextW(window, IDC_OUTPUT_PATH,
                    WideText(karuto::DeriveOutputPath(UsablePath(inputPath), ChosenForm(window))).c_str());
}

void AddMessage(HWND window, std::u16string_view text)
{
    SendDlgItemMessageW(window, IDC_MESSAGES, LB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(WideText(text).c_str()));
    const LRESULT count = SendDlgItemMessageW(window, IDC_MESSAGES, LB_GETCOUNT, 0, 0);
    SendDlgItemMessageW(window, IDC_MESSAGES, LB_SETCURSEL, static_cast<WPARAM>(count - 1), 0);
    // Painted now: "変換処理中..." must be seen while the conversion holds the thread.
    UpdateWindow(GetDlgItem(window, IDC_MESSAGES));
}

JobWindow MakeJobWindow(HWND window)
{
    JobWindow job;
    job.askQuestion = [window](std::u16string_view text) {
        return MessageBoxW(window, WideText(text).c_str(), L"確認", MB_OKCANCEL) == IDOK;
    };
    job.showError = [window](std::u16string_view text) {
        MessageBoxW(window, WideText(text).c_str(), nullptr, MB_OK);
    };
    job.addMessage = [window](std::u16string_view text) { AddMessage(window, text); };
    return job;
}

} // namespace karuto::app
