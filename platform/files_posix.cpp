// POSIX file operations. Windows opens files with share mode 0, which keeps
// every other opener out; here a non-blocking exclusive flock plays that part,
// so two converters (or a test) holding the same file exclude each other.

#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/codepage.h"

namespace karuto {

namespace {

// Linux transfers at most about 2 GiB per call; smaller chunks keep every
// count well inside ssize_t.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

// The UTF-8 form of a path for the system calls, or nothing when the path
// holds a NUL unit, which no system call could see past.
std::optional<std::string> NativePath(PathView path)
{
    if (path.find(u'\0') != PathView::npos) return std::nullopt;
    return WideToUtf8(path);
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

// Reads exactly bytes.size() bytes; false on an error or an early end.
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
    return true;
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

// Opens the output file for writing without truncating it. An existing file
// is checked through the opened descriptor, so nothing can swap it between
// the check and the open; O_EXCL tells a file made here from an existing one.
int OpenForWriting(const std::string& nativePath)
{
    // A name that keeps vanishing between the two opens (or a dangling
    // symbolic link, which O_EXCL reports as existing) ends the attempts.
    for (int attempt = 0; attempt < 8; ++attempt) {
        int fd = open(nativePath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) return fd;
        if (errno == EINTR) continue;
        if (errno != EEXIST) return -1;

        // O_NONBLOCK keeps the open of a pipe without reader from hanging;
        // for regular files it changes nothing.
        fd = open(nativePath.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) {
            if (errno == ENOENT || errno == EINTR) continue;
            return -1;
        }
        ScopedDescriptor existing{fd};
        struct stat status {};
        if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return -1;
        // Root may open a read-only file for writing; Windows refuses a
        // read-only file to everyone, and so does the converter.
        if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return -1;
        return existing.Release();
    }
    return -1;
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

OutputHandle CreateFileExclusive(PathView path)
{
    OutputHandle file;
    std::optional<std::string> nativePath;
    try {
        nativePath = NativePath(path);
    } catch (const std::bad_alloc&) {
        return file;
    }
    if (!nativePath) return file;
    ScopedDescriptor opened{OpenForWriting(*nativePath)};
    if (opened.fd < 0) return file;
    // Truncate only once the lock is held, so that a file in use by another
    // opener is left as it was.
    if (!LockExclusively(opened.fd)) return file;
    if (ftruncate(opened.fd, 0) != 0) return file;
    file.fd = opened.Release();
    return file;
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
    std::size_t separator = pattern.rfind(kPathSeparator);
    PathView folder = separator == PathView::npos ? PathView(u".") : pattern.substr(0, separator);
    PathView namePattern = separator == PathView::npos ? pattern : pattern.substr(separator + 1);
    if (folder.empty()) folder = u"/";

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
    return Utf8ToWide(buffer);
}

} // namespace karuto
