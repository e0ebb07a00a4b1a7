// Windows file operations. Files are opened with share mode 0, so that no other
// program reads, writes or deletes them while the converter holds them; only
// a new temporary file may be deleted, by the converter's own Ctrl+C handler.

#include "platform/files.h"

// std::min must not meet the min() macro of <windows.h>.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <new>
#include <utility>

namespace karuto {

namespace {

// ReadFile and WriteFile take 32-bit counts.
constexpr std::size_t kMaxChunk = std::size_t{1} << 30;

// A NUL-terminated copy for the API, or nothing when the path holds a NUL
// unit, which the API could not see past.
std::optional<std::wstring> NativePath(PathView path)
{
    if (path.find(u'\0') != PathView::npos) return std::nullopt;
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return std::wstring(reinterpret_cast<const wchar_t*>(path.data()), path.size());
}

bool HoldsWildcard(PathView path)
{
    return path.find_first_of(u"?*") != PathView::npos;
}

bool IsValid(HANDLE handle)
{
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// Closes the handle on every way out of a function.
struct ScopedHandle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    explicit ScopedHandle(HANDLE opened) : handle(opened) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle()
    {
        if (IsValid(handle)) CloseHandle(handle);
    }
};

// Reads exactly bytes.size() bytes and then the end of the file; false on an
// error, an early end, or more bytes than the size said.
bool ReadExactly(HANDLE file, std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        auto chunk = static_cast<DWORD>(std::min(bytes.size() - done, kMaxChunk));
        DWORD count = 0;
        if (!ReadFile(file, bytes.data() + done, chunk, &count, nullptr)) return false;
        if (count == 0) return false;
        done += count;
    }
    char beyond = 0;
    DWORD count = 0;
    return ReadFile(file, &beyond, 1, &count, nullptr) && count == 0;
}

FileBytes ReadOpenFile(HANDLE file)
{
    FileBytes result;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0) {
        result.status = ReadStatus::CannotRead;
        return result;
    }
    auto byteCount = static_cast<unsigned long long>(size.QuadPart);
    if (byteCount > result.bytes.max_size()) {
        result.status = ReadStatus::NoMemory;
        return result;
    }
    result.bytes.resize(static_cast<std::size_t>(byteCount));
    if (!ReadExactly(file, result.bytes)) {
        result.bytes.clear();
        result.status = ReadStatus::CannotRead;
        return result;
    }
    result.status = ReadStatus::Ok;
    return result;
}

} // namespace

FileBytes ReadWholeFileExclusive(PathView path)
{
    try {
        std::optional<std::wstring> nativePath = NativePath(path);
        if (!nativePath) return {};
        // Without FILE_FLAG_BACKUP_SEMANTICS a folder cannot be opened.
        ScopedHandle file{CreateFileW(nativePath->c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr)};
        if (!IsValid(file.handle)) return {};
        return ReadOpenFile(file.handle);
    } catch (const std::bad_alloc&) {
        return FileBytes{ReadStatus::NoMemory, {}};
    }
}

OutputHandle::OutputHandle(OutputHandle&& other) noexcept
    : handle(std::exchange(other.handle, nullptr))
{
}

OutputHandle& OutputHandle::operator=(OutputHandle&& other) noexcept
{
    if (this != &other) {
        if (IsOpen()) CloseHandle(handle);
        handle = std::exchange(other.handle, nullptr);
    }
    return *this;
}

OutputHandle::~OutputHandle()
{
    if (IsOpen()) CloseHandle(handle);
}

bool OutputHandle::IsOpen() const
{
    return IsValid(handle);
}

namespace {

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND;
}

} // namespace

NewFile CreateNewFileExclusive(PathView path)
{
    NewFile result;
    const std::optional<std::wstring> nativePath = NativePath(path);
    if (!nativePath) return result;
    HANDLE created = CreateFileW(nativePath->c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!IsValid(created)) {
        const DWORD error = GetLastError();
        result.nameTaken = (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
        return result;
    }
    result.file.handle = created;
    return result;
}

HeldFile HoldExistingFile(PathView path)
{
    HeldFile result;
    const std::optional<std::wstring> nativePath = NativePath(path);
    if (!nativePath) return result;
    // Windows refuses to replace a read-only file by itself; Wine running as
    // root lets the open through, so the attribute is looked at first.
    const DWORD attributes = GetFileAttributesW(nativePath->c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        result.ok = IsMissing(GetLastError());
        return result;
    }
    if ((attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) return result;
    // Share mode 0: the open fails while another program has the file open,
    // and keeps every other opener out until the replacement.
    HANDLE held = CreateFileW(nativePath->c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!IsValid(held)) {
        result.ok = IsMissing(GetLastError());
        return result;
    }
    result.ok = true;
    result.exists = true;
    result.file.handle = held;
    return result;
}

bool WriteAllBytes(OutputHandle& file, std::string_view bytes)
{
    if (!file.IsOpen()) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        auto chunk = static_cast<DWORD>(std::min(bytes.size() - done, kMaxChunk));
        DWORD count = 0;
        if (!WriteFile(file.handle, bytes.data() + done, chunk, &count, nullptr)) return false;
        // A write that moves nothing would repeat forever.
        if (count == 0) return false;
        done += count;
    }
    return true;
}

bool FlushFile(OutputHandle& file)
{
    return file.IsOpen() && FlushFileBuffers(file.handle) != 0;
}

void StartWritingBack(OutputHandle&)
{
    // Windows has no request to start writing back without waiting; the
    // flush before the output takes its place does it all.
}

void CopyPermissions(const OutputHandle&, OutputHandle&) {}

bool MoveFileOver(PathView source, PathView target)
{
    const std::optional<std::wstring> nativeSource = NativePath(source);
    const std::optional<std::wstring> nativeTarget = NativePath(target);
    if (!nativeSource || !nativeTarget) return false;
    // The rename is done when the call returns, not only queued in the cache.
    return MoveFileExW(nativeSource->c_str(), nativeTarget->c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(PathView path)
{
    try {
        const std::optional<std::wstring> nativePath = NativePath(path);
        return nativePath && DeleteFileW(nativePath->c_str()) != 0;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CloseFile(OutputHandle& file)
{
    if (!file.IsOpen()) return false;
    HANDLE handle = std::exchange(file.handle, nullptr);
    return CloseHandle(handle) != 0;
}

bool PathExists(PathView path)
{
    if (HoldsWildcard(path)) return false;
    std::optional<std::wstring> nativePath = NativePath(path);
    if (!nativePath) return false;
    struct _stat64 status {};
    return _wstat64(nativePath->c_str(), &status) == 0;
}

bool FindFirstEntry(PathView pattern)
{
    std::optional<std::wstring> nativePattern = NativePath(pattern);
    if (!nativePattern) return false;
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW(nativePattern->c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

std::optional<FileIdentity> QueryFileIdentity(PathView path)
{
    std::optional<std::wstring> nativePath = NativePath(path);
    if (!nativePath) return std::nullopt;
    // Full sharing, so that asking never disturbs another opener; backup
    // semantics, so that folders can be opened too.
    ScopedHandle file{CreateFileW(nativePath->c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    if (!IsValid(file.handle)) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file.handle, &information)) return std::nullopt;
    return FileIdentity{information.dwVolumeSerialNumber,
                        (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

PathString CurrentDirectory()
{
    std::wstring buffer;
    // The folder may change between asking for the size and fetching it.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD needed = GetCurrentDirectoryW(0, nullptr);
        if (needed == 0) return {};
        buffer.assign(needed, L'\0');
        DWORD length = GetCurrentDirectoryW(needed, buffer.data());
        if (length == 0) return {};
        if (length < needed) {
            buffer.resize(length);
            return PathString(reinterpret_cast<const char16_t*>(buffer.data()), buffer.size());
        }
    }
    return {};
}

namespace {

// What the console's control handler, a thread of its own, may read: a path
// in a fixed buffer, once the flag says that it is whole.
wchar_t gRemovedOnInterrupt[32768];
std::atomic<bool> gHasRemovedOnInterrupt{false};

BOOL WINAPI RemoveAndEnd(DWORD)
{
    // Deleted while still open for writing: gone once the program has ended.
    if (gHasRemovedOnInterrupt.exchange(false)) DeleteFileW(gRemovedOnInterrupt);
    return FALSE;  // the default handler ends the program, as without this one
}

} // namespace

void SetFileRemovedOnInterrupt(PathView path)
{
    gHasRemovedOnInterrupt = false;
    if (path.empty() || path.size() >= std::size(gRemovedOnInterrupt) ||
        path.find(u'\0') != PathView::npos) {
        return;
    }
    std::memcpy(gRemovedOnInterrupt, path.data(), path.size() * sizeof(char16_t));
    gRemovedOnInterrupt[path.size()] = L'\0';
    gHasRemovedOnInterrupt = true;
}

void RemoveFileOnInterrupt() { SetConsoleCtrlHandler(RemoveAndEnd, TRUE); }

} // namespace karuto
