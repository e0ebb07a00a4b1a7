#pragma once
// Helpers shared by the tests: temporary folders and whole-file access.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace karuto::test {

// A fresh folder under the system's temporary folder, removed with its contents
// when the object goes out of scope.
struct TempDir {
    std::filesystem::path path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The UTF-16 form of path / name, as the converter's interfaces take it.
    PathString Child(std::u16string_view name) const;
    std::filesystem::path ChildPath(std::u16string_view name) const;
};

PathString ToPathString(const std::filesystem::path& path);

void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes);
std::string ReadFileBytes(const std::filesystem::path& path);

// The names in a folder, sorted, to see what a conversion left there.
std::vector<std::u16string> Entries(const std::filesystem::path& folder);

// Bytes of a UTF-16LE text, for comparing with output files.
std::string Utf16LeBytes(std::u16string_view text);

// Texts for differential tests: each call strings together fewer than
// `maxPieces` pieces drawn from `pieces`, the same texts on every platform
// for the same starting `state`.
struct PieceTexts {
    std::span<const std::string_view> pieces;
    std::uint32_t maxPieces;
    std::uint32_t state = 932;

    std::string Next();
};

} // namespace karuto::test
