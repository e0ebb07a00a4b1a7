// The window program driven from outside as a user would drive it: the start
// screen, the main window, every outcome of a conversion and its message boxes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#include "app/resource.h"
#include "app_settings.h"
#include "job/conversion.h"
#include "tests/test_support.h"
#include "tests/win32/window_driver.h"

namespace karuto::driver {
namespace {

namespace fs = std::filesystem;
using test::Entries;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

const std::wstring kConfirmCaption = L"確認";
const std::wstring kExitQuestion = L"終了します。よろしいですか？";
const std::string kHomePage = Utf8(L"http://" KARUTO_MAKER_HOST L"/");
const std::string kTermsPage = Utf8(L"http://" KARUTO_MAKER_HOST L"/smt/dl/add/index2.html");
const std::vector<int> kOkOnly = {IDOK};
const std::vector<int> kOkCancel = {IDOK, IDCANCEL};

std::wstring FullPath(const char* path)
{
    const std::wstring wide(path, path + std::strlen(path));
    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW(wide.c_str(), MAX_PATH, full, nullptr);
    return full;
}

// What the platform shows as the caption of a box given none of its own.
std::wstring DefaultCaption()
{
    static const std::wstring caption = [] {
        std::thread probe([] { MessageBoxW(nullptr, L"karuto-caption-probe", nullptr, MB_OK); });
        MessageBoxView box;
        WaitUntil([&] {
            for (HWND dialog : ProcessDialogs(GetCurrentProcessId())) {
                box = ReadMessageBox(dialog);
                if (box.text == L"karuto-caption-probe") return true;
            }
            return false;
        });
        std::wstring text = box.caption;
        if (box.window) Answer(box, IDOK);
        probe.join();
        return text;
    }();
    return caption;
}

void ExpectErrorBox(const MessageBoxView& box, const std::wstring& text)
{
    ASSERT_NE(box.window, nullptr) << "no error box for " << Utf8(text);
    EXPECT_EQ(Utf8(box.text), Utf8(text));
    EXPECT_EQ(Utf8(box.caption), Utf8(DefaultCaption()));
    EXPECT_NE(box.caption, kConfirmCaption);
    EXPECT_EQ(box.buttons, kOkOnly);
    EXPECT_FALSE(box.hasIcon);
}

void ExpectQuestionBox(const MessageBoxView& box, const std::wstring& text)
{
    ASSERT_NE(box.window, nullptr) << "no question box for " << Utf8(text);
    EXPECT_EQ(Utf8(box.text), Utf8(text));
    EXPECT_EQ(Utf8(box.caption), Utf8(kConfirmCaption));
    EXPECT_EQ(box.buttons, kOkCancel);
    EXPECT_FALSE(box.hasIcon);
}

std::vector<std::string> Utf8Lines(const std::vector<std::wstring>& lines)
{
    std::vector<std::string> utf8;
    for (const auto& line : lines) utf8.push_back(Utf8(line));
    return utf8;
}

// Runs the command line with `options` on the input, its standard output and
// error going to `printed` when one is given.
bool RunCommandLine(const std::wstring& options, const fs::path& input, HANDLE printed = nullptr)
{
    std::wstring commandLine = L"\"" + FullPath(KARUTO_CLI_PATH) + L"\" " + options + L" \"" +
                               input.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (printed) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = printed;
        startup.hStdError = printed;
    }
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, printed != nullptr,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    WaitForSingleObject(process.hProcess, 60000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Runs the command line on the same input, for comparing output files.
std::string CommandLineOutput(const fs::path& input, const fs::path& output)
{
    if (!RunCommandLine(L"--yes -o \"" + output.wstring() + L"\"", input)) {
        return "cannot start the command line";
    }
    return ReadFileBytes(output);
}

// The report the command line prints for the input, as the page saves it:
// UTF-8 after a byte-order mark, with CR LF.
std::string CommandLineReport(const fs::path& input, const fs::path& folder)
{
    // A name of its own for each book: Wine may still hold the last one a while.
    const fs::path printed = folder / (input.filename().wstring() + L".printed.txt");
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const HANDLE file = CreateFileW(printed.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "cannot create " + printed.string();
    const bool ran = RunCommandLine(L"--yes --report -o \"" + (folder / "printed.vcf").wstring() + L"\"",
                                    input, file);
    CloseHandle(file);
    const std::string lines = ReadFileBytes(printed);
    const std::size_t summary = lines.find("入力データ：");
    if (!ran || summary == std::string::npos) return "no report: " + lines;
    std::string report = "\xEF\xBB\xBF";
    for (std::size_t i = lines.find('\n', summary) + 1; i < lines.size(); ++i) {
        if (lines[i] == '\n') report += '\r';
        report += lines[i];
    }
    return report;
}

std::string ExampleBytes()
{
    return ReadFileBytes(fs::path(KARUTO_SOURCE_DIR) / "examples" / "contacts.vcf");
}

// An environment variable of this process, set for as long as the object lives.
struct EnvironmentVariable {
    std::wstring name;
    std::wstring previous;
    bool existed;
    EnvironmentVariable(const wchar_t* variable, const std::wstring& value) : name(variable)
    {
        wchar_t text[32768] = {};
        existed = GetEnvironmentVariableW(variable, text, 32768) != 0;
        previous = text;
        SetEnvironmentVariableW(variable, value.c_str());
    }
    ~EnvironmentVariable() { SetEnvironmentVariableW(name.c_str(), existed ? previous.c_str() : nullptr); }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;
};

class WindowProgram : public testing::Test {
protected:
    TempDir dir;
    // The user's temporary folder as the program sees it.
    fs::path userTemp = dir.path / "user-temp";
    std::unique_ptr<RunningProgram> program;
    HWND start = nullptr;
    HWND main = nullptr;

    void StartProgram()
    {
        if (!fs::exists(userTemp)) fs::create_directory(userTemp);
        // The program inherits them as it starts.
        const EnvironmentVariable tmp(L"TMP", userTemp.wstring());
        const EnvironmentVariable temp(L"TEMP", userTemp.wstring());
        program = std::make_unique<RunningProgram>(FullPath(KARUTO_WINDOW_PATH), dir.path);
        ASSERT_NE(program->process.hProcess, nullptr) << "karuto.exe did not start";
        start = program->WaitForDialog(IDC_AGREE);
        ASSERT_NE(start, nullptr) << "no start screen";
    }

    void OpenMainWindow()
    {
        ASSERT_NO_FATAL_FAILURE(StartProgram());
        Click(GetDlgItem(start, IDC_AGREE));
        main = program->WaitForDialog(IDC_INPUT_PATH);
        ASSERT_NE(main, nullptr) << "no main window";
    }

    HWND Item(int id) const { return GetDlgItem(main, id); }
    std::wstring Field(int id) const { return WindowText(Item(id)); }
    ListView Messages() const { return ReadList(Item(IDC_MESSAGES)); }

    bool Idle() const { return IsWindowEnabled(Item(IDC_START)) && OwnedDialogs(main).empty(); }

    // Types the path into the input field and presses the start button.
    void PressStart(const std::wstring& inputPath)
    {
        SetWindowTextRemote(Item(IDC_INPUT_PATH), inputPath);
        Click(Item(IDC_START));
    }

    // Waits until the message list holds `lines` lines and the window is idle.
    void WaitForLines(std::size_t lines)
    {
        EXPECT_TRUE(WaitUntil([&] { return Messages().lines.size() == lines && Idle(); }))
            << "the message list holds " << Messages().lines.size() << " lines";
    }

    // No box appears and the window stays as it was for a while.
    void ExpectNothingHappens(HWND dialog)
    {
        EXPECT_FALSE(WaitUntil([&] { return !OwnedDialogs(dialog).empty(); }, 800ms));
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(program->WaitForExit(0ms), STILL_ACTIVE);
    }

    // Asks for the exit question through `ask`, cancels it once, then confirms.
    void ExpectExitQuestion(HWND dialog, const std::function<void()>& ask)
    {
        ask();
        ExpectQuestionBox(WaitForMessageBox(dialog), kExitQuestion);
        ASSERT_TRUE(Answer(ReadMessageBox(OwnedDialogs(dialog).front()), IDCANCEL));
        EXPECT_TRUE(IsWindowVisible(dialog));
        EXPECT_EQ(program->WaitForExit(300ms), STILL_ACTIVE);
        ask();
        const MessageBoxView again = WaitForMessageBox(dialog);
        ExpectQuestionBox(again, kExitQuestion);
        ASSERT_TRUE(Answer(again, IDOK));
        EXPECT_EQ(program->WaitForExit(), 0u);
    }
};

// ---- Start screen -----------------------------------------------------------

TEST_F(WindowProgram, StartScreenIsCentredWithTheTermsButtonAsDefault)
{
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    EXPECT_EQ(Utf8(WindowText(start)), Utf8(KARUTO_TITLE));
    RECT screen{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &screen, 0);
    RECT window{};
    GetWindowRect(start, &window);
    EXPECT_NEAR((window.left + window.right) / 2, (screen.left + screen.right) / 2, 1);
    EXPECT_NEAR((window.top + window.bottom) / 2, (screen.top + screen.bottom) / 2, 1);

    const HWND terms = GetDlgItem(start, IDC_VIEW_TERMS);
    EXPECT_EQ(Utf8(WindowText(terms)), "利用規約を確認する");
    EXPECT_EQ(Utf8(WindowText(GetDlgItem(start, IDC_AGREE))), "利用規約に同意の上利用する");
    EXPECT_EQ(GetWindowLongW(terms, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
}

TEST_F(WindowProgram, EnterOnTheStartScreenOpensTheTermsAndKeepsTheScreen)
{
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    PressKey(GetDlgItem(start, IDC_VIEW_TERMS), VK_RETURN);
    EXPECT_TRUE(WaitUntil([&] { return !program->OpenedPages().empty(); }));
    PostCommand(start, IDM_HOME_PAGE);
    EXPECT_TRUE(WaitUntil([&] { return program->OpenedPages().size() == 2; }));
    EXPECT_EQ(program->OpenedPages(), (std::vector<std::string>{kTermsPage, kHomePage}));
    ExpectNothingHappens(start);
    EXPECT_EQ(program->WaitForDialog(IDC_INPUT_PATH, 0ms), nullptr);
}

TEST_F(WindowProgram, EscOnTheStartScreenAsksBeforeEnding)
{
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ExpectExitQuestion(start, [&] { PressKey(GetDlgItem(start, IDC_VIEW_TERMS), VK_ESCAPE); });
}

TEST_F(WindowProgram, TheStartScreensCloseBoxAsksBeforeEnding)
{
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ExpectExitQuestion(start, [&] { PostMessageW(start, WM_SYSCOMMAND, SC_CLOSE, 0); });
}

TEST_F(WindowProgram, TheStartScreensExitMenuAsksBeforeEnding)
{
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    ExpectExitQuestion(start, [&] { PostCommand(start, IDM_EXIT); });
}

TEST_F(WindowProgram, AFileDroppedOnTheStartScreenIsIgnored)
{
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    const fs::path input = dir.path / "contacts.vcf";
    WriteFileBytes(input, ExampleBytes());
    ASSERT_TRUE(DropFiles(start, program->Id(), {input.wstring()}));
    ExpectNothingHappens(start);
    EXPECT_EQ(program->WaitForDialog(IDC_INPUT_PATH, 0ms), nullptr);
}

TEST_F(WindowProgram, AgreeingOpensTheMainWindowWhereTheStartScreenWasMoved)
{
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    SetWindowPos(start, nullptr, 37, 45, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    RECT moved{};
    ASSERT_TRUE(WaitUntil([&] {
        GetWindowRect(start, &moved);
        return moved.left == 37 && moved.top == 45;
    }));
    Click(GetDlgItem(start, IDC_AGREE));
    main = program->WaitForDialog(IDC_INPUT_PATH);
    ASSERT_NE(main, nullptr);
    RECT placed{};
    GetWindowRect(main, &placed);
    EXPECT_EQ(placed.left, 37);
    EXPECT_EQ(placed.top, 45);
    EXPECT_FALSE(IsWindowVisible(start));
    EXPECT_EQ(Utf8(WindowText(main)), Utf8(KARUTO_TITLE));
}

// ---- Main window ------------------------------------------------------------

TEST_F(WindowProgram, ConvertsLikeTheCommandLineAndKeepsTheLinesOfEveryRun)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    const fs::path input = dir.path / L"連絡先.vcf";
    // The sample and a card with a docomo pictogram (F89F, the sun), which the
    // window turns into an emoji as the command line does by default.
    WriteFileBytes(input, ExampleBytes() + "BEGIN:VCARD\r\nVERSION:2.1\r\n"
                                           "N;CHARSET=SHIFT_JIS:\x82\xE4\x82\xDD\xF8\x9F;;;;\r\nEND:VCARD\r\n");
    PressStart(input.wstring());
    WaitForLines(3);
    EXPECT_EQ(Field(IDC_OUTPUT_PATH), (dir.path / L"PC→iPhone.vcf").wstring());
    const std::vector<std::string> oneRun = {"変換処理中...", "変換が完了しました。",
                                             "入力データ：7件、　出力データ：6件"};
    EXPECT_EQ(Utf8Lines(Messages().lines), oneRun);
    EXPECT_EQ(Messages().selection, 2);
    const std::string converted = ReadFileBytes(dir.path / L"PC→iPhone.vcf");
    EXPECT_EQ(converted, CommandLineOutput(input, dir.path / "command-line.vcf"));
    EXPECT_NE(converted.find(std::string("\x86\x30\x7F\x30\x00\x26", 6)), std::string::npos);  // ゆみ☀

    // Again: the replacement question, declined, then confirmed.
    Click(Item(IDC_START));
    MessageBoxView question = WaitForMessageBox(main);
    ExpectQuestionBox(question, L"添付用ファイルが既に存在します。\r\n上書きで保存しますか？");
    WriteFileBytes(dir.path / L"PC→iPhone.vcf", "keep");
    ASSERT_TRUE(Answer(question, IDCANCEL));
    WaitForLines(3);
    EXPECT_EQ(ReadFileBytes(dir.path / L"PC→iPhone.vcf"), "keep");

    Click(Item(IDC_START));
    question = WaitForMessageBox(main);
    ExpectQuestionBox(question, L"添付用ファイルが既に存在します。\r\n上書きで保存しますか？");
    ASSERT_TRUE(Answer(question, IDOK));
    WaitForLines(6);
    std::vector<std::string> twoRuns = oneRun;
    twoRuns.insert(twoRuns.end(), oneRun.begin(), oneRun.end());
    EXPECT_EQ(Utf8Lines(Messages().lines), twoRuns);
    EXPECT_EQ(Messages().selection, 5);
    EXPECT_EQ(ReadFileBytes(dir.path / L"PC→iPhone.vcf"), converted);
}

TEST_F(WindowProgram, EveryControlIsDisabledWhileAConversionRuns)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    const fs::path input = dir.path / "contacts.vcf";
    WriteFileBytes(input, ExampleBytes());
    WriteFileBytes(dir.path / L"PC→iPhone.vcf", "old");
    PressStart(input.wstring());
    const MessageBoxView question = WaitForMessageBox(main);
    ASSERT_NE(question.window, nullptr);

    const std::vector<HWND> controls = Children(main);
    ASSERT_EQ(controls.size(), 17u);
    for (HWND control : controls) {
        EXPECT_FALSE(IsWindowEnabled(control)) << "control " << GetDlgCtrlID(control);
    }
    // A file dropped meanwhile is not taken, nor is the other form, whose item
    // is greyed: the fields keep naming the files converted.
    WriteFileBytes(dir.path / "dropped.vcf", ExampleBytes());
    ASSERT_TRUE(DropFiles(main, program->Id(), {(dir.path / "dropped.vcf").wstring()}));
    PostCommand(main, IDM_FORM_ICLOUD);
    std::this_thread::sleep_for(500ms);  // time for the question box's loop to hand them on
    EXPECT_EQ(Field(IDC_INPUT_PATH), input.wstring());
    EXPECT_EQ(Field(IDC_OUTPUT_PATH), (dir.path / L"PC→iPhone.vcf").wstring());

    ASSERT_TRUE(Answer(question, IDOK));
    WaitForLines(3);
    EXPECT_EQ(Field(IDC_INPUT_PATH), input.wstring());
    for (HWND control : controls) {
        EXPECT_TRUE(IsWindowEnabled(control)) << "control " << GetDlgCtrlID(control);
    }
    EXPECT_TRUE(IsWindowEnabled(main));
}

struct Outcome {
    const char* name;
    // Prepares the folder and returns the text to type into the input field.
    std::function<std::wstring(const fs::path& folder)> prepare;
    bool replaceQuestion;  // answered with OK
    const wchar_t* error;  // the error box, or none
    std::vector<std::string> lines;
    // Where the sample's conversion is written, in the folder, when it is one.
    const wchar_t* written = nullptr;
};

// The folder's sample, in a subfolder, for paths typed in other forms.
fs::path SampleInSubfolder(const fs::path& folder)
{
    fs::create_directory(folder / "sub");
    WriteFileBytes(folder / "sub" / "contacts.vcf", ExampleBytes());
    return folder / "sub" / "contacts.vcf";
}

std::wstring WithForwardSlashes(std::wstring path)
{
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return path;
}

const std::vector<std::string> kSampleConverted = {"変換処理中...", "変換が完了しました。",
                                                   "入力データ：6件、　出力データ：5件"};

const std::wstring kLongFolder(243, L'a');

const Outcome kOutcomes[] = {
    {"EmptyInput", [](const fs::path&) { return std::wstring(); }, false,
     L"変換元ファイル名が入力（選択）されていません。", {}},
    {"InputTooLong", [](const fs::path& f) { return f.wstring() + L"\\" + std::wstring(300, L'x') + L".vcf"; },
     false, L"変換元ファイルのフォルダ名およびファイル名が長すぎます。", {}},
    {"OutputTooLongForItsBuffer", [](const fs::path&) { return L"C:\\" + kLongFolder + L"\\x.vcf"; },
     false, L"添付用ファイルのフォルダ名およびファイル名が長すぎます。", {}},
    {"NotAVcardFile", [](const fs::path& f) {
         WriteFileBytes(f / "contacts.txt", ExampleBytes());
         return (f / "contacts.txt").wstring();
     }, false, L"変換元ファイルはvCardファイルではありません。", {}},
    {"MissingInput", [](const fs::path& f) { return (f / "missing.vcf").wstring(); }, false,
     L"変換元ファイルがありません。", {}},
    {"TypedNameWithoutFolder", [](const fs::path& f) {
         WriteFileBytes(f / "contacts.vcf", ExampleBytes());
         return std::wstring(L"contacts.vcf");
     }, false, L"添付用フォルダがありません。", {}},
    {"InputIsTheOutput", [](const fs::path& f) {
         WriteFileBytes(f / L"PC→iPhone.vcf", ExampleBytes());
         return (f / L"PC→iPhone.vcf").wstring();
     }, false, L"変換元ファイルと添付用ファイルが同じです。", {}},
    {"BigEndianInput", [](const fs::path& f) {
         WriteFileBytes(f / "be.vcf", "\xFE\xFF\0B\0E");
         WriteFileBytes(f / L"PC→iPhone.vcf", "keep");
         return (f / "be.vcf").wstring();
     }, true, L"変換元ファイルの文字コードに対応していません。",
     {"変換処理中...", "変換処理に失敗しました。"}},
    {"FolderAsInput", [](const fs::path& f) {
         fs::create_directory(f / "folder.vcf");
         WriteFileBytes(f / "folder.vcf" / "inside.txt", "x");
         return (f / "folder.vcf").wstring();
     }, false, L"変換元ファイルが読み込めません。\r\n他で使用中もしくは破損している可能性があります。",
     {"変換処理中...", "変換処理に失敗しました。"}},
    {"EmptyInputFile", [](const fs::path& f) {
         WriteFileBytes(f / "empty.vcf", "");
         return (f / "empty.vcf").wstring();
     }, false, nullptr, {"変換処理中...", "出力対象データが1件もありませんでした。"}},
    // Windows takes "/" as a separator too: absolute, relative (to the
    // program's folder) and mixed paths convert as with "\".
    {"ForwardSlashes", [](const fs::path& f) { return WithForwardSlashes(SampleInSubfolder(f).wstring()); },
     false, nullptr, kSampleConverted, L"sub\\PC→iPhone.vcf"},
    {"RelativeForwardSlashes", [](const fs::path& f) {
         SampleInSubfolder(f);
         return std::wstring(L"sub/contacts.vcf");
     }, false, nullptr, kSampleConverted, L"sub\\PC→iPhone.vcf"},
    {"MixedSlashes", [](const fs::path& f) {
         SampleInSubfolder(f);
         return f.wstring() + L"\\sub/contacts.vcf";
     }, false, nullptr, kSampleConverted, L"sub\\PC→iPhone.vcf"},
    // Pasted as Explorer's "copy as path" gives it: in double quotes.
    {"QuotedAsExplorerCopiesIt", [](const fs::path& f) { return L" \"" + SampleInSubfolder(f).wstring() + L"\"  "; },
     false, nullptr, kSampleConverted, L"sub\\PC→iPhone.vcf"},
};

class MainWindowOutcome : public WindowProgram, public testing::WithParamInterface<Outcome> {};

TEST_P(MainWindowOutcome, ShowsItsBoxesAndLines)
{
    const Outcome& outcome = GetParam();
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    SetWindowTextRemote(Item(IDC_OUTPUT_PATH), L"previous");
    const std::wstring typed = outcome.prepare(dir.path);
    PressStart(typed);
    if (outcome.replaceQuestion) {
        const MessageBoxView question = WaitForMessageBox(main);
        ExpectQuestionBox(question, L"添付用ファイルが既に存在します。\r\n上書きで保存しますか？");
        ASSERT_TRUE(Answer(question, IDOK));
    }
    if (outcome.error) {
        const MessageBoxView error = WaitForMessageBox(main);
        ExpectErrorBox(error, outcome.error);
        ASSERT_TRUE(Answer(error, IDOK));
    }
    WaitForLines(outcome.lines.size());
    EXPECT_EQ(Utf8Lines(Messages().lines), outcome.lines);
    EXPECT_TRUE(OwnedDialogs(main).empty()) << "a further box appeared";
    if (typed.empty()) {
        EXPECT_EQ(Field(IDC_OUTPUT_PATH), L"previous");
    }
    if (outcome.written) {
        EXPECT_EQ(Field(IDC_OUTPUT_PATH).find_first_of(L"/\""), std::wstring::npos);
        EXPECT_EQ(ReadFileBytes(dir.path / outcome.written),
                  ReadFileBytes(fs::path(KARUTO_SOURCE_DIR) / "tests" / "data" / "cli_contacts.expected.vcf"));
    }
}

INSTANTIATE_TEST_SUITE_P(, MainWindowOutcome, testing::ValuesIn(kOutcomes),
                         [](const testing::TestParamInfo<Outcome>& row) { return row.param.name; });

// 「出力形式」: the form chosen names the output, and the conversion writes
// it as the core writes that form.
TEST_F(WindowProgram, TheChosenFormNamesAndWritesTheOutput)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    const fs::path input = SampleInSubfolder(dir.path);
    SetWindowTextRemote(Item(IDC_INPUT_PATH), input.wstring());
    PostCommand(main, IDM_FORM_ICLOUD);
    EXPECT_TRUE(WaitUntil([&] { return Field(IDC_OUTPUT_PATH) == (dir.path / L"sub\\PC→iCloud.vcf").wstring(); }));
    Click(Item(IDC_START));
    WaitForLines(3);
    EXPECT_EQ(Utf8Lines(Messages().lines), kSampleConverted);
    const auto quiet = [](std::u16string_view) { return false; };
    RunConversion(test::ToPathString(dir.path / "core.vcf"), JobWindow{quiet, quiet, quiet},
                  test::ToPathString(input), nullptr, EmojiChoice::Auto, {}, OutputForm::ICloud);
    EXPECT_EQ(ReadFileBytes(dir.path / L"sub\\PC→iCloud.vcf"), ReadFileBytes(dir.path / "core.vcf"));
    EXPECT_EQ(Entries(dir.path / "sub"), (std::vector<std::u16string>{u"PC→iCloud.vcf", u"contacts.vcf"}));
}

TEST_F(WindowProgram, NoCardWrittenLeavesOnlyTheByteOrderMark)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    WriteFileBytes(dir.path / "empty.vcf", "");
    PressStart((dir.path / "empty.vcf").wstring());
    WaitForLines(2);
    EXPECT_EQ(ReadFileBytes(dir.path / L"PC→iPhone.vcf"), "\xFF\xFE");
}

TEST_F(WindowProgram, AnOutputHeldByAnotherProgramIsNotReplaced)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    WriteFileBytes(dir.path / "contacts.vcf", ExampleBytes());
    WriteFileBytes(dir.path / L"PC→iPhone.vcf", "keep");
    const HANDLE held = CreateFileW((dir.path / L"PC→iPhone.vcf").c_str(), GENERIC_READ, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    PressStart((dir.path / "contacts.vcf").wstring());
    const MessageBoxView question = WaitForMessageBox(main);
    ExpectQuestionBox(question, L"添付用ファイルが既に存在します。\r\n上書きで保存しますか？");
    ASSERT_TRUE(Answer(question, IDOK));
    const MessageBoxView error = WaitForMessageBox(main);
    ExpectErrorBox(error,
                   L"添付用ファイルへ書き込めません。\r\n他で使用中もしくは書込み禁止の可能性があります。");
    ASSERT_TRUE(Answer(error, IDOK));
    WaitForLines(2);
    EXPECT_EQ(Utf8Lines(Messages().lines),
              (std::vector<std::string>{"変換処理中...", "変換処理に失敗しました。"}));
    CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(dir.path / L"PC→iPhone.vcf"), "keep");
}

TEST_F(WindowProgram, TheOutputFieldShowsALongDerivedPathWhole)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    PressStart(L"C:\\" + kLongFolder + L"\\x.vcf");
    ASSERT_NE(WaitForMessageBox(main).window, nullptr);
    EXPECT_EQ(Field(IDC_OUTPUT_PATH), L"C:\\" + kLongFolder + L"\\PC→iPhone.vcf");
    EXPECT_EQ(Field(IDC_OUTPUT_PATH).size(), 260u);
}

TEST_F(WindowProgram, ATypedPathIsReadAsItsFirst259Characters)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    const std::wstring typed = L"C:\\" + std::wstring(200, L'b') + L"\\" + std::wstring(100, L'c');
    PressStart(typed);
    ExpectErrorBox(WaitForMessageBox(main), L"変換元ファイルのフォルダ名およびファイル名が長すぎます。");
    EXPECT_EQ(Field(IDC_OUTPUT_PATH), L"C:\\" + std::wstring(200, L'b') + L"\\PC→iPhone.vcf");
}

TEST_F(WindowProgram, ADropOfThreeFilesTakesTheFirst)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    const fs::path first = dir.path / L"一番目.vcf";
    WriteFileBytes(first, ExampleBytes());
    WriteFileBytes(dir.path / "second.vcf", ExampleBytes());
    fs::create_directory(dir.path / "third");
    ASSERT_TRUE(DropFiles(main, program->Id(),
                          {first.wstring(), (dir.path / "second.vcf").wstring(),
                           (dir.path / "third" / "x.vcf").wstring()}));
    EXPECT_TRUE(WaitUntil([&] { return Field(IDC_INPUT_PATH) == first.wstring(); }));
    EXPECT_EQ(Field(IDC_OUTPUT_PATH), (dir.path / L"PC→iPhone.vcf").wstring());

    Click(Item(IDC_START));
    WaitForLines(3);
    EXPECT_EQ(Utf8(Messages().lines.back()), "入力データ：6件、　出力データ：5件");
}

TEST_F(WindowProgram, ADroppedFolderIsRefusedWhenTheConversionStarts)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    fs::create_directory(dir.path / "folder");
    ASSERT_TRUE(DropFiles(main, program->Id(), {(dir.path / "folder").wstring()}));
    EXPECT_TRUE(WaitUntil([&] { return Field(IDC_INPUT_PATH) == (dir.path / "folder").wstring(); }));
    EXPECT_EQ(Field(IDC_OUTPUT_PATH), (dir.path / L"PC→iPhone.vcf").wstring());
    Click(Item(IDC_START));
    ExpectErrorBox(WaitForMessageBox(main), L"変換元ファイルはvCardファイルではありません。");
}

TEST_F(WindowProgram, EnterInAFieldOrTheListDoesNothing)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    WriteFileBytes(dir.path / "contacts.vcf", ExampleBytes());
    SetWindowTextRemote(Item(IDC_INPUT_PATH), (dir.path / "contacts.vcf").wstring());
    for (int control : {IDC_INPUT_PATH, IDC_OUTPUT_PATH, IDC_MESSAGES}) {
        PressKey(Item(control), VK_RETURN);
        ExpectNothingHappens(main);
    }
    EXPECT_TRUE(Messages().lines.empty());
    EXPECT_EQ(Field(IDC_OUTPUT_PATH), L"");
    EXPECT_FALSE(fs::exists(dir.path / L"PC→iPhone.vcf"));
}

TEST_F(WindowProgram, TheMainWindowsMenuOpensThePages)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    PostCommand(main, IDM_HOME_PAGE);
    PostCommand(main, IDM_TERMS);
    EXPECT_TRUE(WaitUntil([&] { return program->OpenedPages().size() == 2; }));
    EXPECT_EQ(program->OpenedPages(), (std::vector<std::string>{kHomePage, kTermsPage}));
    ExpectNothingHappens(main);
}

TEST_F(WindowProgram, EscOnTheMainWindowAsksBeforeEnding)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    ExpectExitQuestion(main, [&] { PressKey(Item(IDC_INPUT_PATH), VK_ESCAPE); });
}

TEST_F(WindowProgram, TheMainWindowsCloseBoxAsksBeforeEnding)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    ExpectExitQuestion(main, [&] { PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0); });
}

TEST_F(WindowProgram, TheExitButtonAndMenuAskBeforeEnding)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    Click(Item(IDC_EXIT));
    const MessageBoxView viaButton = WaitForMessageBox(main);
    ExpectQuestionBox(viaButton, kExitQuestion);
    ASSERT_TRUE(Answer(viaButton, IDCANCEL));
    ExpectExitQuestion(main, [&] { PostCommand(main, IDM_EXIT); });
}

TEST_F(WindowProgram, BrowsingPutsTheChosenFileIntoTheFields)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    fs::create_directory(dir.path / L"card");
    const fs::path input = dir.path / L"card" / L"選んだ.vcf";
    WriteFileBytes(input, ExampleBytes());
    constexpr int kFileNameBox = 0x47c;

    Click(Item(IDC_BROWSE));
    HWND chooser = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        const auto dialogs = OwnedDialogs(main);
        chooser = dialogs.empty() ? nullptr : dialogs.front();
        return chooser && GetDlgItem(chooser, kFileNameBox);
    }));
    EXPECT_EQ(Utf8(WindowText(chooser)), "ファイルを開く");
    Click(GetDlgItem(chooser, IDCANCEL));
    ASSERT_TRUE(WaitUntil([&] { return OwnedDialogs(main).empty(); }));
    EXPECT_EQ(Field(IDC_INPUT_PATH), L"");

    Click(Item(IDC_BROWSE));
    ASSERT_TRUE(WaitUntil([&] {
        const auto dialogs = OwnedDialogs(main);
        chooser = dialogs.empty() ? nullptr : dialogs.front();
        return chooser && GetDlgItem(chooser, kFileNameBox);
    }));
    SetWindowTextRemote(GetDlgItem(chooser, kFileNameBox), input.wstring());
    Click(GetDlgItem(chooser, IDOK));
    EXPECT_TRUE(WaitUntil([&] { return Field(IDC_INPUT_PATH) == input.wstring(); }));
    EXPECT_EQ(Field(IDC_OUTPUT_PATH), (dir.path / L"card" / L"PC→iPhone.vcf").wstring());

    // The dialog left the current folder where it was (not on the card the
    // file came from): a path relative to it still names the same file.
    SampleInSubfolder(dir.path);
    PressStart(L"sub\\contacts.vcf");
    WaitForLines(3);
    EXPECT_EQ(Utf8Lines(Messages().lines), kSampleConverted);
}

// ---- The conversion report ------------------------------------------------

// Nothing left out: one card in UTF-8.
const std::string kCleanBook =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:山田;太郎;;;\r\nTEL;TYPE=CELL:090-1234-5678\r\nEND:VCARD\r\n";

// The sample (a card refused for its CHARSET, one never ended, an X-CLASS
// line) and a card with Hangul (U+AE40 U+BBFC U+C900), an Android line and
// a private-use code no carrier claims.
std::string LossyBook()
{
    return ExampleBytes() + "BEGIN:VCARD\r\nVERSION:2.1\r\n"
                            "N;CHARSET=UTF-8:\xEA\xB9\x80;\xEB\xAF\xBC\xEC\xA4\x80;;;\r\n"
                            "X-ANDROID-CUSTOM:vnd.android.cursor.item/nickname;Minjun\r\n"
                            "NOTE;CHARSET=SHIFT_JIS:\xF0\x40\r\nEND:VCARD\r\n";
}

const std::wstring kReportNotOpened = L"変換レポートを開けませんでした。\r\nメモ帳などで次のファイルを開いてください。\r\n";
const std::wstring kReportNotSaved = L"変換レポートを保存できませんでした。\r\n保存先：";
const std::wstring kReportHeldOpen =
    L"前の変換レポートがほかのプログラムで開かれているため、保存できませんでした。\r\n"
    L"そのプログラムで変換レポートを閉じてから、もう一度開いてください。\r\n保存先：";

TEST_F(WindowProgram, TheReportOpensAsThePageSavesItForTheLastConversion)
{
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    const fs::path books = dir.path / "books";
    fs::create_directory(books);
    const fs::path lossy = books / L"連絡先.vcf";
    const fs::path clean = books / L"clean.vcf";
    WriteFileBytes(lossy, LossyBook());
    WriteFileBytes(clean, kCleanBook);
    const std::string lossyReport = CommandLineReport(lossy, dir.path);
    const std::string cleanReport = CommandLineReport(clean, dir.path);
    for (const char* lost : {"未対応の文字コード \"CHARSET=ISO-2022-JP\"", "END:VCARD がないまま",
                             "X-ANDROID-CUSTOM（", "U+AE40（", "U+BBFC（", "F040（"}) {
        EXPECT_NE(lossyReport.find(lost), std::string::npos) << lost << " is not in\n" << lossyReport;
    }
    EXPECT_NE(cleanReport.find("書き出さなかったカードはありません。\r\n"), std::string::npos) << cleanReport;
    EXPECT_NE(cleanReport.find("書き出さなかった項目・文字はありません。\r\n"), std::string::npos) << cleanReport;
    const fs::path reportFile = userTemp / L"Karuto" / L"変換レポート.txt";

    // Nothing to open before a conversion has read a book.
    PostCommand(main, IDM_REPORT);
    ExpectNothingHappens(main);
    EXPECT_EQ(Entries(userTemp), std::vector<std::u16string>{});

    PressStart(lossy.wstring());
    WaitForLines(3);
    PostCommand(main, IDM_REPORT);
    ASSERT_TRUE(WaitUntil([&] { return program->OpenedPages().size() == 1; }));
    EXPECT_EQ(program->OpenedPages().back(), Utf8(reportFile.wstring()));
    EXPECT_EQ(ReadFileBytes(reportFile), lossyReport);
    EXPECT_TRUE(OwnedDialogs(main).empty());
    // The message list says what it always said, and nothing that could be
    // attached by mistake lies beside the output.
    EXPECT_EQ(Utf8Lines(Messages().lines),
              (std::vector<std::string>{"変換処理中...", "変換が完了しました。", "入力データ：7件、　出力データ：6件"}));
    EXPECT_EQ(Entries(books), (std::vector<std::u16string>{u"PC→iPhone.vcf", u"clean.vcf", u"連絡先.vcf"}));

    // Another book in the field, its conversion declined at the replace
    // question: the last report is not this book's, and is not offered.
    PressStart(clean.wstring());
    ASSERT_TRUE(Answer(WaitForMessageBox(main), IDCANCEL));
    ASSERT_TRUE(WaitUntil([&] { return Idle(); }));
    PostCommand(main, IDM_REPORT);
    ExpectNothingHappens(main);
    EXPECT_EQ(program->OpenedPages().size(), 1u);

    // The next conversion's report takes its place.
    PressStart(clean.wstring());
    ASSERT_TRUE(Answer(WaitForMessageBox(main), IDOK));
    WaitForLines(6);
    PostCommand(main, IDM_REPORT);
    ASSERT_TRUE(WaitUntil([&] { return program->OpenedPages().size() == 2; }));
    EXPECT_EQ(ReadFileBytes(reportFile), cleanReport);
    // The report file still open in an editor that locks it: a box says so.
    {
        const HANDLE held = CreateFileW(reportFile.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        PostCommand(main, IDM_REPORT);
        MessageBoxView box = WaitForMessageBox(main);
        ExpectErrorBox(box, kReportHeldOpen + reportFile.wstring());
        ASSERT_TRUE(Answer(box, IDOK));
        CloseHandle(held);
    }

    // A conversion refused before it starts leaves it; one that cannot read
    // its book has none.
    // (The field's text is sent, which the program reads before a command
    // posted before it: only then is the report asked for.)
    PressStart((books / "missing.vcf").wstring());
    ASSERT_TRUE(Answer(WaitForMessageBox(main), IDOK));
    SetWindowTextRemote(Item(IDC_INPUT_PATH), clean.wstring());
    PostCommand(main, IDM_REPORT);
    ASSERT_TRUE(WaitUntil([&] { return program->OpenedPages().size() == 3; }));
    EXPECT_EQ(ReadFileBytes(reportFile), cleanReport);
    WriteFileBytes(dir.path / "be.vcf", "\xFE\xFF\0B\0E");
    PressStart((dir.path / "be.vcf").wstring());
    ASSERT_TRUE(Answer(WaitForMessageBox(main), IDOK));
    WaitForLines(8);
    PostCommand(main, IDM_REPORT);
    ExpectNothingHappens(main);
    EXPECT_EQ(program->OpenedPages().size(), 3u);
}

// Where the report cannot be written, then where it cannot be opened.
TEST_F(WindowProgram, AReportThatCannotBeSavedOrOpenedIsNamedInABox)
{
    userTemp = dir.path / "a-file";
    WriteFileBytes(userTemp, "x");
    ASSERT_NO_FATAL_FAILURE(OpenMainWindow());
    WriteFileBytes(dir.path / "contacts.vcf", kCleanBook);
    PressStart((dir.path / "contacts.vcf").wstring());
    WaitForLines(3);
    const fs::path reportFile = userTemp / L"Karuto" / L"変換レポート.txt";
    PostCommand(main, IDM_REPORT);
    MessageBoxView box = WaitForMessageBox(main);
    ExpectErrorBox(box, kReportNotSaved + reportFile.wstring());
    ASSERT_TRUE(Answer(box, IDOK));

    fs::remove(userTemp);
    fs::create_directory(userTemp);
    // The recording opener fails where it cannot record.
    fs::create_directory(dir.path / "opened-pages.txt");
    PostCommand(main, IDM_REPORT);
    box = WaitForMessageBox(main);
    ExpectErrorBox(box, kReportNotOpened + reportFile.wstring());
    ASSERT_TRUE(Answer(box, IDOK));
    EXPECT_EQ(ReadFileBytes(reportFile), CommandLineReport(dir.path / "contacts.vcf", dir.path));
}

} // namespace
} // namespace karuto::driver
