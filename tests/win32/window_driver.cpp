#include "tests/win32/window_driver.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <thread>

namespace karuto::driver {

namespace {

constexpr UINT kMessageTimeoutMs = 5000;

LRESULT SendRemote(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kMessageTimeoutMs,
                        &result);
    return static_cast<LRESULT>(result);
}

std::vector<HWND> TopLevelWindows()
{
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND window, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

bool IsVisibleDialog(HWND window)
{
    return IsWindowVisible(window) && ClassName(window) == L"#32770";
}

} // namespace

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> children;
    EnumChildWindows(
        parent,
        [](HWND window, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    return children;
}

bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (ready()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(20ms);
    }
}

std::wstring WindowText(HWND window)
{
    const auto length = static_cast<std::size_t>(SendRemote(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(length + 1, L'\0');
    const auto got = static_cast<std::size_t>(
        SendRemote(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
    text.resize(std::min(got, length));
    return text;
}

std::wstring ClassName(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

void SetWindowTextRemote(HWND window, const std::wstring& text)
{
    SendRemote(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::vector<HWND> ProcessDialogs(DWORD processId)
{
    std::vector<HWND> dialogs;
    for (HWND window : TopLevelWindows()) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsVisibleDialog(window)) dialogs.push_back(window);
    }
    return dialogs;
}

std::vector<HWND> OwnedDialogs(HWND owner)
{
    std::vector<HWND> dialogs;
    for (HWND window : TopLevelWindows()) {
        if (GetWindow(window, GW_OWNER) == owner && IsVisibleDialog(window)) {
            dialogs.push_back(window);
        }
    }
    return dialogs;
}

MessageBoxView ReadMessageBox(HWND box)
{
    MessageBoxView view;
    view.window = box;
    view.caption = WindowText(box);
    for (HWND child : Children(box)) {
        if (!IsWindowVisible(child)) continue;
        const std::wstring kind = ClassName(child);
        if (kind == L"Button") {
            view.buttons.push_back(GetDlgCtrlID(child));
        } else if (kind == L"Static") {
            if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                view.hasIcon = view.hasIcon || SendRemote(child, STM_GETICON, 0, 0) != 0;
            } else if (view.text.empty()) {
                view.text = WindowText(child);
            }
        }
    }
    std::sort(view.buttons.begin(), view.buttons.end());
    return view;
}

MessageBoxView WaitForMessageBox(HWND owner, std::chrono::milliseconds limit)
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            const auto boxes = OwnedDialogs(owner);
            found = boxes.empty() ? nullptr : boxes.front();
            return found != nullptr;
        },
        limit);
    if (!found) return {};
    // The box is visible before its last controls are; give it a moment.
    MessageBoxView view;
    WaitUntil([&] {
        view = ReadMessageBox(found);
        return !view.text.empty() && !view.buttons.empty();
    }, 5s);
    return view;
}

bool Answer(const MessageBoxView& box, int button)
{
    const HWND control = GetDlgItem(box.window, button);
    if (!control) return false;
    Click(control);
    return WaitUntil([&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); });
}

ListView ReadList(HWND list)
{
    ListView view;
    const auto count = SendRemote(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const auto length = static_cast<std::size_t>(SendRemote(list, LB_GETTEXTLEN, i, 0));
        std::wstring line(length + 1, L'\0');
        SendRemote(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()));
        line.resize(length);
        view.lines.push_back(line);
    }
    view.selection = static_cast<int>(SendRemote(list, LB_GETCURSEL, 0, 0));
    return view;
}

void Click(HWND button)
{
    PostMessageW(button, BM_CLICK, 0, 0);
}

void PostCommand(HWND dialog, int command)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void PressKey(HWND control, WORD key)
{
    PostMessageW(control, WM_KEYDOWN, key, 1);
    PostMessageW(control, WM_KEYUP, key, 0xC0000001);
}

RunningProgram::RunningProgram(const std::wstring& program, const std::filesystem::path& workFolder)
    : folder(workFolder)
{
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                   folder.wstring().c_str(), &startup, &process);
}

RunningProgram::~RunningProgram()
{
    if (!process.hProcess) return;
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 10000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

HWND RunningProgram::WaitForDialog(int id, std::chrono::milliseconds limit) const
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND dialog : ProcessDialogs(Id())) {
                if (GetDlgItem(dialog, id)) found = dialog;
            }
            return found != nullptr;
        },
        limit);
    return found;
}

DWORD RunningProgram::WaitForExit(std::chrono::milliseconds limit) const
{
    WaitForSingleObject(process.hProcess, static_cast<DWORD>(limit.count()));
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
}

std::vector<std::string> RunningProgram::OpenedPages() const
{
    std::vector<std::string> pages;
    std::ifstream in(folder / "opened-pages.txt");
    for (std::string line; std::getline(in, line);) pages.push_back(line);
    return pages;
}

bool DropFiles(HWND target, DWORD processId, const std::vector<std::wstring>& paths)
{
    std::wstring names;
    for (const auto& path : paths) names += path + L'\0';
    names += L'\0';
    DROPFILES header{};
    header.pFiles = sizeof header;
    header.fWide = TRUE;
    std::string block(reinterpret_cast<const char*>(&header), sizeof header);
    block.append(reinterpret_cast<const char*>(names.data()), names.size() * sizeof(wchar_t));

    const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId);
    if (!process) return false;
    void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE,
                                  PAGE_READWRITE);
    const bool written =
        remote && WriteProcessMemory(process, remote, block.data(), block.size(), nullptr);
    CloseHandle(process);
    return written && PostMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
}

std::string Utf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

} // namespace karuto::driver
