// The report of the main window's last conversion, which the menu's
// 「変換レポート」 opens in the user's editor. It is made with the conversion and
// held in memory; only when the user asks for it is it written, into a folder
// of the program's own under the user's temporary folder: never beside
// "PC→iPhone.vcf", where it could be attached to the mail by mistake.

#include "app/app.h"

#include <algorithm>

#include "job/conversion.h"
#include "job/report_file.h"

namespace karuto::app {

namespace {

struct WindowReport {
    KeptReport state = KeptReport::None;
    std::string file;      // as the file holds it: UTF-8 with its mark, CR LF
    PathString inputPath;  // the book it was made for, as the conversion read the field
};

WindowReport lastReport;

constexpr char16_t kReportHeldOpen[] =
    u"前の変換レポートがほかのプログラムで開かれているため、保存できませんでした。\r\n"
    u"そのプログラムで変換レポートを閉じてから、もう一度開いてください。\r\n保存先：";

// An error box as the conversion's, naming where the report is.
void ShowError(HWND window, std::u16string_view text, const std::wstring& path = {})
{
    MakeJobWindow(window).showError(std::u16string(text) + std::u16string(path.begin(), path.end()));
}

// "%TEMP%\Karuto\変換レポート.txt", its folder made when missing; empty when
// the system names no temporary folder.
std::wstring ReportPath()
{
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return {};
    const std::wstring folder = std::wstring(temp, length) + L"Karuto";  // the path ends in "\"
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\変換レポート.txt";
}

enum class Saved { Yes, No, HeldOpen };

Saved SaveReport(const std::wstring& path, std::string_view bytes)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        // An editor that locks the file it shows still has the last one open.
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ? Saved::HeldOpen : Saved::No;
    }
    bool ok = true;
    while (ok && !bytes.empty()) {
        const DWORD part = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        ok = WriteFile(file, bytes.data(), part, &written, nullptr) && written == part;
        bytes.remove_prefix(written);
    }
    ok = CloseHandle(file) && ok;
    // A cut report would look whole in the editor.
    if (!ok) DeleteFileW(path.c_str());
    return ok ? Saved::Yes : Saved::No;
}

} // namespace

void ConvertKeepingReport(HWND window, PathView outputPath, PathView inputPath, OutputForm form)
{
    std::string file(kReportFileMark);
    KeptReport kept = KeptReport::Unchanged;
    RunConversionKeepingReport(
        outputPath, MakeJobWindow(window), inputPath,
        [&file](std::u16string_view text) { AppendReportFileText(file, text); }, kept, form);
    // A conversion that did not start leaves the report of the last one that did.
    if (kept == KeptReport::Unchanged) return;
    lastReport.state = kept;
    lastReport.inputPath = PathString(inputPath);
    if (kept == KeptReport::Made) {
        lastReport.file.swap(file);
    } else {
        std::string().swap(lastReport.file);
    }
}

bool HasReportFor(PathView inputPath)
{
    // Another book in the field would be read as this one's report.
    return (lastReport.state == KeptReport::Made || lastReport.state == KeptReport::OutOfMemory) &&
           lastReport.inputPath == inputPath;
}

void OpenReport(HWND window, PathView inputPath)
{
    // The item is greyed while the field names another book.
    if (!HasReportFor(inputPath)) return;
    if (lastReport.state == KeptReport::OutOfMemory) {
        ShowError(window, kReportOutOfMemory);
        return;
    }
    // The item is greyed until a conversion has read a book.
    if (lastReport.state != KeptReport::Made) return;
    const std::wstring path = ReportPath();
    const Saved saved = path.empty() ? Saved::No : SaveReport(path, lastReport.file);
    if (saved == Saved::HeldOpen) {
        ShowError(window, kReportHeldOpen, path);
    } else if (saved == Saved::No) {
        ShowError(window, u"変換レポートを保存できませんでした。\r\n保存先：", path);
    } else if (!OpenTextFile(path)) {
        ShowError(window, u"変換レポートを開けませんでした。\r\nメモ帳などで次のファイルを開いてください。\r\n", path);
    }
}

void ForgetReport()
{
    lastReport = WindowReport();
}

} // namespace karuto::app
