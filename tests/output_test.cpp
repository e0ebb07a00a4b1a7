#include "job/output.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
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

// The file's bytes after the given texts were written one after another.
std::string WrittenFile(const std::vector<std::string>& texts)
{
    TempDir dir;
    OutputHandle file = OpenOutputFile(dir.Child(u"PC→iPhone.vcf"));
    EXPECT_TRUE(file.IsOpen());
    for (const std::string& text : texts) EXPECT_TRUE(WriteCardText(text, file));
    EXPECT_TRUE(CloseFile(file));
    return ReadFileBytes(dir.ChildPath(u"PC→iPhone.vcf"));
}

TEST(OpenOutputFile, NewFileHoldsOnlyTheMark)
{
    TempDir dir;
    OutputHandle file = OpenOutputFile(dir.Child(u"PC→iPhone.vcf"));
    ASSERT_TRUE(file.IsOpen());
    ASSERT_TRUE(CloseFile(file));
    EXPECT_EQ(ReadFileBytes(dir.ChildPath(u"PC→iPhone.vcf")), kMark);
}

TEST(OpenOutputFile, ExistingFileIsCutToTheMark)
{
    TempDir dir;
    fs::path path = dir.ChildPath(u"PC→iPhone.vcf");
    WriteFileBytes(path, std::string(10 * 1024, 'x'));
    OutputHandle file = OpenOutputFile(dir.Child(u"PC→iPhone.vcf"));
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(fs::file_size(path), 2u);
    ASSERT_TRUE(CloseFile(file));
    EXPECT_EQ(ReadFileBytes(path), kMark);
}

TEST(OpenOutputFile, ReadOnlyFileIsRefusedAndKept)
{
    TempDir dir;
    fs::path path = dir.ChildPath(u"PC→iPhone.vcf");
    WriteFileBytes(path, "old cards");
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_FALSE(OpenOutputFile(dir.Child(u"PC→iPhone.vcf")).IsOpen());
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(ReadFileBytes(path), "old cards");
}

TEST(OpenOutputFile, MissingFolderOrAFolderOfThatNameIsRefused)
{
    TempDir dir;
    fs::create_directory(dir.ChildPath(u"PC→iPhone.vcf"));
    PathString inMissingFolder = dir.Child(u"missing");
    inMissingFolder += kPathSeparator;
    inMissingFolder += u"PC→iPhone.vcf";
    EXPECT_FALSE(OpenOutputFile(inMissingFolder).IsOpen());
    EXPECT_FALSE(OpenOutputFile(dir.Child(u"PC→iPhone.vcf")).IsOpen());
}

TEST(OpenOutputFile, FileInUseByAnotherConversionIsRefusedAndKept)
{
    TempDir dir;
    OutputHandle first = OpenOutputFile(dir.Child(u"PC→iPhone.vcf"));
    ASSERT_TRUE(first.IsOpen());
    ASSERT_TRUE(WriteCardText("BEGIN:VCARD\r\n", first));
    EXPECT_FALSE(OpenOutputFile(dir.Child(u"PC→iPhone.vcf")).IsOpen());
    ASSERT_TRUE(CloseFile(first));
    EXPECT_EQ(ReadFileBytes(dir.ChildPath(u"PC→iPhone.vcf")), kMark + Utf16LeBytes(u"BEGIN:VCARD\r\n"));
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
    EXPECT_FALSE(OpenOutputFile(dir.Child(u"PC→iPhone.vcf")).IsOpen());
    close(fd);
    EXPECT_EQ(ReadFileBytes(path), std::string(10 * 1024, 'x'));
}

TEST(WriteCardText, FailedWriteIsReported)
{
    OutputHandle full;
    full.fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_TRUE(full.IsOpen());
    EXPECT_FALSE(WriteCardText("BEGIN:VCARD\r\n", full));
}
#endif

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
    {"text ends at a NUL", std::string("AB\0CD", 5), Utf16LeBytes(u"AB")},
};

TEST(WriteCardText, WritesTheTextAsUtf16LittleEndian)
{
    for (const CardCase& c : kCardCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WrittenFile({c.text}), kMark + c.fileBytesAfterMark);
    }
}

TEST(WriteCardText, TwoLineCardIs48BytesStartingWithB)
{
    std::string file = WrittenFile({"BEGIN:VCARD\r\nEND:VCARD\r\n"});
    ASSERT_EQ(file.size(), 2u + 48u);
    EXPECT_EQ(file.substr(2, 2), std::string("\x42\x00", 2));
    EXPECT_EQ(file.substr(file.size() - 4), std::string("\r\0\n\0", 4));
}

TEST(WriteCardText, CardsFollowEachOtherWithoutSeparator)
{
    std::string first = "BEGIN:VCARD\r\nFN:\x83\x41\r\nEND:VCARD\r\n";
    std::string second = "BEGIN:VCARD\r\nFN:B\r\nEND:VCARD\r\n";
    EXPECT_EQ(WrittenFile({first, "", second}),
              kMark + Utf16LeBytes(u"BEGIN:VCARD\r\nFN:\u30A2\r\nEND:VCARD\r\n") +
                  Utf16LeBytes(u"BEGIN:VCARD\r\nFN:B\r\nEND:VCARD\r\n"));
}

TEST(WriteCardText, LargeCardIsWrittenWhole)
{
    std::string photo(2 * 1024 * 1024, 'A');
    std::string card = "BEGIN:VCARD\r\nPHOTO;ENCODING=b:" + photo + "\r\nEND:VCARD\r\n";
    std::string file = WrittenFile({card});
    ASSERT_EQ(file.size(), 2 + 2 * card.size());
    EXPECT_TRUE(file == kMark + Utf16LeBytes(std::u16string(card.begin(), card.end())));
}

TEST(WriteCardText, ClosedFileIsRefused)
{
    OutputHandle none;
    EXPECT_FALSE(WriteCardText("BEGIN:VCARD\r\n", none));
    EXPECT_FALSE(WriteCardText("", none));
}

} // namespace
} // namespace karuto
