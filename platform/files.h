#pragma once
// File operations of the converter, one interface for Windows and POSIX.
// Paths are UTF-16 everywhere (lengths count UTF-16 code units); the POSIX
// implementation converts them to UTF-8 for its system calls.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace karuto {

using PathString = std::u16string;
using PathView = std::u16string_view;

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

enum class ReadStatus {
    Ok,
    CannotOpen,  // missing, a folder, no permission, or held by another opener
    CannotRead,  // the read failed or delivered fewer bytes than the file's size
    NoMemory,
};

struct FileBytes {
    ReadStatus status = ReadStatus::CannotOpen;
    std::string bytes;  // the whole file when status is Ok
};

// Reads the whole file as raw bytes through an exclusive open: the open fails
// while another opener holds the file (on POSIX: a non-blocking exclusive
// advisory lock).
FileBytes ReadWholeFileExclusive(PathView path);

// An open output file; closes itself when it goes out of scope.
struct OutputHandle {
#ifdef _WIN32
    void* handle = nullptr;
#else
    int fd = -1;
#endif
    OutputHandle() = default;
    OutputHandle(const OutputHandle&) = delete;
    OutputHandle& operator=(const OutputHandle&) = delete;
    OutputHandle(OutputHandle&& other) noexcept;
    OutputHandle& operator=(OutputHandle&& other) noexcept;
    ~OutputHandle();
    bool IsOpen() const;
};

// Creates the file for writing, or truncates an existing one, exclusively:
// fails while another opener holds it, and for an existing file without any
// write permission (read-only), even for a privileged user. The lock is taken
// before anything is truncated.
OutputHandle CreateFileExclusive(PathView path);

// Writes all of `bytes`; false on failure or a short write.
bool WriteAllBytes(OutputHandle& file, std::string_view bytes);

// Closes the file; false when the close reported an error.
bool CloseFile(OutputHandle& file);

// Does a file or folder of this name exist? On Windows a path that holds "?"
// or "*" never exists (no name can hold them); on POSIX the name is taken
// literally, "?" and "*" included.
bool PathExists(PathView path);

// Does a wildcard search find at least one entry? `pattern` is a folder
// followed by a separator and "*.*"; "*.*" matches every name. On POSIX the
// folder part is a literal name; only the last part is a pattern.
bool FindFirstEntry(PathView pattern);

// Identity of an existing file or folder: volume and index on Windows,
// device and inode on POSIX.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileIdentity&) const = default;
};
std::optional<FileIdentity> QueryFileIdentity(PathView path);

// The current folder, for making command-line paths absolute.
PathString CurrentDirectory();

} // namespace karuto
