#pragma once
// File operations of the converter, one interface for Windows and POSIX.
// Paths are UTF-16 everywhere (lengths count UTF-16 code units); the POSIX
// implementation hands its system calls the bytes they stand for: UTF-8, and
// the bytes of a name that is no UTF-8 as they were (FileNameToWide).
// Memory that runs out inside a file operation is its failure: reading
// answers NoMemory, the others false.

#include <algorithm>
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

// A path as a user gives it, in the form the path checks read: on Windows,
// which takes "/" as a separator too (Git Bash, scripts), every "/" made "\";
// elsewhere "\" is an ordinary character and nothing changes.
inline PathString WithNativeSeparators(PathView path)
{
    PathString native(path);
#ifdef _WIN32
    std::replace(native.begin(), native.end(), u'/', u'\\');
#endif
    return native;
}

// A path cut at its last separator: the folder before it and the name after
// it; a path without one is all name, and has no folder.
struct PathParts {
    bool hasFolder = false;
    PathView folder;  // without the separator
    PathView name;
};

inline PathParts SplitAtLastSeparator(PathView path)
{
    const std::size_t separator = path.rfind(kPathSeparator);
    if (separator == PathView::npos) return {false, {}, path};
    return {true, path.substr(0, separator), path.substr(separator + 1)};
}

enum class ReadStatus {
    Ok,
    CannotOpen,  // missing, a folder, no permission, or held by another opener
    CannotRead,  // the read failed or delivered fewer or more bytes than the file's size
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

// A new file made for writing, exclusively: no file of that name existed,
// and no other opener gets at it while it is open.
struct NewFile {
    OutputHandle file;       // open on success
    bool nameTaken = false;  // failed only because the name exists already
};
NewFile CreateNewFileExclusive(PathView path);

// An existing file held exclusively, unchanged, while a replacement for it is
// written: no other opener gets at it in the meantime.
struct HeldFile {
    bool ok = false;      // held, or there is no file of that name
    bool exists = false;  // a file of that name was there and is held
    OutputHandle file;    // open (for writing, nothing is written) when it exists
};

// Holds the file that is about to be replaced. Not ok for a folder, for a
// file another opener holds, and for a file without any write permission
// (read-only), even for a privileged user.
HeldFile HoldExistingFile(PathView path);

// Writes all of `bytes`; false on failure or a short write.
bool WriteAllBytes(OutputHandle& file, std::string_view bytes);

// Makes sure everything written has reached the disk.
bool FlushFile(OutputHandle& file);

// Asks the system to start putting what was written so far on the disk,
// without waiting for it, so that FlushFile later finds little left to do.
// Nothing happens where the system has no such request.
void StartWritingBack(OutputHandle& file);

// Closes the file; false when the close reported an error.
bool CloseFile(OutputHandle& file);

// On POSIX gives `file` the permission bits of `model`, so that a file that
// replaces another is as readable as the one it replaces. Windows files take
// their rights from their folder, and nothing is done there.
void CopyPermissions(const OutputHandle& model, OutputHandle& file);

// Puts the closed file `source` in the place of `target` in one step,
// replacing a file of that name: afterwards `target` is either the old file
// or the whole new one, never anything in between.
bool MoveFileOver(PathView source, PathView target);

// Deletes a file; false when it could not be deleted. Never throws, as the
// other operations may when memory runs out (std::bad_alloc, which the
// conversion job catches): a destructor removes files through it.
bool RemoveFile(PathView path);

// The file that an interruption (Ctrl+C, SIGTERM, SIGHUP; on Windows Ctrl+C,
// Ctrl+Break and a closed console window) removes before the program ends,
// once RemoveFileOnInterrupt was called; none when empty. So a conversion
// interrupted on the command line leaves no temporary file.
void SetFileRemovedOnInterrupt(PathView path);
void RemoveFileOnInterrupt();

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
