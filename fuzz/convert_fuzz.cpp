// Any input converts without a crash into a well-formed output file: the
// byte-order mark, whole UTF-16 units, and counts that agree with the cards.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "job/input.h"
#include "job/output.h"
#include "vcard/scanning.h"

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

const std::filesystem::path& OutputPath()
{
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("karuto-convert-fuzz-" + std::to_string(getpid()) + ".vcf");
    return path;
}

std::string ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The bytes are a whole input file: its byte-order mark decides how it is
    // read, and its NUL bytes reach the scanner.
    karuto::LoadedText loaded;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (karuto::LoadInputBytes(std::string(bytes), loaded) != karuto::kResultOk) return 0;
    const auto defaultCharset =
        loaded.mark == karuto::ByteOrderMark::Utf8 ? karuto::CharsetUtf8 : karuto::CharsetNone;
    const std::string& text = loaded.text;

    karuto::OutputFile output;
    Check(karuto::OpenOutputFile(OutputPath().u16string(), output));
    karuto::CardList cards;
    const karuto::CardCounts counts = karuto::ConvertText(text, cards, output.file, defaultCharset);
    Check(!cards.writeFailed);
    // The file as it would take the output's place; it is not put there, as
    // the flush to disk before that would slow every run down.
    const std::string file = ReadAll(std::filesystem::path(output.temporaryPath));
    karuto::DiscardOutputFile(output);
    Check(!std::filesystem::exists(OutputPath()));

    Check(counts.cardsWritten <= counts.cardsRead);
    Check(static_cast<std::size_t>(counts.cardsRead) <= cards.entries.size());
    Check(file.size() >= 2 && file.size() % 2 == 0);
    Check(file.compare(0, 2, "\xFF\xFE") == 0);
    Check((counts.cardsWritten == 0) == (file.size() == 2));
    if (counts.cardsWritten > 0) Check(file.compare(file.size() - 4, 4, std::string("\r\0\n\0", 4)) == 0);
    return 0;
}
