#include "job/conversion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <new>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "bench/address_book.h"
#include "job/report.h"
#include "platform/shift_jis.h"
#include "platform/unicode.h"
#include "tests/test_support.h"
#include "vcard/params.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include "tests/file_faults.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace karuto {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::Utf16LeBytes;
using test::WriteFileBytes;

constexpr char16_t kQuestion[] = u"添付用ファイルが既に存在します。\r\n上書きで保存しますか？";
constexpr char16_t kConvertingLine[] = u"変換処理中...";
constexpr char16_t kFailedLine[] = u"変換処理に失敗しました。";
constexpr char16_t kNothingLine[] = u"出力対象データが1件もありませんでした。";
constexpr char16_t kCompletedLine[] = u"変換が完了しました。";
constexpr char16_t kUnsupportedBox[] = u"変換元ファイルの文字コードに対応していません。";
constexpr char16_t kCannotLoadBox[] =
    u"変換元ファイルが読み込めません。\r\n他で使用中もしくは破損している可能性があります。";
constexpr char16_t kCannotWriteBox[] =
    u"添付用ファイルへ書き込めません。\r\n他で使用中もしくは書込み禁止の可能性があります。";
constexpr char16_t kInputMissingBox[] = u"変換元ファイルがありません。";
constexpr char16_t kSameFileBox[] = u"変換元ファイルと添付用ファイルが同じです。";

const std::string kMark = "\xFF\xFE";

// What the job did to the window, in order.
struct WindowEvent {
    enum Kind { Question, Error, Line } kind;
    std::u16string text;
    bool operator==(const WindowEvent&) const = default;
};

void PrintTo(const WindowEvent& event, std::ostream* out)
{
    static const char* const kinds[] = {"question", "error", "line"};
    *out << kinds[event.kind] << " \"" << WideToUtf8(event.text) << "\"";
}

WindowEvent Asked(std::u16string_view text)
{
    return {WindowEvent::Question, std::u16string(text)};
}

WindowEvent Error(std::u16string_view text)
{
    return {WindowEvent::Error, std::u16string(text)};
}

WindowEvent Line(std::u16string_view text)
{
    return {WindowEvent::Line, std::u16string(text)};
}

// Stands in for the main window: records every box and line and answers the
// replacement question as scripted.
struct RecordingWindow {
    bool answer = true;
    std::vector<WindowEvent> events;

    JobWindow Window()
    {
        JobWindow window;
        window.askQuestion = [this](std::u16string_view text) {
            events.push_back(Asked(text));
            return answer;
        };
        window.showError = [this](std::u16string_view text) { events.push_back(Error(text)); };
        window.addMessage = [this](std::u16string_view text) { events.push_back(Line(text)); };
        return window;
    }
};

// A folder with the source file "連絡先.vcf"; the output is "PC→iPhone.vcf" next to it.
struct JobFolder {
    TempDir dir;
    fs::path inputFile = dir.ChildPath(u"連絡先.vcf");
    fs::path outputFile = dir.ChildPath(u"PC→iPhone.vcf");
    RecordingWindow recorder;

    int Run()
    {
        return RunConversion(dir.Child(u"PC→iPhone.vcf"), recorder.Window(), dir.Child(u"連絡先.vcf"));
    }
};

// Three cards; the second names a version the converter does not take.
const std::string kThreeCardsOneRejected =
    "BEGIN:VCARD\r\n"
    "VERSION:2.1\r\n"
    "N:Yamada;Hanako;;;\r\n"
    "FN:Hanako Yamada\r\n"
    "TEL;CELL:090-1111-2222\r\n"
    "END:VCARD\r\n"
    "BEGIN:VCARD\r\n"
    "VERSION:4.0\r\n"
    "N:Future;Fiona;;;\r\n"
    "END:VCARD\r\n"
    "BEGIN:VCARD\r\n"
    "VERSION:3.0\r\n"
    "N:Kato;Ken;;;\r\n"
    "EMAIL;INTERNET:ken@example.jp\r\n"
    "END:VCARD\r\n";

const std::u16string kThreeCardsOneRejectedOutput =
    u"BEGIN:VCARD\r\n"
    u"VERSION:2.1\r\n"
    u"N:Yamada;Hanako;;;\r\n"
    u"TEL;CELL:090-1111-2222\r\n"
    u"END:VCARD\r\n"
    u"BEGIN:VCARD\r\n"
    u"VERSION:3.0\r\n"
    u"N:Kato;Ken;;;\r\n"
    u"EMAIL;TYPE=HOME:ken@example.jp\r\n"
    u"END:VCARD\r\n";

const std::vector<WindowEvent> kThreeReadTwoWritten = {
    Line(kConvertingLine),
    Line(kCompletedLine),
    Line(u"入力データ：3件、　出力データ：2件"),
};

// The sample card of the property emitters, as UTF-16 text.
const std::u16string kSampleCard =
    u"BEGIN:VCARD\r\n"
    u"VERSION:2.1\r\n"
    u"N;CHARSET=SHIFT_JIS:山本;太郎;;;\r\n"
    u"FN;CHARSET=SHIFT_JIS:山本 太郎\r\n"
    u"SOUND;X-IRMC-N;CHARSET=SHIFT_JIS:ﾔﾏﾓﾄ;ﾀﾛｳ;;;\r\n"
    u"TEL;CELL:090-0000-0000\r\n"
    u"EMAIL;INTERNET:yamamoto\r\n"
    u"EMAIL;INTERNET;CELL:taro\r\n"
    u"ADR;CHARSET=SHIFT_JIS:;;本町1-2;大阪市;;;\r\n"
    u"ORG;CHARSET=SHIFT_JIS:ｱｵｲ商会\r\n"
    u"NOTE;ENCODING=QUOTED-PRINTABLE:abc=0D=0Adef\r\n"
    u"END:VCARD\r\n";

const std::u16string kSampleCardOutput =
    u"BEGIN:VCARD\r\n"
    u"VERSION:2.1\r\n"
    u"N:山本;太郎;;;\r\n"
    u"X-PHONETIC-LAST-NAME:ヤマモト\r\n"
    u"X-PHONETIC-FIRST-NAME:タロウ\r\n"
    u"TEL;CELL:090-0000-0000\r\n"
    u"EMAIL;TYPE=HOME:yamamoto\r\n"
    u"item1.EMAIL:taro\r\n"
    u"item1.X-ABLabel:_$!<Other>!$_\r\n"
    u"item2.ADR:;;本町1-2;大阪市;;;\r\n"
    u"item2.X-ABLabel:_$!<Other>!$_\r\n"
    u"ORG:アオイ商会\r\n"
    u"NOTE:abc\r\n"
    u" def\r\n"
    u"END:VCARD\r\n";

const std::string kOldOutput =
    kMark + Utf16LeBytes(u"BEGIN:VCARD\r\nN:Old;Card;;;\r\nEND:VCARD\r\n");

#ifdef _WIN32
// Another program holding the file open with share mode 0, as an editor may.
struct ForeignLock {
    HANDLE handle;
    explicit ForeignLock(const fs::path& path)
        : handle(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr))
    {
        if (handle == INVALID_HANDLE_VALUE) ADD_FAILURE() << "cannot hold " << path;
    }
    ForeignLock(const ForeignLock&) = delete;
    ForeignLock& operator=(const ForeignLock&) = delete;
    ~ForeignLock()
    {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
};
#else
// Another program holding the file open with an exclusive lock.
struct ForeignLock {
    int fd = -1;
    explicit ForeignLock(const fs::path& path) : fd(open(path.c_str(), O_RDONLY | O_CLOEXEC))
    {
        if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) ADD_FAILURE() << "cannot lock " << path;
    }
    ForeignLock(const ForeignLock&) = delete;
    ForeignLock& operator=(const ForeignLock&) = delete;
    ~ForeignLock()
    {
        if (fd >= 0) close(fd);
    }
};
#endif

#ifndef _WIN32

// Lets this process write at most `limit` bytes into any file until the
// object goes out of scope; writes beyond fail with EFBIG instead of raising
// SIGXFSZ.
struct FileSizeLimit {
    rlimit previous{};
    struct sigaction previousAction {};
    bool active = false;

    explicit FileSizeLimit(rlim_t limit)
    {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        if (getrlimit(RLIMIT_FSIZE, &previous) != 0 ||
            sigaction(SIGXFSZ, &ignore, &previousAction) != 0) {
            ADD_FAILURE() << "cannot limit the file size";
            return;
        }
        rlimit limited = previous;
        limited.rlim_cur = limit;
        active = setrlimit(RLIMIT_FSIZE, &limited) == 0;
        if (!active) ADD_FAILURE() << "cannot limit the file size";
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    ~FileSizeLimit()
    {
        if (active) setrlimit(RLIMIT_FSIZE, &previous);
        sigaction(SIGXFSZ, &previousAction, nullptr);
    }
};
#endif

using test::Entries;

using Names = std::vector<std::u16string>;
const Names kInputAndOutput = {u"PC→iPhone.vcf", u"連絡先.vcf"};

// --- Paths refused ----------------------------------------------------------------

TEST(RunConversion, RefusedPathsShowOneBoxAndTouchNothing)
{
    JobFolder job;
    EXPECT_EQ(job.Run(), -1);
    EXPECT_EQ(job.recorder.events, std::vector<WindowEvent>{Error(kInputMissingBox)});
    EXPECT_FALSE(fs::exists(job.outputFile));
}

TEST(RunConversion, TheSameFileAsInputAndOutputIsRefusedBeforeAnyQuestion)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
    fs::create_hard_link(job.inputFile, job.dir.ChildPath(u"link.vcf"));
    const PathString sameFolder = PathString(u".") + kPathSeparator + u"連絡先.vcf";
    for (const PathString& output : {sameFolder, PathString(u"link.vcf")}) {
        SCOPED_TRACE(WideToUtf8(output));
        job.recorder.events.clear();
        EXPECT_EQ(RunConversion(job.dir.Child(output), job.recorder.Window(),
                                job.dir.Child(u"連絡先.vcf")),
                  -1);
        EXPECT_EQ(job.recorder.events, std::vector<WindowEvent>{Error(kSameFileBox)});
        EXPECT_EQ(ReadFileBytes(job.inputFile), kThreeCardsOneRejected);
    }
}

// --- Replacing an existing output ---------------------------------------------------

TEST(RunConversion, DecliningTheReplacementLeavesTheOutputAsItWas)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
    WriteFileBytes(job.outputFile, kOldOutput);
    job.recorder.answer = false;
    EXPECT_EQ(job.Run(), 0);
    EXPECT_EQ(job.recorder.events, std::vector<WindowEvent>{Asked(kQuestion)});
    EXPECT_EQ(ReadFileBytes(job.outputFile), kOldOutput);
}

#ifndef _WIN32
TEST(RunConversion, AnOutputNameWithWildcardsIsAskedAboutLikeAnyOther)
{
    for (const std::u16string_view name : {u"a*b.vcf", u"a?b.vcf", u"*.vcf"}) {
        SCOPED_TRACE(WideToUtf8(name));
        JobFolder job;
        WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
        WriteFileBytes(job.dir.ChildPath(name), kOldOutput);
        job.recorder.answer = false;
        EXPECT_EQ(RunConversion(job.dir.Child(name), job.recorder.Window(), job.dir.Child(u"連絡先.vcf")), 0);
        EXPECT_EQ(job.recorder.events, std::vector<WindowEvent>{Asked(kQuestion)});
        EXPECT_EQ(ReadFileBytes(job.dir.ChildPath(name)), kOldOutput);
    }
}
#endif

TEST(RunConversion, DecliningWhenAFolderHasTheOutputName)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
    fs::create_directory(job.outputFile);
    job.recorder.answer = false;
    EXPECT_EQ(job.Run(), 0);
    EXPECT_EQ(job.recorder.events, std::vector<WindowEvent>{Asked(kQuestion)});
    EXPECT_TRUE(fs::is_directory(job.outputFile));
}

TEST(RunConversion, ConfirmingTheReplacementRewritesTheOutput)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
    WriteFileBytes(job.outputFile, std::string(10 * 1024, 'x'));
    EXPECT_EQ(job.Run(), 0);
    std::vector<WindowEvent> expected{Asked(kQuestion)};
    expected.insert(expected.end(), kThreeReadTwoWritten.begin(), kThreeReadTwoWritten.end());
    EXPECT_EQ(job.recorder.events, expected);
    EXPECT_EQ(ReadFileBytes(job.outputFile), kMark + Utf16LeBytes(kThreeCardsOneRejectedOutput));
    EXPECT_EQ(Entries(job.dir.path), kInputAndOutput);
}

// --- Input cannot be loaded -----------------------------------------------------------

TEST(RunConversion, BigEndianInputIsRefusedWithoutTouchingTheOutput)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, std::string("\xFE\xFF\0B\0E\0G\0I\0N", 12));
    WriteFileBytes(job.outputFile, kOldOutput);
    EXPECT_EQ(job.Run(), -1);
    const std::vector<WindowEvent> expected{Asked(kQuestion), Line(kConvertingLine),
                                            Error(kUnsupportedBox), Line(kFailedLine)};
    EXPECT_EQ(job.recorder.events, expected);
    EXPECT_EQ(ReadFileBytes(job.outputFile), kOldOutput);
}

TEST(RunConversion, AFolderAsInputCannotBeLoadedAndNoOutputIsCreated)
{
    JobFolder job;
    fs::create_directory(job.inputFile);
    EXPECT_EQ(job.Run(), -1);
    const std::vector<WindowEvent> expected{Line(kConvertingLine), Error(kCannotLoadBox),
                                            Line(kFailedLine)};
    EXPECT_EQ(job.recorder.events, expected);
    EXPECT_FALSE(fs::exists(job.outputFile));
}

TEST(RunConversion, AnInputHeldByAnotherProgramCannotBeLoaded)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
    WriteFileBytes(job.outputFile, kOldOutput);
    {
        const ForeignLock lock(job.inputFile);
        EXPECT_EQ(job.Run(), -1);
    }
    const std::vector<WindowEvent> expected{Asked(kQuestion), Line(kConvertingLine),
                                            Error(kCannotLoadBox), Line(kFailedLine)};
    EXPECT_EQ(job.recorder.events, expected);
    EXPECT_EQ(ReadFileBytes(job.outputFile), kOldOutput);
}

// --- Output cannot be created -----------------------------------------------------------

const std::vector<WindowEvent> kReplacedButNotWritable = {
    Asked(kQuestion), Line(kConvertingLine), Error(kCannotWriteBox), Line(kFailedLine)};

TEST(RunConversion, AReadOnlyOutputIsNotReplaced)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
    WriteFileBytes(job.outputFile, kOldOutput);
    fs::permissions(job.outputFile,
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    EXPECT_EQ(job.Run(), -1);
    EXPECT_EQ(job.recorder.events, kReplacedButNotWritable);
    EXPECT_EQ(ReadFileBytes(job.outputFile), kOldOutput);
    EXPECT_EQ(Entries(job.dir.path), kInputAndOutput);
}

TEST(RunConversion, AFolderWithTheOutputNameCannotBeReplaced)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
    fs::create_directory(job.outputFile);
    EXPECT_EQ(job.Run(), -1);
    EXPECT_EQ(job.recorder.events, kReplacedButNotWritable);
    EXPECT_TRUE(fs::is_directory(job.outputFile));
}

TEST(RunConversion, AnOutputHeldByAnotherProgramIsNotReplaced)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
    WriteFileBytes(job.outputFile, kOldOutput);
    {
        const ForeignLock lock(job.outputFile);
        EXPECT_EQ(job.Run(), -1);
    }
    EXPECT_EQ(job.recorder.events, kReplacedButNotWritable);
    EXPECT_EQ(ReadFileBytes(job.outputFile), kOldOutput);
    EXPECT_EQ(Entries(job.dir.path), kInputAndOutput);
}

#ifndef _WIN32

TEST(RunConversion, AFailedCardWriteFailsTheConversion)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
    int result = 0;
    {
        // Room for the byte-order mark and part of the first card only.
        const FileSizeLimit limit(64);
        result = job.Run();
    }
    EXPECT_EQ(result, -1);
    const std::vector<WindowEvent> expected{Line(kConvertingLine), Error(kCannotWriteBox),
                                            Line(kFailedLine)};
    EXPECT_EQ(job.recorder.events, expected);
    // Nothing under the output's name rather than a cut file.
    EXPECT_FALSE(fs::exists(job.outputFile));
}
#endif

// --- Faults under the file layer ---------------------------------------------------------

#ifndef _WIN32

// A conversion from "in/連絡先.vcf" into "out/PC→iPhone.vcf", each folder on
// its own so that faults can be armed for the one or the other.
struct FaultFolder {
    TempDir dir;
    fs::path root = fs::canonical(dir.path);
    fs::path inputFolder = root / "in";
    fs::path outputFolder = root / "out";
    fs::path inputFile = inputFolder / u"連絡先.vcf";
    fs::path outputFile = outputFolder / u"PC→iPhone.vcf";
    RecordingWindow recorder;

    FaultFolder()
    {
        fs::create_directory(inputFolder);
        fs::create_directory(outputFolder);
        WriteFileBytes(inputFile, kThreeCardsOneRejected);
    }

    int Run()
    {
        return RunConversion(test::ToPathString(outputFile), recorder.Window(),
                             test::ToPathString(inputFile));
    }
};

std::vector<WindowEvent> FailedWith(bool asked, std::u16string_view box)
{
    std::vector<WindowEvent> events;
    if (asked) events.push_back(Asked(kQuestion));
    events.insert(events.end(), {Line(kConvertingLine), Error(box), Line(kFailedLine)});
    return events;
}

struct OutputFaultCase {
    const char* name;
    test::FileFaults faults;  // for the output's folder
    const char16_t* box;
};

void PrintTo(const OutputFaultCase& c, std::ostream* out)
{
    *out << c.name;
}

// Room for the mark and the start of the first card only.
constexpr std::int64_t kPartWayThroughTheFirstCard = 2 + 2 * 20;
// The first card written whole, the second cut.
const std::int64_t kAfterTheFirstCard =
    2 + 2 * static_cast<std::int64_t>(kThreeCardsOneRejectedOutput.find(u"BEGIN", 1)) + 10;

test::FileFaults WritesFail(std::int64_t budget, int error)
{
    test::FileFaults faults;
    faults.writeBudget = budget;
    faults.writeError = error;
    return faults;
}

test::FileFaults Failing(bool test::FileFaults::*what)
{
    test::FileFaults faults;
    faults.*what = true;
    return faults;
}

const OutputFaultCase kOutputFaults[] = {
    {"WriteFailsAtTheMark", WritesFail(0, EIO), kCannotWriteBox},
    {"WriteFailsPartWayThroughACard", WritesFail(kPartWayThroughTheFirstCard, EIO), kCannotWriteBox},
    {"DeviceFullAfterTheFirstCard", WritesFail(kAfterTheFirstCard, ENOSPC), kCannotWriteBox},
    {"FileSizeLimitReached", WritesFail(kPartWayThroughTheFirstCard, EFBIG), kCannotWriteBox},
    {"FlushFails", Failing(&test::FileFaults::failFlush), kCannotWriteBox},
    {"CloseFails", Failing(&test::FileFaults::failClose), kCannotWriteBox},
    {"ReplacementFails", Failing(&test::FileFaults::failRename), kCannotWriteBox},
    {"MemoryRunsOutWhileConverting", Failing(&test::FileFaults::failAllocationAfterWrite),
     kCannotLoadBox},
};

class OutputFaultTest
    : public testing::TestWithParam<std::tuple<OutputFaultCase, bool /*output existed*/>> {};

TEST_P(OutputFaultTest, LeavesThePreviousOutputAndNoTemporaryFile)
{
    const auto& [c, existed] = GetParam();
    FaultFolder job;
    if (existed) WriteFileBytes(job.outputFile, kOldOutput);
    test::FileFaults faults = c.faults;
    faults.folder = job.outputFolder.string() + "/";
    int result = 0;
    {
        const test::ArmedFileFaults armed(faults);
        result = job.Run();
    }
    EXPECT_EQ(result, -1);
    EXPECT_EQ(job.recorder.events, FailedWith(existed, c.box));
    EXPECT_EQ(ReadFileBytes(job.inputFile), kThreeCardsOneRejected);
    if (existed) {
        EXPECT_EQ(ReadFileBytes(job.outputFile), kOldOutput);
        EXPECT_EQ(Entries(job.outputFolder), Names{u"PC→iPhone.vcf"});
    } else {
        EXPECT_EQ(Entries(job.outputFolder), Names{});
    }
    // Without the fault the same conversion goes through.
    job.recorder.events.clear();
    EXPECT_EQ(job.Run(), 0);
    EXPECT_EQ(ReadFileBytes(job.outputFile), kMark + Utf16LeBytes(kThreeCardsOneRejectedOutput));
}

std::string OutputFaultName(const testing::TestParamInfo<OutputFaultTest::ParamType>& row)
{
    return std::string(std::get<0>(row.param).name) +
           (std::get<1>(row.param) ? "OverAnOutput" : "WithoutOutput");
}

INSTANTIATE_TEST_SUITE_P(, OutputFaultTest,
                         testing::Combine(testing::ValuesIn(kOutputFaults), testing::Bool()),
                         OutputFaultName);

// The input changes between the query of its size and the read.
struct InputFaultCase {
    const char* name;
    void (*change)(const std::string& path);
    std::string changedInput;
};

const InputFaultCase kInputFaults[] = {
    {"Shrinks",
     [](const std::string& path) { fs::resize_file(path, kThreeCardsOneRejected.size() / 2); },
     kThreeCardsOneRejected.substr(0, kThreeCardsOneRejected.size() / 2)},
    {"Grows",
     [](const std::string& path) {
         std::ofstream(path, std::ios::binary | std::ios::app) << "BEGIN:VCARD\r\nN:Late;;;;\r\nEND:VCARD\r\n";
     },
     kThreeCardsOneRejected + "BEGIN:VCARD\r\nN:Late;;;;\r\nEND:VCARD\r\n"},
};

TEST(RunConversion, AnInputThatChangesWhileItIsReadIsNotConverted)
{
    for (const InputFaultCase& c : kInputFaults) {
        SCOPED_TRACE(c.name);
        FaultFolder job;
        WriteFileBytes(job.outputFile, kOldOutput);
        test::FileFaults faults;
        faults.folder = job.inputFolder.string() + "/";
        faults.beforeFirstRead = c.change;
        int result = 0;
        {
            const test::ArmedFileFaults armed(faults);
            result = job.Run();
        }
        EXPECT_EQ(result, -1);
        EXPECT_EQ(job.recorder.events, FailedWith(true, kCannotLoadBox));
        EXPECT_EQ(ReadFileBytes(job.inputFile), c.changedInput);
        EXPECT_EQ(ReadFileBytes(job.outputFile), kOldOutput);
        EXPECT_EQ(Entries(job.outputFolder), Names{u"PC→iPhone.vcf"});
    }
}
#endif

// --- No card written -------------------------------------------------------------------

TEST(RunConversion, InputsWithoutAnAcceptedCardLeaveOnlyTheMark)
{
    const std::string inputs[] = {
        "",
        "\xFF\xFE",
        "\xEF\xBB\xBF",
        "N:No;Card;;;\r\n",
        "BEGIN:VCARD\r\nVERSION:4.0\r\nEND:VCARD\r\n",
        "BEGIN:VCARD\r\nN;CHARSET=ISO-2022-JP:Smith;John;;;\r\nEND:VCARD\r\n",
        "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Never;Ended;;;\r\n",
    };
    for (const std::string& input : inputs) {
        SCOPED_TRACE(input);
        JobFolder job;
        WriteFileBytes(job.inputFile, input);
        EXPECT_EQ(job.Run(), 0);
        const std::vector<WindowEvent> expected{Line(kConvertingLine), Line(kNothingLine)};
        EXPECT_EQ(job.recorder.events, expected);
        EXPECT_EQ(ReadFileBytes(job.outputFile), kMark);
    }
}

// --- At least one card written -----------------------------------------------------------

TEST(RunConversion, ReportsCardsReadAndWritten)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
    EXPECT_EQ(job.Run(), 0);
    EXPECT_EQ(job.recorder.events, kThreeReadTwoWritten);
    EXPECT_EQ(ReadFileBytes(job.outputFile), kMark + Utf16LeBytes(kThreeCardsOneRejectedOutput));
}

TEST(RunConversion, SummaryLineUsesFullWidthPunctuation)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
    ASSERT_EQ(job.Run(), 0);
    ASSERT_EQ(job.recorder.events.size(), 3u);
    const std::u16string& summary = job.recorder.events[2].text;
    const std::u16string expected{u'入', u'力', u'デ', u'ー', u'タ', u'\uFF1A', u'3', u'件',
                                  u'\u3001', u'\u3000', u'出', u'力', u'デ', u'ー', u'タ',
                                  u'\uFF1A', u'2', u'件'};
    EXPECT_EQ(summary, expected);
}

TEST(FormatSummary, WritesSignedDecimalCounts)
{
    EXPECT_EQ(FormatSummary(0, 0), u"入力データ：0件、　出力データ：0件");
    EXPECT_EQ(FormatSummary(1234567, 89), u"入力データ：1234567件、　出力データ：89件");
    EXPECT_EQ(FormatSummary(-1, 2147483647), u"入力データ：-1件、　出力データ：2147483647件");
}

TEST(RunConversion, RunningTwiceAppendsASecondSetOfLines)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
    EXPECT_EQ(job.Run(), 0);
    EXPECT_EQ(job.Run(), 0);
    std::vector<WindowEvent> expected = kThreeReadTwoWritten;
    expected.push_back(Asked(kQuestion));
    expected.insert(expected.end(), kThreeReadTwoWritten.begin(), kThreeReadTwoWritten.end());
    EXPECT_EQ(job.recorder.events, expected);
    EXPECT_EQ(ReadFileBytes(job.outputFile), kMark + Utf16LeBytes(kThreeCardsOneRejectedOutput));
}

TEST(RunConversion, ConvertsTheSampleCardFromShiftJis)
{
    JobFolder job;
    fs::copy_file(fs::path(KARUTO_TEST_DATA_DIR) / "emitters_example.vcf", job.inputFile);
    EXPECT_EQ(job.Run(), 0);
    const std::vector<WindowEvent> expected{Line(kConvertingLine), Line(kCompletedLine),
                                            Line(u"入力データ：1件、　出力データ：1件")};
    EXPECT_EQ(job.recorder.events, expected);
    const std::string output = ReadFileBytes(job.outputFile);
    EXPECT_EQ(output,
              ReadFileBytes(fs::path(KARUTO_TEST_DATA_DIR) / "emitters_example.expected.vcf"));
    EXPECT_EQ(output, kMark + Utf16LeBytes(kSampleCardOutput));
}

TEST(RunConversion, ConvertsTheSampleCardFromUtf16WithAndWithoutItsMark)
{
    for (const std::string& mark : {kMark, std::string()}) {
        JobFolder job;
        WriteFileBytes(job.inputFile, mark + Utf16LeBytes(kSampleCard));
        EXPECT_EQ(job.Run(), 0);
        EXPECT_EQ(ReadFileBytes(job.outputFile), kMark + Utf16LeBytes(kSampleCardOutput));
    }
}

TEST(RunConversion, AUtf8MarkMakesLinesWithoutCharsetUtf8)
{
    JobFolder job;
    // "ｱｵｲ商会" in Shift_JIS on a line that says so; everything else UTF-8.
    WriteFileBytes(job.inputFile,
                   "\xEF\xBB\xBF"
                   "BEGIN:VCARD\r\n"
                   "VERSION:3.0\r\n"
                   "N:山田;花子;;;\r\n"
                   "ORG;CHARSET=SHIFT_JIS:\xB1\xB5\xB2\x8F\xA4\x89\xEF\r\n"
                   "NOTE:ﾃｽﾄ\r\n"
                   "END:VCARD\r\n");
    EXPECT_EQ(job.Run(), 0);
    EXPECT_EQ(ReadFileBytes(job.outputFile), kMark + Utf16LeBytes(u"BEGIN:VCARD\r\n"
                                                                  u"VERSION:3.0\r\n"
                                                                  u"N:山田;花子;;;\r\n"
                                                                  u"ORG:アオイ商会\r\n"
                                                                  u"NOTE:テスト\r\n"
                                                                  u"END:VCARD\r\n"));
}

TEST(RunConversion, WithoutAMarkOnlyLinesNamingUtf8AreDecodedAsUtf8)
{
    JobFolder job;
    WriteFileBytes(job.inputFile,
                   "BEGIN:VCARD\r\n"
                   "N;CHARSET=UTF-8:山田;花子;;;\r\n"
                   "ORG:\xB1\xB5\xB2\x8F\xA4\x89\xEF\r\n"
                   "END:VCARD\r\n");
    EXPECT_EQ(job.Run(), 0);
    EXPECT_EQ(ReadFileBytes(job.outputFile), kMark + Utf16LeBytes(u"BEGIN:VCARD\r\n"
                                                                  u"N:山田;花子;;;\r\n"
                                                                  u"ORG:アオイ商会\r\n"
                                                                  u"END:VCARD\r\n"));
}

TEST(RunConversion, AUtf8FileWithoutAMarkIsReadAsOneWithTheMark)
{
    const auto convert = [](const std::string& bytes) {
        JobFolder job;
        WriteFileBytes(job.inputFile, bytes);
        EXPECT_EQ(job.Run(), 0);
        return ReadFileBytes(job.outputFile);
    };
    struct Row {
        const char* name;
        std::string input;
        std::u16string nameLine;  // the N line of the output
    };
    const Row rows[] = {
        // Kanji and kana exact; Hangul and an emoji have no Shift_JIS form.
        {"vCard 3.0 without CHARSET",
         "BEGIN:VCARD\r\nVERSION:3.0\r\nN:山田;ﾊﾅｺ 한국 😀;;;\r\nEND:VCARD\r\n",
         u"N:山田;ハナコ     ;;;\r\n"},
        // A writer that folds inside a character (田 is E7 94 B0) does not
        // hide that the file is UTF-8.
        {"folded inside a character",
         "BEGIN:VCARD\r\nVERSION:3.0\r\nN:山田;;;;\r\nNOTE:山\xE7\r\n \x94\xB0\r\nEND:VCARD\r\n",
         u"N:山田;;;;\r\n"},
        // Lines that name their charset keep it.
        {"a Shift_JIS line among UTF-8 ones",
         "BEGIN:VCARD\r\nVERSION:2.1\r\nN:山田;;;;\r\n"
         "ORG;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:=B1=B5\r\nEND:VCARD\r\n",
         u"N:山田;;;;\r\nORG:アオ\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string output = convert(row.input);
        EXPECT_EQ(output, convert("\xEF\xBB\xBF" + row.input));
        EXPECT_NE(output.find(Utf16LeBytes(row.nameLine)), std::string::npos);
    }
}

TEST(RunConversion, CharactersWithoutAnExactFormKeepTheirClosestOne)
{
    // Accented names take Windows' best fits; the wave dash and minus sign of
    // other systems their JIS X 0208 forms, read back as full-width tilde and
    // hyphen-minus; so does the yen sign, whose best fit would be a backslash.
    const std::u16string card = u"BEGIN:VCARD\r\nVERSION:3.0\r\nN:Müller;Zoë José;;;\r\n"
                                u"ADR;HOME:;;芝公園4丁目2−8;;;;\r\nNOTE:10時〜12時 © — ‖ 한 料金¥1,000‾\r\n"
                                u"END:VCARD\r\n";
    const std::u16string expected = u"BEGIN:VCARD\r\nVERSION:3.0\r\nN:Muller;Zoe Jose;;;\r\n"
                                    u"ADR;TYPE=HOME:;;芝公園4丁目2－8;;;;\r\nNOTE:10時～12時 c ― ∥   料金￥1,000￣\r\n"
                                    u"END:VCARD\r\n";
    const std::string inputs[] = {"\xEF\xBB\xBF" + WideToUtf8(card), kMark + Utf16LeBytes(card)};
    for (const std::string& input : inputs) {
        JobFolder job;
        WriteFileBytes(job.inputFile, input);
        EXPECT_EQ(job.Run(), 0);
        EXPECT_EQ(ReadFileBytes(job.outputFile), kMark + Utf16LeBytes(expected));
    }
}

// Every line of the output ends with CR LF: no bare LF, no bare CR.
bool EveryLineEndsWithCrLf(std::u16string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n')) return false;
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) return false;
    }
    return text.empty() || text.ends_with(u"\r\n");
}

TEST(RunConversion, TruncatedCharactersAndDecodedLineBreaksKeepEveryLineEnd)
{
    JobFolder job;
    // 0x88 opens a kanji whose second byte is missing: before a ";" in N and
    // ADR, before the line end in NOTE.
    WriteFileBytes(job.inputFile,
                   "BEGIN:VCARD\r\nVERSION:2.1\r\n"
                   "N:\x88;Hanako;;;\r\n"
                   "ADR;HOME:;;\x88;Tokyo;;;\r\n"
                   "NOTE:abc\x88\r\n"
                   "NOTE;ENCODING=QUOTED-PRINTABLE:a=0Ab=0Dc=0D=0Ad\r\n"
                   "END:VCARD\r\n");
    EXPECT_EQ(job.Run(), 0);
    const std::string bytes = ReadFileBytes(job.outputFile);
    std::u16string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                      static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    EXPECT_TRUE(EveryLineEndsWithCrLf(text));
    for (const char16_t* part : {u"N:\u30FB;Hanako;;;\r\n", u";;\u30FB;Tokyo;;;\r\n",
                                 u"NOTE:abc\u30FB\r\n", u"NOTE:a\r\n b\r\n c\r\n d\r\n",
                                 u"END:VCARD\r\n"}) {
        EXPECT_NE(text.find(part), std::u16string::npos);
    }
}

// Writers fold long lines by bytes: a fold inside a character is dropped,
// every other fold stays.
TEST(RunConversion, AFoldInsideACharacterJoinsIt)
{
    struct Row {
        const char* name;
        std::string lines;      // between BEGIN:VCARD and END:VCARD
        std::u16string output;  // the same span in the output
    };
    const Row rows[] = {
        {"Shift_JIS kanji", "NOTE:\x93\x8C\x8B\r\n \x9E\r\n", u"NOTE:東京\r\n"},
        {"Shift_JIS, the lead byte read from the value's start",
         "NOTE:\x82\xA0\x88\r\n\t\x9F \x82\r\n \xA0\r\n", u"NOTE:あ亜 あ\r\n"},
        {"a docomo pictogram", "N:\xF8\r\n \x9F;;;;\r\n", u"N:☀;;;;\r\n"},
        {"folds between characters stay", "NOTE:\x93\x8C\r\n \x8B\x9E\r\n", u"NOTE:東\r\n 京\r\n"},
        {"a lead byte before a blank stays alone", "NOTE:a\x88\r\n  b\r\n", u"NOTE:a\u30FB\r\n  b\r\n"},
        {"UTF-8 kanji", "VERSION:3.0\r\nNOTE:\xE6\x9D\xB1\xE4\xBA\r\n \xAC\r\n", u"VERSION:3.0\r\nNOTE:東京\r\n"},
        {"UTF-8 Cyrillic", "VERSION:3.0\r\nNOTE:\xD0\x9F\xD1\r\n \x80\xD0\xB8\r\n", u"VERSION:3.0\r\nNOTE:При\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        JobFolder job;
        WriteFileBytes(job.inputFile, "BEGIN:VCARD\r\n" + row.lines + "END:VCARD\r\n");
        EXPECT_EQ(job.Run(), 0);
        EXPECT_EQ(ReadFileBytes(job.outputFile), kMark + Utf16LeBytes(u"BEGIN:VCARD\r\n" + row.output + u"END:VCARD\r\n"));
    }
}

// --- The same address book in each of the encodings the converter reads ----------------

enum class InputEncoding { ShiftJis, Utf8, Utf16 };

// The file's bytes for a text that may hold U+0000, which stays a zero byte
// (or unit): Shift_JIS without a mark, UTF-8 and UTF-16LE with theirs.
std::string Encoded(std::u16string_view text, InputEncoding encoding)
{
    switch (encoding) {
    case InputEncoding::ShiftJis: {
        std::string bytes;
        for (std::size_t nul; (nul = text.find(u'\0')) != std::u16string_view::npos;) {
            bytes += WideToAnsi(text.substr(0, nul)) + '\0';
            text.remove_prefix(nul + 1);
        }
        return bytes + WideToAnsi(text);
    }
    case InputEncoding::Utf8: return "\xEF\xBB\xBF" + WideToUtf8(text);
    case InputEncoding::Utf16: return kMark + Utf16LeBytes(text);
    }
    return {};
}

struct EncodedCase {
    const char* name;
    std::u16string input;
    std::u16string output;  // the cards written
    int cardsRead;
};

const EncodedCase kEncodedCases[] = {
    {"NulBytesBreakLines",
     std::u16string(u"BEGIN:VCARD\r\nN:山田;花子;;;\0\r\nNOTE:前\0後\r\nEND:VCARD\r\n\0"
                    u"BEGIN:VCARD\r\nN:ｲﾄｳ;;;;\r\nEND:VCARD", 81) + std::u16string(3, u'\0'),
     u"BEGIN:VCARD\r\nN:山田;花子;;;\r\nNOTE:前\r\nEND:VCARD\r\n"
     u"BEGIN:VCARD\r\nN:イトウ;;;;\r\nEND:VCARD\r\n",
     2},
    {"BlanksAfterTheKeywords",
     u"BEGIN:VCARD \t\r\nN:山田;花子;;;\r\nEND:VCARD  \r\nBEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n",
     u"BEGIN:VCARD \t\r\nN:山田;花子;;;\r\nEND:VCARD  \r\nBEGIN:VCARD\r\nN:b\r\nEND:VCARD\r\n", 2},
    {"FormattedNameWithoutName",
     u"BEGIN:VCARD\r\nVERSION:3.0\r\nFN:ﾔﾏﾀﾞ 花子\r\nFN:other\r\nTEL:1\r\nEND:VCARD\r\n",
     u"BEGIN:VCARD\r\nVERSION:3.0\r\nTEL:1\r\nN:ヤマダ 花子;;;;\r\nEND:VCARD\r\n", 1},
    // A Shift_JIS book saved again as UTF-8 or UTF-16 keeps its labels: the
    // characters are the file's, the bytes of escapes the label's.
    {"CharsetLabelsOfTheFirstEncoding",
     u"BEGIN:VCARD\r\nN;CHARSET=SHIFT_JIS:岡田;准一;;;\r\nSOUND;CHARSET=SHIFT_JIS:ｵｶﾀﾞ;ｼﾞｭﾝｲﾁ\r\n"
     u"NOTE;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:東京=0D=0A=91=E5=8D=E3 ｶﾞ=\r\n=B6=DE\r\n"
     u"ORG;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=B2=A1=E7=94=B0\r\nEND:VCARD\r\n",
     u"BEGIN:VCARD\r\nN:岡田;准一;;;\r\nX-PHONETIC-LAST-NAME:オカダ\r\n"
     u"X-PHONETIC-FIRST-NAME:ジュンイチ\r\nNOTE:東京\r\n 大阪 ガガ\r\nORG:岡田\r\nEND:VCARD\r\n", 1},
    // Blanks after a soft line break, a soft break before the card's end, a
    // sound clip that is no reading.
    {"SlightlyBrokenQuotedPrintable",
     u"BEGIN:VCARD\r\nSOUND;ENCODING=BASE64:UklGRiQAAABXQVZF\r\n"
     u"NOTE;CHARSET=SHIFT_JIS;ENCODING=QUOTED-PRINTABLE:=82=A0=82=A2= \t\r\n=82=A4 \r\n"
     u"TITLE;ENCODING=QUOTED-PRINTABLE:abc=\r\nEND:VCARD\r\n",
     u"BEGIN:VCARD\r\nNOTE:あいう \r\nTITLE:abc\r\nEND:VCARD\r\n", 1},
    // A photo in Quoted-Printable is bytes, a ";" and zero bytes among them:
    // written whole in Base64.
    {"QuotedPrintablePhoto",
     u"BEGIN:VCARD\r\nPHOTO;ENCODING=QUOTED-PRINTABLE;TYPE=JPEG:=FF=D8=FF=E0=00=10JFIF=00=01=02;=3D"
     u"=0D=0A=80=81=82=83=84=85=86=87=88=89=8A=8B=8C=8D=8E=8F=90=91=92=93=\r\n"
     u"=94=95=96=97=98=99=9A=9B=9C=9D=9E=9F=A0=A1=A2=A3=A4=A5=A6=A7=A8\r\nEND:VCARD\r\n",
     u"BEGIN:VCARD\r\nPHOTO;TYPE=JPEG;ENCODING=BASE64:"
     u"/9j/4AAQSkZJRgABAjs9DQqAgYKDhIWGh4iJiouMjY6PkJGSk5SVlpeYmZqbnJ2en6ChoqOkpaan\r\n qA==\r\n"
     u"END:VCARD\r\n", 1},
    // Line ends of every kind, and books joined without a final line break.
    {"LinesEndingInCrAlone",
     u"BEGIN:VCARD\rN:山田;花子;;;\rTEL:1\rEND:VCARD\rbegin:vcard\rN:ｲﾄｳ;;;;\rEND:VCARD\r",
     u"BEGIN:VCARD\r\nN:山田;花子;;;\r\nTEL:1\r\nEND:VCARD\r\nbegin:vcard\r\nN:イトウ;;;;\r\nEND:VCARD\r\n", 2},
    {"ACrOnlyCardAmongCrLfOnes",
     u"BEGIN:VCARD\r\nN:a;;;;\r\nEND:VCARD\r\nBEGIN:VCARD\rN:b;;;;\rEND:VCARD\r"
     u"BEGIN:VCARD\r\nN:c;;;;\r\nEND:VCARD\r\n",
     u"BEGIN:VCARD\r\nN:a;;;;\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:b;;;;\r\nEND:VCARD\r\n"
     u"BEGIN:VCARD\r\nN:c;;;;\r\nEND:VCARD\r\n", 3},
    {"JoinedWithoutAFinalLineBreak",
     u"BEGIN:VCARD\r\nN:山田;;;;\r\nTEL:1\r\nEND:VCARDbegin:VCARD\r\nN:鈴木;;;;\r\nTEL:2\r\nEND:VCARD",
     u"BEGIN:VCARD\r\nN:山田;;;;\r\nTEL:1\r\nEND:VCARD\r\nbegin:VCARD\r\nN:鈴木;;;;\r\nTEL:2\r\nEND:VCARD\r\n", 2},
    {"ACrAloneInsideANoteIsItsLineBreak",
     u"BEGIN:VCARD\r\nN:a;;;;\r\nNOTE:一行目\r二行目\rTEL:これは本文\r\nEND:VCARD\r\n",
     u"BEGIN:VCARD\r\nN:a;;;;\r\nNOTE:一行目\r\n 二行目\r\n TEL:これは本文\r\nEND:VCARD\r\n", 1},
};

class EncodedInputTest
    : public testing::TestWithParam<std::tuple<EncodedCase, InputEncoding>> {};

TEST_P(EncodedInputTest, ConvertsAlike)
{
    const auto& [c, encoding] = GetParam();
    JobFolder job;
    WriteFileBytes(job.inputFile, Encoded(c.input, encoding));
    EXPECT_EQ(job.Run(), 0);
    const std::vector<WindowEvent> expected{
        Line(kConvertingLine), Line(kCompletedLine),
        Line(FormatSummary(c.cardsRead, c.cardsRead))};
    EXPECT_EQ(job.recorder.events, expected);
    EXPECT_EQ(ReadFileBytes(job.outputFile), kMark + Utf16LeBytes(c.output));
}

std::string EncodedCaseName(const testing::TestParamInfo<EncodedInputTest::ParamType>& row)
{
    static const char* const encodings[] = {"ShiftJis", "Utf8", "Utf16"};
    return std::string(std::get<0>(row.param).name) +
           encodings[static_cast<int>(std::get<1>(row.param))];
}

INSTANTIATE_TEST_SUITE_P(, EncodedInputTest,
                         testing::Combine(testing::ValuesIn(kEncodedCases),
                                          testing::Values(InputEncoding::ShiftJis,
                                                          InputEncoding::Utf8,
                                                          InputEncoding::Utf16)),
                         EncodedCaseName);

// Converts a book's bytes, returning the output file's bytes.
std::string ConvertBytesOfBook(const std::string& bytes)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, bytes);
    EXPECT_EQ(job.Run(), 0);
    return ReadFileBytes(job.outputFile);
}

TEST(RunConversion, ABookSavedAgainInAnotherEncodingConvertsAsTheOriginal)
{
    const std::string sample =
        ReadFileBytes(fs::path(KARUTO_TEST_DATA_DIR) / ".." / ".." / "examples" / "contacts.vcf");
    // An Android 2.1 book: UTF-8 without a mark, every line labelled.
    const std::string android = WideToUtf8(
        u"BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8:岡田;准一;;;\r\n"
        u"X-PHONETIC-LAST-NAME;CHARSET=UTF-8:ｵｶﾀﾞ\r\n"
        u"NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=A4=A7=E9=98=AA=0D=0A=EF=BD=B6\r\n"
        u"ADR;HOME;CHARSET=UTF-8:;;本町1-2;大阪市;;;\r\nEND:VCARD\r\n");
    const std::string utf8Mark = "\xEF\xBB\xBF";
    struct Book {
        const char* name;
        std::string bytes;
        std::u16string text;
    };
    const Book books[] = {{"Shift_JIS sample", sample, AnsiToWide(sample)},
                          {"UTF-8 book", android, Utf8ToWide(android)}};
    for (const Book& book : books) {
        SCOPED_TRACE(book.name);
        const std::string original = ConvertBytesOfBook(book.bytes);
        ASSERT_GT(original.size(), kMark.size());
        EXPECT_EQ(ConvertBytesOfBook(utf8Mark + WideToUtf8(book.text)), original);
        EXPECT_EQ(ConvertBytesOfBook(WideToUtf8(book.text)), original);
        EXPECT_EQ(ConvertBytesOfBook(kMark + Utf16LeBytes(book.text)), original);
    }
    EXPECT_EQ(ConvertBytesOfBook(sample), ReadFileBytes(fs::path(KARUTO_TEST_DATA_DIR) / "cli_contacts.expected.vcf"));
    // A Shift_JIS book appended to a UTF-8 one keeps the cards of both.
    const std::string cards = ConvertBytesOfBook(android) + ConvertBytesOfBook(sample).substr(kMark.size());
    EXPECT_EQ(ConvertBytesOfBook(utf8Mark + android + sample), cards);
    EXPECT_EQ(ConvertBytesOfBook(android + sample), cards);
    // Books joined after the fact (copy /b) hold the second one's mark at the
    // start of a line.
    const std::string androidCards = ConvertBytesOfBook(android).substr(kMark.size());
    const std::string sampleCards = ConvertBytesOfBook(sample).substr(kMark.size());
    const std::string utf16 = kMark + Utf16LeBytes(Utf8ToWide(android));
    EXPECT_EQ(ConvertBytesOfBook(utf8Mark + android + utf8Mark + android), kMark + androidCards + androidCards);
    EXPECT_EQ(ConvertBytesOfBook(utf16 + utf16), kMark + androidCards + androidCards);
    EXPECT_EQ(ConvertBytesOfBook(sample + utf8Mark + android), kMark + sampleCards + androidCards);
}

// A UTF-8 book with a stray Latin-1 byte, or a Shift_JIS card appended that
// names no charset, with or without a mark: every card as in its own book.
TEST(RunConversion, AUtf8BookWithSomeLinesThatAreNotIsStillUtf8)
{
    const std::string utf8Book = WideToUtf8(
        u"BEGIN:VCARD\r\nVERSION:3.0\r\nN:山田;花子;;;\r\nADR;TYPE=HOME:;;本町1-2;大阪市;;;\r\nEND:VCARD\r\n"
        u"BEGIN:VCARD\r\nVERSION:3.0\r\nN:佐藤;一郎;;;\r\nNOTE:東京都港区の会社\r\nEND:VCARD\r\n");
    const std::string shiftJisCard = WideToAnsi(
        u"BEGIN:VCARD\r\nVERSION:2.1\r\nN:岡田;准一;;;\r\nSOUND:ｵｶﾀﾞ;ｼﾞｭﾝｲﾁ\r\n"
        u"NOTE;ENCODING=QUOTED-PRINTABLE:") + "=91=E5=8D=E3\r\nEND:VCARD\r\n";
    const std::string utf8Cards = ConvertBytesOfBook(utf8Book).substr(kMark.size());
    const std::string shiftJisCards = ConvertBytesOfBook(shiftJisCard).substr(kMark.size());
    ASSERT_NE(shiftJisCards.find(Utf16LeBytes(u"NOTE:大阪\r\n")), std::string::npos);
    const std::string strayByte = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Caf\xE9;;;;\r\nEND:VCARD\r\n";
    EXPECT_EQ(ConvertBytesOfBook(utf8Book + strayByte + utf8Book),
              kMark + utf8Cards + Utf16LeBytes(u"BEGIN:VCARD\r\nVERSION:3.0\r\nN:Caf\u30FB;;;;\r\nEND:VCARD\r\n") +
                  utf8Cards);
    EXPECT_EQ(ConvertBytesOfBook(utf8Book + shiftJisCard), kMark + utf8Cards + shiftJisCards);
    EXPECT_EQ(ConvertBytesOfBook("\xEF\xBB\xBF" + utf8Book + shiftJisCard), kMark + utf8Cards + shiftJisCards);
}

// Books people make when they change phones: each line read as what it
// plausibly is, whatever the rest of the book holds.
// No card goes missing without a word: every BEGIN:VCARD of a book, in any
// case and anywhere on its line, starts a card that is read, or the report
// names its line. Every book of the tests, the sample and generated books.
TEST(RunConversion, EveryBeginStartsACardOrIsNamedInTheReport)
{
    std::vector<std::string> books;
    for (const auto& entry : fs::directory_iterator(KARUTO_TEST_DATA_DIR)) {
        if (entry.path().extension() == ".vcf") books.push_back(ReadFileBytes(entry.path()));
    }
    books.push_back(ReadFileBytes(fs::path(KARUTO_TEST_DATA_DIR) / ".." / ".." / "examples" / "contacts.vcf"));
    for (const auto kind : {bench::BookKind::ShiftJis21, bench::BookKind::Utf8V30}) {
        books.push_back(bench::GenerateAddressBook(kind, 1 << 18));
    }
    int unread = 0;
    for (const std::string& book : books) {
        LoadedText loaded;
        ASSERT_EQ(LoadInputBytes(std::string(book), loaded), Outcome::Done);
        JobFolder job;
        WriteFileBytes(job.inputFile, book);
        ConversionDetails details;
        ASSERT_EQ(RunConversion(job.dir.Child(u"PC→iPhone.vcf"), job.recorder.Window(), job.dir.Child(u"連絡先.vcf"),
                                &details),
                  0);
        const std::u16string report = test::ReportText(details);
        std::vector<std::int64_t> cardLines;
        for (std::size_t i = 0; i < details.cards.records.size(); ++i) cardLines.push_back(details.cards.records[i].beginLine);
        const std::string& text = loaded.text;
        for (std::size_t pos = 0; pos + 11 <= text.size(); ++pos) {
            if (!EqualsNoCase(std::string_view(text).substr(pos, 11), "BEGIN:VCARD")) continue;
            const std::int64_t line = 1 + std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(pos), '\n');
            const bool named = report.find(u"、" + DecimalText(line) + u"行目：") != std::u16string::npos ||
                               report.find(u"（" + DecimalText(line) + u"行目：") != std::u16string::npos;
            unread += named;
            EXPECT_TRUE(named || std::find(cardLines.begin(), cardLines.end(), line) != cardLines.end())
                << "line " << line << " of a book starting " << book.substr(0, 40);
        }
    }
    EXPECT_GT(unread, 0);  // the joined books hold some
}

TEST(RunConversion, JoinedAndSharedBooksReadEachLineAsWhatItIs)
{
    const std::u16string names[][4] = {{u"鈴木", u"翔太", u"ｽｽﾞｷ", u"ｼｮｳﾀ"}, {u"佐藤", u"結衣", u"ｻﾄｳ", u"ﾕｲ"},
                                       {u"高橋", u"麻衣", u"ﾀｶﾊｼ", u"ﾏｲ"},   {u"田中", u"里香", u"ﾀﾅｶ", u"ﾘｶ"}};
    const auto card = [&](int i, bool feature) {
        const auto& name = names[i % 4];
        const std::u16string charset = feature && i % 2 ? u";CHARSET=SHIFT_JIS" : u"";
        const std::u16string text = u"BEGIN:VCARD\r\nVERSION:" + std::u16string(feature ? u"2.1" : u"3.0") +
                                    u"\r\nN" + charset + u":" + name[0] + u";" + name[1] + u";;;\r\n" +
                                    u"SOUND;X-IRMC-N" + charset + u":" + name[2] + u";" + name[3] + u";;;\r\n" +
                                    u"ADR;HOME" + charset + u":;;本町" + DecimalText(i) + u";大阪市;;;\r\nEND:VCARD\r\n";
        return feature ? WideToAnsi(text) : WideToUtf8(text);
    };
    const auto book = [&](int count, bool feature) {
        std::string bytes;
        for (int i = 0; i < count; ++i) bytes += card(i, feature);
        return bytes;
    };
    const auto cardsOf = [](const std::string& bytes) { return ConvertBytesOfBook(bytes).substr(kMark.size()); };
    for (const auto& [first, second] : {std::pair{50, 50}, std::pair{50, 10}, std::pair{10, 50}}) {
        SCOPED_TRACE(std::to_string(first) + ":" + std::to_string(second));
        const std::string feature = book(first, true);
        const std::string smart = book(second, false);
        EXPECT_EQ(ConvertBytesOfBook(feature + smart), kMark + cardsOf(feature) + cardsOf(smart));
        EXPECT_EQ(ConvertBytesOfBook(smart + feature), kMark + cardsOf(smart) + cardsOf(feature));
    }
    // One shared contact whose Shift_JIS bytes happen to be valid UTF-8.
    struct Shared {
        std::u16string family, given, reading;
    };
    const Shared shared[] = {{u"槇田", u"瑤子", u"ﾏｷﾀ ﾖｳｺ"}, {u"山本", u"莉子", u"ﾔﾏﾓﾄ ﾘｺ"}, {u"関", u"笙子", u"ｾｷ ｼｮｳｺ"}};
    for (const Shared& contact : shared) {
        for (const std::u16string charset : {u"", u";CHARSET=SHIFT_JIS"}) {
            const std::string bytes = WideToAnsi(u"BEGIN:VCARD\r\nN" + charset + u":" + contact.family + u";" +
                                                 contact.given + u";;;\r\nEND:VCARD\r\n");
            EXPECT_NE(ConvertBytesOfBook(bytes).find(Utf16LeBytes(u"N:" + contact.family + u";" + contact.given)),
                      std::string::npos)
                << WideToUtf8(contact.given);
        }
    }
    // Western names in UTF-8, one card in Latin-1: the UTF-8 cards stay UTF-8.
    const std::string western = WideToUtf8(u"BEGIN:VCARD\r\nN:Müller;Jürgen;;;\r\nORG:Bäckerei Größe\r\nEND:VCARD\r\n");
    const std::string latin1 = "BEGIN:VCARD\r\nN:Garc\xED" "a;Jos\xE9;;;\r\nEND:VCARD\r\n";
    const std::string output = ConvertBytesOfBook(western + latin1 + western);
    EXPECT_NE(output.find(Utf16LeBytes(u"N:Muller;Jurgen;;;\r\nORG:Backerei Grose\r\nEND:VCARD\r\nBEGIN:VCARD")),
              std::string::npos);
}

// --- Feature-phone pictograms ---------------------------------------------------------

struct PictogramCase {
    const char* name;
    // Shift_JIS codes in the name, the nickname and a Quoted-Printable note.
    std::array<std::uint16_t, 3> codes;
    // The choices that turn them into emoji, and what they become; every
    // other choice leaves them as they are.
    std::vector<std::pair<EmojiChoice, std::array<std::u16string, 3>>> converted;
    // The nickname's code also in a card of its own before this one.
    bool nicknameFirstAlone = false;
};

std::string CodeBytes(std::uint16_t code)
{
    return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

const PictogramCase kPictogramCases[] = {
    // The sun, an umbrella and a cloud, docomo's own codes.
    {"Docomo", {0xF89F, 0xF8A1, 0xF8A0},
     {{EmojiChoice::Auto, {u"☀", u"☔", u"☁"}}, {EmojiChoice::Docomo, {u"☀", u"☔", u"☁"}}}},
    // A leaf, a flag and a briefcase, au's own codes.
    {"Au", {0xF340, 0xF3D2, 0xF341},
     {{EmojiChoice::Auto, {u"🍂", u"🇨🇳", u"💼"}}, {EmojiChoice::Au, {u"🍂", u"🇨🇳", u"💼"}}}},
    // au's flags, four units each: a line of nothing but pictograms needs
    // more room than its bytes would as text.
    {"AuFlags", {0xF348, 0xF349, 0xF3CE},
     {{EmojiChoice::Auto, {u"🇪🇸", u"🇷🇺", u"🇫🇷"}}, {EmojiChoice::Au, {u"🇪🇸", u"🇷🇺", u"🇫🇷"}}}},
    // SoftBank's own codes, one of them among the IBM extension kanji.
    {"SoftBank", {0xF748, 0xFB41, 0xF794},
     {{EmojiChoice::Auto, {u"😓", u"😥", u"🏣"}}, {EmojiChoice::SoftBank, {u"😓", u"😥", u"🏣"}}}},
    // Codes that docomo and SoftBank both use, for different pictograms:
    // automatic choice cannot tell whose they are.
    {"SharedByTwoCarriers", {0xF941, 0xF985, 0xF943},
     {{EmojiChoice::Docomo, {u"🌔", u"#\u20E3", u"🌙"}}, {EmojiChoice::SoftBank, {u"👦", u"🍸", u"💋"}}}},
    // 髙 (FBFC) and 涬 (FB41) are kanji unless the book is SoftBank's.
    {"IbmKanji", {0xFBFC, 0xFB41, 0x8E52}, {{EmojiChoice::SoftBank, {u"髙", u"😥", u"山"}}}},
    // A first card with only 涬 waits for the later codes, SoftBank's, to become 😥.
    {"IbmKanjiFirst", {0xF748, 0xFB41, 0xF794},
     {{EmojiChoice::Auto, {u"😓", u"😥", u"🏣"}}, {EmojiChoice::SoftBank, {u"😓", u"😥", u"🏣"}}}, true},
};

TEST(RunConversion, PictogramsBecomeTheEmojiOfTheirCarrier)
{
    constexpr EmojiChoice kChoices[] = {EmojiChoice::Auto, EmojiChoice::None, EmojiChoice::Docomo,
                                        EmojiChoice::Au, EmojiChoice::SoftBank};
    for (const PictogramCase& c : kPictogramCases) {
        const auto escape = [](unsigned byte) {
            static constexpr char kDigits[] = "0123456789ABCDEF";
            return std::string{'=', kDigits[byte >> 4], kDigits[byte & 0xF]};
        };
        const std::string qp = escape(c.codes[2] >> 8) + escape(c.codes[2] & 0xFFu);
        const std::string first = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Yumi;;;;\r\nNICKNAME:";
        const std::string book =
            (c.nicknameFirstAlone ? first + CodeBytes(c.codes[1]) + "\r\nEND:VCARD\r\n" : "") +
            "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=SHIFT_JIS:\x82\xE4\x82\xDD" + CodeBytes(c.codes[0]) +
            ";;;;\r\nNICKNAME:" + CodeBytes(c.codes[1]) + "\r\nNOTE;ENCODING=QUOTED-PRINTABLE:" + qp +
            "\r\nEND:VCARD\r\n";
        for (const EmojiChoice choice : kChoices) {
            SCOPED_TRACE(std::string(c.name) + " choice " + std::to_string(static_cast<int>(choice)));
            std::array<std::u16string, 3> expected;
            for (std::size_t i = 0; i < 3; ++i) expected[i] = AnsiToWide(CodeBytes(c.codes[i]));
            for (const auto& [converting, emoji] : c.converted) {
                if (converting == choice) expected = emoji;
            }
            JobFolder job;
            WriteFileBytes(job.inputFile, book);
            EXPECT_EQ(RunConversion(job.dir.Child(u"PC→iPhone.vcf"), job.recorder.Window(),
                                    job.dir.Child(u"連絡先.vcf"), nullptr, choice),
                      0);
            const std::string firstOutput =
                c.nicknameFirstAlone ? Utf16LeBytes(Utf8ToWide(first) + expected[1] + u"\r\nEND:VCARD\r\n") : "";
            EXPECT_EQ(ReadFileBytes(job.outputFile),
                      kMark + firstOutput + Utf16LeBytes(u"BEGIN:VCARD\r\nVERSION:2.1\r\nN:ゆみ" + expected[0] +
                                           u";;;;\r\nNICKNAME:" + expected[1] + u"\r\nNOTE:" + expected[2] +
                                           u"\r\nEND:VCARD\r\n"));
        }
    }
    // A UTF-8 file's private-use characters were never a phone's codes.
    const std::u16string card = u"BEGIN:VCARD\r\nN:ゆみ\uE63E;;;;\r\nEND:VCARD\r\n";
    JobFolder job;
    WriteFileBytes(job.inputFile, "\xEF\xBB\xBF" + WideToUtf8(card));
    EXPECT_EQ(RunConversion(job.dir.Child(u"PC→iPhone.vcf"), job.recorder.Window(),
                            job.dir.Child(u"連絡先.vcf"), nullptr, EmojiChoice::Docomo),
              0);
    EXPECT_EQ(ReadFileBytes(job.outputFile), kMark + Utf16LeBytes(card));
}

TEST(RunConversion, TellsTheCallerWhereTheNulBytesWere)
{
    for (InputEncoding encoding : {InputEncoding::ShiftJis, InputEncoding::Utf8, InputEncoding::Utf16}) {
        SCOPED_TRACE(static_cast<int>(encoding));
        JobFolder job;
        WriteFileBytes(job.inputFile, Encoded(kEncodedCases[0].input, encoding));
        ConversionDetails details;
        EXPECT_EQ(RunConversion(job.dir.Child(u"PC→iPhone.vcf"), job.recorder.Window(),
                                job.dir.Child(u"連絡先.vcf"), &details),
                  0);
        EXPECT_EQ(details.nulCount, 6);
        EXPECT_EQ(details.firstNulLine, 2);
    }
}

TEST(RunConversion, HandsTheCardRecordsToTheCaller)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected + "BEGIN:VCARD\r\nN:Cut;Off;;;\r\n");
    ConversionDetails details;
    EXPECT_EQ(RunConversion(job.dir.Child(u"PC→iPhone.vcf"), job.recorder.Window(),
                            job.dir.Child(u"連絡先.vcf"), &details),
              0);
    const CardList& cards = details.cards;
    ASSERT_EQ(cards.records.size(), 4u);
    EXPECT_TRUE(DetailsOf(cards, 0).ended && !DetailsOf(cards, 0).rejected);
    EXPECT_TRUE(DetailsOf(cards, 1).ended && DetailsOf(cards, 1).rejected);
    EXPECT_EQ(DetailsOf(cards, 1).rejection, Rejection::Version);
    EXPECT_TRUE(DetailsOf(cards, 2).ended && !DetailsOf(cards, 2).rejected);
    EXPECT_FALSE(DetailsOf(cards, 3).ended);
}

// The report is made inside the job, piece by piece; running out of memory
// while it is made fails the run, but the finished output stays.
TEST(RunConversion, WritesTheReportAndFailsCleanlyWhenItRunsOutOfMemory)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
    std::u16string report;
    EXPECT_EQ(RunConversion(job.dir.Child(u"PC→iPhone.vcf"), job.recorder.Window(), job.dir.Child(u"連絡先.vcf"),
                            nullptr, EmojiChoice::Auto, [&report](std::u16string_view text) { report += text; }),
              0);
    EXPECT_NE(report.find(u"「Future Fiona」：未対応のバージョン"), std::u16string::npos);
    const std::string output = ReadFileBytes(job.outputFile);

    job.recorder.events.clear();
    const auto exhausted = [](std::u16string_view) { throw std::bad_alloc(); };
    EXPECT_EQ(RunConversion(job.dir.Child(u"PC→iPhone.vcf"), job.recorder.Window(), job.dir.Child(u"連絡先.vcf"),
                            nullptr, EmojiChoice::Auto, exhausted),
              -1);
    EXPECT_EQ(job.recorder.events.back(), Error(kReportOutOfMemory));
    EXPECT_EQ(ReadFileBytes(job.outputFile), output);
}

// --- The report a window keeps ------------------------------------------------------

struct KeptRun {
    int result = 0;
    KeptReport kept = KeptReport::Unchanged;
    std::u16string report;
};

// The window's conversion, its report collected unless `sink` takes it.
KeptRun RunKeepingReport(JobFolder& job, const ReportSink& sink = {})
{
    KeptRun run;
    const ReportSink collect = [&run](std::u16string_view text) { run.report += text; };
    run.result = RunConversionKeepingReport(job.dir.Child(u"PC→iPhone.vcf"), job.recorder.Window(),
                                            job.dir.Child(u"連絡先.vcf"), sink ? sink : collect, run.kept);
    return run;
}

std::u16string PrintedReport(JobFolder& job)
{
    std::u16string printed;
    EXPECT_EQ(RunConversion(job.dir.Child(u"PC→iPhone.vcf"), job.recorder.Window(), job.dir.Child(u"連絡先.vcf"),
                            nullptr, EmojiChoice::Auto, [&printed](std::u16string_view text) { printed += text; }),
              0);
    job.recorder.events.clear();
    return printed;
}

TEST(RunConversionKeepingReport, KeepsTheReportTheCommandLinePrints)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
    const std::u16string printed = PrintedReport(job);
    EXPECT_NE(printed.find(u"「Future Fiona」：未対応のバージョン"), std::u16string::npos);
    const KeptRun run = RunKeepingReport(job);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.kept, KeptReport::Made);
    EXPECT_EQ(run.report, printed);
    std::vector<WindowEvent> expected{Asked(kQuestion)};
    expected.insert(expected.end(), kThreeReadTwoWritten.begin(), kThreeReadTwoWritten.end());
    EXPECT_EQ(job.recorder.events, expected);
    EXPECT_EQ(ReadFileBytes(job.outputFile), kMark + Utf16LeBytes(kThreeCardsOneRejectedOutput));
}

// Unlike the command line's, a failed report fails nothing and shows nothing.
TEST(RunConversionKeepingReport, MemoryThatRunsOutForTheReportLeavesTheConversionAlone)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
    int pieces = 0;
    const KeptRun run = RunKeepingReport(job, [&pieces](std::u16string_view) {
        if (++pieces == 2) throw std::bad_alloc();
    });
    EXPECT_EQ(pieces, 2);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.kept, KeptReport::OutOfMemory);
    EXPECT_EQ(job.recorder.events, kThreeReadTwoWritten);
    EXPECT_EQ(ReadFileBytes(job.outputFile), kMark + Utf16LeBytes(kThreeCardsOneRejectedOutput));
}

TEST(RunConversionKeepingReport, TellsWhetherTheConversionStartedAndReadTheCards)
{
    {
        JobFolder job;  // no input: refused before it starts
        const KeptRun run = RunKeepingReport(job);
        EXPECT_EQ(std::tuple(run.result, run.kept), std::tuple(-1, KeptReport::Unchanged));
    }
    {
        JobFolder job;
        WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
        WriteFileBytes(job.outputFile, kOldOutput);
        job.recorder.answer = false;
        const KeptRun run = RunKeepingReport(job);
        EXPECT_EQ(std::tuple(run.result, run.kept), std::tuple(0, KeptReport::Unchanged));
    }
    {
        JobFolder job;
        WriteFileBytes(job.inputFile, std::string("\xFE\xFF\0B\0E\0G\0I\0N", 12));
        const KeptRun run = RunKeepingReport(job);
        EXPECT_EQ(std::tuple(run.result, run.kept), std::tuple(-1, KeptReport::None));
    }
    {
        JobFolder job;  // read, but there is no output file to write the cards to
        WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
        fs::create_directory(job.outputFile);
        const KeptRun run = RunKeepingReport(job);
        EXPECT_EQ(std::tuple(run.result, run.kept), std::tuple(-1, KeptReport::None));
        EXPECT_EQ(job.recorder.events, kReplacedButNotWritable);
        EXPECT_TRUE(run.report.empty());
    }
    for (const char* book : {"", "BEGIN:VCARD\r\nVERSION:4.0\r\nEND:VCARD\r\n"}) {
        JobFolder job;  // nothing written is a conversion that ran to its end
        WriteFileBytes(job.inputFile, book);
        const KeptRun run = RunKeepingReport(job);
        EXPECT_EQ(std::tuple(run.result, run.kept), std::tuple(0, KeptReport::Made));
        // The report names the book it was made for.
        EXPECT_EQ(run.report.substr(0, run.report.find(u'\n')),
                  std::u16string(u"変換元：連絡先.vcf（入力データ：") + (book[0] == '\0' ? u"0" : u"1") +
                      u"件、出力データ：0件）");
    }
}

#ifndef _WIN32
// The cards were all read: what the book holds is known, though the output failed.
TEST(RunConversionKeepingReport, KeepsTheReportOfCardsThatCouldNotBeWritten)
{
    JobFolder job;
    WriteFileBytes(job.inputFile, kThreeCardsOneRejected);
    const std::u16string printed = PrintedReport(job);
    fs::remove(job.outputFile);
    KeptRun run;
    {
        const FileSizeLimit limit(64);
        run = RunKeepingReport(job);
    }
    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.kept, KeptReport::Made);
    EXPECT_EQ(run.report, printed);
    const std::vector<WindowEvent> expected{Line(kConvertingLine), Error(kCannotWriteBox), Line(kFailedLine)};
    EXPECT_EQ(job.recorder.events, expected);
}
#endif

} // namespace
} // namespace karuto
