// POSIX file operations. Windows opens files with share mode 0, which keeps
// every other opener out; here a non-blocking exclusive flock plays that part,
// so two converters (or a test) holding the same file exclude each other.

#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/file_names.h"

namespace karuto {

namespace {

// Linux transfers at most about 2 GiB per call; smaller chunks keep every
// count well inside ssize_t.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

// The bytes of a path for the system calls, or nothing when the path holds a
// NUL unit, which no system call could see past.
std::optional<std::string> NativePath(PathView path)
{
    if (path.find(u'\0') != PathView::npos) return std::nullopt;
    return WideToFileName(path);
}

// Closes the descriptor on every way out of a function.
struct ScopedDescriptor {
    int fd = -1;
    explicit ScopedDescriptor(int descriptor) : fd(descriptor) {}
    ScopedDescriptor(const ScopedDescriptor&) = delete;
    ScopedDescriptor& operator=(const ScopedDescriptor&) = delete;
    ~ScopedDescriptor()
    {
        if (fd >= 0) close(fd);
    }
    int Release() { return std::exchange(fd, -1); }
};

bool LockExclusively(int fd)
{
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

// Reads exactly bytes.size() bytes and then the end of the file; false on an
// error, an early end, or more bytes than the size said: a file that shrinks
// or grows while it is read is not read as a whole.
bool ReadExactly(int fd, std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::size_t chunk = std::min(bytes.size() - done, kMaxChunk);
        ssize_t count = read(fd, bytes.data() + done, chunk);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        done += static_cast<std::size_t>(count);
    }
    char beyond = 0;
    ssize_t count;
    do {
        count = read(fd, &beyond, 1);
    } while (count < 0 && errno == EINTR);
    return count == 0;
}

FileBytes ReadOpenFile(int fd)
{
    FileBytes result;
    struct stat status {};
    // Folders, pipes and devices are refused: only a regular file has a size
    // that says how much there is to read.
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return result;
    if (!LockExclusively(fd)) return result;

    auto size = static_cast<std::make_unsigned_t<off_t>>(status.st_size);
    if (size > result.bytes.max_size()) {
        result.status = ReadStatus::NoMemory;
        return result;
    }
    result.bytes.resize(static_cast<std::size_t>(size));
    if (!ReadExactly(fd, result.bytes)) {
        result.bytes.clear();
        result.status = ReadStatus::CannotRead;
        return result;
    }
    result.status = ReadStatus::Ok;
    return result;
}

// Opens an existing file for writing without changing it; -1 with errno set
// when that fails. O_NONBLOCK keeps the open of a pipe without reader from
// hanging; for regular files it changes nothing.
int OpenExistingForWriting(const std::string& nativePath)
{
    int fd;
    do {
        fd = open(nativePath.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Root may write a read-only file; Windows refuses a read-only file to
// everyone, and so does the converter.
bool IsWritableRegularFile(int fd)
{
    struct stat status {};
    return fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
           (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

} // namespace

FileBytes ReadWholeFileExclusive(PathView path)
{
    try {
        std::optional<std::string> nativePath = NativePath(path);
        if (!nativePath) return {};
        ScopedDescriptor file{open(nativePath->c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
        if (file.fd < 0) return {};
        return ReadOpenFile(file.fd);
    } catch (const std::bad_alloc&) {
        return FileBytes{ReadStatus::NoMemory, {}};
    }
}

OutputHandle::OutputHandle(OutputHandle&& other) noexcept : fd(std::exchange(other.fd, -1)) {}

OutputHandle& OutputHandle::operator=(OutputHandle&& other) noexcept
{
    if (this != &other) {
        if (fd >= 0) close(fd);
        fd = std::exchange(other.fd, -1);
    }
    return *this;
}

OutputHandle::~OutputHandle()
{
    if (fd >= 0) close(fd);
}

bool OutputHandle::IsOpen() const
{
    return fd >= 0;
}

NewFile CreateNewFileExclusive(PathView path)
{
    NewFile result;
    const std::optional<std::string> nativePath = NativePath(path);
    if (!nativePath) return result;
    int fd;
    do {
        fd = open(nativePath->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        result.nameTaken = (errno == EEXIST);
        return result;
    }
    ScopedDescriptor created{fd};
    if (!LockExclusively(created.fd)) return result;
    result.file.fd = created.Release();
    return result;
}

HeldFile HoldExistingFile(PathView path)
{
    HeldFile result;
    const std::optional<std::string> nativePath = NativePath(path);
    if (!nativePath) return result;
    ScopedDescriptor existing{OpenExistingForWriting(*nativePath)};
    if (existing.fd < 0) {
        // No file of that name: there is nothing to hold. (A name that is a
        // dangling symbolic link is replaced by the new file.)
        result.ok = (errno == ENOENT);
        return result;
    }
    if (!IsWritableRegularFile(existing.fd) || !LockExclusively(existing.fd)) return result;
    result.ok = true;
    result.exists = true;
    result.file.fd = existing.Release();
    return result;
}

bool WriteAllBytes(OutputHandle& file, std::string_view bytes)
{
    if (!file.IsOpen()) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::size_t chunk = std::min(bytes.size() - done, kMaxChunk);
        ssize_t count = write(file.fd, bytes.data() + done, chunk);
        if (count < 0 && errno == EINTR) continue;
        // A write that moves nothing would repeat forever.
        if (count <= 0) return false;
        done += static_cast<std::size_t>(count);
    }
    return true;
}

bool FlushFile(OutputHandle& file)
{
    if (!file.IsOpen()) return false;
    int result;
    do {
        result = fsync(file.fd);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

void StartWritingBack(OutputHandle& file)
{
#ifdef __linux__
    // The whole file: the pages already on their way are skipped.
    if (file.IsOpen()) (void)sync_file_range(file.fd, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)file;
#endif
}

void CopyPermissions(const OutputHandle& model, OutputHandle& file)
{
    struct stat status {};
    if (!model.IsOpen() || !file.IsOpen() || fstat(model.fd, &status) != 0) return;
    // Only the read, write and execute bits: set-user-ID and the like are
    // not for a file this program made. A failure leaves the default bits.
    (void)fchmod(file.fd, status.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO));
}

bool MoveFileOver(PathView source, PathView target)
{
    const std::optional<std::string> nativeSource = NativePath(source);
    const std::optional<std::string> nativeTarget = NativePath(target);
    if (!nativeSource || !nativeTarget) return false;
    return rename(nativeSource->c_str(), nativeTarget->c_str()) == 0;
}

bool RemoveFile(PathView path)
{
    try {
        const std::optional<std::string> nativePath = NativePath(path);
        return nativePath && unlink(nativePath->c_str()) == 0;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

namespace {

// What a signal handler may read: a path in a fixed buffer, and whether it
// is whole.
char gRemovedOnInterrupt[4096];
volatile sig_atomic_t gHasRemovedOnInterrupt = 0;

extern "C" void RemoveAndEnd(int signalNumber)
{
    if (gHasRemovedOnInterrupt) unlink(gRemovedOnInterrupt);
    // Ended by the signal as without the handler, so callers see why.
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

} // namespace

void SetFileRemovedOnInterrupt(PathView path)
{
    gHasRemovedOnInterrupt = 0;
    const std::optional<std::string> nativePath = path.empty() ? std::nullopt : NativePath(path);
    if (!nativePath || nativePath->size() >= sizeof gRemovedOnInterrupt) return;
    std::memcpy(gRemovedOnInterrupt, nativePath->c_str(), nativePath->size() + 1);
    gHasRemovedOnInterrupt = 1;
}

void RemoveFileOnInterrupt()
{
    struct sigaction action {};
    action.sa_handler = RemoveAndEnd;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaction(signalNumber, &action, nullptr);
}

bool CloseFile(OutputHandle& file)
{
    if (!file.IsOpen()) return false;
    // The descriptor is gone after close() whatever it reports (Linux never
    // retries), so it is forgotten before the result is looked at.
    int fd = std::exchange(file.fd, -1);
    return close(fd) == 0;
}

// "?" and "*" are ordinary characters of POSIX names: the name is looked up as
// it is, never matched as a pattern.
bool PathExists(PathView path)
{
    std::optional<std::string> nativePath = NativePath(path);
    if (!nativePath) return false;
    struct stat status {};
    return stat(nativePath->c_str(), &status) == 0;
}

bool FindFirstEntry(PathView pattern)
{
    const PathParts parts = SplitAtLastSeparator(pattern);
    PathView folder = !parts.hasFolder ? PathView(u".") : parts.folder.empty() ? PathView(u"/") : parts.folder;
    const PathView namePattern = parts.name;

    std::optional<std::string> nativeFolder = NativePath(folder);
    std::optional<std::string> nativeName = NativePath(namePattern);
    if (!nativeFolder || !nativeName) return false;
    // "*.*" matches every name on Windows, including names without a dot.
    bool matchesAll = *nativeName == "*.*" || *nativeName == "*";

    DIR* directory = opendir(nativeFolder->c_str());
    if (directory == nullptr) return false;
    bool found = false;
    while (!found) {
        const dirent* entry = readdir(directory);
        if (entry == nullptr) break;
        found = matchesAll || fnmatch(nativeName->c_str(), entry->d_name, 0) == 0;
    }
    closedir(directory);
    return found;
}

std::optional<FileIdentity> QueryFileIdentity(PathView path)
{
    std::optional<std::string> nativePath = NativePath(path);
    if (!nativePath) return std::nullopt;
    struct stat status {};
    if (stat(nativePath->c_str(), &status) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(status.st_dev),
                        static_cast<std::uint64_t>(status.st_ino)};
}

PathString CurrentDirectory()
{
    std::string buffer(256, '\0');
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return {};
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(buffer.find('\0'));
    return FileNameToWide(buffer);
}

} // namespace karuto
