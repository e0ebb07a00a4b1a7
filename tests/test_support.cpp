#include "tests/test_support.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace karuto::test {

namespace fs = std::filesystem;

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() /
                             ("karuto-test-" + std::to_string(random()) + "-" +
                              std::to_string(counter++));
        if (fs::create_directory(candidate)) {
            path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path, ignored);
}

PathString TempDir::Child(std::u16string_view name) const
{
    return ToPathString(ChildPath(name));
}

fs::path TempDir::ChildPath(std::u16string_view name) const
{
    return path / fs::path(std::u16string(name));
}

PathString ToPathString(const fs::path& path)
{
    return path.u16string();
}

void WriteFileBytes(const fs::path& path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot create " + path.string());
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path.string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::u16string> Entries(const fs::path& folder)
{
    std::vector<std::u16string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().u16string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Utf16LeBytes(std::u16string_view text)
{
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

std::string PieceTexts::Next()
{
    // A linear congruential generator: simple, and alike everywhere.
    const auto draw = [this](std::uint32_t range) {
        state = state * 1103515245 + 12345;
        return (state >> 16) % range;
    };
    std::string text;
    for (std::uint32_t count = draw(maxPieces); count > 0; --count) text += pieces[draw(static_cast<std::uint32_t>(pieces.size()))];
    return text;
}

#ifndef _WIN32
std::optional<std::string> Convert(const Iconv& converter, std::string_view input)
{
    std::string in(input);
    std::string out(input.size() * 4 + 16, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const auto failed = static_cast<std::size_t>(-1);
    iconv(converter.handle, nullptr, nullptr, nullptr, nullptr);
    if (iconv(converter.handle, &inPtr, &inLeft, &outPtr, &outLeft) == failed) return std::nullopt;
    if (iconv(converter.handle, nullptr, nullptr, &outPtr, &outLeft) == failed) return std::nullopt;
    out.resize(out.size() - outLeft);
    return out;
}
#endif

PropertyTokens SplitLine(std::string_view line)
{
    PropertyTokens tokens;
    SplitPropertyNameInto(line, tokens);
    SplitPropertyValueInto(line, tokens);
    return tokens;
}

std::u16string ReportText(const ConversionDetails& details, std::u16string_view chooseCarrier)
{
    std::u16string report;
    WriteReport(details, [&report](std::u16string_view text) { report += text; }, chooseCarrier);
    return report;
}

} // namespace karuto::test
