#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

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
using test::WriteFileBytes;

PathString Joined(PathView folder, PathView name)
{
    PathString path(folder);
    path += kPathSeparator;
    path += name;
    return path;
}

PathString SearchPattern(PathView folder)
{
    return Joined(folder, u"*.*");
}

#ifndef _WIN32
// Another program holding the file: its own open file description with an
// exclusive lock, as a second converter would hold it.
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

// --- Reading ---------------------------------------------------------------

TEST(ReadWholeFileExclusive, DeliversEveryByteOfFilesOfAnySize)
{
    TempDir dir;
    std::string large(3 * 1024 * 1024 + 7, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>((i * 31 + i / 251) & 0xFF);
    const std::string contents[] = {"", "A", std::string("\0\xFF\xFE\0", 4), "BEGIN:VCARD\r\n", large};
    for (const std::string& content : contents) {
        SCOPED_TRACE(content.size());
        WriteFileBytes(dir.ChildPath(u"in.vcf"), content);
        FileBytes file = ReadWholeFileExclusive(dir.Child(u"in.vcf"));
        ASSERT_EQ(file.status, ReadStatus::Ok);
        EXPECT_TRUE(file.bytes == content);
    }
}

TEST(ReadWholeFileExclusive, RefusesWhatCannotBeOpenedAsAFile)
{
    TempDir dir;
    fs::create_directory(dir.ChildPath(u"folder.vcf"));
    EXPECT_EQ(ReadWholeFileExclusive(dir.Child(u"missing.vcf")).status, ReadStatus::CannotOpen);
    EXPECT_EQ(ReadWholeFileExclusive(dir.Child(u"folder.vcf")).status, ReadStatus::CannotOpen);
    EXPECT_EQ(ReadWholeFileExclusive(u"").status, ReadStatus::CannotOpen);
}

TEST(ReadWholeFileExclusive, ReadsANonAsciiName)
{
    TempDir dir;
    WriteFileBytes(dir.ChildPath(u"住所録→PC.vcf"), "X");
    FileBytes file = ReadWholeFileExclusive(dir.Child(u"住所録→PC.vcf"));
    EXPECT_EQ(file.status, ReadStatus::Ok);
    EXPECT_EQ(file.bytes, "X");
}

TEST(ReadWholeFileExclusive, IsKeptOutWhileTheConverterWritesTheFile)
{
    TempDir dir;
    OutputHandle writer = CreateNewFileExclusive(dir.Child(u"x.vcf")).file;
    ASSERT_TRUE(writer.IsOpen());
    EXPECT_EQ(ReadWholeFileExclusive(dir.Child(u"x.vcf")).status, ReadStatus::CannotOpen);
    ASSERT_TRUE(CloseFile(writer));
    EXPECT_EQ(ReadWholeFileExclusive(dir.Child(u"x.vcf")).status, ReadStatus::Ok);
}

#ifndef _WIN32
TEST(ReadWholeFileExclusive, IsKeptOutByAnotherProgramsLock)
{
    TempDir dir;
    WriteFileBytes(dir.ChildPath(u"x.vcf"), "BEGIN:VCARD\r\n");
    {
        ForeignLock lock(dir.ChildPath(u"x.vcf"));
        EXPECT_EQ(ReadWholeFileExclusive(dir.Child(u"x.vcf")).status, ReadStatus::CannotOpen);
    }
    EXPECT_EQ(ReadWholeFileExclusive(dir.Child(u"x.vcf")).status, ReadStatus::Ok);
}

TEST(ReadWholeFileExclusive, RefusesAPipe)
{
    // Reading a pipe without a writer would wait forever.
    TempDir dir;
    fs::path fifo = dir.ChildPath(u"pipe.vcf");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadWholeFileExclusive(dir.Child(u"pipe.vcf")).status, ReadStatus::CannotOpen);
}
#endif

// --- Writing ---------------------------------------------------------------

TEST(CreateNewFileExclusive, CreatesANewFileUnderANonAsciiName)
{
    TempDir dir;
    NewFile created = CreateNewFileExclusive(dir.Child(u"PC→iPhone.vcf"));
    ASSERT_TRUE(created.file.IsOpen());
    EXPECT_FALSE(created.nameTaken);
    EXPECT_TRUE(WriteAllBytes(created.file, "abc"));
    EXPECT_TRUE(FlushFile(created.file));
    EXPECT_TRUE(CloseFile(created.file));
    EXPECT_FALSE(created.file.IsOpen());
    EXPECT_EQ(ReadFileBytes(dir.ChildPath(u"PC→iPhone.vcf")), "abc");
}

TEST(CreateNewFileExclusive, LeavesAnExistingFileAloneAndSaysTheNameIsTaken)
{
    TempDir dir;
    WriteFileBytes(dir.ChildPath(u"out.vcf"), std::string(10 * 1024, 'x'));
    fs::create_directory(dir.ChildPath(u"folder.vcf"));
    for (const std::u16string_view name : {u"out.vcf", u"folder.vcf"}) {
        NewFile created = CreateNewFileExclusive(dir.Child(name));
        EXPECT_FALSE(created.file.IsOpen());
        EXPECT_TRUE(created.nameTaken);
    }
    EXPECT_EQ(ReadFileBytes(dir.ChildPath(u"out.vcf")), std::string(10 * 1024, 'x'));
}

TEST(CreateNewFileExclusive, AMissingFolderIsNoTakenName)
{
    TempDir dir;
    NewFile created = CreateNewFileExclusive(Joined(dir.Child(u"missing"), u"out.vcf"));
    EXPECT_FALSE(created.file.IsOpen());
    EXPECT_FALSE(created.nameTaken);
}

TEST(HoldExistingFile, RefusesAReadOnlyFileEvenToAPrivilegedUser)
{
    TempDir dir;
    fs::path path = dir.ChildPath(u"out.vcf");
    WriteFileBytes(path, "keep");
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const HeldFile held = HoldExistingFile(dir.Child(u"out.vcf"));
    EXPECT_FALSE(held.ok);
    EXPECT_FALSE(held.file.IsOpen());
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(ReadFileBytes(path), "keep");
}

TEST(HoldExistingFile, RefusesAFolderAndHoldsNothingWhereThereIsNoFile)
{
    TempDir dir;
    fs::create_directory(dir.ChildPath(u"folder.vcf"));
    EXPECT_FALSE(HoldExistingFile(dir.Child(u"folder.vcf")).ok);
    const HeldFile missing = HoldExistingFile(dir.Child(u"missing.vcf"));
    EXPECT_TRUE(missing.ok);
    EXPECT_FALSE(missing.exists);
    EXPECT_FALSE(missing.file.IsOpen());
    EXPECT_FALSE(fs::exists(dir.ChildPath(u"missing.vcf")));
}

TEST(HoldExistingFile, KeepsOtherOpenersOutAndChangesNothing)
{
    TempDir dir;
    WriteFileBytes(dir.ChildPath(u"out.vcf"), "written before");
    {
        HeldFile first = HoldExistingFile(dir.Child(u"out.vcf"));
        ASSERT_TRUE(first.ok);
        EXPECT_TRUE(first.exists);
        EXPECT_TRUE(first.file.IsOpen());
        EXPECT_FALSE(HoldExistingFile(dir.Child(u"out.vcf")).ok);
        EXPECT_EQ(ReadWholeFileExclusive(dir.Child(u"out.vcf")).status, ReadStatus::CannotOpen);
    }
    // Released when it goes out of scope.
    EXPECT_TRUE(HoldExistingFile(dir.Child(u"out.vcf")).ok);
    EXPECT_EQ(ReadFileBytes(dir.ChildPath(u"out.vcf")), "written before");
}

TEST(CreateNewFileExclusive, HandleReleasesTheFileWhenItGoesOutOfScope)
{
    TempDir dir;
    {
        OutputHandle file = CreateNewFileExclusive(dir.Child(u"out.vcf")).file;
        ASSERT_TRUE(file.IsOpen());
        EXPECT_FALSE(HoldExistingFile(dir.Child(u"out.vcf")).ok);
    }
    EXPECT_TRUE(HoldExistingFile(dir.Child(u"out.vcf")).file.IsOpen());
}

TEST(MoveFileOver, PutsTheNewFileInTheOldOnesPlace)
{
    TempDir dir;
    WriteFileBytes(dir.ChildPath(u"new.tmp"), "new");
    WriteFileBytes(dir.ChildPath(u"PC→iPhone.vcf"), "old");
    ASSERT_TRUE(MoveFileOver(dir.Child(u"new.tmp"), dir.Child(u"PC→iPhone.vcf")));
    EXPECT_EQ(ReadFileBytes(dir.ChildPath(u"PC→iPhone.vcf")), "new");
    EXPECT_FALSE(fs::exists(dir.ChildPath(u"new.tmp")));
    // Also where there was no file.
    WriteFileBytes(dir.ChildPath(u"second.tmp"), "second");
    ASSERT_TRUE(MoveFileOver(dir.Child(u"second.tmp"), dir.Child(u"fresh.vcf")));
    EXPECT_EQ(ReadFileBytes(dir.ChildPath(u"fresh.vcf")), "second");
    // Nothing to move: the target stays.
    EXPECT_FALSE(MoveFileOver(dir.Child(u"missing.tmp"), dir.Child(u"fresh.vcf")));
    EXPECT_EQ(ReadFileBytes(dir.ChildPath(u"fresh.vcf")), "second");
}

TEST(RemoveFile, DeletesFilesOnly)
{
    TempDir dir;
    WriteFileBytes(dir.ChildPath(u"x.tmp"), "x");
    fs::create_directory(dir.ChildPath(u"folder"));
    EXPECT_TRUE(RemoveFile(dir.Child(u"x.tmp")));
    EXPECT_FALSE(fs::exists(dir.ChildPath(u"x.tmp")));
    EXPECT_FALSE(RemoveFile(dir.Child(u"x.tmp")));
    EXPECT_FALSE(RemoveFile(dir.Child(u"folder")));
    EXPECT_TRUE(fs::is_directory(dir.ChildPath(u"folder")));
}

TEST(OutputHandle, MovingPassesOwnership)
{
    TempDir dir;
    OutputHandle first = CreateNewFileExclusive(dir.Child(u"out.vcf")).file;
    ASSERT_TRUE(first.IsOpen());
    OutputHandle second = std::move(first);
    EXPECT_FALSE(first.IsOpen());
    EXPECT_TRUE(second.IsOpen());
    EXPECT_FALSE(WriteAllBytes(first, "x"));
    EXPECT_TRUE(WriteAllBytes(second, "y"));

    OutputHandle third;
    third = std::move(second);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_TRUE(WriteAllBytes(third, "z"));
    EXPECT_TRUE(CloseFile(third));
    EXPECT_EQ(ReadFileBytes(dir.ChildPath(u"out.vcf")), "yz");
}

TEST(OutputHandle, ClosedHandleRefusesWritingAndClosing)
{
    OutputHandle none;
    EXPECT_FALSE(none.IsOpen());
    EXPECT_FALSE(WriteAllBytes(none, "x"));
    EXPECT_FALSE(FlushFile(none));
    EXPECT_FALSE(CloseFile(none));
}

#ifndef _WIN32
TEST(HoldExistingFile, AnotherProgramsLockKeepsTheFileUntouched)
{
    TempDir dir;
    fs::path path = dir.ChildPath(u"out.vcf");
    WriteFileBytes(path, "held elsewhere");
    {
        ForeignLock lock(path);
        EXPECT_FALSE(HoldExistingFile(dir.Child(u"out.vcf")).ok);
        EXPECT_EQ(ReadFileBytes(path), "held elsewhere");
    }
    EXPECT_TRUE(HoldExistingFile(dir.Child(u"out.vcf")).ok);
}

TEST(CopyPermissions, GivesTheNewFileTheBitsOfTheOldOne)
{
    TempDir dir;
    WriteFileBytes(dir.ChildPath(u"old.vcf"), "old");
    ASSERT_EQ(chmod(dir.ChildPath(u"old.vcf").c_str(), 0640), 0);
    HeldFile old = HoldExistingFile(dir.Child(u"old.vcf"));
    ASSERT_TRUE(old.ok);
    NewFile created = CreateNewFileExclusive(dir.Child(u"new.tmp"));
    ASSERT_TRUE(created.file.IsOpen());
    CopyPermissions(old.file, created.file);
    struct stat status {};
    ASSERT_EQ(stat(dir.ChildPath(u"new.tmp").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
}

TEST(FlushFile, ReportsAFailure)
{
    // A pipe cannot be synchronised with a disk.
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    close(ends[0]);
    OutputHandle pipeEnd;
    pipeEnd.fd = ends[1];
    EXPECT_FALSE(FlushFile(pipeEnd));
}

TEST(WriteAllBytes, ReportsAFailedWrite)
{
    OutputHandle full;
    full.fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_TRUE(full.IsOpen());
    EXPECT_FALSE(WriteAllBytes(full, "x"));
}
#endif

// --- Status query and folder search ---------------------------------------

TEST(PathExists, TellsFilesAndFoldersFromMissingNames)
{
    TempDir dir;
    WriteFileBytes(dir.ChildPath(u"x.vcf"), "x");
    WriteFileBytes(dir.ChildPath(u"PC→iPhone.vcf"), "x");
    fs::create_directory(dir.ChildPath(u"sub"));
    struct Case {
        PathString path;
        bool exists;
    };
    const Case cases[] = {
        {dir.Child(u"x.vcf"), true},
        {dir.Child(u"PC→iPhone.vcf"), true},
        {dir.Child(u"sub"), true},
        {dir.Child(u"missing.vcf"), false},
        {dir.Child(u"*.vcf"), false},
        {dir.Child(u"x.vc?"), false},
        {dir.Child(u"*"), false},
        {u"", false},
        {PathString(dir.Child(u"x.vcf")) + u'\0' + u"y", false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(PathExists(c.path), c.exists);
    }
}

#ifndef _WIN32
TEST(PathExists, AWildcardNameIsTakenLiterally)
{
    TempDir dir;
    WriteFileBytes(dir.ChildPath(u"a*b.vcf"), "x");
    WriteFileBytes(dir.ChildPath(u"a?b.vcf"), "x");
    fs::create_directory(dir.ChildPath(u"*"));
    ASSERT_TRUE(fs::exists(dir.ChildPath(u"a*b.vcf")));
    EXPECT_TRUE(PathExists(dir.Child(u"a*b.vcf")));
    EXPECT_TRUE(PathExists(dir.Child(u"a?b.vcf")));
    EXPECT_TRUE(PathExists(dir.Child(u"*")));
    // As patterns they would match the files above; as names they are not there.
    EXPECT_FALSE(PathExists(dir.Child(u"a*.vcf")));
    EXPECT_FALSE(PathExists(dir.Child(u"a??b.vcf")));
    EXPECT_FALSE(PathExists(dir.Child(u"*.vcf")));
}

TEST(FindFirstEntry, TheFolderPartIsTakenLiterally)
{
    TempDir dir;
    fs::create_directory(dir.ChildPath(u"a*b"));
    fs::create_directory(dir.ChildPath(u"axb"));
    EXPECT_TRUE(FindFirstEntry(SearchPattern(dir.Child(u"a*b"))));
    EXPECT_FALSE(FindFirstEntry(SearchPattern(dir.Child(u"a?b"))));
    EXPECT_FALSE(FindFirstEntry(SearchPattern(dir.Child(u"a*"))));
}
#endif

TEST(FindFirstEntry, FindsEntriesOnlyInExistingFolders)
{
    TempDir dir;
    fs::create_directory(dir.ChildPath(u"empty"));
    fs::create_directory(dir.ChildPath(u"full"));
    WriteFileBytes(dir.ChildPath(u"full") / "x.vcf", "x");
    WriteFileBytes(dir.ChildPath(u"file.vcf"), "x");
    fs::create_directory(dir.ChildPath(u"データ"));
    struct Case {
        PathString folder;
        bool found;
    };
    const Case cases[] = {
        {dir.Child(u"full"), true},
        {dir.Child(u"empty"), true},  // "." and ".." are entries too
        {dir.Child(u"データ"), true},
        {dir.Child(u"missing"), false},
        {dir.Child(u"file.vcf"), false},
        {Joined(dir.Child(u"missing"), u"deeper"), false},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(FindFirstEntry(SearchPattern(c.folder)), c.found);
    }
}

TEST(FindFirstEntry, EmptyFolderPartMeansTheRootAndNoFolderTheCurrentOne)
{
    EXPECT_TRUE(FindFirstEntry(SearchPattern(u"")));
    EXPECT_TRUE(FindFirstEntry(u"*.*"));
}

TEST(FindFirstEntry, ANamedPatternMatchesOnlyThatName)
{
    TempDir dir;
    WriteFileBytes(dir.ChildPath(u"x.vcf"), "x");
    EXPECT_TRUE(FindFirstEntry(dir.Child(u"x.vcf")));
    EXPECT_TRUE(FindFirstEntry(dir.Child(u"*.vcf")));
    EXPECT_FALSE(FindFirstEntry(dir.Child(u"y.vcf")));
    EXPECT_FALSE(FindFirstEntry(dir.Child(u"*.txt")));
}

TEST(QueryFileIdentity, SameFileBySeveralNamesDifferentFilesApart)
{
    TempDir dir;
    fs::create_directory(dir.ChildPath(u"dir"));
    PathString folder = dir.Child(u"dir");
    WriteFileBytes(dir.ChildPath(u"dir") / "x.vcf", "x");
    WriteFileBytes(dir.ChildPath(u"dir") / "y.vcf", "x");
    fs::create_hard_link(dir.ChildPath(u"dir") / "x.vcf", dir.ChildPath(u"link→x.vcf"));

    std::optional<FileIdentity> direct = QueryFileIdentity(Joined(folder, u"x.vcf"));
    ASSERT_TRUE(direct.has_value());
    PathString dotted = Joined(Joined(folder, u"."), u"x.vcf");
    PathString upAndDown = Joined(Joined(Joined(folder, u".."), u"dir"), u"x.vcf");
    EXPECT_EQ(QueryFileIdentity(dotted), direct);
    EXPECT_EQ(QueryFileIdentity(upAndDown), direct);
    EXPECT_EQ(QueryFileIdentity(dir.Child(u"link→x.vcf")), direct);

    std::optional<FileIdentity> other = QueryFileIdentity(Joined(folder, u"y.vcf"));
    ASSERT_TRUE(other.has_value());
    EXPECT_NE(other, direct);

    std::optional<FileIdentity> folderIdentity = QueryFileIdentity(folder);
    ASSERT_TRUE(folderIdentity.has_value());
    EXPECT_NE(folderIdentity, direct);
    EXPECT_EQ(QueryFileIdentity(Joined(folder, u".")), folderIdentity);

    EXPECT_FALSE(QueryFileIdentity(Joined(folder, u"missing.vcf")).has_value());
}

TEST(CurrentDirectory, IsTheProcesssCurrentFolder)
{
    TempDir dir;
    fs::create_directory(dir.ChildPath(u"作業"));
    fs::path previous = fs::current_path();
    fs::current_path(dir.ChildPath(u"作業"));
    PathString current = CurrentDirectory();
    fs::current_path(previous);
    EXPECT_EQ(QueryFileIdentity(current), QueryFileIdentity(dir.Child(u"作業")));
    EXPECT_TRUE(fs::path(current).is_absolute());
}

} // namespace
} // namespace karuto
