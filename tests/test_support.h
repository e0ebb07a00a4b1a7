#pragma once
// Helpers shared by the tests: temporary folders and whole-file access.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "job/report.h"
#include "platform/files.h"
#include "vcard/strings.h"

#ifndef _WIN32
#include <iconv.h>
#endif

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

// The whole report of a conversion, as WriteReport hands it out piece by piece.
std::u16string ReportText(const ConversionDetails& details,
                          std::u16string_view chooseCarrier = kChooseCarrierByOption);

// A property line split as the card scanner splits it: its name, then its value.
PropertyTokens SplitLine(std::string_view line);

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

#ifndef _WIN32
// A converter of the C library, whose tables share nothing with ours.
struct Iconv {
    iconv_t handle;
    Iconv(const char* to, const char* from) : handle(iconv_open(to, from)) {}
    ~Iconv()
    {
        if (handle != reinterpret_cast<iconv_t>(-1)) iconv_close(handle);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
};

// The converted bytes, or nothing when the C library rejects the input.
std::optional<std::string> Convert(const Iconv& converter, std::string_view input);
#endif

} // namespace karuto::test
