// The interposed system calls behind tests/file_faults.h. The program's own
// definitions of write, read, fsync, close and rename come before the C
// library's, so every call of the converter's file layer passes through here;
// each one hands on to the next definition (the C library's, or a
// sanitizer's) unless a fault is armed for the file concerned.

#include "tests/file_faults.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <utility>

namespace karuto::test {

namespace {

std::optional<FileFaults> armed;
bool readHookDone = false;
bool allocationPending = false;  // the next allocation is to fail
bool inside = false;             // a fault's own work calls through here too

template <typename Function>
Function Next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

bool Affects(const std::string& path)
{
    return armed && !armed->folder.empty() && path.compare(0, armed->folder.size(), armed->folder) == 0;
}

std::string PathOf(int fd)
{
    char link[64];
    char target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t length = readlink(link, target, sizeof target);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

// Active for the outermost interposed call only: the calls a fault's own
// work makes (reading a path, changing a file) pass straight through.
struct Guard {
    bool active;
    Guard() : active(!inside) { inside = true; }
    ~Guard()
    {
        if (active) inside = false;
    }
};

} // namespace

ArmedFileFaults::ArmedFileFaults(FileFaults faults)
{
    readHookDone = false;
    allocationPending = false;
    armed = std::move(faults);
}

ArmedFileFaults::~ArmedFileFaults()
{
    armed.reset();
    allocationPending = false;
}

} // namespace karuto::test

using namespace karuto::test;

extern "C" ssize_t write(int fd, const void* buffer, size_t count)
{
    static const auto next = Next<ssize_t (*)(int, const void*, size_t)>("write");
    Guard guard;
    if (!guard.active || !armed || !Affects(PathOf(fd))) return next(fd, buffer, count);
    if (armed->failAllocationAfterWrite) {
        armed->failAllocationAfterWrite = false;
        allocationPending = true;
    }
    if (armed->writeBudget < 0) return next(fd, buffer, count);
    if (armed->writeBudget == 0) {
        errno = armed->writeError;
        return -1;
    }
    const size_t allowed = std::min<size_t>(count, static_cast<size_t>(armed->writeBudget));
    const ssize_t written = next(fd, buffer, allowed);
    if (written > 0) armed->writeBudget -= written;
    return written;
}

extern "C" ssize_t read(int fd, void* buffer, size_t count)
{
    static const auto next = Next<ssize_t (*)(int, void*, size_t)>("read");
    Guard guard;
    if (guard.active && armed && armed->beforeFirstRead && !readHookDone) {
        const std::string path = PathOf(fd);
        if (Affects(path)) {
            readHookDone = true;
            armed->beforeFirstRead(path);
        }
    }
    return next(fd, buffer, count);
}

extern "C" int fsync(int fd)
{
    static const auto next = Next<int (*)(int)>("fsync");
    Guard guard;
    if (guard.active && armed && armed->failFlush && Affects(PathOf(fd))) {
        errno = EIO;
        return -1;
    }
    return next(fd);
}

extern "C" int close(int fd)
{
    static const auto next = Next<int (*)(int)>("close");
    Guard guard;
    const bool fail = guard.active && armed && armed->failClose && Affects(PathOf(fd));
    const int result = next(fd);
    if (!fail) return result;
    errno = EIO;
    return -1;
}

extern "C" int rename(const char* from, const char* to)
{
    static const auto next = Next<int (*)(const char*, const char*)>("rename");
    Guard guard;
    if (guard.active && armed && armed->failRename && Affects(to)) {
        errno = EIO;
        return -1;
    }
    return next(from, to);
}

// Allocation faults: the program's own operator new, which fails once when
// armed and otherwise takes its memory from malloc like the library's.
void* operator new(std::size_t size)
{
    if (allocationPending && !inside) {
        allocationPending = false;
        throw std::bad_alloc();
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

// Every other form takes its memory the same way, so that none is given
// back to an allocator it did not come from (std::stable_sort's buffer
// comes from the nothrow form).
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](std::size_t size)
{
    return ::operator new(size);
}

void* operator new[](std::size_t size, const std::nothrow_t& nothrow) noexcept
{
    return ::operator new(size, nothrow);
}

void operator delete(void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}
