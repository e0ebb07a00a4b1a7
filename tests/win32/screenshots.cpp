// Takes the screenshots of the user guide: it drives the window program as
// the tests do and saves the screen around its windows as BMP files in the
// folder named on the command line.

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "app/resource.h"
#include "tests/win32/window_driver.h"

namespace karuto::driver {
namespace {

namespace fs = std::filesystem;

// Saves the part of the screen that `area` covers, as a 24-bit BMP file.
bool SaveScreen(const RECT& area, const fs::path& file)
{
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + imageBytes;
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    out.write(static_cast<const char*>(bits), imageBytes);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return static_cast<bool>(out);
}

RECT Around(HWND window, int margin = 12)
{
    RECT area{};
    GetWindowRect(window, &area);
    InflateRect(&area, margin, margin);
    return area;
}

// Lets the program paint what it has just changed.
void Settle()
{
    Sleep(700);
}

int Fail(const char* what)
{
    std::fprintf(stderr, "screenshots: %s\n", what);
    return 1;
}

int TakeScreenshots(const fs::path& folder)
{
    // A folder a user might have: its path shows in the fields.
    struct Work {
        fs::path path = L"C:\\アドレス帳";
        Work() { fs::create_directories(path); }
        ~Work() { fs::remove_all(path); }
    } work;
    const fs::path input = work.path / L"連絡先.vcf";
    fs::copy_file(fs::path(KARUTO_SOURCE_DIR) / "examples" / "contacts.vcf", input,
                  fs::copy_options::overwrite_existing);

    wchar_t program[MAX_PATH] = {};
    GetFullPathNameW(fs::path(KARUTO_WINDOW_PATH).wstring().c_str(), MAX_PATH, program, nullptr);
    RunningProgram running(program, work.path);
    const HWND start = running.WaitForDialog(IDC_AGREE);
    if (!start) return Fail("no start screen");
    Settle();
    if (!SaveScreen(Around(start), folder / "start-screen.bmp")) return Fail("cannot save");

    Click(GetDlgItem(start, IDC_AGREE));
    const HWND main = running.WaitForDialog(IDC_INPUT_PATH);
    if (!main) return Fail("no main window");
    SetWindowTextRemote(GetDlgItem(main, IDC_INPUT_PATH), input.wstring());
    Click(GetDlgItem(main, IDC_START));
    if (!WaitUntil([&] { return ReadList(GetDlgItem(main, IDC_MESSAGES)).lines.size() == 3; })) {
        return Fail("the conversion did not finish");
    }
    Settle();
    if (!SaveScreen(Around(main), folder / "main-window.bmp")) return Fail("cannot save");

    SetWindowTextRemote(GetDlgItem(main, IDC_INPUT_PATH), (work.path / L"ない.vcf").wstring());
    Click(GetDlgItem(main, IDC_START));
    const MessageBoxView error = WaitForMessageBox(main);
    if (!error.window) return Fail("no error box");
    Settle();
    RECT area{};
    const RECT mainArea = Around(main);
    const RECT boxArea = Around(error.window);
    UnionRect(&area, &mainArea, &boxArea);
    if (!SaveScreen(area, folder / "error-box.bmp")) return Fail("cannot save");
    Answer(error, IDOK);
    return 0;
}

} // namespace
} // namespace karuto::driver

int main(int argc, char** argv)
{
    if (argc != 2) return karuto::driver::Fail("usage: screenshots FOLDER");
    return karuto::driver::TakeScreenshots(argv[1]);
}
