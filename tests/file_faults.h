#pragma once
// Faults injected under the converter's file layer (POSIX only): the test
// program that links tests/file_faults.cpp interposes the system calls the
// file layer makes, and they misbehave as armed for files under one folder.

#include <cstdint>
#include <functional>
#include <string>

namespace karuto::test {

struct FileFaults {
    std::string folder;  // only files whose path starts with this are affected
    // Bytes that may still be written into such files before every further
    // write fails with `writeError`; negative for no limit.
    std::int64_t writeBudget = -1;
    int writeError = 0;
    bool failFlush = false;   // fsync fails with EIO
    bool failClose = false;   // close closes, then reports EIO
    bool failRename = false;  // rename onto such a path fails with EIO
    // Runs once, right before the first read from such a file, with the file's path.
    std::function<void(const std::string& path)> beforeFirstRead;
    // The first allocation after the first write into such a file throws
    // std::bad_alloc.
    bool failAllocationAfterWrite = false;
};

// Faults stay armed until the object goes out of scope.
struct ArmedFileFaults {
    explicit ArmedFileFaults(FileFaults faults);
    ~ArmedFileFaults();
    ArmedFileFaults(const ArmedFileFaults&) = delete;
    ArmedFileFaults& operator=(const ArmedFileFaults&) = delete;
};

} // namespace karuto::test
