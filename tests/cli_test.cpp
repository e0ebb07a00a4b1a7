// Runs the `karuto` command line itself on files in a temporary folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "platform/unicode.h"
#include "tests/test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace karuto {
namespace {

#ifndef _WIN32

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::Utf16LeBytes;
using test::WriteFileBytes;

// Console texts: UTF-8, each message on its own line(s), CR LF made "\n".
const std::string kConvertingOut = "変換処理中...\n";
const std::string kFailedOut = "変換処理に失敗しました。\n";
const std::string kCompletedOut = "変換が完了しました。\n";
const std::string kUnsupportedErr = "変換元ファイルの文字コードに対応していません。\n";

const std::string kOutputName = "PC→iPhone.vcf";
const std::string kMark = "\xFF\xFE";

enum ExitCode { kConverted = 0, kFailed = 1, kUsage = 2, kDeclined = 3 };

// Three cards; the second names a version the converter does not take.
const std::string kThreeCards =
    "BEGIN:VCARD\r\n"
    "VERSION:2.1\r\n"
    "N:Yamada;Hanako;;;\r\n"
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

const std::string kThreeCardsOutput =
    kMark + Utf16LeBytes(u"BEGIN:VCARD\r\n"
                         u"VERSION:2.1\r\n"
                         u"N:Yamada;Hanako;;;\r\n"
                         u"TEL;CELL:090-1111-2222\r\n"
                         u"END:VCARD\r\n"
                         u"BEGIN:VCARD\r\n"
                         u"VERSION:3.0\r\n"
                         u"N:Kato;Ken;;;\r\n"
                         u"EMAIL;TYPE=HOME:ken@example.jp\r\n"
                         u"END:VCARD\r\n");

const std::string kThreeCardsStdout =
    kConvertingOut + kCompletedOut + "入力データ：3件、　出力データ：2件\n";

const std::string kOldOutput =
    kMark + Utf16LeBytes(u"BEGIN:VCARD\r\nN:Old;Card;;;\r\nEND:VCARD\r\n");

struct CliResult {
    int exitStatus = -1;  // -1 unless the program exited normally
    std::string out;
    std::string err;
};

struct CliSetup {
    fs::path workingDirectory;
    int input = -1;                          // standard input; /dev/null when -1
    rlim_t memoryLimit = RLIM_INFINITY;      // address space, for a machine short of memory
    bool removeWorkingDirectory = false;     // run in a folder that no longer exists
};

// Longest time any single run may stay silent before it counts as hung.
constexpr int kHangMilliseconds = 60 * 1000;

// Reads both pipes to their end; false when the child fell silent for too long.
bool DrainPipes(int outFd, int errFd, CliResult& result)
{
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int openPipes = 2;
    while (openPipes > 0) {
        const int ready = poll(fds, 2, kHangMilliseconds);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                fds[i].fd = -1;
                --openPipes;
            } else {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            }
        }
    }
    return true;
}

// Starts the command line with `arguments`, its standard output and error
// going to `outFd` and `errFd`; returns its process ID, or -1.
pid_t StartCli(const std::vector<std::string>& arguments, const CliSetup& setup, int outFd,
               int errFd)
{
    std::vector<char*> argv;
    std::string program = KARUTO_CLI_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::string workingDirectory = setup.workingDirectory.string();
    const int devNull = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int input = setup.input >= 0 ? setup.input : devNull;

    const pid_t child = fork();
    if (child == 0) {
        // Only async-signal-safe calls from here to exec.
        if (chdir(workingDirectory.c_str()) != 0) _exit(126);
        if (setup.removeWorkingDirectory && rmdir(workingDirectory.c_str()) != 0) _exit(126);
        dup2(input, STDIN_FILENO);
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        if (setup.memoryLimit != RLIM_INFINITY) {
            const rlimit limit{setup.memoryLimit, setup.memoryLimit};
            setrlimit(RLIMIT_AS, &limit);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (devNull >= 0) close(devNull);
    if (child < 0) ADD_FAILURE() << "cannot start " << program;
    return child;
}

int WaitForExit(pid_t child)
{
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

// Runs the command line with `arguments`, returning its exit status and
// everything it wrote to standard output and standard error.
CliResult RunCli(const std::vector<std::string>& arguments, const CliSetup& setup)
{
    CliResult result;
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "cannot create pipes";
        return result;
    }
    const pid_t child = StartCli(arguments, setup, outPipe[1], errPipe[1]);
    close(outPipe[1]);
    close(errPipe[1]);
    if (child < 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return result;
    }
    if (!DrainPipes(outPipe[0], errPipe[0], result)) {
        ADD_FAILURE() << "karuto did not finish";
        kill(child, SIGKILL);
    }
    close(outPipe[0]);
    close(errPipe[0]);
    const int status = WaitForExit(child);
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    return result;
}

// A temporary folder to run the command line in.
struct CliFolder {
    TempDir dir;

    std::string Path(std::u16string_view name) const { return dir.ChildPath(name).string(); }
    fs::path Output() const { return dir.path / kOutputName; }

    CliResult Run(const std::vector<std::string>& arguments, CliSetup setup = {}) const
    {
        if (setup.workingDirectory.empty()) setup.workingDirectory = dir.path;
        return RunCli(arguments, setup);
    }
};

void ExpectResult(const CliResult& result, int exitStatus, const std::string& out,
                  const std::string& err)
{
    EXPECT_EQ(result.exitStatus, exitStatus);
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, err);
}

// A refusal of the path checks: the message on standard error, nothing else.
void ExpectRefused(const CliResult& result, const std::string& message)
{
    ExpectResult(result, kFailed, "", message + "\n");
}

fs::path DataFile(const char* name)
{
    return fs::path(KARUTO_TEST_DATA_DIR) / name;
}

// --- Outcomes of a conversion -----------------------------------------------------------

TEST(Cli, ReportsCardsReadAndWritten)
{
    CliFolder folder;
    WriteFileBytes(folder.dir.path / "in.vcf", kThreeCards);
    ExpectResult(folder.Run({folder.Path(u"in.vcf")}), kConverted, kThreeCardsStdout, "");
    EXPECT_EQ(ReadFileBytes(folder.Output()), kThreeCardsOutput);
}

TEST(Cli, WithoutATerminalAnExistingOutputIsNotReplaced)
{
    CliFolder folder;
    WriteFileBytes(folder.dir.path / "in.vcf", kThreeCards);
    WriteFileBytes(folder.Output(), kOldOutput);
    ExpectResult(folder.Run({folder.Path(u"in.vcf")}), kDeclined, "",
                 "添付用ファイルが既に存在します。\n上書きで保存しますか？\n"
                 "確認できないため上書きしませんでした。上書きするには --yes を指定してください。\n"
                 "(Not replaced: there is no terminal to ask. Use --yes to replace it.)\n");
    EXPECT_EQ(ReadFileBytes(folder.Output()), kOldOutput);
}

TEST(Cli, YesReplacesAnExistingOutput)
{
    for (const char* yes : {"--yes", "-y"}) {
        SCOPED_TRACE(yes);
        CliFolder folder;
        WriteFileBytes(folder.dir.path / "in.vcf", kThreeCards);
        WriteFileBytes(folder.Output(), std::string(10 * 1024, 'x'));
        ExpectResult(folder.Run({yes, folder.Path(u"in.vcf")}), kConverted, kThreeCardsStdout, "");
        EXPECT_EQ(ReadFileBytes(folder.Output()), kThreeCardsOutput);
    }
}

TEST(Cli, BigEndianInputIsRefusedWithoutTouchingTheOutput)
{
    CliFolder folder;
    WriteFileBytes(folder.dir.path / "in.vcf", std::string("\xFE\xFF\0B\0E\0G\0I\0N", 12));
    WriteFileBytes(folder.Output(), kOldOutput);
    ExpectResult(folder.Run({"--yes", folder.Path(u"in.vcf")}), kFailed,
                 kConvertingOut + kFailedOut, kUnsupportedErr);
    EXPECT_EQ(ReadFileBytes(folder.Output()), kOldOutput);
}

// A report of 150 000 rejected cards costs a fraction of their 12 MB, so it
// is made where the conversion fits.
TEST(Cli, ReportOfManyRejectedCardsFitsWhereTheConversionDoes)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizer's own memory does not fit the limit";
#endif
    CliFolder folder;
    std::string input;
    for (int n = 0; n < 150000; ++n) input += "BEGIN:VCARD\r\nVERSION:4.0\r\nN:Many;Rejected;;;\r\nEND:VCARD\r\n";
    WriteFileBytes(folder.dir.path / "in.vcf", input);
    CliSetup setup;
    setup.memoryLimit = rlim_t{80} << 20;
    const CliResult result = folder.Run({"--report", folder.Path(u"in.vcf")}, setup);
    EXPECT_EQ(result.exitStatus, kConverted) << result.err;
    EXPECT_NE(result.out.find("書き出さなかったカード：150000件\n"), std::string::npos);
    EXPECT_NE(result.out.find("  カード150000（"), std::string::npos);
}

// Grouped lines, properties outside the ones written, characters Shift_JIS
// lacks and pictograms of feature phones, in a UTF-8 book with a Shift_JIS one
// appended, and the same text in UTF-16; control characters and JIS X 0212 in
// a book sent by mail in ISO-2022-JP; the names charsets go by, and the
// names of cards refused for theirs; books joined without a final line
// break, with a card whose lines end in a CR alone, and every BEGIN:VCARD
// that starts no card; photos and escaped text in both versions: the report
// names each, card by card, and the same in the form for iCloud.com.
TEST(Cli, ReportListsWhatTheWrittenCardsLeftOut)
{
    // How each was read comes first: the UTF-8 one's Shift_JIS lines are
    // named, and their pictograms become emoji.
    struct Book {
        std::string name;
        int read;
        int written;
    };
    const Book books[] = {{"left_out", 4, 3},      {"left_out_utf16", 4, 3}, {"mail_iso2022jp", 4, 3},
                          {"charset_names", 4, 2}, {"joined_books", 4, 4}, {"photos_escapes", 3, 3}};
    for (const auto& [book, read, written] : books) {
        CliFolder folder;
        const std::string counts = std::to_string(read) + "件、　出力データ：" + std::to_string(written) + "件";
        // The report names the book it was made for, and its counts.
        const std::string summary = kConvertingOut + kCompletedOut + "入力データ：" + counts + "\n" +
                                    "変換元：in.vcf（入力データ：" + std::to_string(read) + "件、出力データ：" +
                                    std::to_string(written) + "件）\n";
        fs::copy_file(DataFile((book + ".vcf").c_str()), folder.dir.path / "in.vcf");
        const CliResult result = folder.Run({"--report", folder.Path(u"in.vcf")});
        ExpectResult(result, kConverted, summary + ReadFileBytes(DataFile((book + ".report.txt").c_str())), "");
        EXPECT_EQ(ReadFileBytes(folder.Output()), ReadFileBytes(DataFile((book + ".expected.vcf").c_str())));
        // The form for iCloud.com, next to the other file: the same report
        // but for what its FN lines lost.
        const CliResult icloud = folder.Run({"--report", "--format=icloud", folder.Path(u"in.vcf")});
        const fs::path icloudReport = DataFile((book + ".icloud.report.txt").c_str());
        ExpectResult(icloud, kConverted,
                     summary + ReadFileBytes(fs::exists(icloudReport) ? icloudReport
                                                                      : DataFile((book + ".report.txt").c_str())),
                     "");
        EXPECT_EQ(ReadFileBytes(folder.dir.path / u8"PC→iCloud.vcf"), ReadFileBytes(DataFile((book + ".icloud.vcf").c_str())));
    }
}

// A docomo book: the carrier is found, or given, or the pictograms are left.
TEST(Cli, EmojiOptionChoosesWhosePictogramsBecomeEmoji)
{
    struct Row {
        std::string option;
        std::string reportLine;
        std::u16string nickname;  // the NICKNAME line of the output
    };
    const Row rows[] = {
        {"--emoji=auto", "絵文字：docomo の絵文字4個を iPhone の絵文字にしました（自動判定）。\n", u"NICKNAME:☔"},
        {"--emoji=docomo", "絵文字：docomo の絵文字4個を iPhone の絵文字にしました。\n", u"NICKNAME:☔"},
        {"--emoji=softbank", "絵文字：SoftBank の絵文字2個を iPhone の絵文字にしました。\n", u"NICKNAME:\uE640"},
        {"--emoji=none", "：F89F（3行目）、F8A1（4行目）、F8A0（5行目）\n  カード2（7行目）", u"NICKNAME:\uE640"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.option);
        CliFolder folder;
        fs::copy_file(DataFile("pictograms.vcf"), folder.dir.path / "in.vcf");
        const CliResult result = folder.Run({"--report", row.option, folder.Path(u"in.vcf")});
        EXPECT_EQ(result.exitStatus, kConverted);
        EXPECT_NE(result.out.find(row.reportLine), std::string::npos) << result.out;
        EXPECT_NE(ReadFileBytes(folder.Output()).find(Utf16LeBytes(row.nickname)), std::string::npos);
    }
    // Codes that docomo and SoftBank share: no carrier is chosen, and the report says how to choose.
    CliFolder folder;
    WriteFileBytes(folder.dir.path / "in.vcf", "BEGIN:VCARD\r\nN:\xF9\x41;;;;\r\nEND:VCARD\r\n");
    const CliResult result = folder.Run({"--report", folder.Path(u"in.vcf")});
    EXPECT_NE(result.out.find("絵文字：携帯電話の絵文字と思われる文字1個は、どの携帯電話会社のものか決められないため"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("--emoji=docomo"), std::string::npos);
    // A carrier chosen for a UTF-8 book changes nothing, and both the report
    // and the command line say why.
    const std::string notShiftJis = "携帯電話の絵文字を iPhone の絵文字にするのは Shift_JIS のファイルだけです。\n";
    WriteFileBytes(folder.dir.path / "utf8.vcf", "BEGIN:VCARD\r\nN:\xEE\x98\xBE;;;;\r\nEND:VCARD\r\n");
    ExpectResult(folder.Run({"--yes", "--emoji=docomo", folder.Path(u"utf8.vcf")}), kConverted,
                 kConvertingOut + kCompletedOut + "入力データ：1件、　出力データ：1件\n", notShiftJis);
    EXPECT_NE(folder.Run({"--yes", "--report", "--emoji=au", folder.Path(u"utf8.vcf")}).out.find("絵文字：" + notShiftJis),
              std::string::npos);
    EXPECT_EQ(folder.Run({"--yes", "--emoji=auto", folder.Path(u"utf8.vcf")}).err, "");
}

// --- A conversion that is killed --------------------------------------------------------------

// The temporary file of a running conversion, once it holds more than its mark.
std::optional<fs::path> GrowingTemporaryFile(const fs::path& folder)
{
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("~kt") && entry.file_size(error) > 2 && !error) return entry.path();
    }
    return std::nullopt;
}

TEST(Cli, AConversionKilledPartWayLeavesThePreviousOutput)
{
    // Large enough that the conversion is still writing when the signal comes.
    const std::string card = "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Card;Many;;;\r\nNOTE:" +
                             std::string(120, 'x') + "\r\nEND:VCARD\r\n";
    std::string input;
    input.reserve(card.size() * 200000);
    for (int n = 0; n < 200000; ++n) input += card;
    for (const int signalNumber : {SIGKILL, SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signalNumber);
        CliFolder folder;
        WriteFileBytes(folder.dir.path / "in.vcf", input);
        WriteFileBytes(folder.Output(), kOldOutput);
        const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
        CliSetup setup;
        setup.workingDirectory = folder.dir.path;
        const pid_t child = StartCli({"--yes", "in.vcf"}, setup, devNull, devNull);
        close(devNull);
        ASSERT_GT(child, 0);

        bool seen = false;
        for (int waited = 0; waited < 60 * 1000 && !seen; ++waited) {
            seen = GrowingTemporaryFile(folder.dir.path).has_value();
            if (!seen) usleep(1000);
        }
        kill(child, signalNumber);
        const int status = WaitForExit(child);
        ASSERT_TRUE(seen) << "no temporary file appeared";
        ASSERT_TRUE(WIFSIGNALED(status)) << "the conversion ended before the signal";
        EXPECT_EQ(WTERMSIG(status), signalNumber);

        EXPECT_EQ(ReadFileBytes(folder.Output()), kOldOutput);
        EXPECT_TRUE(ReadFileBytes(folder.dir.path / "in.vcf") == input);
        // What the killed conversion left is neither the output nor any .vcf;
        // a conversion that could clean up after itself left nothing.
        for (const fs::directory_entry& entry : fs::directory_iterator(folder.dir.path)) {
            const std::string name = entry.path().filename().string();
            if (name == "in.vcf" || name == kOutputName) continue;
            EXPECT_EQ(signalNumber, SIGKILL) << name << " left";
            EXPECT_TRUE(name.starts_with("~kt")) << name;
            EXPECT_FALSE(name.ends_with(".vcf")) << name;
        }
        // The next conversion goes through beside the leftover.
        WriteFileBytes(folder.dir.path / "in.vcf", kThreeCards);
        ExpectResult(folder.Run({"--yes", "in.vcf"}), kConverted, kThreeCardsStdout, "");
        EXPECT_EQ(ReadFileBytes(folder.Output()), kThreeCardsOutput);
    }
}

// --- Path checks ------------------------------------------------------------------------

TEST(Cli, LengthIsCheckedOnTheAbsolutePath)
{
    CliFolder folder;
    // Short enough as typed, too long once the working folder is put in front.
    const std::size_t typed = 256 - folder.dir.path.string().size();
    ASSERT_GT(typed, 5u);
    const std::string name = std::string(typed - 4, 'a') + ".vcf";
    ExpectRefused(folder.Run({name}), "変換元ファイルのフォルダ名およびファイル名が長すぎます。");
}

// --- Paths given on the command line -----------------------------------------------------

// Names in Shift_JIS, as an unzipped Windows archive leaves them, reach the
// file system byte for byte and are shown as bytes.
TEST(Cli, NamesThatAreNoUtf8ReachTheFileSystemAsBytes)
{
    CliFolder folder;
    const std::string shiftJisInput = "\x98\x41\x97\x8D\x90\xE6.vcf";   // 連絡先.vcf
    const std::string shiftJisOutput = "\x8C\x67\x91\xD1.vcf";           // 携帯.vcf
    WriteFileBytes(folder.dir.path / shiftJisInput, kThreeCards);
    ExpectResult(folder.Run({shiftJisInput}), kConverted, kThreeCardsStdout, "");
    EXPECT_EQ(ReadFileBytes(folder.Output()), kThreeCardsOutput);
    ExpectResult(folder.Run({"-o", shiftJisOutput, shiftJisInput}), kConverted, kThreeCardsStdout, "");
    EXPECT_EQ(ReadFileBytes(folder.dir.path / shiftJisOutput), kThreeCardsOutput);
    EXPECT_NE(folder.Run({"--\x98\x41", shiftJisInput}).err.find("--\\x98A"), std::string::npos);
}

TEST(Cli, RelativePathsAreTakenFromTheWorkingFolder)
{
    CliFolder folder;
    fs::create_directory(folder.dir.path / "sub");
    WriteFileBytes(folder.dir.path / "sub" / "in.vcf", kThreeCards);

    ExpectResult(folder.Run({"sub/in.vcf"}), kConverted, kThreeCardsStdout, "");
    EXPECT_EQ(ReadFileBytes(folder.dir.path / "sub" / kOutputName), kThreeCardsOutput);

    CliSetup inSub;
    inSub.workingDirectory = folder.dir.path / "sub";
    ExpectResult(folder.Run({"-o", "../out.vcf", "in.vcf"}, inSub), kConverted, kThreeCardsStdout,
                 "");
    EXPECT_EQ(ReadFileBytes(folder.dir.path / "out.vcf"), kThreeCardsOutput);

    // A working folder named in Shift_JIS (携帯) is taken byte for byte too.
    CliSetup inShiftJis;
    inShiftJis.workingDirectory = folder.dir.path / "\x8C\x67\x91\xD1";
    fs::create_directory(inShiftJis.workingDirectory);
    WriteFileBytes(inShiftJis.workingDirectory / "in.vcf", kThreeCards);
    ExpectResult(folder.Run({"in.vcf"}, inShiftJis), kConverted, kThreeCardsStdout, "");
    EXPECT_EQ(ReadFileBytes(inShiftJis.workingDirectory / kOutputName), kThreeCardsOutput);
}

TEST(Cli, OutputOptionNamesTheFileToWrite)
{
    CliFolder folder;
    fs::create_directory(folder.dir.path / "出力");
    WriteFileBytes(folder.dir.path / "in.vcf", kThreeCards);
    for (const std::string option : {"-o", "--output", "--output="}) {
        SCOPED_TRACE(option);
        fs::remove(folder.dir.path / "出力" / "携帯.VCF");
        const std::string output = folder.Path(u"出力/携帯.VCF");
        const std::vector<std::string> arguments =
            option.ends_with('=') ? std::vector<std::string>{option + output, folder.Path(u"in.vcf")}
                                  : std::vector<std::string>{option, output, folder.Path(u"in.vcf")};
        ExpectResult(folder.Run(arguments), kConverted, kThreeCardsStdout, "");
        EXPECT_EQ(ReadFileBytes(folder.dir.path / "出力" / "携帯.VCF"), kThreeCardsOutput);
        EXPECT_FALSE(fs::exists(folder.Output()));
    }
}

// --- Usage -------------------------------------------------------------------------------

TEST(Cli, UsageErrorsExitWithTwo)
{
    CliFolder folder;
    WriteFileBytes(folder.dir.path / "in.vcf", kThreeCards);
    const std::vector<std::string> cases[] = {
        {},
        {"--frobnicate", "in.vcf"},
        {"-x", "in.vcf"},
        {"in.vcf", "other.vcf"},
        {"in.vcf", "-o"},
        {"-o", "a.vcf", "-o", "b.vcf", "in.vcf"},
        {"--yes"},
        // An empty argument is never a file name.
        {""},
        {"-o", "", "in.vcf"},
        {"--output=", "in.vcf"},
        {"--version=2"},
        {"--\x1b]0;title\x07", "in.vcf"},
        {"--a\x7f" "b", "in.vcf"},
        {"--a\xC2\x80" "b", "in.vcf"},  // U+0080 and U+009F, the ends of the C1 controls
        {"--a\xC2\x9F" "b", "in.vcf"},
        {"--emoji=kddi", "in.vcf"},
        {"--emoji", "docomo", "in.vcf"},
        {"--format=android", "in.vcf"},
        {"--format", "icloud", "in.vcf"},
    };
    for (const std::vector<std::string>& arguments : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const CliResult result = folder.Run(arguments);
        EXPECT_EQ(result.exitStatus, kUsage);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find("karuto"), std::string::npos) << result.err;
        const std::u16string err = Utf8ToWide(result.err);
        const auto control = [](char16_t c) { return (c < 0x20 && c != u'\n') || (c >= 0x7F && c <= 0x9F); };
        EXPECT_TRUE(std::none_of(err.begin(), err.end(), control))
            << "a control character reached the terminal: " << result.err;
    }
    EXPECT_FALSE(fs::exists(folder.Output()));
}

TEST(Cli, DoubleDashEndsTheOptions)
{
    CliFolder folder;
    WriteFileBytes(folder.dir.path / "-x.vcf", kThreeCards);
    EXPECT_EQ(folder.Run({"-x.vcf"}).exitStatus, kUsage);
    ExpectResult(folder.Run({"--", "-x.vcf"}), kConverted, kThreeCardsStdout, "");
    EXPECT_EQ(ReadFileBytes(folder.Output()), kThreeCardsOutput);
    // Options before it still count; after it even "--yes" is a file name.
    WriteFileBytes(folder.Output(), kOldOutput);
    ExpectResult(folder.Run({"--yes", "-o", "-out.vcf", "--", "-x.vcf"}), kConverted,
                 kThreeCardsStdout, "");
    EXPECT_EQ(ReadFileBytes(folder.dir.path / "-out.vcf"), kThreeCardsOutput);
    ExpectRefused(folder.Run({"--", "--yes"}), "変換元ファイルはvCardファイルではありません。");
    ExpectRefused(folder.Run({"--", "--"}), "変換元ファイルはvCardファイルではありません。");
    EXPECT_EQ(ReadFileBytes(folder.Output()), kOldOutput);
}

TEST(Cli, VersionIsPrinted)
{
    CliFolder folder;
    ExpectResult(folder.Run({"--version"}), kConverted, std::string("karuto ") + KARUTO_VERSION + "\n", "");
}

// --- Standard output and standard error that cannot be written ---------------------------

// Runs the command line with standard output or standard error on a full device.
int RunIntoFullDevice(const CliFolder& folder, const std::vector<std::string>& arguments,
                      bool fullOut, bool fullErr)
{
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    CliSetup setup;
    setup.workingDirectory = folder.dir.path;
    const pid_t child =
        StartCli(arguments, setup, fullOut ? full : devNull, fullErr ? full : devNull);
    close(full);
    close(devNull);
    if (child < 0) return -1;
    const int status = WaitForExit(child);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Cli, AFailedWriteToTheConsoleIsNoSuccess)
{
    CliFolder folder;
    WriteFileBytes(folder.dir.path / "in.vcf", kThreeCards);
    struct Row {
        std::vector<std::string> arguments;
        bool fullOut;
        bool fullErr;
        int exitStatus;
    };
    const Row rows[] = {
        {{"--help"}, true, false, kFailed},
        {{"--version"}, true, false, kFailed},
        {{"--yes", "--report", "in.vcf"}, true, false, kFailed},
        {{"--yes", "in.vcf"}, false, true, kConverted},  // nothing goes to standard error
        {{"missing.vcf"}, false, true, kFailed},
        {{"--frobnicate"}, false, true, kUsage},
        {{"--help"}, false, true, kConverted},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.arguments) + (row.fullOut ? " out" : " err"));
        EXPECT_EQ(RunIntoFullDevice(folder, row.arguments, row.fullOut, row.fullErr), row.exitStatus);
    }
    // The conversion itself went through; only its report was lost.
    EXPECT_EQ(ReadFileBytes(folder.Output()), kThreeCardsOutput);
}

// --- A current folder that no longer exists -------------------------------------------------

TEST(Cli, WithoutACurrentFolderRelativePathsAreRefused)
{
    CliFolder folder;
    WriteFileBytes(folder.dir.path / "in.vcf", kThreeCards);
    fs::create_directory(folder.dir.path / "gone");
    const std::string absoluteInput = folder.Path(u"in.vcf");
    struct Row {
        std::vector<std::string> arguments;
        bool refused;
    };
    const Row rows[] = {
        {{"in.vcf"}, true},
        {{"-o", folder.Path(u"out.vcf"), "in.vcf"}, true},
        {{"-o", "out.vcf", absoluteInput}, true},
        {{"--yes", absoluteInput}, false},
        {{"--yes", "-o", folder.Path(u"out.vcf"), absoluteInput}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.arguments));
        fs::create_directories(folder.dir.path / "gone");
        CliSetup setup;
        setup.workingDirectory = folder.dir.path / "gone";
        setup.removeWorkingDirectory = true;
        const CliResult result = RunCli(row.arguments, setup);
        if (row.refused) {
            ExpectResult(result, kFailed, "",
                         "現在のフォルダがなくなっているため、相対パスは使えません。絶対パスで指定してください。\n"
                         "(The current folder no longer exists: give absolute paths.)\n");
        } else {
            ExpectResult(result, kConverted, kThreeCardsStdout, "");
        }
    }
    EXPECT_EQ(ReadFileBytes(folder.Output()), kThreeCardsOutput);
    EXPECT_EQ(ReadFileBytes(folder.dir.path / "out.vcf"), kThreeCardsOutput);
}

TEST(Cli, HelpIsInJapaneseAndEnglish)
{
    CliFolder folder;
    for (const char* help : {"--help", "-h"}) {
        SCOPED_TRACE(help);
        const CliResult result = folder.Run({help});
        EXPECT_EQ(result.exitStatus, kConverted);
        EXPECT_EQ(result.err, "");
        for (const char* text :
             {"使い方", "usage", "変換", "Converts", "--yes", "--report", "-o", "--output=",
              "--version", "--  ", "PC→iPhone.vcf"}) {
            EXPECT_NE(result.out.find(text), std::string::npos) << text;
        }
    }
}

// --- The question on a terminal ------------------------------------------------------------

// A pseudo-terminal whose slave side serves as the program's standard input.
struct Terminal {
    int master = -1;
    int slave = -1;

    Terminal()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        const char* name = ptsname(master);
        if (name) slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;
    ~Terminal()
    {
        if (slave >= 0) close(slave);
        if (master >= 0) close(master);
    }

    // What the user types, ahead of the question; the line discipline keeps it.
    bool Type(const std::string& text) const
    {
        return write(master, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    }
};

TEST(Cli, TheQuestionIsAskedOnTheTerminal)
{
    struct Row {
        const char* typed;
        int exitStatus;
        bool replaced;
    };
    const Row rows[] = {
        {"n\n", kDeclined, false},
        {"\n", kDeclined, false},
        {"y\n", kConverted, true},
        {"yes\n", kConverted, true},
        {"\x04", kDeclined, false},  // the end of input (Ctrl-D) is no: a refusal at once
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::string(row.typed)));
        CliFolder folder;
        WriteFileBytes(folder.dir.path / "in.vcf", kThreeCards);
        WriteFileBytes(folder.Output(), kOldOutput);
        const Terminal terminal;
        if (terminal.slave < 0) GTEST_SKIP() << "no pseudo-terminal available";
        ASSERT_TRUE(terminal.Type(row.typed));
        CliSetup setup;
        setup.input = terminal.slave;
        const CliResult result = folder.Run({folder.Path(u"in.vcf")}, setup);
        EXPECT_EQ(result.exitStatus, row.exitStatus);
        EXPECT_NE(result.err.find("添付用ファイルが既に存在します。\n上書きで保存しますか？"), std::string::npos)
            << result.err;
        EXPECT_EQ(result.out, row.replaced ? kThreeCardsStdout : "");
        EXPECT_EQ(ReadFileBytes(folder.Output()), row.replaced ? kThreeCardsOutput : kOldOutput);
    }
}

#endif  // _WIN32

// --- The arguments -----------------------------------------------------------------------------

struct ParseCase {
    std::vector<PathString> arguments;
    bool ok;
    PathString input;
    PathString output;  // empty: derived from the input
    bool yes;
};

TEST(ParseOptions, ReadsEveryFormOfTheArguments)
{
    const ParseCase cases[] = {
        {{u"in.vcf"}, true, u"in.vcf", u"", false},
        {{u"-y", u"in.vcf"}, true, u"in.vcf", u"", true},
        {{u"in.vcf", u"--yes"}, true, u"in.vcf", u"", true},
        {{u"-o", u"o.vcf", u"in.vcf"}, true, u"in.vcf", u"o.vcf", false},
        {{u"--output", u"o.vcf", u"in.vcf"}, true, u"in.vcf", u"o.vcf", false},
        {{u"--output=o.vcf", u"in.vcf"}, true, u"in.vcf", u"o.vcf", false},
        {{u"--output=-o=.vcf", u"in.vcf"}, true, u"in.vcf", u"-o=.vcf", false},
        {{u"-o", u"-dash.vcf", u"in.vcf"}, true, u"in.vcf", u"-dash.vcf", false},
        {{u"--", u"-in.vcf"}, true, u"-in.vcf", u"", false},
        {{u"-y", u"--", u"--yes"}, true, u"--yes", u"", true},
        {{u"-"}, true, u"-", u"", false},
        {{u""}, false, u"", u"", false},
        {{u"in.vcf", u""}, false, u"", u"", false},
        {{u"--output=", u"in.vcf"}, false, u"", u"", false},
        {{u"-o", u"", u"in.vcf"}, false, u"", u"", false},
        {{u"-o"}, false, u"", u"", false},
        {{u"--"}, false, u"", u"", false},
        {{u"-x.vcf"}, false, u"", u"", false},
        {{u"a.vcf", u"--", u"b.vcf"}, false, u"", u"", false},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments.size()) + " " +
                     (c.arguments.empty() ? "" : WideToUtf8(c.arguments.back())));
        const cli::ParsedOptions parsed = cli::ParseOptions(c.arguments);
        ASSERT_EQ(parsed.ok, c.ok) << WideToUtf8(parsed.error);
        if (!c.ok) {
            EXPECT_FALSE(parsed.error.empty());
            continue;
        }
        EXPECT_EQ(parsed.options.inputPath, c.input);
        EXPECT_EQ(parsed.options.outputGiven, !c.output.empty());
        EXPECT_EQ(parsed.options.outputPath, c.output);
        EXPECT_EQ(parsed.options.assumeYes, c.yes);
    }
}

TEST(ParseOptions, HelpAndVersionNeedNoInput)
{
    EXPECT_TRUE(cli::ParseOptions({u"--version"}).options.version);
    EXPECT_TRUE(cli::ParseOptions({u"--version"}).ok);
    EXPECT_TRUE(cli::ParseOptions({u"-h"}).options.help);
    EXPECT_FALSE(cli::ParseOptions({u"--", u"--version"}).options.version);
    EXPECT_EQ(cli::VersionText(), u"karuto " + Utf8ToWide(KARUTO_VERSION) + u"\n");
}

TEST(MakeAbsolute, NeedsACurrentFolderOnlyForRelativePaths)
{
#ifdef _WIN32
    const PathString absolute = u"C:\\data\\in.vcf";
    const PathString current = u"C:\\work";
    const PathString joined = u"C:\\work\\in.vcf";
#else
    const PathString absolute = u"/data/in.vcf";
    const PathString current = u"/work";
    const PathString joined = u"/work/in.vcf";
#endif
    EXPECT_EQ(cli::MakeAbsolute(absolute, current), absolute);
    EXPECT_EQ(cli::MakeAbsolute(absolute, u""), absolute);
    EXPECT_EQ(cli::MakeAbsolute(u"in.vcf", current), joined);
    EXPECT_EQ(cli::MakeAbsolute(u"in.vcf", current + kPathSeparator), joined);
    EXPECT_EQ(cli::MakeAbsolute(u"in.vcf", u""), std::nullopt);
}

} // namespace
} // namespace karuto
