#include "job/output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace karuto {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::Utf16LeBytes;
using test::WriteFileBytes;

const std::string kMark = "\xFF\xFE";

using test::Entries;

using Names = std::vector<std::u16string>;

// Writes one card's text into `file` at once, as the cards of a conversion go.
Outcome WriteCard(std::string_view text, OutputHandle& file)
{
    CardWriter writer = FileCardWriter(file);
    WriteCardBuffered(text, writer);
    FlushCards(writer);
    return writer.outcome;
}

// The file's bytes after the given texts were written one after another.
std::string WrittenFile(const std::vector<std::string>& texts)
{
    TempDir dir;
    OutputFile output;
    EXPECT_EQ(OpenOutputFile(dir.Child(u"PC→iPhone.vcf"), output), Outcome::Done);
    for (const std::string& text : texts) EXPECT_EQ(WriteCard(text, output.file), Outcome::Done);
    EXPECT_EQ(CommitOutputFile(output), Outcome::Done);
    EXPECT_EQ(Entries(dir.path), Names{u"PC→iPhone.vcf"});
    return ReadFileBytes(dir.ChildPath(u"PC→iPhone.vcf"));
}

TEST(OpenOutputFile, NewFileHoldsOnlyTheMarkOnceInPlace)
{
    TempDir dir;
    OutputFile output;
    ASSERT_EQ(OpenOutputFile(dir.Child(u"PC→iPhone.vcf"), output), Outcome::Done);
    EXPECT_FALSE(fs::exists(dir.ChildPath(u"PC→iPhone.vcf")));
    ASSERT_EQ(CommitOutputFile(output), Outcome::Done);
    EXPECT_EQ(ReadFileBytes(dir.ChildPath(u"PC→iPhone.vcf")), kMark);
}

TEST(OpenOutputFile, TheCardsGoIntoATemporaryFileBesideTheOutput)
{
    TempDir dir;
    OutputFile output;
    ASSERT_EQ(OpenOutputFile(dir.Child(u"PC→iPhone.vcf"), output), Outcome::Done);
    ASSERT_EQ(WriteCard("BEGIN:VCARD\r\n", output.file), Outcome::Done);
    const Names names = Entries(dir.path);
    ASSERT_EQ(names.size(), 1u);
    const std::u16string& name = names[0];
    EXPECT_EQ(test::ToPathString(dir.ChildPath(name)), output.temporaryPath);
    EXPECT_EQ(name.size(), 7u);
    EXPECT_TRUE(name.starts_with(u"~kt"));
    EXPECT_NE(name, u"PC→iPhone.vcf");
    EXPECT_FALSE(name.ends_with(u".vcf"));
#ifndef _WIN32
    // (Windows keeps everyone else out of the file while it is written.)
    EXPECT_EQ(ReadFileBytes(dir.ChildPath(name)), kMark + Utf16LeBytes(u"BEGIN:VCARD\r\n"));
#endif
    ASSERT_EQ(CommitOutputFile(output), Outcome::Done);
    EXPECT_TRUE(output.temporaryPath.empty());
    EXPECT_EQ(Entries(dir.path), Names{u"PC→iPhone.vcf"});
}

TEST(OpenOutputFile, AnExistingFileStaysWholeUntilTheNewOneTakesItsPlace)
{
    TempDir dir;
    fs::path path = dir.ChildPath(u"PC→iPhone.vcf");
    WriteFileBytes(path, std::string(10 * 1024, 'x'));
    OutputFile output;
    ASSERT_EQ(OpenOutputFile(dir.Child(u"PC→iPhone.vcf"), output), Outcome::Done);
    ASSERT_EQ(WriteCard("BEGIN:VCARD\r\n", output.file), Outcome::Done);
    EXPECT_EQ(fs::file_size(path), 10u * 1024u);  // held, so only its size can be seen
    ASSERT_EQ(CommitOutputFile(output), Outcome::Done);
    EXPECT_EQ(ReadFileBytes(path), kMark + Utf16LeBytes(u"BEGIN:VCARD\r\n"));
    EXPECT_EQ(Entries(dir.path), Names{u"PC→iPhone.vcf"});
}

// An output that goes out of scope unfinished is discarded.
TEST(OutputFile, LeavesTheOutputAsItWasAndNoTemporaryFileWhenUnfinished)
{
    for (const bool existed : {false, true}) {
        SCOPED_TRACE(existed);
        TempDir dir;
        fs::path path = dir.ChildPath(u"PC→iPhone.vcf");
        if (existed) WriteFileBytes(path, "old cards");
        {
            OutputFile output;
            ASSERT_EQ(OpenOutputFile(dir.Child(u"PC→iPhone.vcf"), output), Outcome::Done);
            ASSERT_EQ(WriteCard("BEGIN:VCARD\r\n", output.file), Outcome::Done);
        }
        EXPECT_EQ(Entries(dir.path), existed ? Names{u"PC→iPhone.vcf"} : Names{});
        if (existed) {
            EXPECT_EQ(ReadFileBytes(path), "old cards");
        }
    }
}

TEST(OpenOutputFile, TheTemporaryFileFitsBesideTheLongestOutputPath)
{
    // Folders nested to 247 units, the longest a Windows folder may have, and
    // a name that makes the output path 256 units, the longest accepted.
    TempDir dir;
    PathString folder = test::ToPathString(dir.path);
    ASSERT_LT(folder.size(), 245u);
    while (folder.size() < 247) {
        const std::size_t room = 247 - folder.size() - 1;  // after the separator
        folder += kPathSeparator;
        folder += PathString(std::min<std::size_t>(100, room), u'd');
        fs::create_directory(fs::path(folder));
    }
    ASSERT_EQ(folder.size(), 247u);
    const PathString path = folder + kPathSeparator + u"abcd.vcf";
    ASSERT_EQ(path.size(), 256u);
    OutputFile output;
    ASSERT_EQ(OpenOutputFile(path, output), Outcome::Done);
    EXPECT_LE(output.temporaryPath.size(), path.size());
    ASSERT_EQ(WriteCard("BEGIN:VCARD\r\n", output.file), Outcome::Done);
    ASSERT_EQ(CommitOutputFile(output), Outcome::Done);
    EXPECT_EQ(ReadFileBytes(fs::path(path)), kMark + Utf16LeBytes(u"BEGIN:VCARD\r\n"));
}

TEST(OpenOutputFile, ReadOnlyFileIsRefusedAndKept)
{
    TempDir dir;
    fs::path path = dir.ChildPath(u"PC→iPhone.vcf");
    WriteFileBytes(path, "old cards");
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    OutputFile output;
    EXPECT_EQ(OpenOutputFile(dir.Child(u"PC→iPhone.vcf"), output), Outcome::CannotMakeOutput);
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(ReadFileBytes(path), "old cards");
    EXPECT_EQ(Entries(dir.path), Names{u"PC→iPhone.vcf"});
}

TEST(OpenOutputFile, MissingFolderOrAFolderOfThatNameIsRefused)
{
    TempDir dir;
    fs::create_directory(dir.ChildPath(u"PC→iPhone.vcf"));
    PathString inMissingFolder = dir.Child(u"missing");
    inMissingFolder += kPathSeparator;
    inMissingFolder += u"PC→iPhone.vcf";
    OutputFile first;
    EXPECT_EQ(OpenOutputFile(inMissingFolder, first), Outcome::CannotMakeOutput);
    OutputFile second;
    EXPECT_EQ(OpenOutputFile(dir.Child(u"PC→iPhone.vcf"), second), Outcome::CannotMakeOutput);
    EXPECT_EQ(Entries(dir.path), Names{u"PC→iPhone.vcf"});
}

TEST(OpenOutputFile, AnOutputAnotherConversionReplacesIsRefusedAndKept)
{
    TempDir dir;
    WriteFileBytes(dir.ChildPath(u"PC→iPhone.vcf"), "old cards");
    OutputFile first;
    ASSERT_EQ(OpenOutputFile(dir.Child(u"PC→iPhone.vcf"), first), Outcome::Done);
    ASSERT_EQ(WriteCard("BEGIN:VCARD\r\n", first.file), Outcome::Done);
    OutputFile second;
    EXPECT_EQ(OpenOutputFile(dir.Child(u"PC→iPhone.vcf"), second), Outcome::CannotMakeOutput);
    EXPECT_EQ(fs::file_size(dir.ChildPath(u"PC→iPhone.vcf")), 9u);
    ASSERT_EQ(CommitOutputFile(first), Outcome::Done);
    EXPECT_EQ(ReadFileBytes(dir.ChildPath(u"PC→iPhone.vcf")), kMark + Utf16LeBytes(u"BEGIN:VCARD\r\n"));
}

TEST(OpenOutputFile, TwoConversionsIntoANewOutputLeaveOneWholeFile)
{
    TempDir dir;
    OutputFile first;
    OutputFile second;
    ASSERT_EQ(OpenOutputFile(dir.Child(u"PC→iPhone.vcf"), first), Outcome::Done);
    ASSERT_EQ(OpenOutputFile(dir.Child(u"PC→iPhone.vcf"), second), Outcome::Done);
    EXPECT_NE(first.temporaryPath, second.temporaryPath);
    ASSERT_EQ(WriteCard("FIRST\r\n", first.file), Outcome::Done);
    ASSERT_EQ(WriteCard("SECOND\r\n", second.file), Outcome::Done);
    ASSERT_EQ(CommitOutputFile(first), Outcome::Done);
    ASSERT_EQ(CommitOutputFile(second), Outcome::Done);
    EXPECT_EQ(ReadFileBytes(dir.ChildPath(u"PC→iPhone.vcf")), kMark + Utf16LeBytes(u"SECOND\r\n"));
    EXPECT_EQ(Entries(dir.path), Names{u"PC→iPhone.vcf"});
}

#ifndef _WIN32
TEST(OpenOutputFile, FileLockedByAnotherProgramIsRefusedAndNotTruncated)
{
    TempDir dir;
    fs::path path = dir.ChildPath(u"PC→iPhone.vcf");
    WriteFileBytes(path, std::string(10 * 1024, 'x'));
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    OutputFile output;
    EXPECT_EQ(OpenOutputFile(dir.Child(u"PC→iPhone.vcf"), output), Outcome::CannotMakeOutput);
    close(fd);
    EXPECT_EQ(ReadFileBytes(path), std::string(10 * 1024, 'x'));
    EXPECT_EQ(Entries(dir.path), Names{u"PC→iPhone.vcf"});
}

mode_t FileMode(const fs::path& path)
{
    struct stat status {};
    EXPECT_EQ(stat(path.c_str(), &status), 0);
    return status.st_mode & 07777;
}

TEST(CommitOutputFile, ANewOutputGetsTheUsualPermissionsAReplacedOneKeepsItsOwn)
{
    const mode_t previousMask = umask(022);
    TempDir dir;
    fs::path path = dir.ChildPath(u"PC→iPhone.vcf");
    for (const mode_t mode : {mode_t{0}, mode_t{0600}, mode_t{0640}, mode_t{0664}}) {
        SCOPED_TRACE(mode);
        if (mode != 0) {
            ASSERT_EQ(chmod(path.c_str(), mode), 0);
        }
        OutputFile output;
        ASSERT_EQ(OpenOutputFile(dir.Child(u"PC→iPhone.vcf"), output), Outcome::Done);
        ASSERT_EQ(CommitOutputFile(output), Outcome::Done);
        EXPECT_EQ(FileMode(path), mode == 0 ? 0644u : mode);
    }
    umask(previousMask);
}

TEST(WriteCardBuffered, AFailedWriteTakesNothingMore)
{
    OutputHandle full;
    full.fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_TRUE(full.IsOpen());
    std::vector<std::string> blocks;
    CardWriter writer = FileCardWriter(full);
    WriteCardBuffered("BEGIN:VCARD\r\n", writer);
    FlushCards(writer);
    EXPECT_EQ(writer.outcome, Outcome::CannotWriteOutput);
    writer.write = [&blocks](std::string_view bytes) { blocks.emplace_back(bytes); return true; };
    WriteCardBuffered("END:VCARD\r\n", writer);
    FlushCards(writer);
    EXPECT_EQ(writer.outcome, Outcome::CannotWriteOutput);
    EXPECT_TRUE(blocks.empty());
}
#endif

TEST(TemporaryFileName, IsShortNoVcfAndVariesWithTheNumber)
{
    struct Row {
        std::uint32_t random;
        std::u16string_view name;
    };
    const Row rows[] = {
        {0, u"~kt0000"},
        {35, u"~ktz000"},
        {36, u"~kt0100"},
        {36 * 36 * 36 * 36 - 1, u"~ktzzzz"},
        {36 * 36 * 36 * 36, u"~kt0000"},
        {0xFFFFFFFFu, u"~kt3z14"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.random);
        EXPECT_EQ(TemporaryFileName(row.random), row.name);
    }
    std::set<std::u16string> names;
    for (std::uint32_t random = 0; random < 5000; ++random) names.insert(TemporaryFileName(random));
    EXPECT_EQ(names.size(), 5000u);
}

struct CardCase {
    const char* name;
    std::string text;
    std::string fileBytesAfterMark;
};

const CardCase kCardCases[] = {
    {"empty text writes nothing", "", ""},
    {"ASCII card", "BEGIN:VCARD\r\nEND:VCARD\r\n", Utf16LeBytes(u"BEGIN:VCARD\r\nEND:VCARD\r\n")},
    {"katakana A", "\x83\x41", "\xA2\x30"},
    {"kanji name", "FN:\x8E\x52\x93\x63\r\n", Utf16LeBytes(u"FN:\u5C71\u7530\r\n")},
    {"half-width katakana", "\xB1\xDE", Utf16LeBytes(u"\uFF71\uFF9E")},
    {"ideographic space", "\x81\x40", Utf16LeBytes(u"\u3000")},
    {"lead byte at the end", "A\x83", Utf16LeBytes(u"A\u30FB")},
};

TEST(WriteCardBuffered, WritesTheTextAsUtf16LittleEndian)
{
    for (const CardCase& c : kCardCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WrittenFile({c.text}), kMark + c.fileBytesAfterMark);
    }
}

TEST(WriteCardBuffered, TwoLineCardIs48BytesStartingWithB)
{
    std::string file = WrittenFile({"BEGIN:VCARD\r\nEND:VCARD\r\n"});
    ASSERT_EQ(file.size(), 2u + 48u);
    EXPECT_EQ(file.substr(2, 2), std::string("\x42\x00", 2));
    EXPECT_EQ(file.substr(file.size() - 4), std::string("\r\0\n\0", 4));
}

TEST(WriteCardBuffered, CardsFollowEachOtherWithoutSeparator)
{
    std::string first = "BEGIN:VCARD\r\nFN:\x83\x41\r\nEND:VCARD\r\n";
    std::string second = "BEGIN:VCARD\r\nFN:B\r\nEND:VCARD\r\n";
    EXPECT_EQ(WrittenFile({first, "", second}),
              kMark + Utf16LeBytes(u"BEGIN:VCARD\r\nFN:\u30A2\r\nEND:VCARD\r\n") +
                  Utf16LeBytes(u"BEGIN:VCARD\r\nFN:B\r\nEND:VCARD\r\n"));
}

TEST(WriteCardBuffered, LargeCardIsWrittenWhole)
{
    std::string photo(2 * 1024 * 1024, 'A');
    std::string card = "BEGIN:VCARD\r\nPHOTO;ENCODING=b:" + photo + "\r\nEND:VCARD\r\n";
    std::string file = WrittenFile({card});
    ASSERT_EQ(file.size(), 2 + 2 * card.size());
    EXPECT_TRUE(file == kMark + Utf16LeBytes(std::u16string(card.begin(), card.end())));
}

} // namespace
} // namespace karuto
