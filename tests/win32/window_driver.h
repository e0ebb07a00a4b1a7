#pragma once
// Drives the window program from outside, as a user would: it starts
// karuto.exe, finds its windows and operates them through window messages.
// Works across processes on Windows and under Wine.

#include <windows.h>

#include <shlobj.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace karuto::driver {

using namespace std::chrono_literals;

// Polls `ready` until it holds or `limit` has passed.
bool WaitUntil(const std::function<bool()>& ready, std::chrono::milliseconds limit = 15s);

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);
void SetWindowTextRemote(HWND window, const std::wstring& text);

// Every child window of a window, at any depth.
std::vector<HWND> Children(HWND parent);

// Visible top-level dialogs of a process, and those owned by a window.
std::vector<HWND> ProcessDialogs(DWORD processId);
std::vector<HWND> OwnedDialogs(HWND owner);

// A message box as the user sees it.
struct MessageBoxView {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons;  // IDs of the visible push buttons, ascending
    bool hasIcon = false;
};
MessageBoxView ReadMessageBox(HWND box);
// Waits for a message box owned by `owner`; window is null when none came.
MessageBoxView WaitForMessageBox(HWND owner, std::chrono::milliseconds limit = 15s);
// Presses a button of the box and waits until it has gone.
bool Answer(const MessageBoxView& box, int button);

struct ListView {
    std::vector<std::wstring> lines;
    int selection = -1;
};
ListView ReadList(HWND list);

// Posts a click, so that a modal box the click opens cannot block the driver.
void Click(HWND button);
void PostCommand(HWND dialog, int command);
void PressKey(HWND control, WORD key);

// karuto.exe (the recording build), started in a folder of its own.
struct RunningProgram {
    PROCESS_INFORMATION process{};
    std::filesystem::path folder;
    RunningProgram(const std::wstring& program, const std::filesystem::path& workFolder);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    DWORD Id() const { return process.dwProcessId; }
    // The program's visible dialog that holds control `id`, waited for.
    HWND WaitForDialog(int id, std::chrono::milliseconds limit = 20s) const;
    // Exit code once the process has ended, or STILL_ACTIVE.
    DWORD WaitForExit(std::chrono::milliseconds limit = 20s) const;
    // Addresses the page opener recorded, in order.
    std::vector<std::string> OpenedPages() const;
};

// Posts a real WM_DROPFILES whose drop data lives in the target process.
bool DropFiles(HWND target, DWORD processId, const std::vector<std::wstring>& paths);

// A UTF-8 console line for messages of the test program.
std::string Utf8(const std::wstring& text);

} // namespace karuto::driver
