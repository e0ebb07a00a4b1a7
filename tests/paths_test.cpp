#include "job/paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "platform/unicode.h"
#include "tests/test_support.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace karuto {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFileBytes;

constexpr char16_t kInputEmpty[] = u"変換元ファイル名が入力（選択）されていません。";
constexpr char16_t kOutputEmpty[] = u"添付用ファイル名が入力（選択）されていません。";
constexpr char16_t kInputTooLong[] = u"変換元ファイルのフォルダ名およびファイル名が長すぎます。";
constexpr char16_t kOutputTooLong[] = u"添付用ファイルのフォルダ名およびファイル名が長すぎます。";
constexpr char16_t kInputNotVcard[] = u"変換元ファイルはvCardファイルではありません。";
constexpr char16_t kOutputNotVcard[] = u"添付用ファイルはvCardファイルではありません。";
constexpr char16_t kInputMissing[] = u"変換元ファイルがありません。";
constexpr char16_t kOutputFolderMissing[] = u"添付用フォルダがありません。";
constexpr char16_t kSameFile[] = u"変換元ファイルと添付用ファイルが同じです。";

// What the checks did to the window, in order.
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

struct RecordingWindow {
    std::vector<WindowEvent> events;

    JobWindow Window()
    {
        JobWindow window;
        window.askQuestion = [this](std::u16string_view text) {
            events.push_back({WindowEvent::Question, std::u16string(text)});
            return true;
        };
        window.showError = [this](std::u16string_view text) {
            events.push_back({WindowEvent::Error, std::u16string(text)});
        };
        window.addMessage = [this](std::u16string_view text) {
            events.push_back({WindowEvent::Line, std::u16string(text)});
        };
        return window;
    }
};

// The boxes shown by one CheckPaths call, and its verdict.
struct CheckOutcome {
    bool passed = false;
    std::vector<WindowEvent> events;
};

CheckOutcome Check(PathView outputPath, PathView inputPath)
{
    RecordingWindow recorder;
    const JobWindow window = recorder.Window();
    CheckOutcome outcome;
    outcome.passed = CheckPaths(outputPath, window, inputPath);
    outcome.events = recorder.events;
    return outcome;
}

// A refusal is one error box with the message and nothing else; a pass shows nothing.
void ExpectRefused(const CheckOutcome& outcome, std::u16string_view message)
{
    EXPECT_FALSE(outcome.passed);
    const std::vector<WindowEvent> expected{{WindowEvent::Error, std::u16string(message)}};
    EXPECT_EQ(outcome.events, expected);
}

void ExpectPassed(const CheckOutcome& outcome)
{
    EXPECT_TRUE(outcome.passed);
    EXPECT_TRUE(outcome.events.empty());
}

PathString Joined(PathView folder, PathView name)
{
    PathString path(folder);
    path += kPathSeparator;
    path += name;
    return path;
}

// A relative name written with "/" in the separator of the platform.
PathString Native(std::u16string_view name)
{
    PathString native(name);
    for (char16_t& unit : native) {
        if (unit == u'/') unit = kPathSeparator;
    }
    return native;
}

PathString Repeated(std::u16string_view unit, std::size_t times)
{
    PathString text;
    for (std::size_t i = 0; i < times; ++i) text += unit;
    return text;
}

// A path of exactly `length` UTF-16 code units inside `dir`: folders named
// with `filler` (created on disk), then a name of ASCII letters ending in
// ".vcf", written as a file when `createFile` is set. Each folder name stays
// well below the 255-byte limit of a file name.
PathString PathOfLength(const TempDir& dir, std::size_t length, std::u16string_view filler,
                        bool createFile)
{
    const PathString folderName = Repeated(filler, 20);
    PathString path = test::ToPathString(dir.path);
    while (length > path.size() + 100) {
        path = Joined(path, folderName);
        fs::create_directory(fs::path(path));
    }
    const std::size_t nameLength = length - path.size() - 1 - 4;
    path = Joined(path, Repeated(u"x", nameLength) + u".vcf");
    if (createFile) WriteFileBytes(fs::path(path), "BEGIN:VCARD\r\nEND:VCARD\r\n");
    EXPECT_EQ(path.size(), length);
    return path;
}

// A folder with an input file and a subfolder, for the checks that look at the disk.
struct CheckFolder {
    TempDir dir;
    PathString input = dir.Child(u"連絡先.vcf");
    PathString output = dir.Child(u"PC→iPhone.vcf");

    CheckFolder() { WriteFileBytes(dir.ChildPath(u"連絡先.vcf"), "BEGIN:VCARD\r\nEND:VCARD\r\n"); }
};

// --- CheckPaths: order of the checks ------------------------------------------

TEST(CheckPaths, TheFirstFailingCheckIsTheOnlyOneReported)
{
    CheckFolder folder;
    const PathString missingFolder = folder.dir.Child(u"無い");
    const PathString tooLong = Joined(missingFolder, Repeated(u"a", 300) + u".txt");
    const PathString missingTxt = Joined(missingFolder, u"missing.txt");
    const PathString missingVcf = Joined(missingFolder, u"missing.vcf");
    struct Row {
        const char* what;
        PathString input;
        PathString output;
        const char16_t* message;  // nullptr: both paths pass
    };
    // Each row fails its own check and, where it can, every later check too.
    const Row rows[] = {
        {"both empty", u"", u"", kInputEmpty},
        {"input empty, output bad", u"", tooLong, kInputEmpty},
        {"output empty", tooLong, u"", kOutputEmpty},
        {"input too long", tooLong, tooLong, kInputTooLong},
        {"output too long", folder.input, tooLong, kOutputTooLong},
        {"input not a vCard", missingTxt, missingTxt, kInputNotVcard},
        {"output not a vCard", folder.input, missingTxt, kOutputNotVcard},
        {"input missing", missingVcf, missingVcf, kInputMissing},
        {"output folder missing", folder.input, missingVcf, kOutputFolderMissing},
        {"same file", folder.input, folder.input, kSameFile},
        {"all fine", folder.input, folder.output, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const CheckOutcome outcome = Check(row.output, row.input);
        if (row.message) {
            ExpectRefused(outcome, row.message);
        } else {
            ExpectPassed(outcome);
        }
    }
}

// --- Lengths --------------------------------------------------------------------

TEST(CheckPaths, InputLengthIsCountedInUtf16CodeUnits)
{
    // "𠮷" is a surrogate pair: two code units, four bytes of UTF-8.
    for (const std::u16string_view filler : {u"a", u"あ", u"𠮷"}) {
        SCOPED_TRACE(WideToUtf8(filler));
        TempDir dir;
        const PathString output = dir.Child(u"PC→iPhone.vcf");
        ExpectPassed(Check(output, PathOfLength(dir, 256, filler, true)));
        ExpectRefused(Check(output, PathOfLength(dir, 257, filler, true)), kInputTooLong);
    }
}

TEST(CheckPaths, OutputLengthIsCountedInUtf16CodeUnits)
{
    for (const std::u16string_view filler : {u"a", u"あ", u"𠮷"}) {
        SCOPED_TRACE(WideToUtf8(filler));
        CheckFolder folder;
        ExpectPassed(Check(PathOfLength(folder.dir, 256, filler, false), folder.input));
        ExpectRefused(Check(PathOfLength(folder.dir, 257, filler, false), folder.input),
                      kOutputTooLong);
    }
}

// --- Extensions -----------------------------------------------------------------

TEST(CheckPaths, InputExtensionMustBeVcfInAnyAsciiCase)
{
    struct Row {
        const char16_t* name;
        bool isFolder;
        bool accepted;
    };
    const Row rows[] = {
        {u"contacts.vcf", false, true},
        {u"contacts.VCF", false, true},
        {u"contacts.Vcf", false, true},
        {u"contacts.vCf", false, true},
        {u"contacts.ｖｃｆ", false, false},      // full-width letters are not folded
        {u"contacts．ｖｃｆ", false, false},     // nor is a full-width dot a dot
        {u"contacts.vcf.bak", false, false},
        {u"contacts.vcf ", false, false},
        {u"contacts", false, false},
        {u"contacts.txt", false, false},
        {u"data.old/contacts", false, false},  // the extension comes from the folder
        {u"folder.vcf", true, true},           // a folder passes; loading it fails later
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.name));
        TempDir dir;
        const fs::path inputPath = dir.ChildPath(Native(row.name));
        fs::create_directories(inputPath.parent_path());
        if (row.isFolder) {
            fs::create_directory(inputPath);
        } else {
            WriteFileBytes(inputPath, "BEGIN:VCARD\r\nEND:VCARD\r\n");
        }
        const CheckOutcome outcome =
            Check(dir.Child(u"PC→iPhone.vcf"), dir.Child(Native(row.name)));
        if (row.accepted) {
            ExpectPassed(outcome);
        } else {
            ExpectRefused(outcome, kInputNotVcard);
        }
    }
}

TEST(CheckPaths, OutputExtensionMustBeVcfInAnyAsciiCase)
{
    struct Row {
        const char16_t* name;
        bool accepted;
    };
    const Row rows[] = {
        {u"out.vcf", true},        {u"out.VCF", true},         {u"out.Vcf", true},
        {u"out.ＶＣＦ", false},     {u"out．vcf", false},       {u"out.vcf.bak", false},
        {u"out", false},           {u"out.vcard", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.name));
        CheckFolder folder;
        const CheckOutcome outcome = Check(folder.dir.Child(row.name), folder.input);
        if (row.accepted) {
            ExpectPassed(outcome);
        } else {
            ExpectRefused(outcome, kOutputNotVcard);
        }
    }
}

TEST(CheckPaths, ExtensionOfAFolderNameRefusesAPathWithoutOne)
{
    TempDir dir;
    fs::create_directory(dir.ChildPath(u"data.vcf"));
    WriteFileBytes(dir.ChildPath(Native(u"data.vcf/contacts")), "BEGIN:VCARD\r\nEND:VCARD\r\n");
    // ".vcf/contacts" is what follows the last dot: not ".vcf".
    ExpectRefused(Check(dir.Child(u"PC→iPhone.vcf"), dir.Child(Native(u"data.vcf/contacts"))),
                  kInputNotVcard);
}

// --- Existence of the input -------------------------------------------------------

TEST(CheckPaths, AnInputWithWildcardsIsNoPattern)
{
    for (const std::u16string_view name : {u"a*b.vcf", u"a?b.vcf", u"*.vcf"}) {
        SCOPED_TRACE(WideToUtf8(name));
        TempDir dir;
        // Files that such a pattern would match do not make the name exist.
        WriteFileBytes(dir.ChildPath(u"axb.vcf"), "BEGIN:VCARD\r\nEND:VCARD\r\n");
        ExpectRefused(Check(dir.Child(u"PC→iPhone.vcf"), dir.Child(name)), kInputMissing);
#ifndef _WIN32
        // On POSIX a file may have exactly that name, and then it is there.
        WriteFileBytes(dir.ChildPath(name), "BEGIN:VCARD\r\nEND:VCARD\r\n");
        ExpectPassed(Check(dir.Child(u"PC→iPhone.vcf"), dir.Child(name)));
#endif
    }
}

#ifndef _WIN32
TEST(CheckPaths, AFolderWithWildcardsInItsNameIsAFolder)
{
    for (const std::u16string_view name : {u"a*b", u"a?b", u"*"}) {
        SCOPED_TRACE(WideToUtf8(name));
        CheckFolder folder;
        fs::create_directory(folder.dir.ChildPath(name));
        ExpectPassed(Check(Joined(folder.dir.Child(name), u"out.vcf"), folder.input));
        ExpectRefused(Check(Joined(folder.dir.Child(u"a?c"), u"out.vcf"), folder.input),
                      kOutputFolderMissing);
    }
}
#endif

TEST(CheckPaths, AMissingInputIsRefused)
{
    TempDir dir;
    ExpectRefused(Check(dir.Child(u"PC→iPhone.vcf"), dir.Child(u"無い.vcf")), kInputMissing);
}

// --- Folder of the output --------------------------------------------------------

TEST(CheckPaths, OutputFolderMustExist)
{
    CheckFolder folder;
    fs::create_directory(folder.dir.ChildPath(u"empty"));
    fs::create_directory(folder.dir.ChildPath(u"out.vcf"));
    struct Row {
        const char16_t* output;
        bool accepted;
    };
    const Row rows[] = {
        {u"PC→iPhone.vcf", true},
        {u"empty/PC→iPhone.vcf", true},   // an empty folder still lists "." and ".."
        {u"out.vcf", true},               // an existing folder is its own folder part
        {u"out.vcf/PC→iPhone.vcf", true},
        {u"missing/PC→iPhone.vcf", false},
        {u"missing/deeper/PC→iPhone.vcf", false},
        {u"連絡先.vcf/PC→iPhone.vcf", false},  // the "folder" is a file
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.output));
        const CheckOutcome outcome = Check(folder.dir.Child(Native(row.output)), folder.input);
        if (row.accepted) {
            ExpectPassed(outcome);
        } else {
            ExpectRefused(outcome, kOutputFolderMissing);
        }
    }
}

#ifndef _WIN32
// Changes the working folder for the life of the object.
struct WorkingFolder {
    fs::path previous = fs::current_path();
    explicit WorkingFolder(const fs::path& folder) { fs::current_path(folder); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;
    ~WorkingFolder() { fs::current_path(previous); }
};

TEST(CheckPaths, AnOutputWithoutSeparatorIsTestedAsAFolderOfItsOwn)
{
    CheckFolder folder;
    const WorkingFolder working(folder.dir.path);
    ExpectRefused(Check(u"x.vcf", folder.input), kOutputFolderMissing);
    fs::create_directory(folder.dir.ChildPath(u"x.vcf"));
    ExpectPassed(Check(u"x.vcf", folder.input));
}
#endif

// --- Same file ------------------------------------------------------------------------

TEST(CheckPaths, TheSameFileUnderAnotherNameIsRefused)
{
    CheckFolder folder;
    fs::create_hard_link(folder.dir.ChildPath(u"連絡先.vcf"), folder.dir.ChildPath(u"link.vcf"));
    std::vector<std::u16string_view> outputs{u"連絡先.vcf", u"./連絡先.vcf", u"link.vcf"};
#ifndef _WIN32
    fs::create_symlink(folder.dir.ChildPath(u"連絡先.vcf"), folder.dir.ChildPath(u"symlink.vcf"));
    outputs.push_back(u"symlink.vcf");
#endif
    for (const std::u16string_view output : outputs) {
        SCOPED_TRACE(WideToUtf8(output));
        ExpectRefused(Check(folder.dir.Child(Native(output)), folder.input), kSameFile);
    }
}

TEST(CheckPaths, ACopyWithTheSameContentIsAnotherFile)
{
    CheckFolder folder;
    fs::copy_file(folder.dir.ChildPath(u"連絡先.vcf"), folder.dir.ChildPath(u"copy.vcf"));
    ExpectPassed(Check(folder.dir.Child(u"copy.vcf"), folder.input));
}

// --- DirectoryExists, the output's folder, FileExtension -------------------------------------

TEST(DirectoryExists, IsTrueOnlyForFolders)
{
    TempDir dir;
    fs::create_directory(dir.ChildPath(u"empty"));
    fs::create_directory(dir.ChildPath(u"full"));
    WriteFileBytes(dir.ChildPath(Native(u"full/a.vcf")), "x");
    WriteFileBytes(dir.ChildPath(u"file.vcf"), "x");
    struct Row {
        PathString path;
        bool exists;
    };
    const Row rows[] = {
        {test::ToPathString(dir.path), true},
        {dir.Child(u"empty"), true},
        {dir.Child(u"full"), true},
        {dir.Child(u"full") + kPathSeparator, true},  // no second separator is added
        {dir.Child(u"file.vcf"), false},
        {dir.Child(u"missing"), false},
        {dir.Child(u"missing") + kPathSeparator, false},
        {u"", true},  // searches the root folder
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.path));
        EXPECT_EQ(DirectoryExists(row.path), row.exists);
    }
}

// The output's folder is its path cut at the last separator, or the path
// itself where that is a folder: only a folder that is missing refuses it.
TEST(CheckPaths, FindsTheOutputFolderAtTheLastSeparator)
{
    CheckFolder folder;
    const TempDir& dir = folder.dir;
    fs::create_directory(dir.ChildPath(u"sub.vcf"));
    const std::pair<PathString, bool> rows[] = {
        {dir.Child(u"sub.vcf"), true},
        {dir.Child(u"PC→iPhone.vcf"), true},
        {dir.Child(Native(u"sub.vcf/PC→iPhone.vcf")), true},
        {dir.Child(Native(u"missing/deeper/PC→iPhone.vcf")), false},
        {Native(u"/karuto-no-such-file.vcf"), true},
        {u"karuto-no-such-file.vcf", false},
    };
    const std::vector<WindowEvent> refused{{WindowEvent::Error, kOutputFolderMissing}};
    for (const auto& [output, found] : rows) {
        SCOPED_TRACE(WideToUtf8(output));
        EXPECT_EQ(Check(output, folder.input).events == refused, !found);
    }
}

TEST(FileExtension, RunsFromTheLastDotToTheEnd)
{
    struct Row {
        const char16_t* path;
        const char16_t* extension;
    };
    const Row rows[] = {
        {u"/data/contacts.vcf", u".vcf"},
        {u"/data/contacts.VCF", u".VCF"},
        {u"/data.old/contacts", u".old/contacts"},
        {u"/data/contacts.vcf.bak", u".bak"},
        {u"/data/contacts", u""},
        {u"", u""},
        {u".", u"."},
        {u"/data/x.", u"."},
        {u"/data/.vcf", u".vcf"},
        {u"/data/連絡先．ｖｃｆ", u""},
        {u"/data/連絡先.ｖｃｆ", u".ｖｃｆ"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.path));
        EXPECT_EQ(FileExtension(row.path), row.extension);
    }
}

TEST(DeriveOutputPath, PutsTheOutputNameIntoTheInputsFolderWithoutShorteningIt)
{
    const PathString longFolder = Native(u"/") + PathString(250, u'f');
    struct Row {
        PathString input;
        PathString output;
    };
    const Row rows[] = {
        {Native(u"/data/contacts.vcf"), Native(u"/data/PC→iPhone.vcf")},
        {Native(u"/アドレス帳/連絡先.VCF"), Native(u"/アドレス帳/PC→iPhone.vcf")},
        {Native(u"/contacts.vcf"), Native(u"/PC→iPhone.vcf")},
        {Native(u"/data/folder/"), Native(u"/data/folder/PC→iPhone.vcf")},
        // Without any separator the whole text is kept as the folder.
        {u"contacts.vcf", Native(u"contacts.vcf/PC→iPhone.vcf")},
        // A folder part too long for a conversion stays whole; the checks refuse it.
        {longFolder + Native(u"/x.vcf"), longFolder + Native(u"/PC→iPhone.vcf")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(WideToUtf8(row.input));
        EXPECT_EQ(DeriveOutputPath(row.input), row.output);
    }
    EXPECT_EQ(DeriveOutputPath(longFolder + Native(u"/x.vcf")).size(), 265u);
}

} // namespace
} // namespace karuto
